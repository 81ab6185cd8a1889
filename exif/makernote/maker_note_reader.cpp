// SPDX-License-Identifier: MIT
#include "exif/makernote/maker_note_reader.h"

#include <cstring>

#include "exif/makernote/maker_note_layout.h"

namespace lf::exif {

MakerNoteReader::MakerNoteReader(const char* path, bool loadBlock)
    : ExifReader(path, loadBlock), makerByteOrder_(byteOrder()) {
  LocateMakerNote();
}

MakerNoteReader::MakerNoteReader(const char* path, OnDemand onDemand)
    : ExifReader(path, onDemand), makerByteOrder_(byteOrder()) {
  LocateMakerNote();
}

void MakerNoteReader::LocateMakerNote() {
  if (!HasExifDirectory()) return;
  IfdEntry note;
  note.tag = kTagMakerNote;
  // The MakerNote's type is not checked: cameras write UNDEFINED, some software BYTE or LONG.
  if (FindEntry(kExifIfd, &note) != kFound || note.count <= 4 || note.value == 0) return;
  makerNoteLength_ = note.count;
  makerNoteOffset_ = note.value;
  LoadMakerNote();
  // A note that does not parse answers with no header and no entries.
  (void)ParseMakerNoteHeader();
}

void MakerNoteReader::LoadMakerNote() {
  // The maker note's bytes are the reader's own, where the file describes them.
  if (BlockBytes(makerNoteOffset_, makerNoteLength_).empty()) return;
  makerNoteData_ = MutableLoadedBlock().Pointer(makerNoteOffset_, makerNoteLength_);
}

int MakerNoteReader::ParseMakerNoteHeader() {
  if (!makerNoteData_) return 0;
  const ByteView note(makerNoteData_, makerNoteLength_, byteOrder());
  header_.assign(MeasureMakerNote(note).header);
  dialect_ = ReadMakerNoteDialect(note);
  makerByteOrder_ = dialect_.order;
  entryCount_ = 0;
  // Entries are reachable only when every one of them reads as a directory entry: a maker note
  // that merely starts like one would otherwise deliver, and let the editor rewrite, bytes that
  // mean something else.
  if (!DirectoryReads(note, dialect_, blockLength())) return 0;
  entryCount_ = note.WithOrder(makerByteOrder_).ReadU16(dialect_.countAt);
  return 1;
}

std::string MakerNoteReader::GetMakerNoteHeader() {
  if (header_.empty() && entryCount_ == 0) (void)ParseMakerNoteHeader();
  return header_;
}

bool MakerNoteReader::IsKestrelon() { return GetMakerNoteHeader() == kKestrelonHeader; }

bool MakerNoteReader::MakerNoteUsable() const {
  return makerNoteData_ && HasMakerNote() && MakerNoteInBlock() && entryCount_ != 0;
}

ByteView MakerNoteReader::GatedEntries() const {
  if (!MakerNoteUsable()) return {};
  const ByteView note(makerNoteData_, makerNoteLength_, makerByteOrder_);
  return note.Sub(EntriesStart(), ScanLength(entryCount_));
}

uint32_t MakerNoteReader::ValueBase() const {
  return dialect_.offsetsFromNote ? makerNoteOffset_ + dialect_.valueBase : 0;
}

void MakerNoteReader::Rebase(IfdEntry* entry) const {
  // The directory was checked to keep every value inside the note, so the sum fits.
  if (!IsInline(*entry)) entry->value += ValueBase();
}

int MakerNoteReader::FindMakerNoteEntry(IfdEntry* entry) {
  const ByteView entries = GatedEntries();
  if (!entry || entries.empty()) return 0;
  const int found = ScanEntries(entries, entry);
  if (found == 1) Rebase(entry);
  return found;
}

int MakerNoteReader::CollectMakerNoteEntries(IfdEntryList* list) {
  const ByteView entries = GatedEntries();
  if (!list || entries.empty()) return 0;
  const int collected = FilterEntries(entries, list);
  for (IfdEntry& e : *list) Rebase(&e);
  return collected;
}

uint32_t MakerNoteReader::ReadMakerNoteValue(const IfdEntry& entry, void* buffer,
                                             uint32_t bufferSize) {
  if (!buffer || !MakerNoteUsable()) return 0;
  if (bufferSize < FieldTypeSize(entry.type)) return 0;
  const std::span<uint8_t> out(static_cast<uint8_t*>(buffer), bufferSize);
  const uint32_t n = EntryByteCount(entry);
  if (n <= kInlineValueBytes) return CopyInlineValue(entry, n, out);
  // Out-of-line values are resolved in the loaded block only, in the maker note's byte order
  // (which a maker's own TIFF header may set apart from the block's).
  const ByteView value = BlockBytes(entry.value, n);
  if (value.empty()) return 0;
  return ConvertValueArray(value.WithOrder(makerByteOrder_), entry.type, out);
}

int MakerNoteReader::UpdateMakerNoteEntry(const IfdEntry& entry) {
  const ByteView entries = GatedEntries();
  if (entries.empty()) return 0;
  // The entries as a directory of the maker note's bytes: the count word sits in front of them.
  const MutableByteView note(makerNoteData_, makerNoteLength_, makerByteOrder_);
  const ByteView readOnly(makerNoteData_, makerNoteLength_, makerByteOrder_);
  const RawDirectory dir{EntriesStart() - 2, static_cast<uint16_t>(entries.size() / kEntrySize)};
  IfdEntry old;
  if (!FindRawEntry(readOnly, dir, entry.tag, &old)) return 0;
  // A longer value's offset is given from the TIFF header, as the lookups above report it.
  IfdEntry stored = entry;
  if (!IsInline(entry)) {
    if (entry.value < ValueBase()) return kEntryRefused;
    stored.value -= ValueBase();
  }
  if (EntryByteCount(entry) == 0 ||
      !EntryFitsMakerNote(stored, dialect_, readOnly, blockLength())) {
    return kEntryRefused;
  }
  return PatchRawEntry(note, dir, stored) == kPatched ? 1 : 0;
}

int MakerNoteReader::HasPrintImage() {
  const PrintImLocation& printIm = this->printIm();
  const bool printImLocated = printIm.offset != 0 && printIm.length != 0;
  if (IsJpegImage() && app6Length() >= 3 && printImLocated) return 1;
  if (IsExif() && printImLocated) return 1;
  if (HasMakerNote()) {
    IfdEntry entry;
    entry.tag = kTagMakerNotePrintImage;
    if (FindMakerNoteEntry(&entry) == 1 && entry.type == kTypeUndefined && entry.value != 0 &&
        entry.count != 0) {
      return 1;
    }
  }
  return 0;
}

}  // namespace lf::exif
