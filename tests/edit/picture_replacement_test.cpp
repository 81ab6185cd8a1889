// SPDX-License-Identifier: MIT
// New pictures in files that keep their EXIF data: the main image replaced (JPEG scan or TIFF
// strips), print-matching data dropped, the thumbnail quality loop, every failed step leaving the
// file as it was, and the exports and commands end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "exif/edit/picture_replacement.h"
#include "exif/makernote/maker_note_reader.h"
#include "exif/model/exif_reader.h"
#include "imaging/decode.h"
#include "imaging/picture_files.h"
#include "imaging/toolkit.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/temp_files.h"
#include "tests/support/decoded_images.h"
#include "tests/support/edit_fixtures.h"
#include "tests/support/exiftool_dump.h"
#include "tests/support/fault_steps.h"
#include "tests/support/host_module.h"
#include "tests/support/scratch_tmpdir.h"

namespace lf::edit {
namespace {

using platform::Service;
using test::Bytes;
using test::CameraFile;
using test::CameraRecipe;
using test::Order;

using test::DecodedSize;
using test::NoiseImage;
using test::Size;

IfdEntry Entry(exif::ExifReader& r, DirectoryId id, uint16_t tag) {
  IfdEntry e{tag};
  if (r.FindEntry(id, &e) != exif::kFound) return IfdEntry{};
  return e;
}

bool HasThumbnailDirectory(exif::ExifReader& r) {
  IfdLocation ifd1;
  return r.LocateDirectory(exif::kIfd1, &ifd1) == 1 && ifd1.offset != 0;
}

std::string Text(exif::ExifReader& r, DirectoryId id, uint16_t tag) {
  const IfdEntry e = Entry(r, id, tag);
  char text[64] = {};
  if (e.tag == 0 || r.ReadEntryValue(e, text, sizeof text - 1) == 0) return {};
  return text;
}

// Whether the thumbnail directory builder exists yet (it is written separately): the exports
// that attach a thumbnail cannot succeed without it.
bool ThumbnailBuilderAvailable() {
  static const bool available = [] {
    test::TempDir dir;
    const std::string src = dir.File("probe.jpg"), thm = dir.File("thm.jpg");
    test::WriteFile(src, test::MakeCameraFile().file);
    const platform::GlobalBlock image = NoiseImage(64, 48);
    if (imaging::MakeThumbnailFile(thm.c_str(), LF_ENC_JPEG, image.get(), 75) != S_OK) return false;
    ExifWriter writer(src.c_str(), false);
    ExifWriteParams params{};
    params.exifVersion = LF_EXIF_VERSION_0210;
    return writer.CopyBlockForEdit(false, false) == 1 && writer.AttachThumbnail(thm, params) == 1;
  }();
  return available;
}
#define SKIP_WITHOUT_THUMBNAIL_BUILDER()                                                          \
  if (!ThumbnailBuilderAvailable())                                                               \
  GTEST_SKIP() << "ExifWriter::AttachThumbnail is not implemented yet: no thumbnail can be attached"

// Whether the builder of whole blocks exists yet (it is written separately): EncodeWithExif cannot
// succeed without it.
bool BlockBuilderAvailable() {
  static const bool available = [] {
    test::TempDir dir;
    const std::string prm = dir.File("prm.jpg"), thm = dir.File("thm.jpg");
    const platform::GlobalBlock image = NoiseImage(64, 48);
    if (imaging::SaveMainImage(prm.c_str(), LF_ENC_JPEG, image.get(), 75) != S_OK ||
        imaging::MakeThumbnailFile(thm.c_str(), LF_ENC_JPEG, image.get(), 75) != S_OK) {
      return false;
    }
    ExifWriter writer(prm.c_str(), false);
    ExifWriteParams params{};
    params.exifVersion = LF_EXIF_VERSION_0210;
    return writer.BuildExifBlock(thm, params, nullptr) == 1;
  }();
  return available;
}
#define SKIP_WITHOUT_BLOCK_BUILDER()                                                              \
  if (!BlockBuilderAvailable())                                                                   \
  GTEST_SKIP() << "ExifWriter::BuildExifBlock is not implemented yet: no block can be built"

using test::ExpectNoNewIssues;

using test::ScratchTmpdir;

// ---- The main image of a JPEG

struct JpegCase {
  const char* name;
  Order order;
  bool printIm = false;  // IFD0 has PrintIM: its removal re-lays IFD0 and moves the maker note
  bool metadata = false;    // ICC, IPTC, FlashPix and comment segments; MPF and Adobe ones
  bool pictureIcc = false;  // the new picture brings its own ICC profile
  bool pinned = false;      // a maker note the editor cannot read
  bool trailer = false;     // data behind the old image
  bool named = false;       // ... which the maker note names, as a maker's preview pointer does
};

template <size_t N>
Bytes Segment(uint8_t marker, const char (&payload)[N]) {
  return test::JpegBuilder().Segment(marker, Bytes(payload, payload + N - 1)).Build();
}
// A profile of 16 bytes: its own length, then 12 bytes.
const Bytes kIcc = Segment(0xE2, "ICC_PROFILE\0\x01\x01\0\0\0\x10old profile.");
const Bytes kNewIcc = Segment(0xE2, "ICC_PROFILE\0\x01\x01\0\0\0\x10new profile.");
const Bytes kIptc = Segment(0xED, "Photoshop 3.0\08BIM\x04\x04\0\0\0\0\0\x06\x1c\x02\x05\0\x01T");
const Bytes kFlashPix = Segment(0xE2, "FPXR\0\0\x01\0\x02");
const Bytes kComment = Segment(0xFE, "taken at dawn");
const Bytes kMpf = Segment(0xE2, "MPF\0II*\0\x08\0\0\0");
const Bytes kAdobe = Segment(0xEE, "Adobe\0\x64\0\0\0\0\x01");

bool Holds(const Bytes& file, const Bytes& part) {
  return std::search(file.begin(), file.end(), part.begin(), part.end()) != file.end();
}

class JpegMainImageTest : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegMainImageTest, NewScanKeepsTheExifDataAndDropsPrintMatching) {
  const JpegCase c = GetParam();
  Bytes segments;
  if (c.metadata) {
    for (const Bytes* b : {&kIcc, &kMpf, &kIptc, &kFlashPix, &kAdobe, &kComment}) {
      segments.insert(segments.end(), b->begin(), b->end());
    }
  }
  CameraFile camera =
      test::MakeCameraFile({.order = c.order,
                            .withPrintIm = c.printIm,
                            .withPrintMatching = true,
                            .makerNoteHeader = c.pinned ? "Ospreyfot" : "Kestrelon",
                            .segmentsAfterExif = segments,
                            .trailer = c.trailer ? Bytes{0xFF, 0xD8, 1, 2, 3} : Bytes{}});
  if (c.named) {
    const uint32_t trailerAt = static_cast<uint32_t>(camera.file.size() - 5 - camera.tiffBase);
    test::ByteWriter w(c.order);
    w.U32(trailerAt);
    std::copy(w.bytes().begin(), w.bytes().end(),
              camera.file.begin() + camera.tiffBase + camera.makerNoteValueOffset);
  }
  test::TempDir dir;
  const std::string src = dir.File("photo.jpg"), prm = dir.File("new.jpg"), dst = dir.File("out.jpg");
  test::WriteFile(src, camera.file);
  const platform::GlobalBlock image = NoiseImage(320, 240);
  ASSERT_EQ(imaging::SaveMainImage(prm.c_str(), LF_ENC_JPEG, image.get(), 80), S_OK);
  if (c.pictureIcc) {
    test::WriteFile(prm, test::JpegBuilder().Soi().Raw(kNewIcc).BodyOf(test::ReadFile(prm)).Build());
  }

