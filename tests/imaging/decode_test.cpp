// Decode and its loaders: the checks before the toolkit reads a file, the 24-bit bottom-up
// packed DIBs it returns, thumbnails from JPEG and TIFF files, and the formats users expect to
// open (palette, 16-bit and alpha PNGs, multi-strip TIFFs, interlaced GIFs, BMPs of every depth,
// CMYK and progressive JPEGs). Pixels are compared with what was written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "imaging/decode.h"
#include "imaging/toolkit.h"
#include "platform/faults.h"
#include "plugin/operations.h"
#include "tests/imaging/image_files.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

using imaging::kToolkitSuccess;

// A decoded packed DIB, freed at the end of the test.
struct Dib {
  LF_HGLOBAL h = nullptr;
  explicit Dib(LF_HGLOBAL handle) : h(handle) {}
  Dib(Dib&& o) noexcept : h(o.h) { o.h = nullptr; }
  Dib& operator=(Dib&& o) noexcept {
    std::swap(h, o.h);
    return *this;
  }
  ~Dib() { LfGlobalFree(h); }
  const uint8_t* bytes() const { return static_cast<const uint8_t*>(static_cast<void*>(h + 1)); }
  int32_t I32(size_t at) const {
    int32_t v;
    std::memcpy(&v, bytes() + at, 4);
    return v;
  }
  int32_t width() const { return I32(4); }
  int32_t height() const { return I32(8); }
  int bits() const { return bytes()[14] | bytes()[15] << 8; }
  // The colour at (x, y), y = 0 the top row; rows are stored bottom-up after the header.
  Rgb At(int x, int y) const {
    const size_t stride = ((size_t(width()) * 24 + 31) / 32) * 4;
    const uint8_t* p = bytes() + 40 + size_t(height() - 1 - y) * stride + size_t(x) * 3;
    return Rgb{p[2], p[1], p[0]};
  }
};

Dib DecodeFile(const std::string& path, uint32_t source = 0) { return Dib{ops::Decode(path.c_str(), source)}; }

// Makes the baseline frame header (SOF0) of a JPEG claim height × width.
void SetFrameSize(Bytes* jpeg, uint16_t height, uint16_t width) {
  for (size_t i = 2; i + 9 < jpeg->size(); ++i) {
    if ((*jpeg)[i] == 0xFF && (*jpeg)[i + 1] == 0xC0) {
      ByteWriter w(Order::Big);
      w.U16(height).U16(width);
      std::copy(w.bytes().begin(), w.bytes().end(), jpeg->begin() + static_cast<std::ptrdiff_t>(i + 5));
      return;
    }
  }
}

void ExpectPlain24(const Dib& d, int w, int h) {
  ASSERT_NE(d.h, nullptr);
  EXPECT_EQ(d.I32(0), 40);
  EXPECT_EQ(d.width(), w);
  EXPECT_EQ(d.height(), h);  // positive: bottom-up
  EXPECT_EQ(d.bits(), 24);
  EXPECT_EQ(d.I32(16), 0);  // uncompressed
  EXPECT_EQ(LfGlobalSize(d.h), 40u + ((size_t(w) * 24 + 31) / 32) * 4 * h);  // no colour table
}

class DecodeTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(DecodeTest, JpegDecodesTo24BitsAndWrongNamesAreRefused) {
  const Bytes jpeg = EncodeJpeg(33, 17, 95, 0x2040C0);
  Dib d = DecodeFile(dir.Put("a.jpg", jpeg));
  ExpectPlain24(d, 33, 17);
  const Rgb c = d.At(16, 8);
  EXPECT_NEAR(c.r, 0x20, 3);
  EXPECT_NEAR(c.g, 0x40, 3);
  EXPECT_NEAR(c.b, 0xC0, 3);
  // A JPEG under a .png name fails the signature check; a PNG under a .jpg name the JPEG check.
  EXPECT_EQ(DecodeFile(dir.Put("jpeg.png", jpeg)).h, nullptr);
  WritePalettePng(dir.File("png.jpg"), 2, 2, {{1, 2, 3}}, {0, 0, 0, 0});
  EXPECT_EQ(DecodeFile(dir.File("png.jpg")).h, nullptr);
  EXPECT_EQ(DecodeFile(dir.File("missing.jpg")).h, nullptr);
  EXPECT_EQ(DecodeFile(dir.File("a.jpg"), 2).h, nullptr);
  EXPECT_EQ(DecodeFile("").h, nullptr);
}

