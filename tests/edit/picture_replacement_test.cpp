// SPDX-License-Identifier: MIT
// New main images and thumbnails in files that keep their EXIF data; new files built from
// parameters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "imaging/picture_files.h"
#include "lumenframe/lumenframe.h"
#include "platform/clock.h"
#include "tests/support/decoded_images.h"
#include "tests/support/edit_fixtures.h"

namespace lf::test {
namespace {

// The first SHORT or LONG of a value, 0 when absent; a text without its NUL.
uint32_t NumberOf(const std::string& path, uint32_t directory, uint16_t tag) {
  const Bytes v = ValueOf(path, directory, tag);
  uint32_t n = 0;
  if (!v.empty()) std::memcpy(&n, v.data(), std::min<size_t>(v.size(), 4));
  return v.size() == 2 ? n & 0xFFFF : n;
}
std::string TextOf(const std::string& path, uint32_t directory, uint16_t tag) {
  const Bytes v = ValueOf(path, directory, tag);
  return std::string(v.begin(), std::find(v.begin(), v.end(), 0));
}

// What the module decodes of a file's thumbnail: width and height, 0 and 0 when there is none.
std::pair<int32_t, int32_t> ThumbnailSize(const std::string& path) {
  LF_HGLOBAL thumb = Decode(path.c_str(), LF_DECODE_THUMBNAIL);
  if (!thumb) return {};
  int32_t header[3] = {};
  std::memcpy(header, LfGlobalLock(thumb), sizeof header);
  LfGlobalUnlock(thumb);
  LfGlobalFree(thumb);
  return {header[1], header[2]};
}

template <size_t N>
Bytes Segment(uint8_t marker, const char (&payload)[N]) {
  return JpegBuilder().Segment(marker, Bytes(payload, payload + N - 1)).Build();
}
const Bytes kIcc = Segment(0xE2, "ICC_PROFILE\0\x01\x01\0\0\0\x10old profile.");
const Bytes kIptc = Segment(0xED, "Photoshop 3.0\08BIM\x04\x04\0\0\0\0\0\x06\x1c\x02\x05\0\x01T");
const Bytes kFlashPix = Segment(0xE2, "FPXR\0\0\x01\0\x02");
const Bytes kComment = Segment(0xFE, "taken at dawn");
const Bytes kMpf = Segment(0xE2, "MPF\0II*\0\x08\0\0\0");
const Bytes kAdobe = Segment(0xEE, "Adobe\0\x64\0\0\0\0\x01");

bool Holds(const Bytes& file, const Bytes& part) {
  return std::search(file.begin(), file.end(), part.begin(), part.end()) != file.end();
}

// A JPEG's new scan and thumbnail: metadata segments kept, print matching and the old picture's
// segments and trailer dropped; refused when an unreadable maker note may name the trailer.
TEST(PictureReplacementTest, JpegMainImageKeepsTheExifDataAndDropsPrintMatching) {
  struct Row {
    const char* name;
    bool printIm = false;   // IFD0 has PrintIM: its removal re-lays IFD0 and moves the maker note
    bool metadata = false;  // ICC, IPTC, FlashPix and comment segments; MPF and Adobe ones
    bool pinned = false;    // a maker note the editor cannot read
    bool trailer = false;   // data behind the old image
    bool named = false;     // ... which the maker note names, as a maker's preview pointer does
  };
  const Row rows[] = {
      {"PrintIM", true},
      {"maker note only"},
      {"metadata kept", false, true},
      {"trailer goes with the old image", false, false, false, true},
      {"unreadable maker note", false, false, true},
      {"unreadable maker note and trailer", false, false, true, true},
      {"unreadable maker note naming the trailer", false, false, true, true, true},
  };
  const platform::GlobalBlock image = NoiseImage(320, 240);
  for (const Order order : {Order::Little, Order::Big}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (order == Order::Big ? " (big-endian)" : ""));
      Bytes segments;
      if (row.metadata) {
        for (const Bytes* b : {&kIcc, &kMpf, &kIptc, &kFlashPix, &kAdobe, &kComment}) {
          segments.insert(segments.end(), b->begin(), b->end());
        }
      }
      CameraFile camera =
          MakeCameraFile({.order = order,
                          .withPrintIm = row.printIm,
                          .withPrintMatching = true,
                          .makerNoteHeader = row.pinned ? "Ospreyfot" : "Kestrelon",
                          .segmentsAfterExif = segments,
                          .trailer = row.trailer ? Bytes{0xFF, 0xD8, 1, 2, 3} : Bytes{}});
      if (row.named) {
        ByteWriter w(order);
        w.U32(static_cast<uint32_t>(camera.file.size() - 5 - camera.tiffBase));
        std::copy(w.bytes().begin(), w.bytes().end(),
                  camera.file.begin() + camera.tiffBase + camera.makerNoteValueOffset);
      }
      TempDir dir;
      const std::string src = dir.Put("photo.jpg", camera.file), dst = dir.File("out.jpg");
      if (row.pinned && row.named) {
        EXPECT_EQ(ReplaceExifImage(dst.c_str(), src.c_str(), image.get(), 80), LF_E_FAIL);
        EXPECT_LT(ReplaceThumbImage(src.c_str(), src.c_str(), image.get(), 80), 0);
        EXPECT_EQ(ReadFile(src), camera.file);
        EXPECT_EQ(dir.List().size(), 1u);
        continue;
      }
      ASSERT_EQ(ReplaceExifImage(dst.c_str(), src.c_str(), image.get(), 80), LF_S_OK);
      const Bytes written = ReadFile(dst);
      EXPECT_EQ(Holds(written, kIcc), row.metadata);
      for (const Bytes* kept : {&kIptc, &kFlashPix, &kComment}) {
        EXPECT_EQ(Holds(written, *kept), row.metadata);
      }
      EXPECT_FALSE(Holds(written, kMpf) || Holds(written, kAdobe));
      EXPECT_FALSE(row.trailer && Holds(written, {0xFF, 0xD8, 1, 2, 3}));
      EXPECT_EQ(DecodedSize(dst).width, 320);
      EXPECT_EQ(NumberOf(dst, LF_DIR_EXIF, 0xA002), 320u);
      EXPECT_EQ(NumberOf(dst, LF_DIR_EXIF, 0xA003), 240u);
      EXPECT_EQ(NumberOf(dst, LF_DIR_IFD0, 0xC4A5), 0u);
      EXPECT_EQ(ThumbnailSize(dst).first, 160);
      uint32_t isExif = 0, printImage = 1;
      ASSERT_EQ(IsExifEx(dst.c_str(), &isExif, &printImage, nullptr), LF_S_OK);
      EXPECT_EQ(isExif, 1u);
      // Neither PrintIM nor maker-note entry 0x0E00 is left, but in a maker note that is not read.
      EXPECT_EQ(printImage, row.pinned ? 1u : 0u);
      ExpectNoNewIssues(src, dst);
    }
  }
}

