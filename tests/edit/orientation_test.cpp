// SPDX-License-Identifier: MIT
// SetOrientation's rebuild: entries added, image data carried, bytes behind the image judged.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "lumenframe/lumenframe.h"
#include "platform/faults.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"

namespace lf::test {
namespace {

uint32_t OrientationOf(const std::string& path, bool thumbnail = false) {
  uint32_t main = 0, thumb = 0;
  EXPECT_EQ(GetOrientation(path.c_str(), &main, &thumb, 1), LF_S_OK);
  return thumbnail ? thumb : main;
}

// A JPEG whose block is pinned by a SubIFDs directory the editor does not follow.
Bytes WithSubIfd(Order order) {
  TiffBuilder t(order);
  const int exif = t.AddDirectory(), sub = t.AddDirectory();
  t.Ifd0().Ascii(0x010F, "Kestrelon").Pointer(0x014A, sub).Pointer(0x8769, exif);
  t.Dir(exif).Undefined(0x9000, {'0', '2', '3', '0'});
  t.Dir(sub).Long(0x0100, {4}).Rational(0x011A, {{1, 2}});
  return JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(EncodeJpeg(8, 8)).Build();
}

TEST(OrientationTest, RebuildsAddWhatIsMissingAndCarryTheImageData) {
  struct Row {
    const char* name;
    std::function<Bytes(Order)> file;
    bool copy;  // written to another file
    bool tiff = false;
    bool thumbnail = true;  // the file has one, whose orientation follows
  };
  const auto camera = [](uint16_t main) {
    return CameraIn({.orientation = main, .thumbnailOrientation = 0});
  };
  const auto scan = [](bool stripsFirst, uint16_t main, bool thumbnail) {
    return [=](Order o) {
      return MakeTiffFile(o, main, 3, stripsFirst, TiffMakerNote::kNone,
                          thumbnail ? TiffThumbnail::kJpeg : TiffThumbnail::kNone)
          .file;
    };
  };
  const Row rows[] = {
      {"IFD1 without Orientation, in place", camera(6), false},
      {"IFD1 without Orientation, into a copy", camera(6), true},
      {"neither directory with Orientation", camera(0), true},
      {"a pinned block", WithSubIfd, false, false, false},
      {"TIFF, strips first, no Orientation", scan(true, 0, false), true, true, false},
      {"TIFF with a thumbnail", scan(false, 6, true), true, true},
      {"TIFF with a thumbnail, strips first", scan(true, 0, true), false, true},
  };
  for (const Order order : {Order::Little, Order::Big}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (order == Order::Big ? " (big-endian)" : ""));
      const Bytes file = row.file(order);
      TempDir dir;
      const std::string ext = row.tiff ? ".tif" : ".jpg";
      const std::string src = dir.Put("src" + ext, file), was = dir.Put("was" + ext, file);
      const std::string dst = row.copy ? dir.File("dst" + ext) : src;
      ASSERT_EQ(SetOrientation(dst.c_str(), src.c_str(), 5, 1), LF_S_OK);
      if (row.copy) {
        EXPECT_EQ(ReadFile(src), file);
      }
      EXPECT_EQ(OrientationOf(dst), 5u);
      if (row.thumbnail) {
        EXPECT_EQ(OrientationOf(dst, true), 5u);
      }
      const Bytes written = ReadFile(dst);
      if (row.tiff) {
        EXPECT_EQ(ImageDataOf(written, 0), ImageDataOf(file, 0));
        EXPECT_EQ(ImageDataOf(written, 1), ImageDataOf(file, 1));
      } else {
        EXPECT_EQ(MainScan(written), MainScan(file));
        EXPECT_EQ(ImageDataOf(TiffOf(written), 1), ImageDataOf(TiffOf(file), 1));
      }
      ExpectNoNewIssues(was, dst);
      // The rebuilt file has both entries now: the next edit patches it.
      EXPECT_EQ(SetOrientation(dst.c_str(), dst.c_str(), 7, 0),
                row.thumbnail ? LF_S_OK : LF_E_FAIL);
    }
  }
}

// Files one call creates: the writability probe, plus the new file of a rewrite or copy.
TEST(OrientationTest, EachEditProvesTheDirectoryWritableOnce) {
  TempDir dir;
  const std::string f = dir.File("a.jpg"), g = dir.File("b.jpg");
  struct Row {
    CameraRecipe recipe;
    bool samePath;
    bool date;
    uint32_t created;
  } rows[] = {{{}, true, false, 1},
              {{}, false, false, 3},
              {{.thumbnailOrientation = 0}, true, false, 3},
              {{}, true, true, 1}};
  for (const Row& row : rows) {
    WriteFile(f, MakeCameraFile(row.recipe).file);
    platform::ClearFaults();
    ASSERT_EQ(row.date
                  ? SetDateTimeOriginal(f.c_str(), MakeDate<LfExifDateTime>(2020, 2, 29, 1, 2, 3))
                  : SetOrientation((row.samePath ? f : g).c_str(), f.c_str(), 3, 1),
              LF_S_OK);
    EXPECT_EQ(platform::CallCount(platform::Service::Create), row.created);
  }
  platform::ClearFaults();
}

