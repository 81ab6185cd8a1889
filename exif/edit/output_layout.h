// SPDX-License-Identifier: MIT
// The output half of an ExifWriter: the new EXIF block (the OutputBlock) in the source's byte
// order, where its directories lie, and the operations that copy a source block into it with byte
// ranges cut out, correct every offset for the cuts, and edit single entries and directories.
//
// Every offset is relative to the start of the block, which is the TIFF header. Every read and
// write goes through range-checked views, and the buffer grows as needed, so a hostile source can
// make an edit fail but never make it write outside the buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/edit/cut_list.h"
#include "exif/edit/directory_emitter.h"
#include "exif/edit/output_buffer.h"
#include "exif/edit/raw_entries.h"
#include "exif/model/block_structure.h"
#include "platform/clock.h"

namespace lf::edit {

// The source block as CopyBlockForEdit takes it.
struct EditSource {
  const exif::BlockStructure* block = nullptr;  // the loaded ExifBlock, located
  bool isTiff = false;  // the main image is in strips of the file (a TIFF file)
  bool isJpeg = false;  // a JPEG file; its thumbnail sits inside the block
  IfdDescriptor ifd0;   // descriptors of the source (strip count rule)
  IfdDescriptor ifd1;
};

// What the edits of a layout were asked to change. The check of the finished block accepts
// differences from the source only there.
enum class ThumbnailEdit { kDropped, kRestored, kAttached };
struct EditRecord {
  std::vector<std::pair<DirectoryId, uint16_t>> tags;  // entries updated, added or removed
  bool thumbnailDropped = false;                       // IFD1, its values and the thumbnail
  bool thumbnailRestored = false;                      // ... laid again behind the block
  bool thumbnailAttached = false;                      // a new IFD1 and thumbnail laid behind it
  void Set(ThumbnailEdit edit, bool done) {
    (edit == ThumbnailEdit::kDropped    ? thumbnailDropped
     : edit == ThumbnailEdit::kRestored ? thumbnailRestored
                                        : thumbnailAttached) = done;
  }
  bool Touches(DirectoryId id, uint16_t tag) const {
    for (const auto& t : tags) {
      if (t.first == id && t.second == tag) return true;
    }
    return false;
  }
  void Add(DirectoryId id, uint16_t tag) {
    if (!Touches(id, tag)) tags.emplace_back(id, tag);
  }
};

// Marks the start of every directory and value reachable from the TIFF header of a located
// block, so that no cut widened to a word boundary swallows the first byte of one.
void ProtectStructureStarts(const exif::BlockStructure& block, CutList* cuts);

class OutputLayout {
 public:
  // ---- State
  bool IsBuilt() const { return !out_.empty(); }
  bool HasOutputThumbnail() const { return ifd1_.location.offset != 0; }
  // The bytes that follow "Exif" and its two 0 bytes in a JPEG APP1 segment.
  uint64_t OutputPayloadSize() const { return uint64_t{out_.length()} + thumbnail_.length(); }
  ByteOrder order() const { return order_; }
  const OutputBuffer& block() const { return out_; }
  ByteView View() const { return out_.View(order_); }
  uint32_t outLength() const { return out_.length(); }
  const IfdDescriptor& outIfd0() const { return ifd0_; }
  const IfdDescriptor& outIfd1() const { return ifd1_; }
  const IfdLocation& outExif() const { return exif_; }
  const IfdLocation& outGps() const { return gps_; }
  const IfdLocation& outInterop() const { return interop_; }
  uint32_t makerNoteOffset() const { return makerNoteOffset_; }
  uint32_t makerNoteLength() const { return makerNoteLength_; }
  uint16_t makerNoteTail() const { return makerNoteTail_; }
  uint32_t mainImageSize() const { return mainImageSize_; }
  uint32_t thumbnailImageSize() const { return thumbnailImageSize_; }
  const OutputBuffer& thumbnailData() const { return thumbnail_; }
  bool isTiff() const { return isTiff_; }
  bool isJpeg() const { return isJpeg_; }
  // The source holds offsets the editor cannot correct: nothing that exists moves.
  bool pinned() const { return pinned_; }
  // A TIFF's main image stays inside the block (a pinned block that holds its strips).
  bool imageInBlock() const { return imageInBlock_; }
  const EditRecord& edits() const { return edits_; }

