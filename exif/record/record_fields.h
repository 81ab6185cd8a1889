// SPDX-License-Identifier: MIT
// The fields of the directory records as TIFF entries: for each record type one table, in
// ascending tag order, that says which tag, type and count a field is written with and how its
// value is encoded. The record writer lays every present field; the segment merge takes some.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/model/byte_reader.h"
#include "lumenframe/lumenframe.h"

namespace lf::record {

// One present field as an entry: its value bytes in the file's byte order.
struct FieldValue {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint8_t> bytes;
};

// Every field whose presence bit is set, in ascending tag order (the record list has been checked
// by CollectRecords). The image table holds JPEGInterchangeFormat and its length, and PrintIM
// (0xC4A5) last; the Exif table holds the Interoperability pointer slot (0xA005, value 0) when
// bit 41 is set.
std::vector<FieldValue> PresentFields(const LfImageDirRecord& record, exif::ByteOrder order);
std::vector<FieldValue> PresentFields(const LfExifDirRecord& record, exif::ByteOrder order);
std::vector<FieldValue> PresentFields(const LfInteropRecord& record, exif::ByteOrder order);
std::vector<FieldValue> PresentFields(const LfGpsDirRecord& record, exif::ByteOrder order);

}  // namespace lf::record
