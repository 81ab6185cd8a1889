// SPDX-License-Identifier: MIT
// The record reader: fills the flat directory records of an LfExifRecord list from a JPEG file's
// APP1 "Exif" segment or from a TIFF file. The byte order of the data travels with its ByteView;
// nothing here keeps state between calls.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/model/block_structure.h"
#include "exif/model/byte_reader.h"
#include "lumenframe/lumenframe.h"
#include "plugin/result_codes.h"

namespace lf::record {

// The directory records one directory walk fills; any may be absent.
struct RecordTargets {
  LfImageDirRecord* image = nullptr;
  LfExifDirRecord* exif = nullptr;
  LfGpsDirRecord* gps = nullptr;
};

// Appends the records the mask selects (SEL_IFD0, SEL_EXIF, SEL_GPS, SEL_IFD1, in that order) read
// from the file at `path`. S_OK; E_INVALIDARG; E_NO_EXIF; E_FAIL; or a failure of the EXIF probe.
// On failure nothing is added to the list.
[[nodiscard]] HRESULT ReadExifRecord(const char* path, LfExifRecord* list, uint32_t mask);

// The largest file read whole: its offsets are 32-bit.
inline constexpr uint64_t kMaxWholeFile = UINT32_MAX - 1;

// Offset of the first byte of `marker` in a JPEG marker walk of `bytes`, or -1.
[[nodiscard]] int64_t FindJpegMarker(uint16_t marker, exif::ByteView bytes);

// `segment` begins at an APP1 marker; its TIFF data begins 10 bytes in.
[[nodiscard]] HRESULT ParseApp1ToRecord(exif::ByteView segment, LfExifRecord* list, uint32_t mask);
// `tiff` begins at a TIFF header; its byte order is taken from it.
[[nodiscard]] HRESULT ParseTiffToRecord(exif::ByteView tiff, LfExifRecord* list, uint32_t mask);

// Reads a located IFD0 or IFD1 of `block` into the targets (for IFD0 also the Exif and GPS
// sub-directories its pointers name). False when the directory does not lie inside the data.
[[nodiscard]] bool ReadImageDirectory(const exif::BlockStructure& block,
                                      const exif::LocatedDirectory& located,
                                      const RecordTargets& targets);

}  // namespace lf::record
