// SPDX-License-Identifier: MIT
#include "exif/edit/gps_record.h"

#include <algorithm>
#include <cstring>

#include "exif/edit/entry_list.h"

namespace lf::edit {

namespace {

using exif::kTypeAscii;
using exif::kTypeByte;
using exif::kTypeRational;
using exif::kTypeUndefined;

bool IsKnownGpsTag(uint32_t tag) {
  switch (tag) {
    case kGpsVersionId:
    case kGpsLatitudeRef:
    case kGpsLatitude:
    case kGpsLongitudeRef:
    case kGpsLongitude:
    case kGpsAltitudeRef:
    case kGpsAltitude:
    case kGpsTimeStamp:
    case kGpsMapDatum:
    case kGpsProcessingMethod:
    case kGpsAreaInformation:
    case kGpsDateStamp: return true;
    default: return false;
  }
}

// Length of a host string without its 0 byte; false when no terminator lies within the limit.
[[nodiscard]] bool TextLength(const LfString& s, uint32_t* length) {
  *length = 0;
  if (!s.text) return true;
  const void* end = std::memchr(s.text, 0, kMaxGpsBytes);
  if (!end) return false;
  *length = static_cast<uint32_t>(static_cast<const char*>(end) - s.text);
  return true;
}

bool ByteArrayUsable(const LfByteArray& a) {
  if (a.size < 0 || static_cast<uint32_t>(a.size) > kMaxGpsBytes) return false;
  return a.size == 0 || a.data != nullptr;
}

// Up to four bytes packed as an inline value (byte i in bits 8i..8i+7).
uint32_t PackInline(const std::vector<uint8_t>& bytes) {
  uint32_t v = 0;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i)
    v |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  return v;
}

const uint8_t* BytesOf(const void* p) { return static_cast<const uint8_t*>(p); }

}  // namespace

GpsRecordView::GpsRecordView(const GpsRecord* record, GpsRecord* writable)
    : record_(record), writable_(writable) {
  if (!record) return;
  const LfU32List& list = record->tagList;
  if (list.size < 0 || list.size > kMaxGpsTags || (list.size > 0 && !list.data)) return;
  std::memcpy(version_, record->versionID, sizeof version_);
  emptyList_ = list.size == 0;
  for (int32_t i = 0; i < list.size; ++i) {
    const uint32_t tag = list.data[i];
    if (!IsKnownGpsTag(tag)) continue;
    switch (tag) {
      case kGpsMapDatum:
        if (!TextLength(record->mapDatum, &mapDatumLength_)) return;
        break;
      case kGpsDateStamp:
        if (!TextLength(record->dateStamp, &dateStampLength_)) return;
        break;
      case kGpsProcessingMethod:
        if (!ByteArrayUsable(record->processingMethod)) return;
        break;
      case kGpsAreaInformation:
        if (!ByteArrayUsable(record->areaInformation)) return;
        break;
      default: break;
    }
    tags_.push_back(static_cast<uint16_t>(tag));
  }
  result_ = S_OK;
}

bool GpsRecordView::Lists(uint16_t tag) const {
  return std::find(tags_.begin(), tags_.end(), tag) != tags_.end();
}

uint32_t GpsRecordView::VersionId() const {
  return (uint32_t{version_[0]} << 24) | (uint32_t{version_[1]} << 16) |
         (uint32_t{version_[2]} << 8) | version_[3];
}

void GpsRecordView::SetVersionId(uint32_t version) {
  for (int i = 0; i < 4; ++i) version_[i] = static_cast<uint8_t>(version >> (24 - 8 * i));
  if (writable_) std::memcpy(writable_->versionID, version_, sizeof version_);
}

std::vector<uint8_t> GpsRecordView::ValueBytesOf(uint16_t tag) const {
  if (!valid()) return {};
  const GpsRecord& r = *record_;
  auto span = [](const void* p, size_t n) {
    return std::vector<uint8_t>(BytesOf(p), BytesOf(p) + n);
  };
  switch (tag) {
    case kGpsVersionId: return span(version_, 4);
    case kGpsLatitudeRef: return {static_cast<uint8_t>(r.latitudeRef[0]), 0};
    case kGpsLatitude: return span(r.latitude, sizeof r.latitude);
    case kGpsLongitudeRef: return {static_cast<uint8_t>(r.longitudeRef[0]), 0};
    case kGpsLongitude: return span(r.longitude, sizeof r.longitude);
    case kGpsAltitudeRef: return {static_cast<uint8_t>(r.altitudeRef & 0xFF)};
    case kGpsAltitude: return span(r.altitude, sizeof r.altitude);
    case kGpsTimeStamp: return span(r.timeStamp, sizeof r.timeStamp);
    case kGpsMapDatum: {
      std::vector<uint8_t> text =
          r.mapDatum.text ? span(r.mapDatum.text, mapDatumLength_) : std::vector<uint8_t>{};
      text.push_back(0);
      return text;
    }
    case kGpsDateStamp: {
      std::vector<uint8_t> text =
          r.dateStamp.text ? span(r.dateStamp.text, dateStampLength_) : std::vector<uint8_t>{};
      text.push_back(0);
      return text;
    }
    case kGpsProcessingMethod:
      return span(r.processingMethod.data,
                  static_cast<size_t>(std::max(0, r.processingMethod.size)));
    case kGpsAreaInformation:
      return span(r.areaInformation.data, static_cast<size_t>(std::max(0, r.areaInformation.size)));
    default: return {};
  }
}

