// SPDX-License-Identifier: MIT
// The host's GPS record as the editor reads it: a bounds-checked view over LfGpsRecord, the merge
// of the record into a directory's GPS entries, and the provider of the out-of-line GPS values in
// the file's byte order.
//
// The record comes from another program, so nothing in it is trusted. Only the fields of the tags
// the tag list names are looked at; for those:
//   - a tag list with a negative size, more than kMaxGpsTags elements, or a null element pointer
//     with a non-zero size is refused (E_INVALIDARG);
//   - a byte array (GPSProcessingMethod, GPSAreaInformation) with a negative size, more than
//     kMaxGpsBytes bytes, or a null data pointer with a non-zero size is refused; an empty one
//     writes nothing (an entry needs at least one value), its tag is skipped;
//   - a string (GPSMapDatum, GPSDateStamp) without its terminator within kMaxGpsBytes bytes is
//     refused; a null text is the empty string (one 0 byte);
//   - a reference letter (GPSLatitudeRef, GPSLongitudeRef) is written as its first byte and a
//     0 byte, whatever the record's second byte holds.
// A refused record is refused before any file is touched.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/edit/exif_writer.h"
#include "exif/edit/output_layout.h"
#include "lumenframe/lumenframe.h"
#include "plugin/result_codes.h"

namespace lf::edit {

// GPS tags the record carries values for.
inline constexpr uint16_t kGpsVersionId = 0x0000;
inline constexpr uint16_t kGpsLatitudeRef = 0x0001;
inline constexpr uint16_t kGpsLatitude = 0x0002;
inline constexpr uint16_t kGpsLongitudeRef = 0x0003;
inline constexpr uint16_t kGpsLongitude = 0x0004;
inline constexpr uint16_t kGpsAltitudeRef = 0x0005;
inline constexpr uint16_t kGpsAltitude = 0x0006;
inline constexpr uint16_t kGpsTimeStamp = 0x0007;
inline constexpr uint16_t kGpsMapDatum = 0x0012;
inline constexpr uint16_t kGpsProcessingMethod = 0x001B;
inline constexpr uint16_t kGpsAreaInformation = 0x001C;
inline constexpr uint16_t kGpsDateStamp = 0x001D;

// More tags than any record can mean (twelve, each perhaps repeated) is a corrupt list.
inline constexpr int32_t kMaxGpsTags = 4096;
// No value larger than a JPEG segment can be written.
inline constexpr uint32_t kMaxGpsBytes = 0xFFFF;

// GPSVersionID values, read big-endian.
inline constexpr uint32_t kGpsVersion20 = 0x02000000;
inline constexpr uint32_t kGpsVersion22 = 0x02020000;

// A checked reading of a host record. Built once per call; every accessor is safe afterwards.
class GpsRecordView {
 public:
  // Checks the record; result() is S_OK or E_INVALIDARG. A record given as writable receives
  // the GPSVersionID the edit settles on (the host reads it back); a read-only one keeps its own.
  explicit GpsRecordView(GpsRecord* record) : GpsRecordView(record, record) {}
  explicit GpsRecordView(const GpsRecord* record) : GpsRecordView(record, nullptr) {}

  HRESULT result() const { return result_; }
  bool valid() const { return result_ == S_OK; }
  const GpsRecord* record() const { return record_; }
  // The tag list in the host's order (only the twelve known tags, repeats kept).
  const std::vector<uint16_t>& tags() const { return tags_; }
  [[nodiscard]] bool Lists(uint16_t tag) const;
  // Only an empty tag list asks for the GPS data to be removed; a list naming only tags the
  // module does not write asks for nothing to change.
  bool RemovesGps() const { return emptyList_; }

  uint32_t VersionId() const;           // big-endian reading of versionID
  void SetVersionId(uint32_t version);  // written back into the host's record
  // The bytes of a tag's value as the record holds them (native order for numbers; strings with
  // their 0 byte), empty for an unknown tag or one skipped as empty.
  std::vector<uint8_t> ValueBytesOf(uint16_t tag) const;

 private:
  GpsRecordView(const GpsRecord* record, GpsRecord* writable);

  const GpsRecord* record_ = nullptr;
  GpsRecord* writable_ = nullptr;
  uint8_t version_[4] = {};
  HRESULT result_ = E_INVALIDARG;
  std::vector<uint16_t> tags_;
  bool emptyList_ = false;
  uint32_t mapDatumLength_ = 0, dateStampLength_ = 0;  // without the 0 byte
};

// Merges the record into `list` (GPS entries sorted by tag): 1, or 0 without a valid record.
// Entries the record sets out of line get value 0 (their bytes come from GpsValueWriter); the
// file's other entries are left as they are.
[[nodiscard]] int MergeGpsRecord(IfdEntryList* list, const GpsRecordView* record);

// Supplies the bytes of an out-of-line GPS value at layout time: the number of values written
// into `dest`, 0 when the tag is not listed or not one of the twelve.
uint32_t WriteGpsValue(MutableByteView dest, const IfdEntry& entry, const GpsRecordView& record);

// The ValueProvider form of WriteGpsValue. With a `source` reader, an entry that carries a value
// offset takes its bytes from that reader's block instead (entries copied from the source file).
class GpsValueWriter : public ValueProvider {
 public:
  explicit GpsValueWriter(const GpsRecordView& record, exif::ExifReader* source = nullptr)
      : record_(record), source_(source) {}
  uint32_t DeliverValue(const IfdEntry& requested, MutableByteView dest) override;
  uint32_t ValueSize(const IfdEntry& requested) override;

 private:
  const GpsRecordView& record_;
  exif::ExifReader* source_;
};

// GPSVersionID for an Exif version (both read big-endian): "0210" → 2.0.0.0, "0220" and "0221"
// → 2.2.0.0, 0 for any other version (the record's own stays).
uint32_t GpsVersionForExifVersion(uint32_t exifVersion);
// The four bytes of an inline BYTE, UNDEFINED or ASCII ×4 value read big-endian; 0 for another
// entry.
uint32_t InlineFourBytesBigEndian(const IfdEntry& e);

// The GPS step of building a block: lays a GPS IFD of the source's GPS entries merged with the
// record at the end of the output block and points IFD0's GPSInfo (which must exist) at it. With
// an Exif version below "0210" the record is ignored; a directory that would be empty is not laid.
// 1 or 0.
[[nodiscard]] int BuildGpsDirectory(ExifWriter& writer, GpsRecordView& record);

}  // namespace lf::edit
