// SPDX-License-Identifier: MIT
#include "exif/edit/trailer_references.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "exif/makernote/maker_note_layout.h"
#include "exif/model/jpeg_segments.h"

namespace lf::edit {

namespace {

// Types whose values may be a 32-bit offset: LONG and SLONG, and the byte types that camera
// makers use for private records; an unknown type may be anything.
bool MayHoldOffset(uint16_t type) {
  switch (type) {
    case exif::kTypeAscii:
    case exif::kTypeShort:
    case exif::kTypeSShort:
    case exif::kTypeRational:
    case exif::kTypeSRational:
    case exif::kTypeFloat:
    case exif::kTypeDouble: return false;
    default: return true;
  }
}

// Where a word counts from: a file offset of the source, and whether it moves with the block.
struct Base {
  uint64_t file = 0;
  uint64_t wordsFrom = 0, wordsTo = 0;  // the block range whose words may count from it
  ByteOrder order = exif::kLittleEndian;
  bool fromFileStart = false;
};

// The length of the well-formed JPEG stream at `at` (SOI, marker segments, one scan of
// entropy-coded data, EOI; JPEG, ITU T.81, B.1), or 0. Its bytes are picture data, never offsets.
uint64_t JpegStreamAt(ByteView b, uint64_t at) {
  if (b.ReadU16BE(at) != 0xFFD8) return 0;
  uint64_t pos = at + 2;
  for (;;) {
    if (!b.Contains(pos, 4)) return 0;
    const uint16_t marker = b.ReadU16BE(pos);
    const uint16_t length = b.ReadU16BE(pos + 2);
    if ((marker >> 8) != 0xFF || marker == 0xFFD8 || marker == 0xFFD9 || length < 2) return 0;
    pos += 2 + uint64_t{length};
    if (marker == 0xFFDA) break;
  }
  // In entropy-coded data 0xFF is followed only by a stuffed 0, a restart marker or fill bytes.
  const exif::JpegImageEnd end = exif::FindJpegImageEnd(b, pos, exif::ScanMarkers::kNone);
  return end.found() ? end.trailerStart() - at : 0;
}

class Scan {
 public:
  explicit Scan(ByteView block) : block_(block), skip_(block.size(), false) {}

  void Skip(uint64_t from, uint64_t n) {
    if (from >= skip_.size()) return;
    std::fill_n(skip_.begin() + static_cast<long>(from), std::min<uint64_t>(n, skip_.size() - from),
                true);
  }

  // Passes over the structure of the directory at `offset` of `view` (which starts at block
  // position `base`), when it can be located there, as below.
  void Directory(ByteView view, uint64_t base, uint32_t offset) {
    RawDirectory dir;
    if (LocateRawDirectory(view, offset, &dir)) Pass(view, base, dir);
  }

  // Passes over the structure of a located directory and the values of its entries that cannot
  // hold an offset.
  void Pass(ByteView view, uint64_t base, const exif::LocatedDirectory& located) {
    if (located.located) Pass(view, base, located.dir);
  }
  void Pass(ByteView view, uint64_t base, const RawDirectory& dir) {
    Skip(base + dir.offset, 2);
    for (uint32_t i = 0; i < dir.count; ++i) {
      IfdEntry e;
      if (!ReadEntry(view, dir.EntryPos(i), &e)) break;
      Skip(base + dir.EntryPos(i), 8);
      const uint32_t n = exif::StoredByteCount(e.type, e.count);
      if (MayHoldOffset(e.type) || n == 0) continue;
      if (n <= 4)
        Skip(base + dir.EntryPos(i) + 8, 4);
      else if (view.Contains(e.value, n))
        Skip(base + e.value, n);
    }
    Skip(base + dir.LinkPos(), 4);  // a link names a directory inside the block
  }

  // Passes over every well-formed JPEG stream inside the block (thumbnails and previews that
  // maker notes embed). A real block embeds a few; the attempts are capped, so that a hostile
  // block of many false starts costs no more than a few passes (and only refuses more).
  void SkipJpegStreams() {
    constexpr int kMaxAttempts = 16;
    int attempts = 0;
    for (uint64_t at = 0; at + 3 <= block_.size() && attempts < kMaxAttempts; ++at) {
      if (block_.ReadU8(at) != 0xFF || block_.ReadU8(at + 1) != 0xD8 ||
          block_.ReadU8(at + 2) != 0xFF)
        continue;
      ++attempts;
      if (const uint64_t n = JpegStreamAt(block_, at)) {
        Skip(at, n);
        at += n - 1;
      }
    }
  }

  std::vector<TrailerReference> Words(const std::vector<Base>& bases, uint64_t from, uint64_t to,
                                      uint64_t noteFrom, uint64_t noteTo) const {
    std::vector<TrailerReference> found;
    for (uint64_t at = 0; at + 4 <= block_.size(); ++at) {
      if (skip_[at] || skip_[at + 1] || skip_[at + 2] || skip_[at + 3]) continue;
      for (const Base& b : bases) {
        if (at < b.wordsFrom || at + 4 > b.wordsTo) continue;
        const uint32_t v = block_.WithOrder(b.order).ReadU32(at);
        const uint64_t target = b.file + v;
        if (target < from || target >= to) continue;
        const bool inNote = at >= noteFrom && at + 4 <= noteTo;
        found.push_back({static_cast<uint32_t>(at), b.order, v, target, b.fromFileStart, inNote,
                         inNote ? static_cast<uint32_t>(noteFrom) : 0});
      }
    }
    return found;
  }

