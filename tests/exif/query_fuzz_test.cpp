// Camera JPEGs with random bytes of their EXIF data overwritten, and cut short at random places:
// every query export and every maker-note operation must answer (whatever it answers) without a
// read outside a buffer, a crash or a hang. Seeded, so a failure replays.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "exif/makernote/maker_note_reader.h"
#include "lumenframe/lumenframe.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

void AskEverything(const HostModule& m, const std::string& path) {
  uint32_t main = 0, thumb = 0, isExif = 0, printIm = 0, v22 = 0;
  m.GetOrientation(path.c_str(), &main, &thumb, 1);
  LfExifDateTime date{};
  m.GetDateTimeOriginal(path.c_str(), &date);
  m.IsExifEx(path.c_str(), &isExif, &printIm, &v22);
  m.IsExifEx(path.c_str(), &isExif, &printIm, nullptr);  // the maker note copied from the file
  uint8_t buffer[256];
  for (const auto& [directory, tag] : {std::pair<uint32_t, uint16_t>{LF_DIR_IFD0, 0x010F},
                                       {LF_DIR_EXIF, 0x927C}, {LF_DIR_EXIF, 0x829A},
                                       {LF_DIR_GPS, 0x0002}, {LF_DIR_IFD1, 0x0201}}) {
    uint32_t size = sizeof buffer;
    uint16_t type = 0;
    uint32_t count = 0;
    m.GetExifValue(path.c_str(), directory, tag, buffer, &size, &type, &count);
    ASSERT_LE(size, sizeof buffer);
  }
  for (const bool block : {true, false}) {
    exif::MakerNoteReader r(path.c_str(), block);
    exif::IfdEntryList all;
    r.CollectMakerNoteEntries(&all);
    for (const exif::IfdEntry& e : all) r.ReadMakerNoteValue(e, buffer, sizeof buffer);
    if (!all.empty()) r.UpdateMakerNoteEntry(all.front());
    r.GetMakerNoteHeader();
    r.HasPrintImage();
  }
}

TEST(QueryFuzz, CorruptedAndTruncatedCameraFilesAreAnsweredSafely) {
  const HostModule& m = HostModule::Get();
  TempDir dir;
  std::mt19937 random(20261206);
  for (const Order order : {Order::Little, Order::Big}) {
    CameraJpegOptions o;
    o.order = order;
    o.thumbnailOrientation = 1;
    const Bytes original = MakeCameraJpeg(o);
    const size_t app1End = 4 + ((original[4] << 8) | original[5]);
    for (int round = 0; round < 150; ++round) {
      Bytes file = original;
      // A few bytes of the APP1 (offsets, counts, types, lengths) set to random values ...
      const int edits = 1 + static_cast<int>(random() % 6);
      for (int e = 0; e < edits; ++e) {
        const size_t at = 4 + random() % (app1End - 4);
        file[at] = static_cast<uint8_t>(random() % 3 == 0 ? 0xFF : random());
      }
      // ... and now and then the file cut short.
      if (round % 5 == 0) file.resize(2 + random() % (file.size() - 2));
      const std::string path = dir.File("fuzz.jpg");
      WriteFile(path, file);
      SCOPED_TRACE(round);
      AskEverything(m, path);
    }
  }
}

}  // namespace
}  // namespace lf::test
