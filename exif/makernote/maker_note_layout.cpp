// SPDX-License-Identifier: MIT
#include "exif/makernote/maker_note_layout.h"

#include <algorithm>

namespace lf::exif {

namespace {

constexpr uint32_t kCountAfterText = 3;    // the NUL and two bytes not interpreted
constexpr uint32_t kEntriesAfterText = 5;  // ... and the two-byte entry count

}  // namespace

MakerNoteLayout MeasureMakerNote(ByteView note) {
  MakerNoteLayout layout;
  const uint32_t limit = static_cast<uint32_t>(std::min<uint64_t>(kMaxHeaderText, note.size()));
  uint32_t text = 0;
  while (text < limit && note.ReadU8(text) != 0) ++text;
  layout.textLength = text;
  if (text < 2) {
    layout.located = note.size() >= 2;
    return layout;
  }
  layout.header = std::string_view(reinterpret_cast<const char*>(note.data()), text);
  if (uint64_t{text} + kEntriesAfterText < note.size()) {
    layout.directoryStart = text + kCountAfterText;
    layout.located = true;
  }
  return layout;
}

}  // namespace lf::exif

namespace lf::exif {

namespace {

using namespace std::string_view_literals;

enum class OrderFrom : uint8_t { kFile, kLittle, kMarks };  // kMarks: "II" or "MM" at orderAt

// One maker whose opening bytes say how its directory is read.
struct DialectRow {
  std::string_view signature;
  OrderFrom order;
  uint32_t orderAt;
  uint32_t countAt;       // the entry count, or (directoryPointer) a u32 naming the directory
  bool directoryPointer;  // the directory lies at valueBase + that u32
  bool offsetsFromNote;
  uint32_t valueBase;
};

constexpr DialectRow kDialects[] = {
    // Version 2 and later: a TIFF header of its own at 10, which the offsets count from.
    {"Nikon\0\x02"sv, OrderFrom::kMarks, 10, 14, true, true, 10},
    {"OLYMPUS\0"sv, OrderFrom::kMarks, 8, 12, false, true, 0},
    {"OM SYSTEM\0"sv, OrderFrom::kMarks, 12, 16, false, true, 0},
    {"FUJIFILM"sv, OrderFrom::kLittle, 0, 8, true, true, 0},
    {"PENTAX \0"sv, OrderFrom::kMarks, 8, 10, false, true, 0},
    {"Apple iOS\0"sv, OrderFrom::kMarks, 12, 14, false, true, 0},
    {"AOC\0"sv, OrderFrom::kMarks, 4, 6, false, false, 0},
    // Eight bytes of signature, then the count; the text rule would take it from byte 8.
    {"SIGMA\0\0\0"sv, OrderFrom::kFile, 0, 10, false, false, 0},
    {"FOVEON\0\0"sv, OrderFrom::kFile, 0, 10, false, false, 0},
};

bool StartsWith(ByteView note, std::string_view signature) {
  if (!note.Contains(0, signature.size())) return false;
  for (size_t i = 0; i < signature.size(); ++i) {
    if (note.ReadU8(i) != static_cast<uint8_t>(signature[i])) return false;
  }
  return true;
}

ByteOrder OrderOf(ByteView note, const DialectRow& row) {
  if (row.order == OrderFrom::kLittle) return kLittleEndian;
  if (row.order == OrderFrom::kMarks) {
    const uint8_t a = note.ReadU8(row.orderAt), b = note.ReadU8(uint64_t{row.orderAt} + 1);
    if (a == 'I' && b == 'I') return kLittleEndian;
    if (a == 'M' && b == 'M') return kBigEndian;
  }
  return note.order();
}

}  // namespace

MakerNoteDialect ReadMakerNoteDialect(ByteView note) {
  MakerNoteDialect d;
  d.order = note.order();
  for (const DialectRow& row : kDialects) {
    if (!StartsWith(note, row.signature)) continue;
    d.order = OrderOf(note, row);
    d.offsetsFromNote = row.offsetsFromNote;
    d.valueBase = row.valueBase;
    uint64_t countAt = row.countAt;
    if (row.directoryPointer) {
      if (!note.Contains(row.countAt, 4)) return d;
      countAt = uint64_t{row.valueBase} + note.WithOrder(d.order).ReadU32(row.countAt);
    }
    d.located = note.Contains(countAt, 2);
    d.countAt = d.located ? static_cast<uint32_t>(countAt) : 0;
    return d;
  }
  const MakerNoteLayout layout = MeasureMakerNote(note);
  // A leading NUL is neither a header nor an entry count the text rule can read.
  d.located = layout.located && layout.textLength != 0;
  d.countAt = layout.directoryStart;
  return d;
}

bool EntryFitsMakerNote(const IfdEntry& stored, const MakerNoteDialect& dialect, ByteView note,
                        uint64_t blockLength) {
  if (StoredTypeSize(stored.type) == 0) return false;
  const uint64_t bytes = uint64_t{StoredTypeSize(stored.type)} * stored.count;
  if (bytes <= kInlineValueBytes) return true;
  if (dialect.offsetsFromNote)
    return note.Contains(uint64_t{dialect.valueBase} + stored.value, bytes);
  return InRange(blockLength, stored.value, bytes);
}

bool DirectoryReads(ByteView note, const MakerNoteDialect& dialect, uint64_t blockLength) {
  if (!dialect.located) return false;
  const ByteView view = note.WithOrder(dialect.order);
  const uint16_t count = view.ReadU16(dialect.countAt);
  const uint64_t first = uint64_t{dialect.countAt} + 2;
  if (count == 0 || !view.Contains(first, uint64_t{count} * kEntrySize)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    // The value field as stored: DecodeEntry would normalise an inline one.
    const uint64_t at = first + uint64_t{i} * kEntrySize;
    const IfdEntry stored{view.ReadU16(at), view.ReadU16(at + 2), view.ReadU32(at + 4),
                          view.ReadU32(at + 8)};
    if (!EntryFitsMakerNote(stored, dialect, note, blockLength)) return false;
  }
  return true;
}

}  // namespace lf::exif
