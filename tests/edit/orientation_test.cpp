// SPDX-License-Identifier: MIT
// SetOrientation on whole files: the in-place patch changes exactly the two Orientation entries
// and IFD0 DateTime; the rebuild path adds what is missing while every pointer keeps naming the
// same bytes; every written file passes an independent validator and reads back with our reader.
#include <gtest/gtest.h>

#include <cstring>

#include "exif/edit/orientation_date.h"
#include "exif/model/exif_reader.h"
#include "platform/faults.h"
#include "platform/file.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/fault_steps.h"

namespace lf::edit {
namespace {

using test::Bytes;
using test::CameraFile;
using test::CameraRecipe;
using test::Order;
using test::ReadFile;
using test::Slice;
using test::WriteFile;

IfdEntry Find(exif::ExifReader& r, DirectoryId id, uint16_t tag) {
  IfdEntry e{tag};
  EXPECT_EQ(r.FindEntry(id, &e), 1) << "directory " << id << " tag " << tag;
  return e;
}

uint32_t OrientationOf(const std::string& path, DirectoryId id) {
  exif::ExifReader r(path.c_str(), true);
  IfdEntry e{exif::kTagOrientation};
  if (r.FindEntry(id, &e) != 1 || e.type != exif::kTypeShort || e.count != 1) return 0;
  return e.value;
}


// What an independent reader and our own reader must find unchanged in a rewritten camera file.
void ExpectSameContent(const CameraFile& source, const std::string& path) {
  SCOPED_TRACE(path);
  const Bytes written = ReadFile(path);
  EXPECT_EQ(test::MainScan(written), test::MainScan(source.file));
  exif::ExifReader r(path.c_str(), true);
  ASSERT_TRUE(r.IsExif());
  platform::HeapPtr<uint8_t> thumb;
  const uint32_t n = r.GetThumbnail(&thumb);
  ASSERT_EQ(n, source.thumbnail.size());
  EXPECT_EQ(Bytes(thumb.get(), thumb.get() + n), source.thumbnail);
  // Values reached through every kind of pointer.
  char text[32] = {};
  EXPECT_EQ(r.ReadEntryValue(Find(r, exif::kExifIfd, 0x9003), text, 20), 20u);
  EXPECT_STREQ(text, "2021:07:14 09:26:53");
  uint32_t rationals[6] = {};
  EXPECT_EQ(r.ReadEntryValue(Find(r, exif::kGpsIfd, 0x0002), rationals, sizeof rationals), 3u);
  EXPECT_EQ(rationals[4], 2400u);
  EXPECT_EQ(r.ReadEntryValue(Find(r, exif::kIfd0, 0x0110), text, sizeof text), 12u);
  EXPECT_STREQ(text, "KX-100 Test");
  IfdEntry interop{0xA005};
  ASSERT_EQ(r.FindEntry(exif::kExifIfd, &interop), 1);
  const ByteView block = r.Block();
  EXPECT_EQ(Slice(Bytes(block.data(), block.data() + block.size()), interop.value + 2 + 8, 4),
            (Bytes{'R', '9', '8', 0}));
  // The maker note's own directory still finds its value.
  const IfdEntry mn = Find(r, exif::kExifIfd, 0x927C);
  const uint32_t dir = mn.value + 12;
  IfdEntry inner;
  ASSERT_TRUE(ReadEntry(block, dir + 2 + 12, &inner));
  EXPECT_EQ(inner.tag, 3);
  ASSERT_TRUE(block.Contains(inner.value, 16));
  EXPECT_EQ(Bytes(block.data() + inner.value, block.data() + inner.value + 16), source.makerNoteValue);
}

void ExpectValid(const std::string& sourcePath, const std::string& path) {
  if (!test::ExpectNoNewIssues(sourcePath, path)) GTEST_SKIP() << "exiftool is not installed";
}

class OrientationTest : public ::testing::TestWithParam<Order> {
 protected:
  CameraFile Camera(CameraRecipe recipe = {}) {
    recipe.order = GetParam();
    return test::MakeCameraFile(recipe);
  }
  test::TempDir dir_;
};

TEST_P(OrientationTest, SamePathPatchChangesOnlyTheOrientationsAndTheStamp) {
  const CameraFile c = Camera();
  const std::string f = dir_.File("a.jpg");
  WriteFile(f, c.file);
  WriteFile(dir_.File("src.jpg"), c.file);
  ASSERT_EQ(SetOrientation(f, f, 3, 0), S_OK);
  const Bytes after = ReadFile(f);
  ASSERT_EQ(after.size(), c.file.size());
  const size_t o0 = c.tiffBase + c.layout.entryOffsets.at({0, 0x112}) + 8;
  const size_t o1 = c.tiffBase + c.layout.entryOffsets.at({c.ifd1, 0x112}) + 8;
  const size_t stamp = c.tiffBase + c.layout.valueOffsets.at({0, 0x132});
  for (const auto& [begin, end] : test::DifferingRanges(c.file, after)) {
    const bool inOrientation = (begin >= o0 && end <= o0 + 2) || (begin >= o1 && end <= o1 + 2);
    const bool inStamp = begin >= stamp && end <= stamp + 19;
    EXPECT_TRUE(inOrientation || inStamp) << "bytes " << begin << ".." << end << " changed";
  }
  EXPECT_EQ(OrientationOf(f, exif::kIfd0), 3u);
  EXPECT_EQ(OrientationOf(f, exif::kIfd1), 3u);
  EXPECT_NE(Slice(after, stamp, 19), Slice(c.file, stamp, 19));
  EXPECT_EQ(after[stamp + 4], ':');
  ExpectValid(dir_.File("src.jpg"), f);
}

TEST_P(OrientationTest, EachEditProvesTheDirectoryWritableOnce) {
  // Files made by one call: the writability probe, and the new file of a rewrite or a copy with
  // the name it gets when complete. A second probe would show as one more.
  const std::string f = dir_.File("a.jpg"), g = dir_.File("b.jpg");
  struct Case {
    CameraRecipe recipe;
    bool samePath;
    uint32_t created;
  } cases[] = {{{}, true, 1}, {{}, false, 3}, {{.thumbnailOrientation = 0}, true, 3}};
  for (const Case& c : cases) {
    WriteFile(f, Camera(c.recipe).file);
    platform::ClearFaults();
    ASSERT_EQ(SetOrientation(c.samePath ? f : g, f, 3, 1), S_OK);
    EXPECT_EQ(platform::CallCount(platform::Service::Create), c.created);
  }
  WriteFile(f, Camera().file);
  platform::ClearFaults();
  ASSERT_EQ(SetDateTimeOriginal(f, ExifDateTime{2020, 2, 0, 29, 1, 2, 3, 0}), S_OK);
  EXPECT_EQ(platform::CallCount(platform::Service::Create), 1u);
  platform::ClearFaults();
}

TEST_P(OrientationTest, PatchToAnotherPathReplacesTheDestinationAndKeepsTheSource) {
  const CameraFile c = Camera();
  const std::string src = dir_.File("s.jpg"), dst = dir_.File("d.jpg");
  WriteFile(src, c.file);
  WriteFile(dst, {1, 2, 3});
  ASSERT_EQ(SetOrientation(dst, src, 8, 0), S_OK);
  EXPECT_EQ(ReadFile(src), c.file);
  const Bytes after = ReadFile(dst);
  ASSERT_EQ(after.size(), c.file.size());
  EXPECT_EQ(OrientationOf(dst, exif::kIfd0), 8u);
  EXPECT_EQ(OrientationOf(dst, exif::kIfd1), 8u);
  // Setting the orientation the file already has still rewrites it, with a new stamp.
  ASSERT_EQ(SetOrientation(src, src, 6, 0), S_OK);
  EXPECT_EQ(OrientationOf(src, exif::kIfd0), 6u);
  const size_t stamp = c.tiffBase + c.layout.valueOffsets.at({0, 0x132});
  for (const auto& [begin, end] : test::DifferingRanges(c.file, ReadFile(src))) {
    EXPECT_TRUE(begin >= stamp && end <= stamp + 19) << begin;
  }
}

TEST_P(OrientationTest, RefusedEditsLeaveTheFileAlone) {
  const CameraFile c = Camera({.thumbnailOrientation = 0});
  const std::string f = dir_.File("a.jpg");
  WriteFile(f, c.file);
  EXPECT_EQ(SetOrientation(f, f, 3, 0), E_FAIL);  // IFD1 has no Orientation to patch
  EXPECT_EQ(SetOrientation(f, f, 9, 1), E_FAIL);
  EXPECT_EQ(SetOrientation(f, f, 0, 1), E_FAIL);
  EXPECT_EQ(SetOrientation(f, f, 6, 1), E_FAIL);  // the main image already has 6
  EXPECT_EQ(ReadFile(f), c.file);
  EXPECT_EQ(SetOrientation(dir_.File("missing/x.jpg"), f, 3, 1) < 0, true);
  WriteFile(dir_.File("jfif.jpg"), test::MakeCameraJpeg({.withJfif = true}));
  EXPECT_EQ(SetOrientation(dir_.File("jfif.jpg"), dir_.File("jfif.jpg"), 3, 1), E_NO_EXIF);
  EXPECT_EQ(dir_.List().size(), 2u);
}

TEST_P(OrientationTest, RebuildAddsTheThumbnailOrientationAndKeepsEveryPointer) {
  for (const std::string name : {"same", "other"}) {
    SCOPED_TRACE(name);
    const CameraFile c = Camera({.thumbnailOrientation = 0});
    const std::string src = dir_.File("s.jpg");
    const std::string dst = name == "same" ? src : dir_.File("d.jpg");
    WriteFile(src, c.file);
    ASSERT_EQ(SetOrientation(dst, src, 5, 1), S_OK);
    EXPECT_EQ(OrientationOf(dst, exif::kIfd0), 5u);
    EXPECT_EQ(OrientationOf(dst, exif::kIfd1), 5u);
    ExpectSameContent(c, dst);
    WriteFile(dir_.File("orig.jpg"), c.file);
    ExpectValid(dir_.File("orig.jpg"), dst);
    if (name == "other") {
      EXPECT_EQ(ReadFile(src), c.file);
    }
    for (const std::string& f : dir_.List()) std::remove(dir_.File(f).c_str());
  }
}

TEST_P(OrientationTest, RebuildAddsBothOrientationsWhenNeitherExists) {
  const CameraFile c = Camera({.orientation = 0, .thumbnailOrientation = 0});
  const std::string src = dir_.File("s.jpg"), dst = dir_.File("d.jpg");
  WriteFile(src, c.file);
  ASSERT_EQ(SetOrientation(dst, src, 2, 1), S_OK);
  EXPECT_EQ(OrientationOf(dst, exif::kIfd0), 2u);
  EXPECT_EQ(OrientationOf(dst, exif::kIfd1), 2u);
  ExpectSameContent(c, dst);
  ExpectValid(src, dst);
  // A second edit of the rebuilt file patches in place.
  ASSERT_EQ(SetOrientation(dst, dst, 7, 0), S_OK);
  EXPECT_EQ(OrientationOf(dst, exif::kIfd1), 7u);
}

TEST_P(OrientationTest, AStreamThatCannotBeWalkedIsNotRewritten) {
  // A segment whose length word is 1 hides the rest of the stream from the walk.
  const CameraFile c = Camera({.thumbnailOrientation = 0});
  const size_t app1 = 2 + 2 + (c.file[4] << 8 | c.file[5]);
  Bytes broken(c.file.begin(), c.file.begin() + static_cast<long>(app1));
  const Bytes bad = {0xFF, 0xFE, 0x00, 0x01};
  broken.insert(broken.end(), bad.begin(), bad.end());
  broken.insert(broken.end(), c.file.begin() + static_cast<long>(app1), c.file.end());
  const std::string f = dir_.File("a.jpg");
  WriteFile(f, broken);
  EXPECT_EQ(SetOrientation(f, f, 3, 1), HRESULT_FROM_WIN32(13));
  EXPECT_EQ(ReadFile(f), broken);
  EXPECT_EQ(dir_.List().size(), 1u);
}

// A JPEG whose maker note is of a dialect the editor does not read: its offsets may name anything
// in the file, so nothing that exists moves and every word that names bytes behind the image must
// be one the rewrite can move with them.
TEST_P(OrientationTest, StreamsTheRewriteWouldChangeElsewhereAreNotRewritten) {
  const Order order = GetParam();
  const Bytes image = test::JpegBuilder().BodyOf(test::EncodeJpeg(8, 8)).Build();
  const Bytes preview = test::EncodeJpeg(8, 8);
  constexpr size_t kWordAt = 16;  // inside the maker note, behind 16 bytes of its own text
  auto put = [&](Bytes* b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
      (*b)[at + k] =
          static_cast<uint8_t>(order == Order::Little ? v >> (8 * k) : v >> (24 - 8 * k));
  };
  // The maker note holds `word` (when given) at kWordAt: offsets count from the TIFF header. With
  // `picture` it embeds a JPEG stream there, the word planted in its compressed data instead.
  auto tiffWith = [&](const uint32_t* word, bool picture = false) {
    Bytes note(kWordAt, 0x5A), jpeg = picture ? preview : Bytes(8, 0x5A);
    const size_t scanAt = picture ? test::MainScan(jpeg).size() : 0;
    note.insert(note.end(), jpeg.begin(), jpeg.end());
    // Behind the scan header, in the compressed data, not after a 0xFF (the word holds none).
    size_t at = picture ? note.size() - scanAt + 16 : kWordAt;
    while (picture && note[at - 1] == 0xFF) ++at;
    if (word) put(&note, at, *word);
    test::TiffBuilder t(order);
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
    test::TiffBuilder t(order);
    t.Ifd0().Undefined(0xB000, {'0', '1', '0', '0'}).Long(0xB001, {2}).Undefined(0xB002, entries);
    Bytes payload = {'M', 'P', 'F', 0};
    const Bytes index = t.Build();
    payload.insert(payload.end(), index.begin(), index.end());
    return payload;
  };
  const Bytes plain = tiffWith(nullptr);
  const size_t behind = test::JpegBuilder().Soi().App1Exif(plain).Raw(image).Build().size();
  const uint32_t trailerOffset = static_cast<uint32_t>(behind - 12);  // from the TIFF header
  const Bytes named = tiffWith(&trailerOffset);
  const uint32_t pictureTrailerOffset = static_cast<uint32_t>(
      test::JpegBuilder().Soi().App1Exif(tiffWith(nullptr, true)).Raw(image).Build().size() - 12);
  const Bytes inPicture = tiffWith(&pictureTrailerOffset, true);
  const Bytes mpfApp = mpf(0);
  const size_t mpfBehind =
      test::JpegBuilder().Soi().App1Exif(plain).App(2, mpfApp).Raw(image).Build().size();
  // From the MP header: behind SOI, the APP1 (marker, length, "Exif" and two 0 bytes, the TIFF
  // structure), the APP2 marker and length and "MPF" with its NUL.
  const uint32_t secondAt = static_cast<uint32_t>(mpfBehind - (2 + 4 + 6 + plain.size() + 4 + 4));

  const Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0, '<', 'x', '/', '>'};
  const Bytes text = {'p', 'r', 'e', 'v', 'i', 'e', 'w'};
  struct Case {
    const char* what;
    Bytes file;
    HRESULT result;
    Bytes rest = {};  // the bytes the rewritten file must end with, moved unchanged
  } cases[] = {
      {"plain", test::JpegBuilder().Soi().App1Exif(plain).Raw(image).Build(), S_OK},
      // Bytes behind the image that no word of the block names move with the file.
      {"trailer named by nothing",
       test::JpegBuilder().Soi().App1Exif(plain).Raw(image).Raw(text).Build(), S_OK, text},
      // A word of the maker note names them, and they are no picture it could be the offset of.
      {"trailer named by an unknown word",
       test::JpegBuilder().Soi().App1Exif(named).Raw(image).Raw(text).Build(),
       HRESULT_FROM_WIN32(13)},
      // The only word naming them is compressed data of a picture inside the maker note.
      {"trailer named inside an embedded picture",
       test::JpegBuilder().Soi().App1Exif(inPicture).Raw(image).Raw(text).Build(), S_OK, text},
      // The maker note names a preview picture there: its offset moves with it.
      {"preview named by the maker note",
       test::JpegBuilder().Soi().App1Exif(named).Raw(image).Raw(preview).Build(), S_OK, preview},
      // A second picture behind the image, named by the MPF index, which moves with it.
      {"MPF picture",
       test::JpegBuilder()
           .Soi()
           .App1Exif(plain)
           .App(2, mpf(secondAt))
           .Raw(image)
           .Raw(preview)
           .Build(),
       S_OK, preview},
      // Zeros behind the image are padding, named by nothing.
      {"padding", test::JpegBuilder().Soi().App1Exif(plain).Raw(image).Raw(Bytes(64, 0)).Build(),
       S_OK},
      // XMP would have to follow the new EXIF segment, where it would hide it.
      {"xmp", test::JpegBuilder().Soi().App(1, xmp).App1Exif(plain).Raw(image).Build(),
       HRESULT_FROM_WIN32(13)},
      // A stream that starts again before its scan: copied unchanged from its SOI on.
      {"restart", test::JpegBuilder().Soi().App1Exif(plain).Soi().Raw(image).Build(), S_OK,
       test::JpegBuilder().Soi().Raw(image).Build()},
  };
  const std::string f = dir_.File("a.jpg"), was = dir_.File("was.jpg");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(f, c.file);
    WriteFile(was, c.file);
    EXPECT_EQ(SetOrientation(f, f, 3, 1), c.result);
    const Bytes after = ReadFile(f);
    if (c.result != S_OK) {
      EXPECT_EQ(after, c.file);
    }
    EXPECT_EQ(dir_.List().size(), 2u);
    if (c.result != S_OK) continue;
    EXPECT_EQ(OrientationOf(f, exif::kIfd0), 3u);
    ASSERT_GE(after.size(), c.rest.size());
    EXPECT_EQ(Slice(after, after.size() - c.rest.size(), c.rest.size()), c.rest);
    // Judged by ExifTool as well: the picture the MPF index names, and nothing new to complain of.
    const test::ExifToolDump dump = test::RunExifTool({was, f});
    if (dump.size() == 2) {
      auto second = [](const test::ExifToolTags& t) {
        const auto at = t.find("MPImage2:MPImage2");
        return at == t.end() ? std::string() : at->second;
      };
      EXPECT_EQ(second(dump.at(f)), second(dump.at(was)));
      EXPECT_EQ(second(dump.at(was)).empty(), std::string(c.what) != "MPF picture");
    }
    test::ExpectNoNewIssues(was, f);
    if (c.rest == preview && std::string(c.what).rfind("preview", 0) == 0) {
      // The maker note's word names the preview at its new place.
      exif::ExifReader r(f.c_str(), true);
      const IfdEntry note = Find(r, exif::kExifIfd, 0x927C);
      const ByteView block = r.Block();
      const uint32_t moved = block.ReadU32(note.value + kWordAt);
      EXPECT_EQ(Slice(after, 12 + moved, preview.size()), preview);
    }
  }
}

