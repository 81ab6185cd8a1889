// SPDX-License-Identifier: MIT
// The imaging toolkit: every pixel operation the module performs, behind one small interface named
// by role. Files are loaded and saved through real codecs (libjpeg-turbo, libpng, libtiff, giflib;
// BMP and the packed DIB are our own format code), and all geometry (resize, rotate, paste,
// painting into a device surface) goes through pixman.
//
// Results: 1 is success (prepare, allocate, create, resize-into and paste may also give 2, which
// callers treat as success as well); failures are the negative codes below. No operation throws.
//
// A ToolkitBitmap is a record the caller owns and the toolkit fills. A filled bitmap is released
// with FreeBitmap; freeing an empty or already freed record does nothing, so ScopedBitmap can free
// on every path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "lumenframe/lumenframe.h"

namespace lf::imaging {

// Toolkit failure codes. They are passed on to callers, some of which report them to the host as
// HRESULT_FROM_TOOLKIT(code).
enum ToolkitResult : int32_t {
  kToolkitSuccess = 1,
  kToolkitRefused = 0,         // a load refused by the checks for the file's kind, or unreadable
  kToolkitFailure = -1,        // an operation that cannot be done on these arguments
  kToolkitNoMemory = -2,       // an allocation failed
  kToolkitFileNotFound = -3,   // the file cannot be opened
  kToolkitFileRead = -4,       // reading the file failed
  kToolkitFileWrite = -5,      // creating or writing the output file failed
  kToolkitUnknownFormat = -6,  // the bytes are not a format the toolkit reads
  kToolkitCorrupt = -7,        // the codec rejected the data
  kToolkitTooLarge = -8,       // the header asks for more pixels than the limits allow
  kToolkitInvalidBits = -9,    // a bits-per-pixel value the operation does not support
  kToolkitInvalidArgument = -10,
};

// Pixel-storage flag: the bitmap holds allocated pixels.
inline constexpr uint32_t kBitmapAllocated = 0x1;

struct RgbQuad {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t reserved;
};

// A colour table; a bitmap of 8 bits per pixel holds one.
struct Palette {
  uint32_t count = 0;
  RgbQuad entries[256] = {};
};

// A bitmap record. Pixels are stored in packed DIB order (bottom row first), `stride` bytes a row
// (a multiple of 4), at 8 bits (indices into `palette`), 24 bits (B, G, R) or 32 bits (B, G, R, X)
// per pixel. They live in a global block that leaves room in front for the DIB header and colour
// table, so a decoded image can be handed to the host without copying its rows.
struct ToolkitBitmap {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
  uint32_t flags = 0;           // kBitmapAllocated
  Palette* palette = nullptr;   // owned; 8-bit bitmaps only
  int32_t viewOrientation = 0;  // TIFF Orientation value; 5 to 8 show width and height exchanged
  int32_t stride = 0;
  uint8_t* pixels = nullptr;     // the first stored (bottom) row, inside `storage`
  LF_HGLOBAL storage = nullptr;  // owned, kept locked while owned
};

// What the toolkit learns about a file without decoding its pixels (and what a load reports).
struct FileInfo {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;  // as stored in the file
  uint64_t fileSize = 0;
  char compression[32] = {};    // "None" when uncompressed
  int32_t viewOrientation = 0;  // the TIFF Orientation tag; 0 for other formats
};

// Output formats of SaveFile.
enum class SaveFormat : int32_t { Gif = 2, Tiff = 3, Bmp = 6, Png = 75 };

// --- Files -------------------------------------------------------------------------------------
// The format is recognised by the file's content, never by its name.
[[nodiscard]] int GetFileInfo(const char* path, FileInfo* info);
// Loads the first image of a file at `bits` per pixel (8, 24 or 32; 0 keeps the stored depth).
// `info`, when given, is filled as GetFileInfo would fill it.
[[nodiscard]] int LoadFile(const char* path, ToolkitBitmap* bitmap, int32_t bits, FileInfo* info);
[[nodiscard]] int LoadMemory(const uint8_t* bytes, size_t size, ToolkitBitmap* bitmap,
                             int32_t bits);

// How far a decoder may shrink an image while decoding it: given the stored width and height, the
// least width and height the decoded image must keep for what the caller makes of it. A JPEG is
// then decoded at the smallest of the scales 1/8, 2/8 ... 8/8 whose result covers both; other
// formats are decoded at full size.
using CoverSize =
    std::function<void(int32_t width, int32_t height, int32_t* minWidth, int32_t* minHeight)>;
// LoadMemory with that allowance (an empty `cover` decodes at full size).
[[nodiscard]] int LoadMemoryCovering(const uint8_t* bytes, size_t size, ToolkitBitmap* bitmap,
                                     int32_t bits, const CoverSize& cover);
// Writes the bitmap converted to `bits` per pixel; the bitmap itself is not changed.
[[nodiscard]] int SaveFile(const char* path, const ToolkitBitmap* bitmap, SaveFormat format,
                           int32_t bits);

// --- Packed DIB blocks -------------------------------------------------------------------------
// Takes ownership of the block in every case: it is read into the bitmap and freed.
[[nodiscard]] int AdoptPackedDib(ToolkitBitmap* bitmap, LF_HGLOBAL block);
// A new block in packed DIB layout (bottom-up rows; a colour table only for 8 bits); nullptr on
// failure. The caller frees it.
LF_HGLOBAL ExportPackedDib(const ToolkitBitmap* bitmap);

// The bitmap's own storage completed into a packed DIB (the same layout ExportPackedDib makes),
// handed to the caller, and the bitmap freed: export and free in one step, without copying the
// rows. nullptr on failure (the bitmap is freed all the same).
LF_HGLOBAL ReleaseAsPackedDib(ToolkitBitmap* bitmap);

// --- Records and storage -----------------------------------------------------------------------
void FreeBitmap(ToolkitBitmap* bitmap);
// Sets up an empty record of that size and depth; no pixels yet.
[[nodiscard]] int PrepareBitmap(ToolkitBitmap* bitmap, int32_t width, int32_t height, int32_t bits);
// Allocates the pixels of a prepared record, zero-filled (black, or palette index 0).
[[nodiscard]] int AllocatePixels(ToolkitBitmap* bitmap);
// Prepare and allocate in one step; an 8-bit bitmap gets a grey ramp palette.
[[nodiscard]] int CreateBitmap(ToolkitBitmap* bitmap, int32_t width, int32_t height, int32_t bits);
// A copy of the palette, or nullptr when there is none or memory is short.
Palette* CopyPalette(const Palette* palette);
void FreePalette(Palette* palette);
// `destination` must be an empty record; it receives a full copy of `source`.
[[nodiscard]] int CopyBitmap(ToolkitBitmap* destination, const ToolkitBitmap* source);
// Converts `source` to `bits` per pixel into `destination`; both may be the same record. 8 bits
// from a colour image picks a palette with giflib's median-cut quantiser.
[[nodiscard]] int ChangeBitsPerPixel(ToolkitBitmap* destination, ToolkitBitmap* source,
                                     int32_t bits);

// --- Pixels ------------------------------------------------------------------------------------
// Colours are 0x00BBGGRR (red in bits 0-7). Row 0 is the top row. Outside the bitmap the read
// gives 0 and the write does nothing.
uint32_t GetPixelColor(const ToolkitBitmap* bitmap, int32_t row, int32_t column);
void SetPixelColor(ToolkitBitmap* bitmap, int32_t row, int32_t column, uint32_t color);
[[nodiscard]] int Fill(ToolkitBitmap* bitmap, uint32_t color);

// --- Geometry (pixman) -------------------------------------------------------------------------
// Geometry on an 8-bit bitmap works on its colours and leaves a 24-bit bitmap.
// Resamples to width × height (bilinear when enlarging, area-weighted when reducing).
[[nodiscard]] int Resize(ToolkitBitmap* bitmap, int32_t width, int32_t height);
// Resamples `source` to fill the prepared and allocated `destination`.
[[nodiscard]] int ResizeInto(const ToolkitBitmap* source, ToolkitBitmap* destination);
// Turns the image clockwise by `angle` hundredths of a degree; the bitmap grows to the bounding
// box of the turned image and the uncovered corners get `fill` (0x00BBGGRR).
[[nodiscard]] int Rotate(ToolkitBitmap* bitmap, int32_t angle, uint32_t fill);
// Keeps the part of the image inside the rectangle (clipped to the image); an empty result fails.
[[nodiscard]] int Crop(ToolkitBitmap* bitmap, int32_t left, int32_t top, int32_t width,
                       int32_t height);
// Draws `source` stretched to width × height with its top-left corner at (x, y) of `destination`.
[[nodiscard]] int Paste(ToolkitBitmap* destination, int32_t x, int32_t y, int32_t width,
                        int32_t height, const ToolkitBitmap* source);

// --- Painting into a device surface ------------------------------------------------------------
// Stretches the bitmap into `destination` on a 24- or 32-bit surface, clipped to the surface; a
// one-bit surface is painted as PaintOneBit paints it.
[[nodiscard]] int Paint(LfDeviceContext* dc, const ToolkitBitmap* bitmap,
                        const LfRect& destination);
// The same for a one-bit surface: a pixel is white (1) when its luminance is at least half.
// False when the bitmap, the surface or the size cannot be painted.
[[nodiscard]] bool PaintOneBit(LfDeviceContext* dc, const ToolkitBitmap* bitmap, int32_t left,
                               int32_t top, int32_t width, int32_t height);

// Frees the bitmap it holds when it goes out of scope.
class ScopedBitmap {
 public:
  ScopedBitmap() = default;
  ~ScopedBitmap() { FreeBitmap(&bitmap_); }
  ScopedBitmap(const ScopedBitmap&) = delete;
  ScopedBitmap& operator=(const ScopedBitmap&) = delete;
  ToolkitBitmap* get() { return &bitmap_; }
  const ToolkitBitmap* get() const { return &bitmap_; }
  ToolkitBitmap* operator->() { return &bitmap_; }
  const ToolkitBitmap* operator->() const { return &bitmap_; }

 private:
  ToolkitBitmap bitmap_;
};

}  // namespace lf::imaging