  // ---- What an edit changes beyond single entries (the check of the finished block accepts it)
  void RecordEdit(DirectoryId id, uint16_t tag) { edits_.Add(id, tag); }
  void RecordThumbnailEdit(ThumbnailEdit edit, bool done = true) { edits_.Set(edit, done); }

  // ---- The thumbnail held apart from the block, and the main image behind both
  // Takes the bytes of `data` as the thumbnail's (swapped in); none of them is placed yet.
  void HoldThumbnail(OutputBuffer* data) {
    thumbnail_.Swap(*data);
    data->Reset();
  }
  // The first `size` bytes held are the thumbnail IFD1 names behind the block.
  void PlaceHeldThumbnail(uint32_t size) { thumbnailImageSize_ = size; }
  // No thumbnail behind the block.
  void ClearThumbnail() {
    thumbnail_.Reset();
    thumbnailImageSize_ = 0;
  }
  // Measures the strips of IFD0 as the size of the main image that moves behind the block. False,
  // the size as it was, when they cannot be measured.
  [[nodiscard]] bool MeasureMainImage();
  // The main image's strips no longer move with the block (new ones are placed later).
  void DetachMainImage() { mainImageSize_ = 0; }

  // ---- Filling the block from a source (the first step of every edit of an existing file)
  // Copies the source block, keeping or removing IFD1 and the thumbnail; see the .cpp. 1 or 0.
  [[nodiscard]] int CopyBlockForEdit(const EditSource& source, bool keepThumbnail,
                                     bool removeInterop);
  // Shifts the offsets of one directory by `cuts`; the number of entries rewritten.
  int CorrectDirectory(DirectoryId id, const CutList& cuts);

  // ---- Single entries and directories of the block
  [[nodiscard]] int LocateOutputDirectory(DirectoryId id, IfdLocation* out);
  // kAbsent also for an empty directory or one not inside the block; kCannotLocate for an unknown
  // or unlocatable directory.
  [[nodiscard]] exif::Lookup FindOutputEntry(DirectoryId id, IfdEntry* entry);
  // Entries matching the request in *list (empty = all), in directory order; count, 0 or -1.
  [[nodiscard]] int CollectOutputEntries(DirectoryId id, IfdEntryList* list);
  // Re-encodes the entry with the same tag in place (tag 0 is refused as absent).
  [[nodiscard]] exif::Lookup UpdateOutputEntry(DirectoryId id, const IfdEntry& entry);
  // Deletes every entry with `tag`; the number deleted.
  int RemoveOutputEntries(DirectoryId id, uint16_t tag);
  // Re-lays one directory with entries removed, replaced or added; new minus old entry count
  // (0 also on failure, see *failed).
  int RewriteDirectory(DirectoryId id, const std::vector<uint16_t>* tagsToRemove,
                       const IfdEntryList* entriesToAdd, ValueProvider* values,
                       bool* failed = nullptr);
  // ---- Building a block from scratch
  // Starts a new block: the TIFF header in `order`, its IFD0 offset 0 until IFD0 is laid.
  [[nodiscard]] bool StartBlock(ByteOrder order, bool isTiff, bool isJpeg);
  // Lays a directory of `entries` (in the order given) at the end of the block by the layout
  // rules: the directory on a word boundary, its value area directly behind it, each out-of-line
  // value on a word boundary with the bytes `values` delivers (without them, count 0 and value 0),
  // spaced by `spacing`; a next-IFD link of 0. The directory is read back and compared with the
  // plan. Records the location of `id` (and the summary of IFD0 and IFD1) but sets no pointer to
  // it (see SetDirectoryPointer). The directory's offset, or 0 on failure.
  [[nodiscard]] uint32_t LayDirectory(DirectoryId id, const IfdEntryList& entries,
                                      ValueProvider* values,
                                      ValueSpacing spacing = ValueSpacing::kEven);
  // Points the directory's parent (the TIFF header, IFD0's link or a pointer entry) at `offset`.
  [[nodiscard]] bool SetDirectoryPointer(DirectoryId id, uint32_t offset);
  // Takes the image summary of IFD0 or IFD1 (and the strip count rule for its strips) from the
  // file its entries came from; the directory's location and first strip stay.
  void SetImageSummary(DirectoryId id, const IfdDescriptor& summary);
  // Forgets where a directory lies; its bytes stay in the block, unreferenced.
  void ForgetDirectory(DirectoryId id);
  // Cuts the block back to its first `length` bytes (never below the TIFF header).
  [[nodiscard]] bool TruncateTo(uint32_t length);