TEST_P(OrientationTest, APayloadBeyondOneSegmentIsRefusedAndTheFileKept) {
  // Grow the maker note until the block fills the APP1 segment (to the last word: the builder
  // keeps values word-aligned); the rebuild then needs 12 more bytes for IFD1's new entry.
  auto withTiffSize = [&](size_t wanted) {
    const size_t base = Camera({.thumbnailOrientation = 0}).tiff.size();
    for (size_t pad = wanted - base - 2; pad <= wanted - base; ++pad) {
      CameraFile c = Camera({.thumbnailOrientation = 0, .makerNotePadding = pad});
      if (c.tiff.size() == wanted) return c;
    }
    ADD_FAILURE() << "no padding gives " << wanted;
    return CameraFile{};
  };
  const CameraFile full = withTiffSize(65535 - 8 - 1);
  const std::string f = dir_.File("full.jpg");
  WriteFile(f, full.file);
  EXPECT_EQ(SetOrientation(f, f, 3, 1), HRESULT_FROM_WIN32(13));
  EXPECT_EQ(ReadFile(f), full.file);
  EXPECT_EQ(dir_.List().size(), 1u);
  // 12 bytes less and the new block fits.
  const CameraFile fits = withTiffSize(65535 - 8 - 1 - 12);
  WriteFile(f, fits.file);
  ASSERT_EQ(SetOrientation(f, f, 3, 1), S_OK);
  const Bytes after = ReadFile(f);
  EXPECT_EQ(after[4] * 256 + after[5], 65534);
  ExpectSameContent(fits, f);
}

TEST_P(OrientationTest, EveryFailedStepOfARebuildLeavesTheOldFile) {
  const CameraFile c = Camera({.thumbnailOrientation = 0});
  const std::string f = dir_.File("a.jpg");
  WriteFile(f, c.file);
  ASSERT_EQ(SetOrientation(f, f, 4, 1), S_OK);
  const Bytes rebuilt = ReadFile(f);
  test::ForEachFailedStep<HRESULT>(
      [&] { WriteFile(f, c.file); }, [&] { return SetOrientation(f, f, 4, 1); },
      [&](HRESULT r) {
        const Bytes now = ReadFile(f);
        if (r == S_OK) {
          EXPECT_EQ(now.size(), rebuilt.size());
          EXPECT_EQ(OrientationOf(f, exif::kIfd1), 4u);
        } else {
          EXPECT_EQ(now, c.file);
        }
        EXPECT_EQ(dir_.List().size(), 1u);
      },
      29);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, OrientationTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "II" : "MM"; });

}  // namespace
}  // namespace lf::edit