  ExifWriter writer(src.c_str(), false);
  ImageSource source;
  // The old image's trailer goes with it; a maker note the editor cannot read may point there.
  const int replaced = ReplaceMainImageInOutput(writer, prm, false, &source);
  ASSERT_EQ(replaced, c.pinned && c.named ? 0 : 1);
  if (replaced == 0) {
    // A new thumbnail resizes the EXIF segment and would move the trailer: refused as well.
    EXPECT_TRUE(Failed(ReplaceThumbImage(src, src, image.get(), 80)));
    EXPECT_EQ(test::ReadFile(src), camera.file);
    return;
  }
  EXPECT_EQ(source.path, prm);
  EXPECT_FALSE(writer.HasOutputThumbnail());
  EXPECT_EQ(DropPrintMatching(writer), 1);
  ASSERT_EQ(WriteToFile(writer, dst, Probe::kDestination, &source), S_OK);

  const Bytes written = test::ReadFile(dst);
  EXPECT_EQ(test::MainScan(written), test::MainScan(test::ReadFile(prm)));
  // The photo's metadata stays byte for byte, unless the new picture has its own of that kind;
  // what described the old picture goes.
  EXPECT_EQ(Holds(written, kIcc), c.metadata && !c.pictureIcc);
  EXPECT_EQ(Holds(written, kNewIcc), c.pictureIcc);
  for (const Bytes* kept : {&kIptc, &kFlashPix, &kComment}) {
    EXPECT_EQ(Holds(written, *kept), c.metadata);
  }
  EXPECT_FALSE(Holds(written, kMpf) || Holds(written, kAdobe));
  EXPECT_EQ(DecodedSize(dst).width, 320);
  EXPECT_EQ(DecodedSize(dst).height, 240);
  exif::MakerNoteReader r(dst.c_str(), true);
  ASSERT_TRUE(r.IsExifJpeg());
  EXPECT_EQ(Entry(r, exif::kExifIfd, 0xA002).value, 320u);
  EXPECT_EQ(Entry(r, exif::kExifIfd, 0xA003).value, 240u);
  EXPECT_EQ(Text(r, exif::kIfd0, 0x010F), "Kestrelon");
  EXPECT_EQ(Text(r, exif::kIfd0, 0x0110), "KX-100 Test");
  EXPECT_EQ(Text(r, exif::kExifIfd, 0x9003), "2021:07:14 09:26:53");
  EXPECT_EQ(Entry(r, exif::kGpsIfd, 0x0002).count, 3u);
  EXPECT_EQ(Entry(r, exif::kIfd0, 0xC4A5).tag, 0);
  EXPECT_FALSE(HasThumbnailDirectory(r));
  // The maker note keeps its other entries and their values.
  if (!c.pinned) {
    ASSERT_EQ(r.ParseMakerNoteHeader(), 1);
    IfdEntry matching{0x0E00}, value{0x0003};
    EXPECT_NE(r.FindMakerNoteEntry(&matching), 1);
    ASSERT_EQ(r.FindMakerNoteEntry(&value), 1);
    uint8_t bytes[16] = {};
    ASSERT_EQ(r.ReadMakerNoteValue(value, bytes, sizeof bytes), 16u);
    EXPECT_EQ(Bytes(bytes, bytes + 16), camera.makerNoteValue);
  }
  ExpectNoNewIssues(src, dst);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, JpegMainImageTest,
    ::testing::Values(
        JpegCase{"II_PrintIm", Order::Little, true}, JpegCase{"MM_PrintIm", Order::Big, true},
        JpegCase{"II_MakerNoteOnly", Order::Little}, JpegCase{"MM_MakerNoteOnly", Order::Big},
        JpegCase{"II_MetadataKept", Order::Little, false, true},
        JpegCase{"MM_MetadataKept", Order::Big, false, true},
        JpegCase{"II_PictureBringsItsProfile", Order::Little, false, true, true},
        JpegCase{"MM_TrailerGoesWithTheOldImage", Order::Big, false, false, false, false, true},
        JpegCase{"II_UnreadableMakerNote", Order::Little, false, false, false, true},
        JpegCase{"MM_UnreadableMakerNoteAndTrailer", Order::Big, false, false, false, true, true},
        JpegCase{"II_UnreadableMakerNoteNamingTheTrailer", Order::Little, false, false, false, true,
                 true, true},
        JpegCase{"MM_UnreadableMakerNoteNamingTheTrailer", Order::Big, false, false, false, true,
                 true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The main image of a TIFF

struct TiffCase {
  Order order;
  bool stripsFirst;
  bool pinned;  // a maker note the editor cannot read: no byte of the block may move
};

class TiffMainImageTest : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffMainImageTest, NewStripsAndImageEntriesKeepTheRest) {
  SKIP_WITHOUT_THUMBNAIL_BUILDER();
  const TiffCase c = GetParam();
  const test::TiffFile tiff =
      test::MakeTiffFile(c.order, 6, 3, c.stripsFirst,
                         c.pinned ? test::TiffMakerNote::kForeign : test::TiffMakerNote::kNone);
  test::TempDir dir;
  const std::string src = dir.File("scan.tif"), prm = dir.File("new.tif"), dst = dir.File("out.tif");
  test::WriteFile(src, tiff.file);
  const platform::GlobalBlock image = NoiseImage(200, 150);
  ASSERT_EQ(imaging::SaveMainImage(prm.c_str(), LF_ENC_TIFF, image.get(), 80), S_OK);
  // The new strips, the new thumbnail and everything kept must each have their own bytes.
  ASSERT_EQ(ReplaceExifImage(dst, src, image.get(), 80), S_OK);

  // The pixels are the new picture's, exactly (TIFF is lossless).
  imaging::ScopedBitmap expected, got;
  ASSERT_EQ(imaging::LoadFile(prm.c_str(), expected.get(), 24, nullptr), imaging::kToolkitSuccess);
  ASSERT_EQ(imaging::LoadFile(dst.c_str(), got.get(), 24, nullptr), imaging::kToolkitSuccess);
  ASSERT_EQ(got->width, 200);
  ASSERT_EQ(got->height, 150);
  for (int32_t row = 0; row < 150; row += 7) {
    for (int32_t col = 0; col < 200; col += 11) {
      ASSERT_EQ(imaging::GetPixelColor(got.get(), row, col), imaging::GetPixelColor(expected.get(), row, col));
    }
  }
  exif::ExifReader r(dst.c_str(), true);
  ASSERT_TRUE(r.IsExifTiff());
  EXPECT_EQ(Entry(r, exif::kIfd0, 0x0100).value, 200u);
  EXPECT_EQ(Entry(r, exif::kIfd0, 0x0101).value, 150u);
  EXPECT_EQ(Entry(r, exif::kIfd0, 0x0103).value, 5u);  // the new file's compression
  EXPECT_EQ(Entry(r, exif::kIfd0, 0x0112).value, 6u);  // the photo's orientation stays
  EXPECT_EQ(Text(r, exif::kIfd0, 0x010F), "Kestrelon");
  EXPECT_EQ(Text(r, exif::kExifIfd, 0x9003), "2020:01:02 03:04:05");
  uint32_t resolution[2] = {};
  ASSERT_EQ(r.ReadEntryValue(Entry(r, exif::kIfd0, 0x011A), resolution, sizeof resolution), 1u);
  EXPECT_EQ(resolution[0], 300u);
  EXPECT_EQ(Entry(r, exif::kIfd1, 0x0100).value, 160u);
  EXPECT_EQ(Entry(r, exif::kExifIfd, 0x927C).count, c.pinned ? 47u : 0u);
  ExpectNoNewIssues(src, dst);
}

INSTANTIATE_TEST_SUITE_P(Layouts, TiffMainImageTest,
                         ::testing::Values(TiffCase{Order::Little, false, false},
                                           TiffCase{Order::Big, false, false},
                                           TiffCase{Order::Big, true, false},
                                           TiffCase{Order::Little, true, true},
                                           TiffCase{Order::Big, true, true}),
                         [](const auto& info) {
                           return std::string(info.param.order == Order::Little ? "II" : "MM") +
                                  (info.param.stripsFirst ? "_StripsFirst" : "") +
                                  (info.param.pinned ? "_Pinned" : "");
                         });

TEST(MainImageRefusalTest, APictureOfTheOtherKindOrNoneIsRefused) {
  test::TempDir dir;
  const std::string jpeg = dir.File("photo.jpg"), tif = dir.File("scan.tif"), junk = dir.File("junk.jpg");
  test::WriteFile(jpeg, test::MakeCameraFile().file);
  test::WriteFile(tif, test::MakeTiffFile(Order::Little, 1).file);
  test::WriteFile(junk, Bytes(100, 0x55));
  ImageSource source{"stale", 9};
  ExifWriter a(jpeg.c_str(), false);
  EXPECT_EQ(ReplaceMainImageInOutput(a, tif, false, &source), 0);
  EXPECT_TRUE(source.path.empty());
  EXPECT_FALSE(a.IsBuilt());
  ExifWriter b(tif.c_str(), false);
  EXPECT_EQ(ReplaceMainImageInOutput(b, jpeg, false, &source), 0);
  EXPECT_EQ(ReplaceMainImageInOutput(b, junk, false, &source), 0);
  EXPECT_EQ(ReplaceMainImageInOutput(b, "", false, &source), 0);
  EXPECT_EQ(DropPrintMatching(b), 0);  // nothing copied yet
}

// ---- The quality loop

TEST(ThumbnailQualityLoopTest, RetriesInStepsOfFiveUntilTheSegmentFits) {
  struct Run {
    explicit Run(int32_t fits, HRESULT make = S_OK, bool attach = true)
        : fitsAtOrBelow(fits), makeResult(make), attachWorks(attach) {}
    int32_t fitsAtOrBelow;  // the highest quality whose thumbnail fits
    HRESULT makeResult;
    bool attachWorks;
    std::vector<int32_t> made;
    int attached = 0, dropped = 0;
    int32_t current = 0;
  };
  auto steps = [](Run& run, int32_t start) {
    run.current = start;
    ThumbnailSteps s;
    s.make = [&run](int32_t q) {
      run.made.push_back(q);
      run.current = q;
      return run.makeResult;
    };
    s.attach = [&run] {
      ++run.attached;
      return run.attachWorks;
    };
    s.drop = [&run] {
      ++run.dropped;
      return true;
    };
    s.payload = [&run] {
      return run.current <= run.fitsAtOrBelow ? kMaxApp1Payload : kMaxApp1Payload + 1;
    };
    return s;
  };

  Run fits(80);
  EXPECT_EQ(AttachThumbnailWithinSegment(steps(fits, 100), true, 100), S_OK);
  EXPECT_EQ(fits.made, (std::vector<int32_t>{95, 90, 85, 80}));
  EXPECT_EQ(fits.attached, 5);
  EXPECT_EQ(fits.dropped, 4);

  // Quality 5 cannot go lower: the first attempt that does not fit fails at once.
  Run floor(0);
  EXPECT_EQ(AttachThumbnailWithinSegment(steps(floor, 5), true, 5), E_FAIL);
  EXPECT_TRUE(floor.made.empty());
  // From 12 the retries are 7 and 2, then it gives up.
  Run low(0);
  EXPECT_EQ(AttachThumbnailWithinSegment(steps(low, 12), true, 12), E_FAIL);
  EXPECT_EQ(low.made, (std::vector<int32_t>{7, 2}));

  // A TIFF has no segment limit.
  Run tiff(0);
  EXPECT_EQ(AttachThumbnailWithinSegment(steps(tiff, 90), false, 90), S_OK);
  EXPECT_TRUE(tiff.made.empty());

  // A failed remake reports its own code; a failed attach E_FAIL.
  Run broken(0, -6);
  EXPECT_EQ(AttachThumbnailWithinSegment(steps(broken, 90), true, 90), -6);
  EXPECT_EQ(broken.made.size(), 1u);
  Run refused(100, S_OK, false);
  EXPECT_EQ(AttachThumbnailWithinSegment(steps(refused, 90), true, 90), E_FAIL);
}

// ---- Every failed step leaves the file as it was

class ReplacementFaultTest : public ::testing::TestWithParam<Order> {};

// Runs `op` once without faults, then once failing each call of each platform service in turn.
// A run that fails must leave `file` as it was, and no run may leave anything in $TMPDIR or
// beside the file.
void ExpectEveryFaultLeavesTheFile(const std::string& file, const Bytes& original, const ScratchTmpdir& tmp,
                                   const test::TempDir& dir, size_t filesInDir, const std::function<HRESULT()>& op) {
  HRESULT clean = S_OK;
  Size cleanSize{};
  const int runs = test::ForEachFailedStep<HRESULT>(
      [&] { test::WriteFile(file, original); }, op,
      [&](HRESULT r, Service) {
        SCOPED_TRACE(::testing::Message() << "result " << std::hex << r);
        if (Succeeded(r)) {
          // A step may have a fallback that makes other bytes (a JPEG without optimised tables),
          // never another picture or a file without its EXIF data.
          EXPECT_EQ(clean, S_OK);
          exif::ExifReader reader(file.c_str(), false);
          EXPECT_TRUE(reader.IsExif());
          EXPECT_EQ(DecodedSize(file).width, cleanSize.width);
          EXPECT_EQ(DecodedSize(file).height, cleanSize.height);
        } else {
          EXPECT_EQ(test::ReadFile(file), original);
        }
        EXPECT_TRUE(tmp.dir().List().empty()) << ::testing::PrintToString(tmp.dir().List());
        EXPECT_EQ(dir.List().size(), filesInDir) << ::testing::PrintToString(dir.List());
      },
      {.error = platform::kErrorWriteFault, .failClock = true},
      [&](HRESULT first) {
        clean = first;
        cleanSize = DecodedSize(file);
        EXPECT_TRUE(tmp.dir().List().empty()) << ::testing::PrintToString(tmp.dir().List());
      });
  EXPECT_GT(runs, 20);
}

TEST_P(ReplacementFaultTest, MainImageReplacedAndWritten) {
  test::TempDir dir;  // outside the scratch $TMPDIR
  const ScratchTmpdir tmp;
  const std::string f = dir.File("photo.jpg");
  const CameraFile camera = test::MakeCameraFile({.order = GetParam(), .withPrintIm = true, .withPrintMatching = true});
  const platform::GlobalBlock image = NoiseImage(96, 64);
  // The writer steps that run today, through a "PRM" file as the export makes it.
  ExpectEveryFaultLeavesTheFile(f, camera.file, tmp, dir, 1, [&]() -> HRESULT {
    platform::ScopedTempFile prm;
    if (!prm.Create(platform::TempDirectory(), "PRM")) return ResultFromLastError();
    if (const HRESULT r = imaging::SaveMainImage(prm.path().c_str(), LF_ENC_JPEG, image.get(), 80); Failed(r)) return r;
    ExifWriter writer(f.c_str(), false);
    ImageSource source;
    if (ReplaceMainImageInOutput(writer, prm.path(), false, &source) != 1) return E_FAIL;
    DropPrintMatching(writer);
    writer.output().StampDateTime();
    return WriteToFile(writer, f, Probe::kDestination, &source);
  });
}

TEST_P(ReplacementFaultTest, ExportsInPlace) {
  test::TempDir dir;  // outside the scratch $TMPDIR
  const ScratchTmpdir tmp;
  const std::string f = dir.File("photo.jpg");
  const CameraFile camera = test::MakeCameraFile({.order = GetParam()});
  const platform::GlobalBlock image = NoiseImage(96, 64);
  ExpectEveryFaultLeavesTheFile(f, camera.file, tmp, dir, 1, [&] { return ReplaceThumbImage(f, f, image.get(), 80); });
  ExpectEveryFaultLeavesTheFile(f, camera.file, tmp, dir, 1, [&] { return ReplaceExifImage(f, f, image.get(), 80); });
  // Encode's EXIF path writes over an existing file.
  ExpectEveryFaultLeavesTheFile(f, camera.file, tmp, dir, 1, [&] {
    return EncodeWithExif(f, LF_ENC_NEW_EXIF_FILE | LF_ENC_JPEG, image.get(), 80, nullptr);
  });
  const std::string t = dir.File("scan.tif");
  const Bytes tiff = test::MakeTiffFile(GetParam(), 1).file;
  ExpectEveryFaultLeavesTheFile(t, tiff, tmp, dir, 2, [&] { return ReplaceExifImage(t, t, image.get(), 80); });
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, ReplacementFaultTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "II" : "MM"; });

// ---- Checks and codes of the operations

TEST(ReplacementResultTest, ArgumentsKindsAndMissingExif) {
  test::TempDir dir;
  const platform::GlobalBlock image = NoiseImage(32, 24);
  const std::string photo = dir.File("photo.jpg"), jfif = dir.File("jfif.jpg");
  test::WriteFile(photo, test::MakeCameraFile().file);
  test::WriteFile(jfif, test::MakeCameraJpeg({.withJfif = true}));
  // The argument checks and unsupported sources are the exports' (exports_test).
  for (auto op : {&ReplaceThumbImage, &ReplaceExifImage}) {
    EXPECT_EQ(op(jfif, jfif, image.get(), 80), E_NO_EXIF);
    const std::string nowhere = dir.File("none/x.jpg");
    EXPECT_EQ(op(nowhere, photo, image.get(), 80), CheckDestinationWritable(nowhere));
  }
  EXPECT_EQ(EncodeWithExif(dir.File("new.jpg"), LF_ENC_JPEG, image.get(), 80, nullptr), E_INVALIDARG);
  EXPECT_EQ(EncodeWithExif(dir.File("new.jpg"), LF_ENC_NEW_EXIF_FILE | LF_ENC_JPEG, nullptr, 80, nullptr),
            E_INVALIDARG);
  EXPECT_EQ(test::ReadFile(jfif), test::MakeCameraJpeg({.withJfif = true}));
  EXPECT_EQ(dir.List().size(), 2u);
}

// ---- End to end: the exports and the commands (they attach a thumbnail)

class ThumbnailExportTest : public ::testing::TestWithParam<Order> {};

TEST_P(ThumbnailExportTest, NewThumbnailBehindTheKeptBlock) {
  SKIP_WITHOUT_THUMBNAIL_BUILDER();
  const test::HostModule& m = test::HostModule::Get();
  ASSERT_TRUE(m.error.empty()) << m.error;
  test::TempDir dir;
  const std::string src = dir.File("photo.jpg"), dst = dir.File("out.jpg");
  const CameraFile camera = test::MakeCameraFile({.order = GetParam()});
  test::WriteFile(src, camera.file);
  const platform::GlobalBlock portrait = NoiseImage(480, 640);
  ASSERT_EQ(m.ReplaceThumbImage(dst.c_str(), src.c_str(), portrait.get(), 85), LF_S_OK);
  EXPECT_EQ(test::MainScan(test::ReadFile(dst)), test::MainScan(camera.file));
  LF_HGLOBAL thumb = m.Decode(dst.c_str(), LF_DECODE_THUMBNAIL);
  ASSERT_NE(thumb, nullptr);
  int32_t header[3] = {};
  std::memcpy(header, LfGlobalLock(thumb), sizeof header);
  LfGlobalUnlock(thumb);
  LfGlobalFree(thumb);
  EXPECT_EQ(header[1], 160);
  EXPECT_EQ(header[2], 120);
  exif::ExifReader r(dst.c_str(), true);
  EXPECT_EQ(Text(r, exif::kIfd0, 0x010F), "Kestrelon");
  EXPECT_EQ(Text(r, exif::kExifIfd, 0x9003), "2021:07:14 09:26:53");
  ExpectNoNewIssues(src, dst);

  // A TIFF gets a TIFF thumbnail in strips.
  const std::string tif = dir.File("scan.tif");
  test::WriteFile(tif, test::MakeTiffFile(GetParam(), 1).file);
  ASSERT_EQ(m.ReplaceThumbImage(tif.c_str(), tif.c_str(), portrait.get(), 85), LF_S_OK);
  exif::ExifReader t(tif.c_str(), true);
  EXPECT_EQ(Entry(t, exif::kIfd1, 0x0100).value, 160u);
  EXPECT_NE(Entry(t, exif::kIfd1, 0x0111).tag, 0);
  EXPECT_EQ(DecodedSize(tif).width, 8);
}

TEST_P(ThumbnailExportTest, QualityFallsUntilTheSegmentFits) {
  SKIP_WITHOUT_THUMBNAIL_BUILDER();
  test::TempDir dir;
  const platform::GlobalBlock noise = NoiseImage(640, 480);
  // How large the thumbnail is at the start quality and at the lowest one.
  const std::string probe = dir.File("probe.jpg");
  ASSERT_EQ(imaging::MakeThumbnailFile(probe.c_str(), LF_ENC_JPEG, noise.get(), 100), S_OK);
  const size_t atBest = test::ReadFile(probe).size();
  ASSERT_EQ(imaging::MakeThumbnailFile(probe.c_str(), LF_ENC_JPEG, noise.get(), 5), S_OK);
  const size_t atWorst = test::ReadFile(probe).size();
  ASSERT_LT(atWorst + 2048, atBest);
  const size_t blockWithoutThumbnail = test::MakeCameraFile({.order = GetParam(), .withThumbnail = false}).tiff.size();
  auto photoLeaving = [&](size_t room) {
    const size_t padding = kMaxApp1Payload - blockWithoutThumbnail - room;
    return test::MakeCameraFile({.order = GetParam(), .makerNotePadding = padding});
  };
  // Room for a middling thumbnail: quality 100 does not fit, a lower one does.
  const CameraFile near = photoLeaving((atBest + atWorst) / 2);
  const std::string f = dir.File("near.jpg");
  test::WriteFile(f, near.file);
  ASSERT_EQ(ReplaceThumbImage(f, f, noise.get(), 100), S_OK);
  const Bytes after = test::ReadFile(f);
  EXPECT_LE(after[4] * 256 + after[5], 0xFFFF);
  EXPECT_EQ(test::MainScan(after), test::MainScan(near.file));
  // No room even for the lowest quality: quality 5 fails at once, the file untouched.
  const CameraFile full = photoLeaving(atWorst / 2);
  test::WriteFile(f, full.file);
  EXPECT_EQ(ReplaceThumbImage(f, f, noise.get(), 5), E_FAIL);
  EXPECT_EQ(ReplaceThumbImage(f, f, noise.get(), 100), E_FAIL);
  EXPECT_EQ(test::ReadFile(f), full.file);
}

TEST_P(ThumbnailExportTest, MainImageReplacedWithItsThumbnail) {
  SKIP_WITHOUT_THUMBNAIL_BUILDER();
  const test::HostModule& m = test::HostModule::Get();
  ASSERT_TRUE(m.error.empty()) << m.error;
  test::TempDir dir;
  const platform::GlobalBlock picture = NoiseImage(320, 200);
  const std::string jpg = dir.File("photo.jpg"), jpgBefore = dir.File("before.jpg");
  test::WriteFile(jpg, test::MakeCameraFile(
                           {.order = GetParam(), .withPrintIm = true, .withPrintMatching = true})
                           .file);
  test::WriteFile(jpgBefore, test::ReadFile(jpg));
  // (A TIFF's new strips and thumbnail: TiffMainImageTest.)
  ASSERT_EQ(m.ReplaceExifImage(jpg.c_str(), jpg.c_str(), picture.get(), 85), LF_S_OK);
  EXPECT_EQ(DecodedSize(jpg).width, 320);
  EXPECT_EQ(DecodedSize(jpg).height, 200);
  exif::ExifReader r(jpg.c_str(), true);
  EXPECT_EQ(Text(r, exif::kIfd0, 0x010F), "Kestrelon");
  EXPECT_EQ(Entry(r, exif::kIfd0, 0xC4A5).tag, 0);
  EXPECT_TRUE(HasThumbnailDirectory(r));
  LF_HGLOBAL thumb = m.Decode(jpg.c_str(), LF_DECODE_THUMBNAIL);
  EXPECT_NE(thumb, nullptr);
  LfGlobalFree(thumb);
  ExpectNoNewIssues(jpgBefore, jpg);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, ThumbnailExportTest, ::testing::Values(Order::Little, Order::Big),
                         [](const auto& info) { return info.param == Order::Little ? "II" : "MM"; });

// ---- Encode's EXIF path

class EncodeWithExifTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(EncodeWithExifTest, NewFileWithABuiltBlockAndThumbnail) {
  SKIP_WITHOUT_BLOCK_BUILDER();
  const uint32_t format = GetParam();
  test::TempDir dir;
  const std::string dest = dir.File(format == LF_ENC_TIFF ? "new.tif" : "new.jpg");
  const platform::GlobalBlock image = NoiseImage(320, 240);
  char make[] = "Lumenframe", model[] = "Test Body";
  LfExifWriteParams params{};
  params.exifVersion = LF_EXIF_VERSION_0210;
  params.make.text = make;
  params.model.text = model;
  LfExifDateTime now{};
  ASSERT_TRUE(platform::LocalTime(&now));
  // A date of all zeros asks for the current time.
  ASSERT_EQ(EncodeWithExif(dest, LF_ENC_NEW_EXIF_FILE | format, image.get(), 85, &params), S_OK);
  EXPECT_EQ(params.dateTimeOriginal.year, 0);  // the host's record is only read
  EXPECT_EQ(DecodedSize(dest).width, 320);
  EXPECT_EQ(DecodedSize(dest).height, 240);
  {
    exif::ExifReader r(dest.c_str(), true);
    EXPECT_TRUE(r.IsExif());
    EXPECT_EQ(Text(r, exif::kIfd0, 0x010F), "Lumenframe");
    EXPECT_EQ(Text(r, exif::kExifIfd, 0x9003).substr(0, 5), std::to_string(now.year) + ":");
    EXPECT_TRUE(HasThumbnailDirectory(r));
  }
  if (format != LF_ENC_TIFF) {
    imaging::ScopedBitmap thumb;
    ASSERT_EQ(imaging::LoadExifThumbnail(dest.c_str(), thumb.get(), 24), 1);
    EXPECT_EQ(thumb->width, 160);
    EXPECT_EQ(thumb->height, 120);
  }
  for (const std::string& issue : test::ValidationIssues(dest)) {
    EXPECT_EQ(issue.rfind("Error", 0), std::string::npos) << issue;
  }

