// SPDX-License-Identifier: MIT
// Hostile input: truncated and randomly corrupted camera-like fixtures and corpus files go through
// every reader and maker-note service, and the fixtures through every query export as the host
// calls it. Nothing may crash, hang or read outside a buffer (the sanitizer build checks the
// last); seeds are fixed so a failure reproduces.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "exif/makernote/maker_note_reader.h"
#include "exif/model/exif_reader.h"
#include "lumenframe/lumenframe.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::exif {
namespace {

using test::Bytes;
using test::Order;

// Runs every service of a reader over the file and checks the invariants that hold for any input.
void Exercise(const std::string& path, bool loadBlock) {
  ExifReader r(path.c_str(), loadBlock);
  if (r.HasBlock()) {
    EXPECT_EQ(r.loadedSize(), r.blockLength());
  }
  unsigned touched = 0;
  for (DirectoryId id : {kIfd0, kExifIfd, kGpsIfd, kInteropIfd, kIfd1}) {
    IfdLocation location;
    EXPECT_GE(r.LocateDirectory(id, &location), 0);
    IfdEntryList all;
    const int n = r.CollectEntries(id, &all);
    EXPECT_EQ(n < 0 ? 0u : static_cast<size_t>(n), n <= 0 ? 0u : all.size());
    size_t visited = 0;
    for (const IfdEntry& e : all) {
      if (++visited > 64) break;
      uint8_t buffer[96];
      const uint32_t delivered = r.ReadEntryValue(e, buffer, sizeof buffer);
      EXPECT_LE(delivered, sizeof buffer);
      IfdEntry again{e.tag};
      EXPECT_EQ(r.FindEntry(id, &again), 1);
    }
    IfdEntry orientation{kTagOrientation};
    EXPECT_GE(r.FindEntry(id, &orientation), kCannotLocate);
  }
  IfdDescriptor d;
  r.GetDirectoryDescriptor(kIfd0, &d);
  r.GetDirectoryDescriptor(kIfd1, &d);
  platform::HeapPtr<uint8_t> thumbnail;
  const uint32_t size = r.GetThumbnail(&thumbnail);
  for (uint32_t i = 0; i < size; i += 97) touched += thumbnail.get()[i];
  uint32_t loaded = 0;
  if (r.LoadBlock(false, &loaded)) {
    IfdEntry e{0x9003};
    EXPECT_GE(r.FindEntry(kExifIfd, &e), kCannotLocate);
    r.ReleaseBlock();
  }
  PrintImLocation printIm;
  EXPECT_EQ(r.GetPrintImLocation(&printIm), 1);
  (void)touched;
}

// Thousands of small files are written and rewritten: in memory where the system offers a
// memory file system, since a disk mounted with online discard makes every rewrite slow.
class ScratchDir {
 public:
  ScratchDir() {
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous ? previous : "";
    if (::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
    dir_ = std::make_unique<test::TempDir>();
    if (previous) {
      ::setenv("TMPDIR", saved.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
  std::string File(const std::string& name) const { return dir_->File(name); }

 private:
  std::unique_ptr<test::TempDir> dir_;
};

void ExerciseBoth(const std::string& path) {
  for (const bool block : {true, false}) {
    Exercise(path, block);
    MakerNoteReader r(path.c_str(), block);
    IfdEntryList all;
    r.CollectMakerNoteEntries(&all);
    uint8_t buffer[256];
    for (const IfdEntry& e : all) r.ReadMakerNoteValue(e, buffer, sizeof buffer);
    if (!all.empty()) r.UpdateMakerNoteEntry(all.front());
    r.GetMakerNoteHeader();
    r.HasPrintImage();
  }
}

// Every query export over the file, whatever it answers.
void AskTheExports(const std::string& path) {
  const test::HostModule& m = test::HostModule::Get();
  uint32_t main = 0, thumb = 0, isExif = 0, printIm = 0, v22 = 0;
  m.GetOrientation(path.c_str(), &main, &thumb, 1);
  LfExifDateTime date{};
  m.GetDateTimeOriginal(path.c_str(), &date);
  m.IsExifFile(path.c_str(), &isExif);
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
}

// Corrupts a copy of `data` inside [from, to): random bytes, or hostile 16/32-bit numbers written
// over counts, types, offsets and lengths.
Bytes Corrupt(const Bytes& data, size_t from, size_t to, std::mt19937& rng) {
  Bytes out = data;
  if (to > out.size()) to = out.size();
  if (from + 4 >= to) return out;
  std::uniform_int_distribution<size_t> pos(from, to - 4);
  static const uint32_t kHostile[] = {0, 1, 2, 7, 8, 0xFF, 0xFFFF, 0x7FFF, 0x8000, 0xFFFFFFFF,
                                      0x7FFFFFFF, 0x80000000, 0x10000, 0xFFFFFFF0, 12, 0x4000};
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < edits; ++i) {
    const size_t at = pos(rng);
    switch (rng() % 3) {
      case 0:
        out[at] = static_cast<uint8_t>(rng());
        break;
      case 1: {
        const uint32_t v = kHostile[rng() % std::size(kHostile)];
        out[at] = static_cast<uint8_t>(v);
        out[at + 1] = static_cast<uint8_t>(v >> 8);
        break;
      }
      default: {
        const uint32_t v = kHostile[rng() % std::size(kHostile)];
        for (int b = 0; b < 4; ++b) out[at + b] = static_cast<uint8_t>(v >> (rng() % 2 ? 8 * b : 24 - 8 * b));
        break;
      }
    }
  }
  return out;
}

// A camera-like TIFF: IFD0 with strips, an Exif IFD with a maker note, a GPS IFD and IFD1 with a
// strip of its own.
Bytes CameraTiff(Order order) {
  test::TiffBuilder t(order);
  const int exif = t.AddDirectory();
  const int gps = t.AddDirectory();
  const int ifd1 = t.AddDirectory();
  const int thumb = t.AddBlob(Bytes(48, 0x20));
  const int strip = t.AddBlob(Bytes(192, 0x80));
  t.Ifd0().Short(kTagImageWidth, {8}).Short(kTagImageLength, {8}).BlobOffset(kTagStripOffsets, strip)
      .Short(kTagOrientation, {6}).Short(kTagRowsPerStrip, {8}).BlobLength(kTagStripByteCounts, strip)
      .Pointer(kTagExifIfdPointer, exif).Pointer(kTagGpsIfdPointer, gps).Next(ifd1);
  t.Dir(exif).Ascii(0x9003, "2020:01:02 03:04:05").Undefined(0x927C, Bytes(40, 0x11)).Short(0xA001, {1});
  t.Dir(gps).Data(0x0000, test::kByte, {2, 2, 0, 0}).Rational(0x0002, {{1, 1}, {2, 1}, {3, 1}});
  t.Dir(ifd1).Short(kTagImageWidth, {4}).Short(kTagImageLength, {4}).BlobOffset(kTagStripOffsets, thumb)
      .BlobLength(kTagStripByteCounts, thumb);
  return t.Build();
}

struct Fixture {
  std::string name;
  Bytes data;
};

std::vector<Fixture> Fixtures() {
  std::vector<Fixture> out;
  for (Order order : {Order::Little, Order::Big}) {
    const std::string tag = order == Order::Little ? "II" : "MM";
    test::CameraJpegOptions o;
    o.order = order;
    o.thumbnailOrientation = 1;
    out.push_back({"camera_" + tag + ".jpg", test::MakeCameraJpeg(o)});
    o.withJfif = true;
    o.withGps = false;
    out.push_back({"jfif_" + tag + ".jpg", test::MakeCameraJpeg(o)});
    out.push_back({"camera_" + tag + ".tif", CameraTiff(order)});
  }
  return out;
}

// Where the EXIF data of a fixture lies: the APP1 of a JPEG, the structures of a TIFF.
size_t ExifEnd(const Bytes& data) {
  if (data.size() > 6 && data[0] == 0xFF && data[1] == 0xD8) {
    size_t pos = 2, end = 2;
    while (pos + 4 <= data.size() && data[pos] == 0xFF && data[pos + 1] >= 0xE0 && data[pos + 1] <= 0xEF) {
      pos += 2 + ((data[pos + 2] << 8) | data[pos + 3]);
      end = pos;
    }
    return std::min(end + 64, data.size());
  }
  return data.size();
}

TEST(ExifRobustness, TruncatedFixtures) {
  ScratchDir dir;
  for (const Fixture& f : Fixtures()) {
    SCOPED_TRACE(f.name);
    const size_t end = ExifEnd(f.data);
    // Every length through the EXIF data in small steps, then a few in the image data.
    for (size_t length = 0; length <= end; length += (length < 64 ? 1 : 5)) {
      const std::string path = dir.File("cut_" + f.name);
      test::WriteFile(path, Bytes(f.data.begin(), f.data.begin() + static_cast<std::ptrdiff_t>(length)));
      ExerciseBoth(path);
      AskTheExports(path);
    }
  }
}

TEST(ExifRobustness, CorruptedFixtures) {
  ScratchDir dir;
  uint32_t seed = 1;
  for (const Fixture& f : Fixtures()) {
    SCOPED_TRACE(f.name);
    std::mt19937 rng(seed++);
    const size_t end = ExifEnd(f.data);
    for (int i = 0; i < 300; ++i) {
      const std::string path = dir.File("bad_" + f.name);
      test::WriteFile(path, Corrupt(f.data, 2, end, rng));
      ExerciseBoth(path);
      AskTheExports(path);
    }
  }
}

// Every malformed file of the corpus, and the well-formed files the EXIF model reads.
std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  for (const test::CorpusFile& f : test::LoadCorpusManifest()) {
    if (f.category == "malformed" || f.format == "JPEG" || f.format == "TIFF" || f.format == "DNG") {
      files.push_back(f.path);
    }
  }
  return files;
}

TEST(ExifRobustness, CorpusFilesAsTheyAre) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ExerciseBoth(file);
  }
}

TEST(ExifRobustness, CorruptedCorpusFiles) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  ScratchDir dir;
  std::mt19937 rng(20261205);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const Bytes data = test::ReadFile(file);
    // Only the head of a file holds the structures the reader walks; larger files are cut there.
    const Bytes head(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(data.size(), 96 * 1024)));
    const std::string name = file.substr(file.find_last_of('/') + 1);
    const std::string ext = name.substr(std::min(name.find_last_of('.'), name.size()));
    const std::string path = dir.File("corpus" + ext);
    for (int i = 0; i < 3; ++i) {
      test::WriteFile(path, Bytes(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(rng() % (head.size() + 1))));
      ExerciseBoth(path);
    }
    const size_t end = std::min(ExifEnd(head), head.size());
    for (int i = 0; i < 6; ++i) {
      test::WriteFile(path, Corrupt(head, 2, end, rng));
      ExerciseBoth(path);
    }
  }
}

}  // namespace
}  // namespace lf::exif