TEST_F(DecodeTest, HostileJpegFrameSizeFailsBeforeAllocating) {
  // A small real JPEG whose frame header claims 40000 × 32000 pixels (1.3 gigapixels).
  Bytes jpeg = EncodeJpeg(16, 16, 75);
  SetFrameSize(&jpeg, 32000, 40000);
  WriteFile(dir.File("huge.jpg"), jpeg);
  imaging::ScopedBitmap b;
  EXPECT_EQ(imaging::LoadFile(dir.File("huge.jpg").c_str(), b.get(), 24, nullptr),
            imaging::kToolkitTooLarge);
  EXPECT_EQ(b->pixels, nullptr);
}

TEST_F(DecodeTest, CmykJpegAsAdobeWritesIt) {
  // Inverted CMYK with an APP14 marker: full cyan (stored 0), no magenta, yellow or black (255).
  const Bytes cmyk = CompressJpeg(
      8, 8, 4, JCS_CMYK, [](jpeg_compress_struct* c) { jpeg_set_quality(c, 100, TRUE); },
      [](int, uint8_t* row) {
        for (int x = 0; x < 8; ++x) std::memcpy(row + x * 4, "\x00\xFF\xFF\xFF", 4);
      });
  Dib d = DecodeFile(dir.Put("cmyk.jpg", cmyk));
  ExpectPlain24(d, 8, 8);
  EXPECT_LE(d.At(3, 3).r, 4);
  EXPECT_GE(d.At(3, 3).g, 251);
  EXPECT_GE(d.At(3, 3).b, 251);
}

TEST_F(DecodeTest, BmpOf54BytesIsRefusedAndEveryDepthDecodes) {
  // Headers only: nothing after them.
  Bytes empty = MakeBmp(1, 1, 24, 0, {}, {});
  ASSERT_EQ(empty.size(), 54u);
  EXPECT_EQ(DecodeFile(dir.Put("empty.bmp", empty)).h, nullptr);

  const std::vector<Rgb> pal = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
  struct Case {
    const char* name;
    Bytes file;
  };
  // 2 × 2 images, bottom row first in the file: bottom = red, green; top = blue, grey.
  const std::vector<Case> cases = {
      {"1bit", MakeBmp(2, 2, 1, 0, {{255, 0, 0}, {0, 0, 255}}, {0x40, 0, 0, 0, 0x80, 0, 0, 0})},
      {"4bit", MakeBmp(2, 2, 4, 0, pal, {0x01, 0, 0, 0, 0x23, 0, 0, 0})},
      {"8bit", MakeBmp(2, 2, 8, 0, pal, {0, 1, 0, 0, 2, 3, 0, 0})},
      {"rle8", MakeBmp(2, 2, 8, 1, pal, {1, 0, 1, 1, 0, 0, 1, 2, 1, 3, 0, 1})},
      {"rle4", MakeBmp(2, 2, 4, 2, pal, {2, 0x01, 0, 0, 2, 0x23, 0, 1})},
      {"16bit", MakeBmp(2, 2, 16, 0, {}, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x21, 0x04})},
      {"24bit", MakeBmp(2, 2, 24, 0, {},
                        {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 9, 9, 9, 0, 0})},
      {"32bitfields", MakeBmp(2, 2, 32, 3, {},
                              {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 9, 9, 9, 0},
                              {0x00FF0000, 0x0000FF00, 0x000000FF})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dib d = DecodeFile(dir.Put(std::string(c.name) + ".bmp", c.file));
    ExpectPlain24(d, 2, 2);
    if (!d.h) continue;
    if (std::string(c.name) == "1bit") {
      EXPECT_EQ(d.At(0, 1), (Rgb{255, 0, 0}));
      EXPECT_EQ(d.At(1, 1), (Rgb{0, 0, 255}));
      EXPECT_EQ(d.At(0, 0), (Rgb{0, 0, 255}));
      continue;
    }
    EXPECT_EQ(d.At(0, 1), (Rgb{255, 0, 0}));
    EXPECT_EQ(d.At(1, 1), (Rgb{0, 255, 0}));
    EXPECT_EQ(d.At(0, 0), (Rgb{0, 0, 255}));
    if (std::string(c.name) != "16bit") {
      EXPECT_EQ(d.At(1, 0), (Rgb{9, 9, 9}));
    }
  }
  // Top-down rows (negative height).
  Dib d = DecodeFile(dir.Put("topdown.bmp", MakeBmp(1, -2, 24, 0, {}, {0, 0, 255, 0, 255, 0, 0, 0})));
  ExpectPlain24(d, 1, 2);
  EXPECT_EQ(d.At(0, 0), (Rgb{255, 0, 0}));
}

