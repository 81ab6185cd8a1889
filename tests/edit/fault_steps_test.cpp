// SPDX-License-Identifier: MIT
// Every writer with each platform call failed in turn: a failure code, files and modes unchanged,
// no temporary left behind; unwritable destinations refused before anything changes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "tests/support/decoded_images.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/fault_steps.h"
#include "tests/support/scratch_tmpdir.h"

namespace lf::test {
namespace {

using platform::Service;

enum class Dest { kInPlace, kNew, kExisting };

struct Op {
  const char* name;
  std::function<Bytes(Order)> source;  // empty: Encode, which writes a picture of its own
  Dest dest;
  // Writes `dst` from `src` (the same path in place). `records` are the source's EXIF records.
  std::function<LF_RESULT(const char* dst, const char* src, LfExifRecord* records)> run;
  const char* ext = ".jpg";
  bool picture = false;  // a new picture: judged by its decoded size, not by its length
};

// The error itself, no memory, invalid data, an unreadable source; for a picture the toolkit's
// codes (0x82xxxxxx) and the JPEG writer's (small negative numbers).
bool IsFailureOf(LF_RESULT r, uint32_t error, bool picture) {
  const std::set<LF_RESULT> codes = {LfResultFromWin32(error), LfResultFromWin32(8),
                                     LfResultFromWin32(13), LF_E_FAIL, LF_E_NO_EXIF};
  const uint32_t u = static_cast<uint32_t>(r);
  return codes.count(r) || (picture && ((u & 0xFF000000u) == 0x82000000u || (r < 0 && r > -100)));
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// What a run that succeeds despite a fault shares with the clean run (a fallback may re-encode).
std::string Fingerprint(const std::string& path, bool picture) {
  if (!platform::FileExists(path)) return "absent";
  if (!picture) return std::to_string(ReadFile(path).size()) + " bytes";
  const Size s = DecodedSize(path);
  return std::to_string(s.width) + "x" + std::to_string(s.height);
}

Bytes Camera(Order o) { return MakeCameraFile({.order = o}).file; }
Bytes Scan(Order o) { return MakeTiffFile(o, 6).file; }
// A TIFF given GPS data by the module itself, so that it has some to remove.
Bytes ScanWithGps(Order o) {
  TempDir dir;
  const std::string f = dir.Put("g.tif", Scan(o));
  HostGps gps({0x0000, 0x0001, 0x0002});
  EXPECT_EQ(ReplaceExifGps(f.c_str(), f.c_str(), 90, &gps.record), LF_S_OK);
  return ReadFile(f);
}

TEST(FaultSteps, EveryFailedStepOfEveryWriterLeavesTheFilesAsTheyWere) {
  const platform::GlobalBlock image = NoiseImage(96, 64);
  char make[] = "Kestrelon";
  LfExifWriteParams params{};
  params.exifVersion = LF_EXIF_VERSION_0210;
  params.make.text = make;
  const LfExifDateTime date{2020, 2, 0, 29, 1, 2, 3, 0};
  HostGps position({0x0000, 0x0001, 0x0002, 0x0012}), none({});
  using Run = decltype(Op::run);
  const auto orient = [](int32_t o, int32_t rebuild) -> Run {
    return [=](auto d, auto s, auto) { return SetOrientation(d, s, o, rebuild); };
  };
  const Run setDate = [&](auto d, auto, auto) { return SetDateTimeOriginal(d, date); };
  const auto gps = [](HostGps& g) -> Run {
    return [&g](auto d, auto s, auto) { return ReplaceExifGps(d, s, 90, &g.record); };
  };
  const Run thumb = [&](auto d, auto s, auto) { return ReplaceThumbImage(d, s, image.get(), 80); };
  const Run main = [&](auto d, auto s, auto) { return ReplaceExifImage(d, s, image.get(), 80); };
  const Run append = [](auto d, auto s, auto r) { return AppendExif(d, s, r, 1); };
  const Run note = [](auto d, auto s, auto) {
    return SetMakerNote(d, s, "Kestrelon", 0x0001, kShort, 1, 3);
  };
  const auto encode = [&](uint32_t flags, void* extra) -> Run {
    return [&image, flags, extra](auto d, auto, auto r) {
      return Encode(image.get(), d, flags, 90, (flags & LF_ENC_RECORD_GIVEN) ? r : extra);
    };
  };
  const Dest in = Dest::kInPlace, add = Dest::kNew, over = Dest::kExisting;
  const auto rebuild = CameraIn({.thumbnailOrientation = 0}), noGps = CameraIn({.withGps = false});
  const auto print = CameraIn({.withPrintIm = true, .withPrintMatching = true});
  const uint32_t exifJpeg = LF_ENC_NEW_EXIF_FILE | LF_ENC_JPEG;
  const uint32_t exifTiff = LF_ENC_NEW_EXIF_FILE | LF_ENC_TIFF;
  const uint32_t withRecords = LF_ENC_BY_EXTENSION | LF_ENC_RECORD_GIVEN;
  const Op ops[] = {
      {"SetOrientation patched in place", Camera, in, orient(3, 0)},
      {"SetOrientation patched into a copy", Camera, over, orient(3, 0)},
      {"SetOrientation rebuilt in place", rebuild, in, orient(4, 1)},
      {"SetOrientation rebuilt into a new TIFF", Scan, add, orient(4, 1), ".tif"},
      {"SetDateTimeOriginal", Camera, in, setDate},
      {"SetDateTimeOriginal of a TIFF", Scan, in, setDate, ".tif"},
      {"ReplaceExifGps sets", noGps, in, gps(position)},
      {"ReplaceExifGps sets in a TIFF copy", Scan, over, gps(position), ".tif"},
      {"ReplaceExifGps removes", Camera, add, gps(none)},
      {"ReplaceExifGps removes from a TIFF", ScanWithGps, in, gps(none), ".tif"},
      {"ReplaceThumbImage", Camera, in, thumb, ".jpg", true},
      {"ReplaceThumbImage of a TIFF", Scan, over, thumb, ".tif", true},
      {"ReplaceExifImage", print, in, main, ".jpg", true},
      {"ReplaceExifImage of a TIFF", Scan, in, main, ".tif", true},
      {"AppendExif to a new file", Camera, add, append},
      {"AppendExif over a file", Camera, over, append},
      {"SetMakerNote in place", Camera, in, note},
      {"SetMakerNote into a copy", Camera, add, note},
      {"Encode a new PNG", {}, add, encode(LF_ENC_PNG, nullptr), ".png", true},
      {"Encode a JPEG over a file", {}, over, encode(LF_ENC_JPEG, nullptr), ".jpg", true},
      {"Encode a GIF over a file", {}, over, encode(LF_ENC_GIF, nullptr), ".gif", true},
      {"Encode a JPEG with records", {}, add, encode(withRecords, nullptr), ".jpg", true},
      {"Encode an EXIF JPEG over a file", {}, over, encode(exifJpeg, &params), ".jpg", true},
      {"Encode a new EXIF TIFF", {}, add, encode(exifTiff, &params), ".tif", true},
  };
  struct Mode {
    const char* name;
    FaultSteps how;
  };
  const Mode modes[] = {
      {"write fault", {.error = platform::kErrorWriteFault, .failClock = true}},
      {"disk full", {.error = platform::kErrorDiskFull, .sticky = true, .services = kDiskServices}},
      {"kernel copy refused",
       {.error = platform::kErrorNotSupported,
        .services = 1u << static_cast<int>(Service::CopyRange)}},
  };
  for (const Order order : {Order::Little, Order::Big}) {
    for (const Op& op : ops) {
      SCOPED_TRACE(std::string(op.name) + (order == Order::Big ? " (big-endian)" : ""));
      TempDir dir;  // outside the scratch $TMPDIR
      const ScratchTmpdir tmp;
      const Bytes source = op.source ? op.source(order) : Bytes{};
      const Bytes previous = Camera(Order::Big);
      const std::string ext = op.ext;
      const std::string src = dir.File("source" + ext);
      const std::string dst = op.dest == Dest::kInPlace ? src : dir.File("destination" + ext);
      if (op.source) WriteFile(src, source);
      LfStillImageOutput records{};
      const std::string recorded = op.source ? src : dir.Put("records.jpg", Camera(order));
      ASSERT_EQ(
          GetStillImageInfo(recorded.c_str(), &records, LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS),
          LF_S_OK);
      // An in-place edit lifts a read-only attribute and restores it; a replaced file keeps its
      // mode.
      const unsigned mode = op.dest == Dest::kInPlace ? 0444 : 0640;
      const auto prepare = [&] {
        if (op.source) {
          ::chmod(src.c_str(), 0644);
          WriteFile(src, source);
        }
        if (op.dest != Dest::kInPlace) (void)platform::DeleteFile(dst);  // absent on the first run
        if (op.dest == Dest::kExisting) WriteFile(dst, previous);
        if (op.dest != Dest::kNew) ::chmod(dst.c_str(), mode);
      };
      const std::vector<std::string> before = (prepare(), dir.List());
      const Bytes old = op.dest == Dest::kInPlace ? source : previous;
      std::string clean;
      for (const Mode& m : modes) {
        SCOPED_TRACE(m.name);
        int failures = 0;
        ForEachFailedStep<LF_RESULT>(
            prepare, [&] { return op.run(dst.c_str(), src.c_str(), &records.list); },
            [&](LF_RESULT r, Service) {
              SCOPED_TRACE(::testing::Message() << "result " << std::hex << r);
              if (r == LF_S_OK) {
                EXPECT_EQ(Fingerprint(dst, op.picture), clean);
                if (op.dest == Dest::kInPlace) {
                  EXPECT_EQ(ModeOf(dst), mode);
                }
              } else {
                ++failures;
                EXPECT_TRUE(IsFailureOf(r, m.how.error, op.picture));
                if (op.dest == Dest::kNew) {
                  EXPECT_FALSE(platform::FileExists(dst));
                } else {
                  EXPECT_EQ(ReadFile(dst), old);
                  EXPECT_EQ(ModeOf(dst), mode);
                }
              }
              if (op.source && dst != src) {
                EXPECT_EQ(ReadFile(src), source);
              }
              std::vector<std::string> expected = before;
              if (op.dest == Dest::kNew && r == LF_S_OK)
                expected.push_back(dst.substr(dir.path().size() + 1));
              std::sort(expected.begin(), expected.end());
              EXPECT_EQ(dir.List(), expected);
              EXPECT_TRUE(tmp.dir().List().empty()) << ::testing::PrintToString(tmp.dir().List());
            },
            m.how,
            [&](LF_RESULT first) {
              ASSERT_EQ(first, LF_S_OK);
              clean = Fingerprint(dst, op.picture);
              EXPECT_NE(clean, "absent");
            });
        if (m.how.services != 1u << static_cast<int>(Service::CopyRange)) {
          EXPECT_GT(failures, 2);
        } else {
          EXPECT_EQ(failures, 0);
        }
      }
      // Refused before anything changes: a read-only folder; unless in place, a read-only file and
      // a missing folder.
      prepare();
      ASSERT_EQ(::mkdir(dir.File("ro").c_str(), 0755), 0);
      std::vector<std::pair<std::string, LF_RESULT>> refusals = {
          {dir.Put("ro/out" + ext, op.dest == Dest::kInPlace ? source : previous),
           LfResultFromWin32(5)}};
      ::chmod(dir.File("ro").c_str(), 0555);
      if (op.dest != Dest::kInPlace) {
        refusals.push_back({dir.Put("read-only" + ext, previous), LfResultFromWin32(5)});
        ::chmod(refusals.back().first.c_str(), 0444);
        refusals.push_back({dir.File("none/out" + ext), LfResultFromWin32(3)});
      }
      const std::vector<std::string> listed = dir.List();
      for (const auto& [path, expected] : refusals) {
        SCOPED_TRACE(path);
        const Bytes was = platform::FileExists(path) ? ReadFile(path) : Bytes{};
        EXPECT_EQ(
            op.run(path.c_str(), (op.dest == Dest::kInPlace ? path : src).c_str(), &records.list),
            expected);
        EXPECT_EQ(platform::FileExists(path) ? ReadFile(path) : Bytes{}, was);
        EXPECT_EQ(dir.List(), listed);
        EXPECT_TRUE(tmp.dir().List().empty());
      }
      ::chmod(dir.File("ro").c_str(), 0755);
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("ro")), {}), 1);
      LfStillImageOutputFree(&records);
    }
  }
}

}  // namespace
}  // namespace lf::test
