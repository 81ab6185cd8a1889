// SPDX-License-Identifier: MIT
// The record writer: a complete APP1 "Exif" segment made from the directory records of a host's
// list and the image being encoded. The TIFF data is little-endian: IFD0, the Exif directory with
// its Interoperability directory, the GPS directory, IFD1 and a fresh 160 × 120 JPEG thumbnail of
// the image behind it. Directories are laid by the shared directory emitter with the record
// writer's spacing, each read back as laid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exif/edit/output_buffer.h"
#include "exif/record/record_list.h"
#include "lumenframe/lumenframe.h"

namespace lf::record {

// The TIFF data made from the records, and the thumbnail that follows it in the segment.
struct RecordBlock {
  edit::OutputBuffer tiff;
  edit::OutputBuffer thumbnail;
};

// Lays the TIFF data of the records into `out` (started afresh) with `thumbnail` (JPEG bytes)
// behind IFD1. IFD0 and a non-empty Exif record are needed; GPS and IFD1 are optional, and an
// IFD1 record without fields counts as absent. The thumbnail is laid only when the IFD1 record's
// JPEGInterchangeFormat names it; that field and its length are written with the thumbnail's
// place. False when a record is missing or a directory cannot be laid.
[[nodiscard]] bool BuildTiffFromRecord(const RecordSet& records,
                                       const std::vector<uint8_t>& thumbnail, RecordBlock* out);

// The segment from its 0xFF 0xE1 marker on, or empty: no image, no IFD0 or Exif record, a
// thumbnail that cannot be made (its file is made in `scratchDir`), or a segment that would not
// fit its 16-bit length.
std::vector<uint8_t> BuildExifApp1(LF_HGLOBAL image, const RecordSet& records,
                                   const std::string& scratchDir);

// The APP1 header, the TIFF data `tiff` and the thumbnail behind it; empty when too long.
std::vector<uint8_t> MakeApp1Segment(exif::ByteView tiff, exif::ByteView thumbnail);

}  // namespace lf::record