uint32_t InlineFourBytesBigEndian(const IfdEntry& e) {
  // Some writers store ExifVersion as ASCII without a 0 byte.
  if ((e.type != kTypeByte && e.type != kTypeUndefined && e.type != kTypeAscii) || e.count != 4)
    return 0;
  return (exif::InlineByte(e.value, 0) << 24) | (exif::InlineByte(e.value, 1) << 16) |
         (exif::InlineByte(e.value, 2) << 8) | exif::InlineByte(e.value, 3);
}

uint32_t GpsVersionForExifVersion(uint32_t exifVersion) {
  if (exifVersion == 0x30323130) return kGpsVersion20;  // "0210"
  if (exifVersion == 0x30323230 || exifVersion == 0x30323231)
    return kGpsVersion22;  // "0220", "0221"
  return 0;
}

int MergeGpsRecord(IfdEntryList* list, const GpsRecordView* record) {
  if (!list || !record || !record->valid()) return 0;
  // The version the directory ends with decides whether the tags of GPS 2.2 may be written.
  uint32_t version = kGpsVersion20;
  const int at = IndexOfTag(*list, kGpsVersionId);
  if (at >= 0) {
    version = InlineFourBytesBigEndian((*list)[static_cast<size_t>(at)]);
    if (version < kGpsVersion20) {
      version = kGpsVersion20;
      (*list)[static_cast<size_t>(at)] = {kGpsVersionId, kTypeByte, 4, PackInline({2, 0, 0, 0})};
    }
  }
  const bool listsVersion = record->Lists(kGpsVersionId);
  if (listsVersion) version = std::max(version, record->VersionId());
  const bool hasVersion = at >= 0 || listsVersion;
  const bool only22Dropped = hasVersion && version < kGpsVersion22;

  for (uint16_t tag : record->tags()) {
    IfdEntry e{tag};
    switch (tag) {
      case kGpsVersionId:
        e.type = kTypeByte;
        e.count = 4;
        e.value =
            PackInline({static_cast<uint8_t>(version >> 24), static_cast<uint8_t>(version >> 16),
                        static_cast<uint8_t>(version >> 8), static_cast<uint8_t>(version)});
        break;
      case kGpsLatitudeRef:
      case kGpsLongitudeRef:
        e.type = kTypeAscii;
        e.count = 2;
        e.value = PackInline(record->ValueBytesOf(tag));
        break;
      case kGpsLatitude:
      case kGpsLongitude:
      case kGpsTimeStamp:
        e.type = kTypeRational;
        e.count = 3;
        break;
      case kGpsAltitude:
        e.type = kTypeRational;
        e.count = 1;
        break;
      case kGpsAltitudeRef:
        e.type = kTypeByte;
        e.count = 1;
        e.value = PackInline(record->ValueBytesOf(tag));
        break;
      case kGpsMapDatum:
      case kGpsDateStamp:
      case kGpsProcessingMethod:
      case kGpsAreaInformation: {
        // GPSProcessingMethod, GPSAreaInformation and GPSDateStamp exist from GPS 2.2 on: for an
        // older directory the record's are not written (the file's own stay).
        if (tag != kGpsMapDatum && only22Dropped) continue;
        const std::vector<uint8_t> bytes = record->ValueBytesOf(tag);
        if (bytes.empty()) continue;  // an empty byte array: no value to write
        e.type = tag == kGpsMapDatum || tag == kGpsDateStamp ? kTypeAscii : kTypeUndefined;
        e.count = static_cast<uint32_t>(bytes.size());
        e.value = bytes.size() <= exif::kInlineValueBytes ? PackInline(bytes) : 0;
        break;
      }
      default: continue;
    }
    SetEntry(list, e, true);
  }
  return 1;
}

uint32_t WriteGpsValue(MutableByteView dest, const IfdEntry& entry, const GpsRecordView& record) {
  if (!record.Lists(entry.tag)) return 0;
  const std::vector<uint8_t> bytes = record.ValueBytesOf(entry.tag);
  if (bytes.empty() || dest.size() == 0) return 0;
  const uint32_t want = ValueBytes(entry.type, entry.count);
  if (want == 0 || want > dest.size()) return 0;
  return exif::EncodeValueArray({dest.data(), want}, entry.type, dest.order(), bytes);
}

uint32_t GpsValueWriter::ValueSize(const IfdEntry& requested) {
  return ValueBytes(requested.type, requested.count);
}

uint32_t GpsValueWriter::DeliverValue(const IfdEntry& requested, MutableByteView dest) {
  if (requested.value == 0 || !source_) return WriteGpsValue(dest, requested, record_);
  // An entry of the source file: its own bytes, in the file's order.
  const uint32_t bytes = ValueBytes(requested.type, requested.count);
  if (bytes == 0 || bytes > dest.size()) return 0;
  if (const uint8_t* raw = source_->Block().Pointer(requested.value, bytes);
      raw && source_->byteOrder() == dest.order()) {
    std::memcpy(dest.data(), raw, bytes);
    return requested.count;
  }
  std::vector<uint8_t> native(bytes);
  if (source_->ReadEntryValue(requested, native.data(), bytes) == 0) return 0;
  if (exif::EncodeValueArray({dest.data(), bytes}, requested.type, dest.order(), native) == 0)
    return 0;
  return requested.count;
}

}  // namespace lf::edit