// A TIFF gets the new picture's strips and image entries; its other entries stay.
TEST(PictureReplacementTest, TiffMainImageHasTheNewStripsAndImageEntries) {
  struct Row {
    Order order;
    bool stripsFirst;
    bool pinned;  // a maker note the editor cannot read: no byte of the block may move
  };
  const platform::GlobalBlock image = NoiseImage(200, 150);
  for (const Row& row : {Row{Order::Little, false, false}, Row{Order::Big, false, false},
                         Row{Order::Big, true, false}, Row{Order::Little, true, true},
                         Row{Order::Big, true, true}}) {
    SCOPED_TRACE(::testing::Message()
                 << (row.order == Order::Big ? "MM" : "II") << row.stripsFirst << row.pinned);
    const TiffFile tiff = MakeTiffFile(row.order, 6, 3, row.stripsFirst,
                                       row.pinned ? TiffMakerNote::kForeign : TiffMakerNote::kNone);
    TempDir dir;
    const std::string src = dir.Put("scan.tif", tiff.file), prm = dir.File("new.tif"),
                      dst = dir.File("out.tif");
    ASSERT_EQ(imaging::SaveMainImage(prm.c_str(), LF_ENC_TIFF, image.get(), 80), S_OK);
    ASSERT_EQ(ReplaceExifImage(dst.c_str(), src.c_str(), image.get(), 80), LF_S_OK);
    // The strips are the new picture's, byte for byte.
    const Bytes strips = ImageDataOf(ReadFile(dst), 0);
    ASSERT_FALSE(strips.empty());
    EXPECT_EQ(strips, ImageDataOf(ReadFile(prm), 0));
    EXPECT_EQ(NumberOf(dst, LF_DIR_IFD0, 0x0100), 200u);
    EXPECT_EQ(NumberOf(dst, LF_DIR_IFD0, 0x0101), 150u);
    EXPECT_EQ(NumberOf(dst, LF_DIR_IFD0, 0x0103), 5u);  // the new file's compression
    EXPECT_EQ(NumberOf(dst, LF_DIR_IFD0, 0x0112), 6u);  // the photo's orientation stays
    EXPECT_EQ(NumberOf(dst, LF_DIR_IFD1, 0x0100), 160u);
    EXPECT_EQ(TextOf(dst, LF_DIR_EXIF, 0x927C).empty(), !row.pinned);
    ExpectNoNewIssues(src, dst);
  }
}