 private:
  ByteView block_;
  std::vector<bool> skip_;
};

// A TIFF header of the maker note's own near its start ("II*\0" or "MM\0*" behind the maker's
// name): its position inside the note, or false.
[[nodiscard]] bool InnerTiffHeader(ByteView note, uint32_t* at) {
  constexpr uint32_t kSearched = 16;
  for (uint32_t i = 0; i + 8 <= std::min<uint64_t>(note.size(), kSearched + 8); i += 2) {
    if (exif::ReadTiffHeader(note.From(i)).valid()) {
      *at = i;
      return true;
    }
  }
  return false;
}

}  // namespace

namespace {

// Passes over the structure of `block` (the standard directories, the thumbnail, the maker note's
// directory) and adds the bases its words may count from; returns the maker note's range.
std::pair<uint64_t, uint64_t> PassOverStructure(const exif::BlockStructure& s, uint64_t tiffBase,
                                                Scan* scan, std::vector<Base>* bases) {
  const ByteView block = s.tiff;
  scan->Skip(0, 8);  // the TIFF header
  scan->Pass(block, 0, s.ifd0);
  // IFD1 is followed from a directory of entries only.
  const bool hasIfd1 = s.ifd0.dir.count != 0 && s.ifd1.located;
  if (hasIfd1) scan->Pass(block, 0, s.ifd1);
  scan->Pass(block, 0, s.exif);
  scan->Pass(block, 0, s.gps);
  scan->Pass(block, 0, s.interop);
  if (hasIfd1 && s.thumbnailOffset.found && s.thumbnailLength.found) {
    scan->Skip(s.thumbnailOffset.entry.value,
               s.thumbnailLength.entry.value);  // compressed data, not offsets
  }
  const exif::LocatedMakerNote& note = s.makerNote;
  if (note.value.empty()) return {0, 0};
  const uint64_t noteFrom = note.entry.entry.value, noteTo = noteFrom + note.bytes;
  const ByteView value = note.value;
  // Maker notes count their offsets from the TIFF header, from their own start, or from a TIFF
  // header of their own; each is tried.
  bases->push_back({tiffBase + noteFrom, noteFrom, noteTo, block.order(), false});
  // Its directory's values are taken to count from the TIFF header, as in most dialects.
  if (note.layout.located)
    scan->Directory(block, 0, static_cast<uint32_t>(noteFrom + note.layout.directoryStart));
  uint32_t header = 0;
  if (InnerTiffHeader(value, &header)) {
    const exif::BlockStructure inner = exif::Locate(value.From(header));
    scan->Skip(noteFrom + header, 8);
    scan->Pass(inner.tiff, noteFrom + header, inner.ifd0);
    bases->push_back({tiffBase + noteFrom + header, noteFrom, noteTo, inner.header.order, false});
  }
  return {noteFrom, noteTo};
}

}  // namespace

std::vector<TrailerReference> FindTrailerReferences(const exif::BlockStructure& block,
                                                    const exif::BlockStructure& source,
                                                    uint64_t tiffBase, uint64_t from, uint64_t to) {
  const ByteView bytes = block.tiff;
  Scan scan(bytes);
  std::vector<Base> bases = {{tiffBase, 0, bytes.size(), bytes.order(), false},
                             {0, 0, bytes.size(), bytes.order(), true}};
  const auto [noteFrom, noteTo] = PassOverStructure(block, tiffBase, &scan, &bases);
  // Bytes the edit left in place keep what the source's structure says of them (values of a
  // removed entry stay, unreferenced).
  std::vector<Base> ignored;
  PassOverStructure(source, tiffBase, &scan, &ignored);
  scan.SkipJpegStreams();
  return scan.Words(bases, from, to, noteFrom, noteTo);
}

bool FindPreviewReadings(const std::vector<TrailerReference>& refs, exif::ByteSource& file,
                         PreviewRule rule, std::vector<TrailerReference>* previews) {
  auto namesJpeg = [&](const TrailerReference& r) {
    uint8_t head[3] = {};
    return r.inMakerNote && file.ReadAt(r.target, head, sizeof head) && head[0] == 0xFF &&
           head[1] == 0xD8 && head[2] == 0xFF;
  };
  for (size_t i = 0; i < refs.size();) {
    size_t images = 0;
    for (const uint32_t at = refs[i].at; i < refs.size() && refs[i].at == at; ++i) {
      if (!namesJpeg(refs[i])) continue;
      previews->push_back(refs[i]);
      ++images;
    }
    if (images > 1 || (images == 0 && rule == PreviewRule::kExactlyOne)) return false;
  }
  return true;
}

}  // namespace lf::edit
