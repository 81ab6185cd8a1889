// SPDX-License-Identifier: MIT
// MakerNoteReader: an ExifReader that also reads the maker's private directory inside the EXIF
// MakerNote (Exif IFD tag 0x927C). The module's own dialect:
//
//   with a header text of L ≥ 2 characters:  text, NUL, 2 bytes not interpreted, u16 entry count,
//                                             then the 12-byte entries (from byte L + 5);
//   without one (first text shorter than 2):  u16 entry count, then the entries (from byte 2).
//
// The entries use the TIFF entry layout in the file's byte order, and their value offsets are
// relative to the TIFF header of the whole EXIF data, exactly like the main directories. Makers
// whose signature says otherwise (their own byte order, directory position or offset base) are
// read as their signature says (maker_note_layout.h). A maker note that does not fit the block, or
// whose directory does not read as one, has no reachable entries.
#pragma once

#include <cstdint>
#include <string>

#include "exif/makernote/maker_note_layout.h"
#include "exif/model/exif_reader.h"
#include "platform/memory.h"

namespace lf::exif {

// Tag of the print image data that some maker notes carry.
inline constexpr uint16_t kTagMakerNotePrintImage = 0x0E00;

class MakerNoteReader : public ExifReader {
 public:
  // Reads the file's structure as ExifReader does, then locates the maker note and parses its
  // header once. The maker note's bytes are the reader's own (see ExifReader).
  MakerNoteReader(const char* path, bool loadBlock);
  MakerNoteReader(const char* path, OnDemand);

  bool HasMakerNote() const { return makerNoteLength_ > 0; }
  // The maker note lies inside the EXIF block as the file describes it.
  bool MakerNoteInBlock() const {
    return InRange(blockLength(), makerNoteOffset_, makerNoteLength_);
  }

  // Reads the header text and the entry count; 1 when the directory fits the maker note.
  [[nodiscard]] int ParseMakerNoteHeader();
  // The identification text at the start of the maker note ("" when there is none).
  std::string GetMakerNoteHeader();
  // The maker note is of the one dialect whose settings the module knows (its header compared
  // byte for byte).
  [[nodiscard]] bool IsKestrelon();

  // The first maker-note entry with entry->tag; 1 found (type, count, value filled), else 0.
  [[nodiscard]] int FindMakerNoteEntry(IfdEntry* entry);
  // As CollectEntries, over the maker-note directory: the number collected, or 0.
  [[nodiscard]] int CollectMakerNoteEntries(IfdEntryList* list);
  // Delivers a maker-note entry's value as ReadEntryValue does; an out-of-line value must lie in
  // the loaded block. 0 on failure. The entries found and collected above carry, for an
  // out-of-line value, its offset from the TIFF header whatever the dialect counts from.
  uint32_t ReadMakerNoteValue(const IfdEntry& entry, void* buffer, uint32_t bufferSize);
  // Re-encodes the first entry with entry.tag in place (inside the block when it is loaded) from
  // the given tag, type, count and value. 1 when an entry was rewritten, 0 when none has the tag,
  // kEntryRefused (nothing written) when the new entry would not read back: a type without a
  // value size, or a value outside the maker note or the block.
  [[nodiscard]] int UpdateMakerNoteEntry(const IfdEntry& entry);
  static constexpr int kEntryRefused = -1;

  // Print Image Matching data anywhere the module looks for it: an APP6 "PrintIM" segment of a
  // JPEG, a PrintIM entry of IFD0, or maker-note entry 0x0E00. 1 or 0.
  [[nodiscard]] int HasPrintImage();

  // The loaded block, writable: UpdateMakerNoteEntry edits it, and the save writes it back.
  MutableByteView MutableBlock() { return MutableLoadedBlock(); }

  ByteOrder makerByteOrder() const { return makerByteOrder_; }
  uint16_t makerEntryCount() const { return entryCount_; }
  uint32_t makerNoteLength() const { return makerNoteLength_; }
  uint32_t makerNoteOffset() const { return makerNoteOffset_; }
  // Where the entries start inside the maker note.
  uint32_t EntriesStart() const { return dialect_.countAt + 2; }

 private:
  void LocateMakerNote();
  // Points makerNoteData_ at the maker note when the reader's bytes hold it.
  void LoadMakerNote();
  // The raw entries when the directory passes the common gate (maker note present, inside the
  // block, entry count non-zero, entries inside the maker note); an empty view otherwise.
  ByteView GatedEntries() const;
  // The gate without the size test, as ReadMakerNoteValue applies it.
  [[nodiscard]] bool MakerNoteUsable() const;
  // The TIFF offset of the values of a dialect whose offsets count from inside the note; 0 else.
  uint32_t ValueBase() const;
  void Rebase(IfdEntry* entry) const;

  ByteOrder makerByteOrder_ = kLittleEndian;
  uint16_t entryCount_ = 0;
  std::string header_;
  MakerNoteDialect dialect_;
  uint32_t makerNoteLength_ = 0;
  uint32_t makerNoteOffset_ = 0;
  uint8_t* makerNoteData_ = nullptr;  // into the reader's bytes; null when they do not hold it
};

}  // namespace lf::exif