// A new 160x120 thumbnail, its quality lowered until the APP1 segment fits, or the file kept.
TEST(PictureReplacementTest, NewThumbnailFitsTheSegmentOrTheFileIsKept) {
  const platform::GlobalBlock portrait = NoiseImage(480, 640), noise = NoiseImage(640, 480);
  TempDir dir;
  // How large the thumbnail is at the start quality and at the lowest one.
  const std::string probe = dir.File("probe.jpg");
  ASSERT_EQ(imaging::MakeThumbnailFile(probe.c_str(), LF_ENC_JPEG, noise.get(), 100), S_OK);
  const size_t atBest = ReadFile(probe).size();
  ASSERT_EQ(imaging::MakeThumbnailFile(probe.c_str(), LF_ENC_JPEG, noise.get(), 5), S_OK);
  const size_t atWorst = ReadFile(probe).size();
  ASSERT_LT(atWorst + 2048, atBest);
  for (const Order order : {Order::Little, Order::Big}) {
    SCOPED_TRACE(order == Order::Big ? "big-endian" : "little-endian");
    const CameraFile camera = MakeCameraFile({.order = order});
    const std::string src = dir.Put("photo.jpg", camera.file), dst = dir.File("out.jpg");
    ASSERT_EQ(ReplaceThumbImage(dst.c_str(), src.c_str(), portrait.get(), 85), LF_S_OK);
    EXPECT_EQ(MainScan(ReadFile(dst)), MainScan(camera.file));
    EXPECT_EQ(ThumbnailSize(dst), std::pair(160, 120));
    ExpectNoNewIssues(src, dst);
    const std::string tif = dir.Put("scan.tif", MakeTiffFile(order, 1).file);
    ASSERT_EQ(ReplaceThumbImage(tif.c_str(), tif.c_str(), portrait.get(), 85), LF_S_OK);
    EXPECT_EQ(NumberOf(tif, LF_DIR_IFD1, 0x0100), 160u);
    EXPECT_NE(NumberOf(tif, LF_DIR_IFD1, 0x0111), 0u);
    EXPECT_EQ(DecodedSize(tif).width, 8);

    constexpr size_t kMaxPayload = 0xFFFF - 8;  // the APP1 payload must fit a 16-bit length
    const size_t blockWithoutThumbnail =
        MakeCameraFile({.order = order, .withThumbnail = false}).tiff.size();
    auto photoLeaving = [&](size_t room) {
      return MakeCameraFile(
          {.order = order, .makerNotePadding = kMaxPayload - blockWithoutThumbnail - room});
    };
    // Room for a middling thumbnail: quality 100 does not fit, a lower one does.
    const CameraFile near = photoLeaving((atBest + atWorst) / 2);
    const std::string f = dir.Put("near.jpg", near.file);
    ASSERT_EQ(ReplaceThumbImage(f.c_str(), f.c_str(), noise.get(), 100), LF_S_OK);
    EXPECT_EQ(MainScan(ReadFile(f)), MainScan(near.file));
    // No room even for the lowest quality: quality 5 fails at once, the file untouched.
    const CameraFile full = photoLeaving(atWorst / 2);
    WriteFile(f, full.file);
    EXPECT_EQ(ReplaceThumbImage(f.c_str(), f.c_str(), noise.get(), 5), LF_E_FAIL);
    EXPECT_EQ(ReplaceThumbImage(f.c_str(), f.c_str(), noise.get(), 100), LF_E_FAIL);
    EXPECT_EQ(ReadFile(f), full.file);
  }
}

