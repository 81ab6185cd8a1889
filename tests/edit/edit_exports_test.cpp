// SetOrientation and SetDateTimeOriginal as the host calls them (the loaded module), and the
// orient, date and gps commands of the command-line tool over a batch of files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "exif/model/exif_reader.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/host_module.h"

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