TEST_F(DecodeTest, PngsOfEveryKindDecodeTo24Bits) {
  // An 8-bit palette PNG becomes 24 bits with the palette's colours.
  WritePalettePng(dir.File("pal.png"), 3, 2, {{10, 20, 30}, {200, 100, 0}},
                  {0, 1, 0, 1, 1, 0});
  Dib d = DecodeFile(dir.File("pal.png"));
  ExpectPlain24(d, 3, 2);
  EXPECT_EQ(d.At(1, 0), (Rgb{200, 100, 0}));
  EXPECT_EQ(d.At(2, 1), (Rgb{10, 20, 30}));
  // 16-bit RGB, RGBA (alpha dropped), interlaced, 2-bit grey.
  WritePng(dir.File("rgb16.png"), 2, 1, PNG_COLOR_TYPE_RGB, 16,
           {0xFFFF, 0x8080, 0x0000, 0x0101, 0x0202, 0x0303});
  d = DecodeFile(dir.File("rgb16.png"));
  ExpectPlain24(d, 2, 1);
  EXPECT_EQ(d.At(0, 0), (Rgb{255, 128, 0}));
  WritePng(dir.File("rgba.png"), 1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {40, 50, 60, 0});
  d = DecodeFile(dir.File("rgba.png"));
  ExpectPlain24(d, 1, 1);
  EXPECT_EQ(d.At(0, 0), (Rgb{40, 50, 60}));
  std::vector<uint16_t> grey(9 * 9);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint16_t(i % 4);
  WritePng(dir.File("grey2.png"), 9, 9, PNG_COLOR_TYPE_GRAY, 2, grey, /*interlaced=*/true);
  d = DecodeFile(dir.File("grey2.png"));
  ExpectPlain24(d, 9, 9);
  EXPECT_EQ(d.At(3, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(d.At(1, 1), (Rgb{170, 170, 170}));  // index 10 % 4 = 2 of 3
}

TEST_F(DecodeTest, TiffSizeCheckRefusesOnlyTruncatedUncompressedFiles) {
  std::vector<Rgb> pixels(20 * 10);
  // Flat rows, so that LZW has something to compress.
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = Rgb{uint8_t(i / 20 * 10), 7, 9};
  WriteRgbTiff(dir.File("whole.tif"), 20, 10, pixels, COMPRESSION_NONE, 3);
  Dib d = DecodeFile(dir.File("whole.tif"));
  ExpectPlain24(d, 20, 10);
  EXPECT_EQ(d.At(5, 4), (Rgb{40, 7, 9}));
  // Cut the file so that it is no longer than its 600 bytes of raw pixels.
  Bytes whole = ReadFile(dir.File("whole.tif"));
  WriteRgbTiff(dir.File("lzw.tif"), 20, 10, pixels, COMPRESSION_LZW);
  EXPECT_EQ(DecodeFile(dir.Put("cut.tif", Bytes(whole.begin(), whole.begin() + 600))).h, nullptr);
  // A compressed file smaller than its raw pixels is normal and decodes.
  ASSERT_LT(ReadFile(dir.File("lzw.tif")).size(), 600u);
  d = DecodeFile(dir.File("lzw.tif"));
  ExpectPlain24(d, 20, 10);
  EXPECT_EQ(d.At(19, 9), (Rgb{90, 7, 9}));
}

TEST_F(DecodeTest, GifFirstFrameInterlacedOrNot) {
  std::vector<uint8_t> indices(5 * 11);
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t(i / 5 % 3);
  const std::vector<Rgb> pal = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (bool interlaced : {false, true}) {
    WriteGif(dir.File("g.gif"), 5, 11, pal, indices, interlaced);
    Dib d = DecodeFile(dir.File("g.gif"));
    ExpectPlain24(d, 5, 11);
    for (int y = 0; y < 11; ++y) EXPECT_EQ(d.At(2, y), pal[y % 3]) << "row " << y;
  }
}

TEST_F(DecodeTest, ThumbnailsFromJpegAndTiffSources) {
  CameraJpegOptions o;
  ExpectPlain24(DecodeFile(dir.Put("camera.jpg", MakeCameraJpeg(o)), 1), 16, 12);
  o.withThumbnail = false;
  EXPECT_EQ(DecodeFile(dir.Put("bare.jpg", MakeCameraJpeg(o)), 1).h, nullptr);
  WritePalettePng(dir.File("p.png"), 2, 2, {{1, 2, 3}}, {0, 0, 0, 0});
  EXPECT_EQ(DecodeFile(dir.File("p.png"), 1).h, nullptr);

  // A TIFF's thumbnail is delivered as a TIFF stream of its own (IFD1 as the first directory),
  // which is not a JPEG stream: no thumbnail bitmap, even though the thumbnail exists.
  TiffBuilder b(Order::Big);
  const int exif = b.AddDirectory();
  const int ifd1 = b.AddDirectory();
  const int strip = b.AddBlob(Bytes(4 * 4 * 3, 0x80));
  const int thumbStrip = b.AddBlob(Bytes(2 * 2 * 3, 0x40));
  b.Ifd0().Long(0x0100, {4}).Long(0x0101, {4}).Short(0x0102, {8, 8, 8}).Short(0x0103, {1})
      .Short(0x0106, {2}).BlobOffset(0x0111, strip).Short(0x0115, {3}).Long(0x0116, {4})
      .BlobLength(0x0117, strip).Pointer(0x8769, exif).Next(ifd1);
  b.Dir(exif).Ascii(0x9003, "2020:01:01 00:00:00");
  b.Dir(ifd1).Long(0x0100, {2}).Long(0x0101, {2}).Short(0x0103, {1}).Short(0x0106, {2})
      .BlobOffset(0x0111, thumbStrip).BlobLength(0x0117, thumbStrip);
  ExpectPlain24(DecodeFile(dir.Put("t.tif", b.Build())), 4, 4);
  EXPECT_EQ(DecodeFile(dir.File("t.tif"), 1).h, nullptr);
}

TEST(PackedDibSize, FollowsTheHeaderArithmetic) {
  const struct {
    int32_t height;
    uint16_t bits;
    uint32_t compression;
    int expected;  // for a width of 3
  } cases[] = {{2, 8, 0, 40 + 1024 + 4 * 2}, {2, 24, 0, 40 + 12 * 2}, {2, 16, 3, 40 + 8 * 2 + 12},
               {2, 1, 0, 40 + 8 + 4 * 2}, {-2, 24, 0, 40 - 24}};
  for (const auto& c : cases) {
    const Bytes h = DibHeader(3, c.height, c.bits, c.compression);
    EXPECT_EQ(imaging::PackedDibSize(h.data(), h.size()), c.expected) << c.bits << " " << c.height;
  }
}

TEST(DibToBitmap, CopiesTheHostBlockAndLeavesItAlone) {
  // An 8-bit packed DIB: header, 256-entry colour table, rows.
  ByteWriter b(Order::Little);
  b.Raw(DibHeader(3, 2, 8));
  for (int i = 0; i < 256; ++i) b.U8(uint8_t(i)).U8(0).U8(uint8_t(255 - i)).U8(0);
  b.Raw(Bytes{1, 2, 3, 0, 4, 5, 6, 0});
  const Bytes dib = b.Take();
  ASSERT_EQ(dib.size(), 40u + 1024 + 8);
  LF_HGLOBAL host = LfGlobalAlloc(dib.size());
  std::memcpy(LfGlobalLock(host), dib.data(), dib.size());
  LfGlobalUnlock(host);
  imaging::ScopedBitmap bitmap;
  ASSERT_EQ(imaging::DibToBitmap(host, bitmap.get()), S_OK);
  EXPECT_EQ(bitmap->width, 3);
  EXPECT_EQ(bitmap->height, 2);
  // Bottom row first: the top row holds indices 4, 5, 6.
  EXPECT_EQ(imaging::GetPixelColor(bitmap.get(), 0, 0), 251u | (4u << 16));
  EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(static_cast<void*>(host + 1)), dib.data(), dib.size()), 0);
  EXPECT_EQ(host->lockCount, 0u);
  // A header that claims more rows than the block holds is refused, never read past.
  uint8_t* p = static_cast<uint8_t*>(LfGlobalLock(host));
  p[8] = 200;
  LfGlobalUnlock(host);
  imaging::ScopedBitmap refused;
  EXPECT_EQ(imaging::DibToBitmap(host, refused.get()), E_FAIL);
  EXPECT_EQ(imaging::DibToBitmap(nullptr, refused.get()), E_INVALIDARG);
  LfGlobalFree(host);
}


