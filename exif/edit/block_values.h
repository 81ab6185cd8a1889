// SPDX-License-Identifier: MIT
// Where the values of a block built from scratch come from: the entries of the source (or the
// thumbnail's) file that a new block can carry, the thumbnail's stored data, the values the
// builder generates (date stamps, versions), and the out-of-line values fetched before their
// directory is laid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exif/edit/directory_emitter.h"
#include "exif/edit/output_buffer.h"
#include "exif/model/exif_reader.h"
#include "lumenframe/lumenframe.h"
#include "platform/clock.h"

namespace lf::edit {

// EXIF 2.2, 4.6.5: the thumbnail of a DCF file is 160 × 120 pixels.
inline constexpr uint32_t kThumbnailWidth = 160;
inline constexpr uint32_t kThumbnailHeight = 120;

// Four characters as an inline BYTE/ASCII/UNDEFINED value (byte i in bits 8i..8i+7).
inline constexpr uint32_t InlineChars(const char (&text)[5]) {
  return static_cast<uint8_t>(text[0]) | static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}
// A version number written big-endian ("0210" for 0x30323130) as an inline UNDEFINED value.
uint32_t InlineVersion(uint32_t version);

// The 20 bytes of a date stamp: "YYYY:MM:DD HH:MM:SS" and its NUL.
std::vector<uint8_t> DateStampBytes(const ExifDateTime& when);

// Out-of-line values fetched before their directory is laid, served to the emitter by tag.
class PlannedValues final : public ValueProvider {
 public:
  void Add(uint16_t tag, uint32_t count, std::vector<uint8_t> bytes) {
    values_.push_back({tag, count, std::move(bytes)});
  }
  uint32_t ValueSize(const IfdEntry& requested) override {
    const Value* v = Find(requested.tag);
    return v ? static_cast<uint32_t>(v->bytes.size()) : 0;
  }
  uint32_t DeliverValue(const IfdEntry& requested, MutableByteView dest) override {
    const Value* v = Find(requested.tag);
    if (!v || !dest.WriteBytes(0, v->bytes.data(), v->bytes.size())) return 0;
    return v->count;
  }

 private:
  struct Value {
    uint16_t tag;
    uint32_t count;
    std::vector<uint8_t> bytes;  // in the block's byte order
  };
  const Value* Find(uint16_t tag) const {
    for (const Value& v : values_) {
      if (v.tag == tag) return &v;
    }
    return nullptr;
  }
  std::vector<Value> values_;
};

// Entries that name other bytes of their file by offset, which a new block cannot carry. The
// directory pointers and the image data offsets of the new block are added by the builder.
[[nodiscard]] bool NamesSourceBytes(DirectoryId id, const IfdEntry& e, bool keepStrips);

// Collects, sorts and cleans the entries of one directory of `reader`.
IfdEntryList SourceEntries(exif::ExifReader& reader, DirectoryId from, DirectoryId to,
                           bool keepStrips);

// An ASCII entry of `text` with its NUL; inline when it fits, else generated at layout.
IfdEntry AsciiEntry(uint16_t tag, const std::string& text);

// Fills a thumbnail's stored data from the file at `path`: a JPEG without its APPn segments, or a
// TIFF's strip data. The image must be exactly 160 × 120 pixels. True when loaded.
[[nodiscard]] bool LoadThumbnailData(exif::ExifReader& thumb, bool tiff, OutputBuffer* data);

// The values only the writer knows: the caller's strings, date stamps of the time of the call
// (read once), and the source's resolution (a JPEG's JFIF density over 1, else its own IFD0
// value; 72/1 when there is none).
class GeneratedValues {
 public:
  GeneratedValues(exif::ExifReader& source, const LfExifWriteParams& params, bool jpeg);
  // The value bytes (in `order`) of entry `e` of directory `id` when the writer generates it.
  [[nodiscard]] bool Generate(DirectoryId id, const IfdEntry& e, ByteOrder order,
                              std::vector<uint8_t>* bytes) const;

 private:
  void Resolution(uint16_t tag, uint32_t* numerator, uint32_t* denominator) const;
  exif::ExifReader& source_;
  const LfExifWriteParams& params_;
  bool jpeg_;
  bool haveClock_ = false;
  ExifDateTime now_{};
};

}  // namespace lf::edit
