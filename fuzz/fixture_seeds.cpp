// SPDX-License-Identifier: MIT
#include "fuzz/fixture_seeds.h"

#include "imaging/codec/codecs.h"
#include "imaging/codec/dib_format.h"
#include "imaging/toolkit.h"

namespace lf::fuzz {
namespace {

using test::Bytes;
using test::Order;
using Seeds = std::vector<std::pair<std::string, Bytes>>;

// A TIFF with 8 x 6 RGB strips, the Exif, GPS and Interop directories, a maker note and IFD1 with
// a JPEG thumbnail: every structure the EXIF readers and writers walk.
Bytes ExifTiff(Order order) {
  test::TiffBuilder b(order);
  const int exif = b.AddDirectory(), gps = b.AddDirectory(), interop = b.AddDirectory();
  const int ifd1 = b.AddDirectory();
  const int strip = b.AddBlob(Bytes(8 * 6 * 3, 0x80));
  const int thumbnail = b.AddBlob(test::EncodeJpeg(16, 12));
  // Header "Kest", two bytes, one entry: tag 1, SHORT, count 1, value 7 (little-endian words).
  const Bytes makerNote = {'K', 'e', 's', 't', 0, 0, 0, 1, 0, 1, 0, 3,
                           0,   1,   0,   0,   0, 7, 0, 0, 0, 0, 0};
  b.Ifd0()
      .Short(0x0100, {8})
      .Short(0x0101, {6})
      .Short(0x0102, {8, 8, 8})
      .Short(0x0103, {1})
      .Short(0x0106, {2})
      .Ascii(0x010F, "Kestrelon")
      .BlobOffset(0x0111, strip)
      .Short(0x0112, {6})
      .Short(0x0115, {3})
      .Short(0x0116, {6})
      .BlobLength(0x0117, strip)
      .Rational(0x011A, {{72, 1}})
      .Ascii(0x0132, "2021:07:14 09:26:53")
      .Pointer(0x8769, exif)
      .Pointer(0x8825, gps)
      .Next(ifd1);
  b.Dir(exif)
      .Rational(0x829A, {{1, 250}})
      .Undefined(0x9000, {'0', '2', '2', '0'})
      .Ascii(0x9003, "2021:07:14 09:26:53")
      .Undefined(0x927C, makerNote)
      .Pointer(0xA005, interop);
  b.Dir(gps)
      .Values(0x0000, test::kByte, {2, 2, 0, 0})
      .Ascii(0x0001, "N")
      .Rational(0x0002, {{48, 1}, {51, 1}, {2400, 100}});
  b.Dir(interop).Ascii(0x0001, "R98");
  b.Dir(ifd1).Short(0x0103, {6}).BlobOffset(0x0201, thumbnail).BlobLength(0x0202, thumbnail);
  return b.Build();
}

// A small 24-bit picture with a gradient, and its 8-bit reduction.
Bytes Written(int bits, int (*writer)(const imaging::ToolkitBitmap*, std::vector<uint8_t>*)) {
  imaging::ToolkitBitmap bitmap;
  if (imaging::CreateBitmap(&bitmap, 9, 7, 24) != imaging::kToolkitSuccess) return {};
  for (int row = 0; row < 7; ++row) {
    for (int column = 0; column < 9; ++column) {
      imaging::SetPixelColor(&bitmap, row, column,
                             static_cast<uint32_t>(row * 36 | column * 28 << 8 | 0x40 << 16));
    }
  }
  if (bits != 24 &&
      imaging::ChangeBitsPerPixel(&bitmap, &bitmap, bits) != imaging::kToolkitSuccess) {
    imaging::FreeBitmap(&bitmap);
    return {};
  }
  Bytes out;
  writer(&bitmap, &out);
  imaging::FreeBitmap(&bitmap);
  return out;
}

int WritePackedDib(const imaging::ToolkitBitmap* bitmap, std::vector<uint8_t>* out) {
  return imaging::WriteDib(bitmap, 0, out);
}

}  // namespace

std::vector<std::pair<std::string, Bytes>> FixtureSeeds(const std::string& kind) {
  Seeds seeds;
  if (kind == "jpg") {
    for (Order order : {Order::Little, Order::Big}) {
      const std::string o = order == Order::Little ? "le" : "be";
      test::CameraJpegOptions camera;
      camera.order = order;
      camera.width = 16;
      camera.height = 16;
      camera.thumbnailOrientation = 1;
      seeds.emplace_back("camera-" + o + ".jpg", test::MakeCameraJpeg(camera));
      camera.withThumbnail = false;
      camera.thumbnailOrientation = 0;
      camera.withJfif = true;
      seeds.emplace_back("jfif-no-thumbnail-" + o + ".jpg", test::MakeCameraJpeg(camera));
    }
    seeds.emplace_back("plain.jpg", test::EncodeJpeg(24, 16));
  } else if (kind == "tif") {
    seeds.emplace_back("exif-le.tif", ExifTiff(Order::Little));
    seeds.emplace_back("exif-be.tif", ExifTiff(Order::Big));
    seeds.emplace_back("written.tif", Written(24, imaging::WriteTiff));
  } else if (kind == "png") {
    seeds.emplace_back("rgb.png", Written(24, imaging::WritePng));
    seeds.emplace_back("palette.png", Written(8, imaging::WritePng));
  } else if (kind == "gif") {
    seeds.emplace_back("palette.gif", Written(8, imaging::WriteGif));
  } else if (kind == "bmp") {
    seeds.emplace_back("rgb.bmp", Written(24, imaging::WriteBmp));
    seeds.emplace_back("palette.bmp", Written(8, imaging::WriteBmp));
  } else if (kind == "dib") {
    seeds.emplace_back("rgb.dib", Written(24, WritePackedDib));
    seeds.emplace_back("palette.dib", Written(8, WritePackedDib));
  }
  return seeds;
}

}  // namespace lf::fuzz