// An unreadable maker note may name anything: bytes behind the image move only when no word of it
// names them, or when the word is one the rewrite can move with them.
TEST(OrientationTest, BytesBehindTheImageMoveWithItOrTheRewriteIsRefused) {
  for (const Order order : {Order::Little, Order::Big}) {
    SCOPED_TRACE(order == Order::Big ? "big-endian" : "little-endian");
    const Bytes image = JpegBuilder().BodyOf(EncodeJpeg(8, 8)).Build();
    const Bytes preview = EncodeJpeg(8, 8);
    constexpr size_t kWordAt = 16;  // inside the maker note, behind 16 bytes of its own text
    auto put = [&](Bytes* b, size_t at, uint32_t v) {
      for (int k = 0; k < 4; ++k)
        (*b)[at + k] =
            static_cast<uint8_t>(order == Order::Little ? v >> (8 * k) : v >> (24 - 8 * k));
    };
    // A maker note holding `word` at kWordAt, or inside the compressed data of an embedded picture.
    auto tiffWith = [&](const uint32_t* word, bool picture = false) {
      Bytes note(kWordAt, 0x5A), jpeg = picture ? preview : Bytes(8, 0x5A);
      const size_t scanAt = picture ? MainScan(jpeg).size() : 0;
      note.insert(note.end(), jpeg.begin(), jpeg.end());
      // Behind the scan header, in the compressed data, not after a 0xFF (the word holds none).
      size_t at = picture ? note.size() - scanAt + 16 : kWordAt;
      while (picture && note[at - 1] == 0xFF) ++at;
      if (word) put(&note, at, *word);
      TiffBuilder t(order);
      const int exif = t.AddDirectory();
      t.Ifd0().Ascii(0x010F, "Other").Pointer(0x8769, exif);
      t.Dir(exif).Undefined(0x9000, {'0', '2', '3', '0'}).Undefined(0x927C, note);
      return t.Build();
    };
    // An APP2 "MPF" index naming a second picture behind the image, counted from its own header.
    auto mpf = [&](uint32_t secondAt) {
      Bytes entries(32, 0);
      put(&entries, 4, 1000);
      put(&entries, 20, static_cast<uint32_t>(preview.size()));
      put(&entries, 24, secondAt);
      TiffBuilder t(order);
      t.Ifd0().Undefined(0xB000, {'0', '1', '0', '0'}).Long(0xB001, {2}).Undefined(0xB002, entries);
      Bytes payload = {'M', 'P', 'F', 0};
      const Bytes index = t.Build();
      payload.insert(payload.end(), index.begin(), index.end());
      return payload;
    };
    const auto jpeg = [&](const Bytes& tiff) { return JpegBuilder().Soi().App1Exif(tiff); };
    const Bytes plain = tiffWith(nullptr);
    const uint32_t trailerOffset =
        static_cast<uint32_t>(jpeg(plain).Raw(image).Build().size() - 12);
    const Bytes named = tiffWith(&trailerOffset);
    const uint32_t pictureTrailerOffset =
        static_cast<uint32_t>(jpeg(tiffWith(nullptr, true)).Raw(image).Build().size() - 12);
    const Bytes inPicture = tiffWith(&pictureTrailerOffset, true);
    const size_t mpfBehind = jpeg(plain).App(2, mpf(0)).Raw(image).Build().size();
    // Counted from the MP header, behind SOI, the APP1 and the APP2 marker, length and "MPF\0".
    const uint32_t secondAt = static_cast<uint32_t>(mpfBehind - (2 + 4 + 6 + plain.size() + 4 + 4));
    const Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0, '<', 'x', '/', '>'};
    const Bytes text = {'p', 'r', 'e', 'v', 'i', 'e', 'w'};
    const LF_RESULT refused = LfResultFromWin32(13);
    struct Case {
      const char* what;
      Bytes file;
      LF_RESULT result;
      Bytes rest = {};  // the bytes the rewritten file must end with, moved unchanged
    } cases[] = {
        {"plain", jpeg(plain).Raw(image).Build(), LF_S_OK},
        // Bytes behind the image that no word of the block names move with the file.
        {"trailer named by nothing", jpeg(plain).Raw(image).Raw(text).Build(), LF_S_OK, text},
        // A word of the maker note names them, and they are no picture it could be the offset of.
        {"trailer named by an unknown word", jpeg(named).Raw(image).Raw(text).Build(), refused},
        // The only word naming them is compressed data of a picture inside the maker note.
        {"trailer named inside an embedded picture", jpeg(inPicture).Raw(image).Raw(text).Build(),
         LF_S_OK, text},
        // The maker note names a preview picture there: its offset moves with it.
        {"preview named by the maker note", jpeg(named).Raw(image).Raw(preview).Build(), LF_S_OK,
         preview},
        // A second picture behind the image, named by the MPF index, which moves with it.
        {"MPF picture", jpeg(plain).App(2, mpf(secondAt)).Raw(image).Raw(preview).Build(), LF_S_OK,
         preview},
        // Zeros behind the image are padding, named by nothing.
        {"padding", jpeg(plain).Raw(image).Raw(Bytes(64, 0)).Build(), LF_S_OK},
        // XMP would have to follow the new EXIF segment, where it would hide it.
        {"xmp", JpegBuilder().Soi().App(1, xmp).App1Exif(plain).Raw(image).Build(), refused},
        // A stream that starts again before its scan: copied unchanged from its SOI on.
        {"restart", jpeg(plain).Soi().Raw(image).Build(), LF_S_OK,
         JpegBuilder().Soi().Raw(image).Build()},
    };
    TempDir dir;
    const std::string f = dir.File("a.jpg"), was = dir.File("was.jpg");
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      WriteFile(f, c.file);
      WriteFile(was, c.file);
      EXPECT_EQ(SetOrientation(f.c_str(), f.c_str(), 3, 1), c.result);
      const Bytes after = ReadFile(f);
      EXPECT_EQ(dir.List().size(), 2u);
      if (c.result != LF_S_OK) {
        EXPECT_EQ(after, c.file);
        continue;
      }
      EXPECT_EQ(OrientationOf(f), 3u);
      ASSERT_GE(after.size(), c.rest.size());
      EXPECT_EQ(Slice(after, after.size() - c.rest.size(), c.rest.size()), c.rest);
      if (c.rest == preview && std::string(c.what).starts_with("preview")) {
        // The maker note's word names the preview at its new place.
        const Bytes tiff = TiffOf(after);
        const Bytes fill(kWordAt, 0x5A);
        const size_t note = static_cast<size_t>(
            std::search(tiff.begin(), tiff.end(), fill.begin(), fill.end()) - tiff.begin());
        ASSERT_LT(note + kWordAt + 4, tiff.size());
        uint32_t moved = 0;
        for (int k = 0; k < 4; ++k) {
          const uint8_t b = tiff[note + kWordAt + static_cast<size_t>(k)];
          moved |= uint32_t{b} << (order == Order::Little ? 8 * k : 24 - 8 * k);
        }
        EXPECT_EQ(Slice(after, 12 + moved, preview.size()), preview);
      }
      // ExifTool finds the picture the MPF index names, and nothing new to complain of.
      const ExifToolDump dump = RunExifTool({was, f});
      if (dump.size() == 2) {
        auto second = [](const ExifToolTags& t) {
          const auto at = t.find("MPImage2:MPImage2");
          return at == t.end() ? std::string() : at->second;
        };
        EXPECT_EQ(second(dump.at(f)), second(dump.at(was)));
        EXPECT_EQ(second(dump.at(was)).empty(), std::string(c.what) != "MPF picture");
      }
      ExpectNoNewIssues(was, f);
    }
  }
}

