// SPDX-License-Identifier: MIT
// The structure of one EXIF block, located once: the TIFF header, the five standard directories,
// the pointer entries and links that name them, the thumbnail and strip entries and the maker
// note. Every directory is checked to lie inside the bytes before anything indexes it. Readers
// and writers locate a block here once per operation and hand the result down, so each applies
// its own rules to the same facts instead of following the pointers again.
#pragma once

#include <cstdint>

#include "exif/makernote/maker_note_layout.h"
#include "exif/model/byte_reader.h"
#include "exif/model/directory.h"
#include "exif/model/tag_table.h"

namespace lf::exif {

// TIFF 6.0, Section 2: "II" or "MM", 42 in that byte order, then the offset of IFD0.
inline constexpr uint32_t kTiffHeaderSize = 8;
enum class TiffHeaderStatus { kNoByteOrder, kNotTiff, kValid };
struct TiffHeader {
  TiffHeaderStatus status = TiffHeaderStatus::kNoByteOrder;
  ByteOrder order = kLittleEndian;  // set unless kNoByteOrder
  uint32_t ifd0Offset = 0;          // set when kValid
  bool valid() const { return status == TiffHeaderStatus::kValid; }
};
// Reads the header at the start of `bytes` (their own byte order is ignored).
[[nodiscard]] TiffHeader ReadTiffHeader(ByteView bytes);

// One entry looked up by tag in a directory: the first with that tag, where it lies (so a writer
// can patch it) and what it holds.
struct LocatedEntry {
  bool found = false;
  uint64_t pos = 0;  // block offset of the 12-byte entry
  IfdEntry entry;
  // The value of a LONG of count 1 (the only form a directory pointer takes), else 0.
  uint32_t LongValue() const {
    return found && entry.type == kTypeLong && entry.count == 1 ? entry.value : 0;
  }
};

// A directory as the header, a link or a pointer names it.
struct LocatedDirectory {
  uint32_t named = 0;    // the offset named (0: none)
  bool located = false;  // its count and entries lie inside the block
  RawDirectory dir;      // {} unless located; a located directory may be empty
  bool hasLink = false;  // the 4-byte next-IFD link lies inside the block too
  uint32_t next = 0;     // the link's value (0 without one)
};

// The maker note of the Exif IFD: its entry, its bytes when they lie inside the block, and where
// its directory lies by the maker-note text rule.
struct LocatedMakerNote {
  LocatedEntry entry;
  uint32_t bytes = 0;      // its value's byte count
  ByteView value;          // empty unless out of line and inside the block
  MakerNoteLayout layout;  // measured when `value` is not empty
  // The directory at value + layout.directoryStart, in block offsets, when located.
  bool located = false;
  RawDirectory dir;
};

struct BlockStructure {
  TiffHeader header;
  ByteView tiff;  // the block in the header's byte order
  LocatedDirectory ifd0, ifd1, exif, gps, interop;
  // The pointer entries: Exif and GPS in IFD0, Interop in the Exif IFD. IFD1 is named by IFD0's
  // link, at ifd0.dir.LinkPos().
  LocatedEntry exifPointer, gpsPointer, interopPointer;
  // JPEGInterchangeFormat and its length in IFD1.
  LocatedEntry thumbnailOffset, thumbnailLength;
  // StripOffsets and StripByteCounts of IFD0 and IFD1.
  LocatedEntry stripOffsets0, stripCounts0, stripOffsets1, stripCounts1;
  LocatedMakerNote makerNote;

  // The directory of a standard id (IFD0, IFD1, Exif, GPS, Interop); an empty one otherwise.
  const LocatedDirectory& Of(DirectoryId id) const;
};

// Locates the structure of the TIFF bytes `tiff` (header at offset 0: an APP1 payload behind its
// "Exif" header, or a whole TIFF file). A block whose header is not valid locates nothing.
[[nodiscard]] BlockStructure Locate(ByteView tiff);

}  // namespace lf::exif
