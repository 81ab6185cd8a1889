// SPDX-License-Identifier: MIT
// SetOrientation and SetDateTimeOriginal as the host calls them (the loaded module), and the
// orient, date and gps commands of the command-line tool over a batch of files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "exif/model/exif_reader.h"
#include "tests/imaging/image_files.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/host_module.h"
#include "tests/support/scratch_tmpdir.h"

namespace lf::test {
namespace {

constexpr auto Date = &test::MakeDate<LfExifDateTime>;

TEST(EditExportsTest, OrientationAndDateThroughTheModule) {
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.error.empty()) << m.error;
  TempDir dir;
  const std::string f = dir.File("a.jpg"), copy = dir.File("b.JPG");
  WriteFile(f, MakeCameraFile({.thumbnailOrientation = 0}).file);
  EXPECT_EQ(m.SetOrientation(f.c_str(), f.c_str(), 3, 0), LF_E_FAIL);
  EXPECT_EQ(m.SetOrientation(copy.c_str(), f.c_str(), 3, 1), LF_S_OK);
  uint32_t main = 0, thumb = 0;
  ASSERT_EQ(m.GetOrientation(copy.c_str(), &main, &thumb, 0), LF_S_OK);
  EXPECT_EQ(main, 3u);
  EXPECT_EQ(thumb, 3u);
  // Now both entries exist: a patch in place.
  EXPECT_EQ(m.SetOrientation(copy.c_str(), copy.c_str(), 8, 0), LF_S_OK);
  ASSERT_EQ(m.GetOrientation(copy.c_str(), &main, &thumb, 0), LF_S_OK);
  EXPECT_EQ(thumb, 8u);