  // Writes the local time into IFD0 DateTime when it has 20 bytes out of line.
  void StampDateTime();
  // Writes `now` into IFD0 DateTime (and IFD1's, with `includeIfd1`) where it has 20 bytes out
  // of line.
  void StampDateTime(const ExifDateTime& now, bool includeIfd1 = false);

  // ---- Image data
  // The byte span of the image data of IFD0 (1) or IFD1 (257); false when it cannot be measured.
  [[nodiscard]] bool MeasureImageData(DirectoryId id, uint32_t* size);
  // Points the image data of a directory at *newOffset (made even). False when the offsets cannot
  // be represented (a SHORT offset above 65535) or are not inside the block.
  [[nodiscard]] bool RelocateImageData(DirectoryId id, uint32_t* newOffset);
  // The strip entries of IFD0 (1) or IFD1 (257) now come from another file (a new main image or
  // thumbnail): their value counts follow that file's summary from here on (strip count rule).
  // New main-image strips are written behind the block, even where the old ones stay inside it.
  void SetStripSource(DirectoryId id, const IfdDescriptor& descriptor) {
    (id == exif::kIfd1 ? sourceIfd1_ : sourceIfd0_) = descriptor;
    if (id == exif::kIfd0) imageInBlock_ = false;
  }
  // Makes the block end on a word boundary, so the thumbnail that follows it starts where
  // RelocateImageData puts it.
  [[nodiscard]] bool PadToEven() { return out_.PadToEven(); }

  void Reset();

 private:
  struct CorrectionPass;
  IfdDescriptor* Descriptor(DirectoryId id);
  IfdLocation* Slot(DirectoryId id);
  // The located directory inside the block, or false.
  [[nodiscard]] bool Directory(DirectoryId id, RawDirectory* dir);
  [[nodiscard]] int LocateMakerNoteDirectory(IfdLocation* out);
  // UpdateOutputEntry; `record`: the change is one the edit asked for (not a moved offset).
  [[nodiscard]] exif::Lookup PatchOutputEntry(DirectoryId id, const IfdEntry& entry, bool record);
  // Walks IFD0, Exif, GPS, Interop, the maker note and (when asked) IFD1 and corrects each once.
  void CorrectAll(const CutList& cuts, bool includeIfd1, uint32_t finalOffset);
  int CorrectAt(DirectoryId id, const CutList& cuts, bool alreadyFinal);
  uint32_t StripCount(DirectoryId id, uint32_t entryCount) const;
  // IFD1 names its thumbnail by JPEGInterchangeFormat (held apart in thumbnail_), not by strips.
  [[nodiscard]] bool HoldsJpegThumbnail(DirectoryId id);
  // RewriteDirectory for a pinned block: the new directory goes at the end of the block, with
  // the kept entries' values where they are, and only the pointer to it changes.
  [[nodiscard]] int AppendDirectory(DirectoryId id, const RawDirectory& dir,
                                    const std::vector<uint16_t>* tagsToRemove,
                                    const IfdEntryList* entriesToAdd, ValueProvider* values);
  static constexpr int kAppendFailed = INT32_MIN;
  // Moves the thumbnail (held apart from the block) and a TIFF's strips behind the grown block.
  [[nodiscard]] bool RelocateAfterGrowth();

  OutputBuffer out_;
  OutputBuffer thumbnail_;
  ByteOrder order_ = exif::kLittleEndian;
  bool isTiff_ = false;
  bool isJpeg_ = false;
  bool pinned_ = false;
  bool imageInBlock_ = false;
  EditRecord edits_;
  IfdDescriptor sourceIfd0_, sourceIfd1_;
  IfdDescriptor ifd0_, ifd1_;
  IfdLocation exif_, gps_, interop_, makerNote_;
  uint16_t makerNoteTail_ = 0;
  uint32_t makerNoteOffset_ = 0;
  uint32_t makerNoteLength_ = 0;
  uint32_t mainImageSize_ = 0;
  uint32_t thumbnailImageSize_ = 0;
};

}  // namespace lf::edit