// The export as a host sees it: the extension check comes before any decoding.
TEST(DecodeExport, ChecksTheExtensionFirst) {
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.error.empty()) << m.error;
  TempDir dir;
  const Bytes jpeg = EncodeJpeg(5, 3, 80);
  LF_HGLOBAL h = m.Decode(dir.Put("a.jpg", jpeg).c_str(), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(LfGlobalSize(h), 40u + 16 * 3);
  LfGlobalFree(h);
  EXPECT_EQ(m.Decode(dir.Put("a.xyz", jpeg).c_str(), 0), nullptr);
}


// The thumbnail path reads the EXIF block only: as many reads for a large photo as for a tiny
// one, and a main image that is garbage does not matter.
TEST(DecodeThumbnail, NeverReadsTheMainImage) {
  TempDir dir;
  CameraJpegOptions o;
  o.width = 1600;
  o.height = 1200;
  Bytes big = MakeCameraJpeg(o);
  // Overwrite the last half of the entropy-coded data: the main image is now undecodable.
  std::fill(big.begin() + big.size() / 2, big.end() - 2, 0x00);
  WriteFile(dir.File("big.jpg"), big);
  o.width = 32;
  o.height = 24;
  WriteFile(dir.File("small.jpg"), MakeCameraJpeg(o));
  uint32_t reads[2] = {};
  const std::string files[2] = {dir.File("big.jpg"), dir.File("small.jpg")};
  for (int i = 0; i < 2; ++i) {
    platform::ClearFaults();
    LF_HGLOBAL h = ops::Decode(files[i].c_str(), 1);
    reads[i] = platform::CallCount(platform::Service::Read);
    ASSERT_NE(h, nullptr);
    LfGlobalFree(h);
  }
  EXPECT_EQ(reads[0], reads[1]);
}