  EXPECT_EQ(m.SetDateTimeOriginal(copy.c_str(), Date(2022, 12, 31, 23, 59, 59)), LF_S_OK);
  LfExifDateTime read{};
  ASSERT_EQ(m.GetDateTimeOriginal(copy.c_str(), &read), LF_S_OK);
  EXPECT_EQ(read.year, 2022);
  EXPECT_EQ(read.second, 59);
  EXPECT_EQ(m.SetDateTimeOriginal(copy.c_str(), Date(2022, 4, 31, 0, 0, 0)), LF_E_INVALIDARG);
  EXPECT_EQ(m.SetDateTimeOriginal(dir.File("x.png").c_str(), Date(2022, 4, 1, 0, 0, 0)), LF_E_FAIL);
  EXPECT_EQ(m.SetOrientation(copy.c_str(), dir.File("x.bmp").c_str(), 1, 1), LF_E_FAIL);
}

// Every export that writes a file, against destinations it may not write: an existing read-only
// file that is not the file being edited (only an in-place edit lifts read-only), a read-only
// folder and a missing one. Each is refused before the destination or its folder changes; the same
// call to a writable destination succeeds, and ExifTool reads the EXIF data it wrote.
TEST(EditExportsTest, EveryWriterLeavesADestinationItMayNotWriteAsItWas) {
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.error.empty()) << m.error;
  const struct Image {
    LF_HGLOBAL block = MakeDib24(96, 64, [](int x, int y) {
      return Rgb{uint8_t(x * 2), uint8_t(y * 3), 90};
    });
    ~Image() { LfGlobalFree(block); }
    LF_HGLOBAL get() const { return block; }
  } image;
  char make[] = "Kestrelon";
  LfExifWriteParams params{};
  params.exifVersion = LF_EXIF_VERSION_0210;
  params.make.text = make;
  LfGpsRecord noGps{};  // an empty tag list: the GPS data is removed
  const LF_RESULT denied = LfResultFromWin32(LF_ERROR_ACCESS_DENIED);
  const LF_RESULT noPath = LfResultFromWin32(LF_ERROR_PATH_NOT_FOUND);
  struct Writer {
    const char* name;
    std::function<LF_RESULT(const char* dest, const char* src, LfExifRecord* records)> write;
    bool writesExif = true;
    // The destination is the file edited in place: its own read-only attribute is lifted, and a
    // missing folder means a missing file.
    bool inPlace = false;
  };
  const Writer writers[] = {
      {"SetOrientation to a copy",
       [&](auto d, auto s, auto) { return m.SetOrientation(d, s, 3, 0); }},
      {"SetDateTimeOriginal",
       [&](auto d, auto, auto) { return m.SetDateTimeOriginal(d, Date(2020, 2, 29, 1, 2, 3)); },
       true, true},
      {"ReplaceExifGps", [&](auto d, auto s, auto) { return m.ReplaceExifGps(d, s, 90, &noGps); }},
      {"ReplaceThumbImage",
       [&](auto d, auto s, auto) { return m.ReplaceThumbImage(d, s, image.get(), 90); }},
      {"ReplaceExifImage",
       [&](auto d, auto s, auto) { return m.ReplaceExifImage(d, s, image.get(), 90); }},
      {"AppendExif", [&](auto d, auto s, auto r) { return m.AppendExif(d, s, r, 1); }},
      {"SetMakerNote to a copy",
       [&](auto d, auto s, auto) { return m.SetMakerNote(d, s, "Kestrelon", 0x0001, 3, 1, 5); }},
      {"Encode PNG",
       [&](auto d, auto, auto) { return m.Encode(image.get(), d, LF_ENC_PNG, 90, nullptr); },
       false},
      {"Encode with EXIF records",
       [&](auto d, auto, auto r) {
         return m.Encode(image.get(), d, LF_ENC_BY_EXTENSION | LF_ENC_RECORD_GIVEN, 90, r);
       }},
      {"Encode a new EXIF file",
       [&](auto d, auto, auto) {
         return m.Encode(image.get(), d, LF_ENC_NEW_EXIF_FILE | LF_ENC_JPEG, 90, &params);
       }},
  };
  TempDir outputs;  // the writes to writable destinations, read by ExifTool at the end
  std::vector<std::string> withExif;
  for (const Order order : {Order::Little, Order::Big}) {
    const Bytes camera = MakeCameraFile({.order = order}).file;
    for (const Writer& w : writers) {
      SCOPED_TRACE(w.name);
      TempDir dir;  // outside the scratch $TMPDIR
      const ScratchTmpdir tmp;
      const std::string src = dir.Put("src.jpg", camera);
      LfStillImageOutput records{};
      ASSERT_EQ(m.GetStillImageInfo(src.c_str(), &records, LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS),
                LF_S_OK);
      const auto run = [&](const std::string& dest) {
        return w.write(dest.c_str(), src.c_str(), &records.list);
      };
      const std::string readOnly = dir.Put("read-only.jpg", camera);
      ::chmod(readOnly.c_str(), 0444);
      ASSERT_EQ(::mkdir(dir.File("ro").c_str(), 0755), 0);
      const std::string inReadOnlyFolder = dir.Put("ro/out.jpg", camera);
      ::chmod(dir.File("ro").c_str(), 0555);
      const std::vector<std::string> before = dir.List();
      EXPECT_EQ(run(readOnly), w.inPlace ? LF_S_OK : denied);
      EXPECT_EQ(ReadFile(readOnly) == camera, !w.inPlace);
      EXPECT_EQ(run(inReadOnlyFolder), denied);
      EXPECT_EQ(ReadFile(inReadOnlyFolder), camera);
      EXPECT_EQ(run(dir.File("none/out.jpg")), w.inPlace ? LF_E_NO_EXIF : noPath);
      EXPECT_EQ(dir.List(), before);
      ::chmod(dir.File("ro").c_str(), 0755);
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("ro")), {}), 1);
      EXPECT_TRUE(tmp.dir().List().empty()) << ::testing::PrintToString(tmp.dir().List());

      const std::string writable =
          outputs.Put(std::to_string(outputs.List().size()) + ".jpg", camera);
      EXPECT_EQ(run(writable), LF_S_OK);
      EXPECT_NE(ReadFile(writable), camera);
      if (w.writesExif) {
        uint32_t isExif = 0;
        EXPECT_EQ(m.IsExifFile(writable.c_str(), &isExif), LF_S_OK);
        EXPECT_EQ(isExif, 1u);
        withExif.push_back(writable);
      }
      LfStillImageOutputFree(&records);
    }
  }
  if (!ExifToolAvailable()) return;
  ExifToolDump dump = RunExifTool(withExif);
  for (const std::string& f : withExif) EXPECT_EQ(dump[f]["IFD0:Make"], "Kestrelon") << f;
}

CliResult Cli(const std::string& args) { return RunCli(args); }