TEST(OrientationTest, APayloadBeyondOneSegmentIsRefusedAndTheFileKept) {
  for (const Order order : {Order::Little, Order::Big}) {
    // A block filling the APP1 segment; the rebuild needs 12 more bytes for IFD1's new entry.
    auto withTiffSize = [&](size_t wanted) {
      const size_t base = MakeCameraFile({.order = order, .thumbnailOrientation = 0}).tiff.size();
      for (size_t pad = wanted - base - 2; pad <= wanted - base; ++pad) {
        CameraFile c =
            MakeCameraFile({.order = order, .thumbnailOrientation = 0, .makerNotePadding = pad});
        if (c.tiff.size() == wanted) return c;
      }
      ADD_FAILURE() << "no padding gives " << wanted;
      return CameraFile{};
    };
    TempDir dir;
    const std::string f = dir.File("full.jpg");
    const CameraFile full = withTiffSize(65535 - 8 - 1);
    WriteFile(f, full.file);
    EXPECT_EQ(SetOrientation(f.c_str(), f.c_str(), 3, 1), LfResultFromWin32(13));
    EXPECT_EQ(ReadFile(f), full.file);
    EXPECT_EQ(dir.List().size(), 1u);
    // 12 bytes less and the new block fits.
    const CameraFile fits = withTiffSize(65535 - 8 - 1 - 12);
    WriteFile(f, fits.file);
    ASSERT_EQ(SetOrientation(f.c_str(), f.c_str(), 3, 1), LF_S_OK);
    const Bytes after = ReadFile(f);
    EXPECT_EQ(after[4] * 256 + after[5], 65534);
    EXPECT_EQ(MainScan(after), MainScan(fits.file));
  }
}

}  // namespace
}  // namespace lf::test