// Encode builds a new file with a block from parameters, a thumbnail and, with the pair, GPS tags.
TEST(PictureReplacementTest, EncodeBuildsANewFileWithABlockAndAThumbnail) {
  const platform::GlobalBlock image = NoiseImage(320, 240);
  for (const uint32_t format : {LF_ENC_JPEG, LF_ENC_JPEG_MODE2, LF_ENC_TIFF}) {
    SCOPED_TRACE(format);
    TempDir dir;
    const std::string dest = dir.File(format == LF_ENC_TIFF ? "new.tif" : "new.jpg");
    char make[] = "Lumenframe", model[] = "Test Body";
    LfExifWriteParams params{};
    params.exifVersion = LF_EXIF_VERSION_0210;
    params.make.text = make;
    params.model.text = model;
    LfExifDateTime now{};
    ASSERT_TRUE(platform::LocalTime(&now));
    // A date of all zeros asks for the current time.
    ASSERT_EQ(Encode(image.get(), dest.c_str(), LF_ENC_NEW_EXIF_FILE | format, 85, &params),
              LF_S_OK);
    EXPECT_EQ(params.dateTimeOriginal.year, 0);  // the host's record is only read
    EXPECT_EQ(DecodedSize(dest).width, 320);
    EXPECT_EQ(DecodedSize(dest).height, 240);
    EXPECT_EQ(TextOf(dest, LF_DIR_IFD0, 0x010F), "Lumenframe");
    EXPECT_EQ(TextOf(dest, LF_DIR_IFD0, 0x0110), "Test Body");
    EXPECT_EQ(TextOf(dest, LF_DIR_EXIF, 0x9003).substr(0, 5), std::to_string(now.year) + ":");
    EXPECT_NE(NumberOf(dest, LF_DIR_IFD1, 0x0103), 0u);
    if (format != LF_ENC_TIFF) {
      EXPECT_EQ(ThumbnailSize(dest), std::pair(160, 120));
    }
    for (const std::string& issue : ValidationIssues(dest)) {
      EXPECT_EQ(issue.rfind("Error", 0), std::string::npos) << issue;
    }
    HostGps gps({0x0000, 0x0001, 0x0002});
    LfExifWriteParamsPair pair{&params, &gps.record};
    ASSERT_EQ(Encode(image.get(), dest.c_str(), LF_ENC_NEW_EXIF_FILE | LF_ENC_PARAMS_PAIR | format,
                     85, &pair),
              LF_S_OK);
    // Exif 0210 means GPS 2.0, written and told to the host as ReplaceExifGps does.
    EXPECT_EQ(Bytes(gps.record.versionID, gps.record.versionID + 4), (Bytes{2, 0, 0, 0}));
    EXPECT_EQ(NumberOf(dest, LF_DIR_GPS, 0x0000), 2u);
    EXPECT_EQ(NumberOf(dest, LF_DIR_GPS, 0x0002), 48u);
    EXPECT_EQ(TextOf(dest, LF_DIR_GPS, 0x0001), "N");
  }
}

}  // namespace
}  // namespace lf::test