// A greyscale progressive JPEG from libjpeg with the given scan script (nullptr: the standard
// progression).
Bytes ProgressiveJpeg(const std::vector<jpeg_scan_info>* script) {
  return CompressJpeg(
      16, 16, 1, JCS_GRAYSCALE,
      [script](jpeg_compress_struct* c) {
        jpeg_simple_progression(c);
        if (script) {
          c->scan_info = script->data();
          c->num_scans = static_cast<int>(script->size());
        }
      },
      [](int y, uint8_t* row) {
        for (int x = 0; x < 16; ++x) row[x] = uint8_t(x * 16 + y);
      });
}

TEST(JpegScans, ProgressiveDecodesButEndlessScansAreRefused) {
  imaging::ScopedBitmap b;
  const Bytes normal = ProgressiveJpeg(nullptr);
  ASSERT_EQ(imaging::LoadMemory(normal.data(), normal.size(), b.get(), 24), kToolkitSuccess);
  EXPECT_EQ(b->width, 16);
  // Every coefficient band refined one bit at a time: 704 valid scans.
  std::vector<jpeg_scan_info> script;
  for (int ss = 0; ss < 64; ++ss) {
    script.push_back(jpeg_scan_info{1, {0}, ss, ss, 0, 10});
    for (int al = 9; al >= 0; --al) script.push_back(jpeg_scan_info{1, {0}, ss, ss, al + 1, al});
  }
  const Bytes endless = ProgressiveJpeg(&script);
  imaging::ScopedBitmap refused;
  EXPECT_EQ(imaging::LoadMemory(endless.data(), endless.size(), refused.get(), 24),
            imaging::kToolkitCorrupt);
  EXPECT_EQ(refused->pixels, nullptr);
}

}  // namespace
}  // namespace lf::test