TEST(EditExportsTest, CommandsEditBatchesAndReportFailures) {
  TempDir dir;
  const std::string a = dir.File("a.jpg"), b = dir.File("b.jpg"), out = dir.File("out");
  WriteFile(a, MakeCameraFile().file);
  WriteFile(b, MakeCameraFile({.order = Order::Big, .thumbnailOrientation = 0}).file);
  // b's thumbnail has no Orientation: without --rebuild the batch fails for it alone.
  CliResult r = Cli("orient '" + a + "' '" + b + "' 5");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("a.jpg: orientation 5"), std::string::npos) << r.out;
  r = Cli("--json orient '" + a + "' '" + b + "' 4 --rebuild");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("\"ok\": true"), std::string::npos);
  ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
  r = Cli("orient '" + a + "' 2 -o '" + out + "'");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  struct stat st {};
  EXPECT_EQ(::stat((out + "/a.jpg").c_str(), &st), 0);
  r = Cli("date '" + a + "' '" + b + "' '2010:05:06 07:08:09'");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Cli("date '" + a + "' '2010:02:30 07:08:09'").exitCode, 1);
  EXPECT_EQ(Cli("date '" + a + "' 'yesterday'").exitCode, 2);
  EXPECT_EQ(Cli("orient '" + a + "' 9").exitCode, 2);
  const HostModule& m = HostModule::Get();
  uint32_t main = 0;
  ASSERT_EQ(m.GetOrientation(b.c_str(), &main, nullptr, 0), LF_S_OK);
  EXPECT_EQ(main, 4u);
}

// Decimal degrees become degrees, minutes and seconds with the references from the signs.
TEST(EditExportsTest, GpsCommandWritesAndRemovesPositionsOverADirectory) {
  TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  ASSERT_EQ(::mkdir(in.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
  WriteFile(in + "/a.jpg", MakeCameraFile({.withGps = false}).file);
  WriteFile(in + "/b.tif", MakeTiffFile(Order::Big, 1).file);
  CliResult r = Cli("gps '" + in + "' --lat -33.8568 --lon=151.2153 --alt -12.5 --time 01:02:03 --datum WGS-84 -o '" +
                 out + "'");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("2 edited, 0 failed"), std::string::npos) << r.out;
  for (const char* name : {"/a.jpg", "/b.tif"}) {
    const std::string path = out + name;
    SCOPED_TRACE(path);
    exif::ExifReader reader(path.c_str(), true);
    exif::IfdEntry ref{0x0001}, lat{0x0002}, altRef{0x0005}, alt{0x0006}, lonRef{0x0003};
    ASSERT_EQ(reader.FindEntry(exif::kGpsIfd, &ref), 1);
    EXPECT_EQ(ref.value, uint32_t{'S'});
    ASSERT_EQ(reader.FindEntry(exif::kGpsIfd, &lonRef), 1);
    EXPECT_EQ(lonRef.value, uint32_t{'E'});
    ASSERT_EQ(reader.FindEntry(exif::kGpsIfd, &altRef), 1);
    EXPECT_EQ(altRef.value, 1u);
    uint32_t v[6] = {};
    ASSERT_EQ(reader.FindEntry(exif::kGpsIfd, &lat), 1);
    ASSERT_EQ(reader.ReadEntryValue(lat, v, sizeof v), 3u);
    // 33.8568 degrees = 33 deg 51 min 24.48 s.
    EXPECT_EQ(std::vector<uint32_t>(v, v + 6), (std::vector<uint32_t>{33, 1, 51, 1, 244800, 10000}));
    ASSERT_EQ(reader.FindEntry(exif::kGpsIfd, &alt), 1);
    ASSERT_EQ(reader.ReadEntryValue(alt, v, sizeof v), 1u);
    EXPECT_EQ(v[0], 1250u);
    EXPECT_EQ(v[1], 100u);
  }
  r = Cli("--json gps '" + out + "/a.jpg' --remove");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("\"ok\": true"), std::string::npos) << r.out;
  // Nothing left to remove.
  EXPECT_EQ(Cli("gps '" + out + "/a.jpg' --remove").exitCode, 1);
  EXPECT_EQ(Cli("gps '" + out + "/a.jpg' --lat 91 --lon 0").exitCode, 2);
  EXPECT_EQ(Cli("gps '" + out + "/a.jpg' --lat 10").exitCode, 2);
  EXPECT_EQ(Cli("gps '" + out + "/a.jpg' --lat 10 --lon 10 --time 25:00:00").exitCode, 2);
}

}  // namespace
}  // namespace lf::test
