// SPDX-License-Identifier: MIT
// Editing-test fixtures whose layout is known to the byte, an independent validator, byte helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lumenframe/lumenframe.h"
#include "tests/support/fixture_builder.h"

namespace lf::test {

struct CameraRecipe {
  Order order = Order::Little;
  uint16_t orientation = 6;           // 0 = IFD0 without Orientation
  uint16_t thumbnailOrientation = 6;  // 0 = IFD1 without Orientation
  bool withThumbnail = true;
  bool withGps = true;
  bool withInterop = true;
  std::string dateTimeOriginal = "2021:07:14 09:26:53";
  size_t makerNotePadding = 0;     // grows the APP1 segment
  bool withPrintIm = false;        // a PrintIM entry (0xC4A5) in IFD0
  bool withPrintMatching = false;  // maker-note entry 0x0E00, 8 bytes behind the note's value
  std::string makerNoteHeader = "Kestrelon";  // another maker's: a note the editor cannot read
  Bytes segmentsAfterExif = {};               // whole segments between the APP1 and the image's own
  Bytes trailer = {};                         // bytes behind the image's EOI
};

// A camera JPEG whose maker note's directory addresses its value from the TIFF header.
struct CameraFile {
  Bytes file;  // the whole JPEG
  Bytes tiff;  // the TIFF structure inside its APP1
  TiffLayout layout;
  uint32_t tiffBase = 0;  // file offset of the TIFF header
  int ifd0 = 0, exif = -1, gps = -1, interop = -1, ifd1 = -1;
  int thumbnailBlob = -1;
  Bytes thumbnail;                    // the thumbnail JPEG stream
  Bytes makerNoteValue;               // the maker note's own out-of-line value (16 bytes)
  uint32_t makerNoteValueOffset = 0;  // where it lies, from the TIFF header
};
CameraFile MakeCameraFile(const CameraRecipe& recipe = {});
// The file of `recipe` made in the byte order asked for.
std::function<Bytes(Order)> CameraIn(CameraRecipe recipe);

// A TIFF file: IFD0 describing an RGB image in strips, an Exif IFD, optionally Orientation.
struct TiffFile {
  Bytes file;
  TiffLayout layout;
  Bytes strips;  // the image data as stored
};
// `stripsFirst`: the EXIF block reaches over the strips; a foreign maker note pins the block; the
// thumbnail (IFD1 without Orientation) lies in front of the main strips; GPS has 2.2 and a datum.
enum class TiffMakerNote { kNone, kForeign };
enum class TiffThumbnail { kNone, kJpeg, kStrips };
TiffFile MakeTiffFile(Order order, uint16_t orientation, int stripCount = 3,
                      bool stripsFirst = false, TiffMakerNote makerNote = TiffMakerNote::kNone,
                      TiffThumbnail thumbnail = TiffThumbnail::kNone, bool withGps = false);

// A host GPS record owning its storage: 48 51 30.24 N, 2 17 40.2 E, 35 m, 13:45:30, WGS-84.
struct HostGps {
  std::vector<uint32_t> tags;
  std::string datum = "WGS-84", date = "2024:05:06";
  Bytes method = {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'G', 'P', 'S'};
  LfGpsRecord record{};

  explicit HostGps(std::vector<uint32_t> list);
  HostGps(const HostGps&) = delete;
  HostGps& operator=(const HostGps&) = delete;
};

// ExifTool's "Warning"/"Error" lines for a file, or just "exiftool missing".
std::set<std::string> ValidationIssues(const std::string& path);
// Messages in `after` that `before` does not have.
std::set<std::string> NewIssues(const std::set<std::string>& before,
                                const std::set<std::string>& after);

// ExifTool finds nothing wrong with `after` it did not find with `before`; false when not run.
bool ExpectNoNewIssues(const std::string& before, const std::string& after);

// Byte ranges [begin, end) where two buffers of equal length differ.
std::vector<std::pair<size_t, size_t>> DifferingRanges(const Bytes& a, const Bytes& b);

// A JPEG from its first SOS marker on; empty when there is none.
Bytes MainScan(const Bytes& jpeg);

// The strips or JPEG stream IFD `ifd` of a TIFF names (read without the module), `at` its start.
Bytes ImageDataOf(const Bytes& tiff, int ifd, uint32_t* at = nullptr);

// The TIFF structure inside a JPEG's leading APP1 segment.
Bytes TiffOf(const Bytes& jpeg);

// One value as GetExifValue delivers it; empty when absent.
Bytes ValueOf(const std::string& path, uint32_t directory, uint16_t tag);

// The bytes of `data` from `offset` on, `n` of them (empty when out of range).
Bytes Slice(const Bytes& data, size_t offset, size_t n);

// A date of either the module's or the host's record kind.
template <typename DateTime>
DateTime MakeDate(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  DateTime t{};
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return t;
}

}  // namespace lf::test
