// SPDX-License-Identifier: MIT
// Fixtures for the editing tests: camera-like files whose layout is known to the byte (so a test
// can say which bytes an edit may change and which pointers must still name the same data), an
// independent validator, and byte comparison helpers.
#pragma once

#include <cstdint>
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
  size_t makerNotePadding = 0;  // grows the APP1 segment
  // Print-matching data made for the picture: a PrintIM entry (0xC4A5) in IFD0, and a maker-note
  // entry 0x0E00 whose 8 value bytes follow the maker note's other value.
  bool withPrintIm = false;
  bool withPrintMatching = false;
  // Another maker's text of the same length makes a maker note the editor cannot read.
  std::string makerNoteHeader = "Kestrelon";
  Bytes segmentsAfterExif = {};  // whole segments between the APP1 and the image's own
  Bytes trailer = {};            // bytes behind the image's EOI
};

// A camera JPEG whose maker note has its own directory with an out-of-line value addressed from
// the TIFF header, as many makers write it.
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

// A TIFF file: IFD0 describing an RGB image in strips, an Exif IFD, optionally Orientation.
struct TiffFile {
  Bytes file;
  TiffLayout layout;
  Bytes strips;  // the image data as stored
};
// With `stripsFirst` the strips precede the directories, so the EXIF block of the file reaches
// over them.
// A TIFF's maker note: none, or one the editor cannot read, so no byte of the EXIF block may move.
// IFD1 without Orientation: none, a JPEG thumbnail, or a 4x3 thumbnail in one strip; either lies
// in front of the main strips.
enum class TiffMakerNote { kNone, kForeign };
enum class TiffThumbnail { kNone, kJpeg, kStrips };
// With `withGps` a GPS IFD holds GPSVersionID 2.2 and GPSMapDatum.
TiffFile MakeTiffFile(Order order, uint16_t orientation, int stripCount = 3,
                      bool stripsFirst = false, TiffMakerNote makerNote = TiffMakerNote::kNone,
                      TiffThumbnail thumbnail = TiffThumbnail::kNone, bool withGps = false);

// A host GPS record that owns its storage: the tags asked for and a value for each tag the module
// writes (48 51 30.24 N, 2 17 40.2 E, 35 m, 13:45:30, WGS-84, 2024:05:06).
struct HostGps {
  std::vector<uint32_t> tags;
  std::string datum = "WGS-84", date = "2024:05:06";
  Bytes method = {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'G', 'P', 'S'};
  LfGpsRecord record{};

  explicit HostGps(std::vector<uint32_t> list);
  HostGps(const HostGps&) = delete;
  HostGps& operator=(const HostGps&) = delete;
};

// ExifTool's validation messages for a file ("Warning ..." and "Error ..." lines, without the
// file-specific counts), or a single "exiftool missing" entry when it cannot be run.
std::set<std::string> ValidationIssues(const std::string& path);
// Messages in `after` that `before` does not have.
std::set<std::string> NewIssues(const std::set<std::string>& before,
                                const std::set<std::string>& after);

// ExifTool finds nothing wrong with `after` that it did not find with `before`; false when ExifTool
// is not installed and nothing was checked.
bool ExpectNoNewIssues(const std::string& before, const std::string& after);

// Byte ranges [begin, end) where two buffers of equal length differ.
std::vector<std::pair<size_t, size_t>> DifferingRanges(const Bytes& a, const Bytes& b);

// Everything of a JPEG from its first SOS marker on (the compressed image and what follows it),
// found by walking the segments; empty when there is none.
Bytes MainScan(const Bytes& jpeg);

// The image data directory `ifd` (0 or 1) of a TIFF file names, read without the module's reader:
// its strips in order, or its JPEG stream; `at` receives where the first byte lies. Empty when the
// directory or its data cannot be found.
Bytes ImageDataOf(const Bytes& tiff, int ifd, uint32_t* at = nullptr);

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
