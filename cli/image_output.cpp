// SPDX-License-Identifier: MIT
#include "cli/image_output.h"

#include <png.h>
#include <strings.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/new_file.h"
#include "exif/model/byte_reader.h"

namespace lf::cli {

namespace {

// libpng longjmps on errors: kept in a function without objects that have destructors.
[[nodiscard]] bool WriteRgbRows(FILE* f, png_structp png, png_infop info, uint32_t width,
                                uint32_t height, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

// RGB rows, top first, into a PNG file.
[[nodiscard]] bool WritePng(const std::string& path, uint32_t width, uint32_t height,
                            const std::vector<uint8_t>& rgb, std::string* error) {
  PendingFile file(path);
  if (!file.f) {
    *error = "cannot create " + path;
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_bytep> rows(height);
  for (uint32_t y = 0; y < height; ++y) {
    rows[y] = const_cast<png_bytep>(rgb.data() + size_t{y} * width * 3);
  }
  bool ok = info && WriteRgbRows(file.f, png, info, width, height, rows.data());
  png_destroy_write_struct(&png, info ? &info : nullptr);
  ok = ok && file.Commit();
  if (!ok) *error = "cannot write " + path;
  return ok;
}

}  // namespace

bool IsPngPath(const std::string& path) {
  return path.size() >= 4 && ::strcasecmp(path.c_str() + path.size() - 4, ".png") == 0;
}

bool IsBmpPath(const std::string& path) {
  return path.size() >= 4 && ::strcasecmp(path.c_str() + path.size() - 4, ".bmp") == 0;
}

bool WriteBmpFile(const std::string& path, LF_HGLOBAL dib, std::string* error) {
  const size_t size = LfGlobalSize(dib);
  const auto* bytes = static_cast<const uint8_t*>(LfGlobalLock(dib));
  if (!bytes || size < 40) {
    *error = "not a bitmap";
    if (bytes) LfGlobalUnlock(dib);
    return false;
  }
  const exif::ByteView dibView(bytes, size);
  const uint32_t bits = dibView.ReadU16(14);
  const uint32_t table = bits <= 8 ? 4u << bits : 0;
  uint8_t header[14] = {'B', 'M'};
  const exif::MutableByteView headerView(header, sizeof header);
  // Both writes fit the 14-byte file header.
  (void)headerView.WriteU32(2, static_cast<uint32_t>(14 + size));
  (void)headerView.WriteU32(10, 14 + dibView.ReadU32(0) + table);
  PendingFile file(path);
  const bool ok = file.f && std::fwrite(header, 1, 14, file.f) == 14 &&
                  std::fwrite(bytes, 1, size, file.f) == size && file.Commit();
  LfGlobalUnlock(dib);
  if (!ok) *error = "cannot write " + path;
  return ok;
}

bool WriteDibAsPng(const std::string& path, LF_HGLOBAL dib, std::string* error) {
  const size_t size = LfGlobalSize(dib);
  const auto* bytes = static_cast<const uint8_t*>(LfGlobalLock(dib));
  if (!bytes) {
    *error = "not a bitmap";
    return false;
  }
  // Read through a view: a header shorter than its fields reads as zeros and is refused below.
  const exif::ByteView dibView(bytes, size);
  const int32_t width = static_cast<int32_t>(dibView.ReadU32(4));
  const int32_t height = static_cast<int32_t>(dibView.ReadU32(8));
  const uint32_t bits = dibView.ReadU16(14);
  const size_t stride = ((size_t(width) * 24 + 31) / 32) * 4;
  if (size < 40 || bits != 24 || width <= 0 || height <= 0 ||
      (size - 40) / stride < size_t(height)) {
    LfGlobalUnlock(dib);
    *error = "only 24-bit bottom-up bitmaps are written as PNG";
    return false;
  }
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* in = bytes + 40 + size_t(height - 1 - y) * stride;
    uint8_t* out = rgb.data() + size_t(y) * width * 3;
    for (int32_t x = 0; x < width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  LfGlobalUnlock(dib);
  return WritePng(path, uint32_t(width), uint32_t(height), rgb, error);
}

bool WriteSurfaceAsPng(const std::string& path, const LfDeviceContext& dc, std::string* error) {
  std::vector<uint8_t> rgb(size_t(dc.width) * dc.height * 3);
  for (int32_t y = 0; y < dc.height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(dc.pixels) + size_t(y) * dc.stride;
    uint8_t* out = rgb.data() + size_t(y) * dc.width * 3;
    for (int32_t x = 0; x < dc.width; ++x, out += 3) {
      if (dc.bitsPerPixel == 1) {
        const uint8_t v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        out[0] = out[1] = out[2] = v;
      } else {
        const uint8_t* p = row + size_t(x) * (dc.bitsPerPixel / 8);
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
      }
    }
  }
  return WritePng(path, uint32_t(dc.width), uint32_t(dc.height), rgb, error);
}

void DescribeWrittenPicture(Outcome* out, const std::string& source, const std::string& output,
                            LF_HGLOBAL dib) {
  int32_t width = 0, height = 0;
  const auto* header = static_cast<const uint8_t*>(LfGlobalLock(dib));
  std::memcpy(&width, header + 4, 4);
  std::memcpy(&height, header + 8, 4);
  LfGlobalUnlock(dib);
  out->record["output"] = output;
  out->record["width"] = width;
  out->record["height"] = height;
  out->text =
      source + ": " + std::to_string(width) + "x" + std::to_string(height) + " -> " + output + "\n";
}

}  // namespace lf::cli