  // With the pair: the GPS record's tags go into a GPS directory.
  uint32_t tags[] = {0x0000, 0x0001, 0x0002};
  LfGpsRecord gps{};
  gps.tagList.data = tags;
  gps.tagList.size = 3;
  gps.versionID[0] = 2;
  gps.versionID[1] = 2;
  gps.latitudeRef[0] = 'N';
  const uint32_t latitude[6] = {48, 1, 51, 1, 2400, 100};
  std::memcpy(gps.latitude, latitude, sizeof latitude);
  LfExifWriteParamsPair pair{&params, &gps};
  ASSERT_EQ(EncodeWithExif(dest, LF_ENC_NEW_EXIF_FILE | LF_ENC_PARAMS_PAIR | format, image.get(), 85, &pair), S_OK);
  // Exif 0210 means GPS 2.0, written and told to the host as ReplaceExifGps does.
  EXPECT_EQ(test::Bytes(gps.versionID, gps.versionID + 4), (test::Bytes{2, 0, 0, 0}));
  exif::ExifReader r(dest.c_str(), true);
  EXPECT_EQ(Entry(r, exif::kGpsIfd, 0x0000).value, 2u);
  EXPECT_EQ(Entry(r, exif::kGpsIfd, 0x0002).count, 3u);
  EXPECT_EQ(Text(r, exif::kGpsIfd, 0x0001), "N");
}

INSTANTIATE_TEST_SUITE_P(Formats, EncodeWithExifTest, ::testing::Values(LF_ENC_JPEG, LF_ENC_JPEG_MODE2, LF_ENC_TIFF),
                         [](const auto& info) { return "flags" + std::to_string(info.param); });

test::CliResult Cli(const std::string& args) { return test::RunCli(args); }

TEST(PictureCommandsTest, UsageAndFailuresAreReported) {
  test::TempDir dir;
  const std::string a = dir.File("a.jpg"), jfif = dir.File("j.jpg"), picture = dir.File("new.jpg");
  test::WriteFile(a, test::MakeCameraFile().file);
  test::WriteFile(jfif, test::MakeCameraJpeg({.withJfif = true}));
  test::WriteFile(picture, test::EncodeJpeg(120, 90));
  EXPECT_EQ(Cli("thumb '" + a + "'").exitCode, 2);  // --regenerate is required
  EXPECT_EQ(Cli("thumb '" + a + "' --regenerate --quality 0").exitCode, 2);
  EXPECT_EQ(Cli("replace-image '" + a + "'").exitCode, 2);
  EXPECT_EQ(Cli("replace-image '" + a + "' '" + dir.File("missing.jpg") + "'").exitCode, 1);
  // A file without EXIF data fails alone; the JSON record names its result.
  test::CliResult r = Cli("--json thumb '" + jfif + "' --regenerate");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("E_NO_EXIF"), std::string::npos) << r.out;
  r = Cli("--json replace-image '" + jfif + "' '" + picture + "'");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("\"ok\": false"), std::string::npos) << r.out;
  EXPECT_EQ(test::ReadFile(jfif), test::MakeCameraJpeg({.withJfif = true}));
}

TEST(PictureCommandsTest, BatchesRewriteEveryPhoto) {
  SKIP_WITHOUT_THUMBNAIL_BUILDER();
  test::TempDir dir;
  const std::string a = dir.File("a.jpg"), b = dir.File("b.jpg"), picture = dir.File("new.png");
  test::WriteFile(a, test::MakeCameraFile().file);
  test::WriteFile(b, test::MakeCameraFile({.order = Order::Big}).file);
  test::WriteFile(picture, test::EncodeJpeg(120, 90));
  test::CliResult r = Cli("--json thumb '" + a + "' '" + b + "' --regenerate --quality 70");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("\"ok\": true"), std::string::npos);
  const std::string out = dir.File("out.jpg");
  r = Cli("replace-image '" + a + "' '" + dir.File("new.png") + "' -o '" + out + "'");
  EXPECT_EQ(r.exitCode, 1);  // a JPEG stored under a .png name does not decode
  const std::string jpegPicture = dir.File("new.jpg");
  test::WriteFile(jpegPicture, test::EncodeJpeg(120, 90));
  r = Cli("replace-image '" + a + "' '" + jpegPicture + "' -o '" + out + "'");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(DecodedSize(out).width, 120);
}

}  // namespace
}  // namespace lf::edit
