// SPDX-License-Identifier: MIT
// ExifWriter: an ExifReader opened on a source JPEG or TIFF file, plus the output block in which
// an edited EXIF block is laid out (OutputLayout), plus the edits of single entries inside the
// source's own loaded block. The safe file procedures of exif/edit/safe_write.h put the result
// into a destination file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "exif/edit/kept_segments.h"
#include "exif/edit/output_layout.h"
#include "exif/edit/safe_write.h"
#include "exif/model/exif_reader.h"
#include "lumenframe/lumenframe.h"
#include "platform/file.h"

namespace lf::edit {

using ExifWriteParams = LfExifWriteParams;
using GpsRecord = LfGpsRecord;

// Empties the strings and the date of `params` when its version is "0210"; 1, else 0 (unchanged).
[[nodiscard]] int InitExifWriteParams(ExifWriteParams* params);

class ExifWriter : public exif::ExifReader {
 public:
  // Parses `sourcePath`; with `loadBlock` the source's block is read at once, else when the edit
  // first copies it.
  ExifWriter(const char* sourcePath, bool loadBlock);
  ~ExifWriter() override = default;

  // ---- State of the output block
  bool IsBuilt() const { return out_.IsBuilt(); }
  bool HasOutputThumbnail() const { return out_.HasOutputThumbnail(); }
  uint64_t OutputPayloadSize() const { return out_.OutputPayloadSize(); }
  OutputLayout& output() { return out_; }
  // The output block was copied from the source's block (and is checked against it).
  bool copiedFromSource() const { return copiedFromSource_; }
  const OutputLayout& output() const { return out_; }
  // The main image lies in strips of a TIFF file (not in the scan of a JPEG).
  bool IsTiffSource() const { return app1Length() == 0 && IsTiffImage(); }

  // ---- Filling the output block from the source (loads the source block for the moment
  // when it is not loaded). 1 or 0.
  [[nodiscard]] int CopyBlockForEdit(bool keepThumbnail, bool removeInterop);
  // The source's loaded block, located once when first asked (empty while no block is loaded).
  // Patches of values in place leave its structure as it was.
  const exif::BlockStructure& SourceStructure();
  [[nodiscard]] int RewriteDirectory(DirectoryId id, const std::vector<uint16_t>* tagsToRemove,
                                     const IfdEntryList* entriesToAdd, ValueProvider* values);

  // ---- Building directories: a whole block from scratch for a new file, or IFD1, GPS and
  // Interop directories onto a copied block. 1 or 0 (the block is then left as far as it got).
  // A source whose IFD0 or Exif IFD cannot be laid gets no block at all (IsBuilt is false then);
  // a thumbnail that cannot be placed whole leaves the block without IFD1 and its Interop IFD.
  // The GPS record receives the GPSVersionID the GPS IFD is written with.
  [[nodiscard]] int BuildExifBlock(const std::string& thumbnailPath, const ExifWriteParams& params,
                                   GpsRecord* gps);
  [[nodiscard]] int BuildGpsDirectory(GpsRecord* gps);
  // Lays IFD1 for the thumbnail in `thumbnailPath` (a 160 × 120 JPEG or TIFF) behind a block
  // copied without its thumbnail; DropThumbnail takes it away again.
  [[nodiscard]] int AttachThumbnail(const std::string& thumbnailPath,
                                    const ExifWriteParams& params);
  [[nodiscard]] int DropThumbnail(bool removeInterop);

  // ---- Edits of the source's own block, in memory (the caller saves it)
  // Re-encodes the entry with the same tag: 1 patched, 0 absent or empty, -1 unlocatable.
  [[nodiscard]] exif::Lookup PatchEntry(DirectoryId id, const IfdEntry& entry);
  // Writes a new value over the old one (same place, same length): the values stored, or the
  // patch result for an inline value.
  [[nodiscard]] int PatchEntryValue(DirectoryId id, const IfdEntry& entry, const void* source,
                                    uint32_t sourceSize);
  // The loaded block, writable.
  MutableByteView MutableBlock() { return MutableLoadedBlock(); }

  // ---- The streams that make the new file (0 or a Windows error number). A TIFF's strips are
  // read from `src` at `stripsAt`.
  // `written` is the output block, located.
  [[nodiscard]] uint32_t WriteJpegFile(platform::File& dest, platform::File& src,
                                       const exif::BlockStructure& written);
  [[nodiscard]] uint32_t WriteTiffFile(platform::File& dest, platform::File& src,
                                       uint64_t stripsAt);

  // Whole segments of the photo that a JPEG written with a new picture keeps, right behind its
  // EXIF segment.
  void KeepSegments(std::vector<JpegSegmentBytes> segments) { keptSegments_ = std::move(segments); }

 private:
  OutputLayout out_;
  exif::BlockStructure source_;
  bool sourceLocated_ = false;
  bool copiedFromSource_ = false;
  std::vector<JpegSegmentBytes> keptSegments_;
};

// Sets the value of an inline entry (at most 4 bytes) from native values; the new count, 0 on
// failure.
uint32_t SetInlineValue(IfdEntry* entry, uint32_t byteCount, const void* source,
                        uint32_t sourceSize);

// Where the image data of a new file comes from when not from the writer's source: another file
// (main-image replacement), and for a TIFF the file offset of its first strip.
struct ImageSource {
  std::string path;
  uint64_t firstStrip = 0;
};

// The trailer of the JPEG image whose scan starts at `scanStart` in `file`: where the bytes
// behind its EOI begin when any of them is not 0 (data a maker appended, such as a preview).
// False on a read error.
[[nodiscard]] bool ReadJpegTrailer(platform::File& file, uint64_t scanStart, JpegTrailer* trailer);

// Writes a filled writer into `destPath` through the safe rewrite, after checking the output
// against the source block it was copied from. `written`: the output block as the caller located
// it for its own check, or null to locate it here.
[[nodiscard]] HRESULT WriteToFile(ExifWriter& writer, const std::string& destPath, Probe probe,
                                  const ImageSource* image = nullptr,
                                  const exif::BlockStructure* written = nullptr);
// Stamps IFD0 DateTime in `block` (the reader's loaded block, edited) and writes it back over
// the reader's file.
[[nodiscard]] HRESULT PatchInPlace(const exif::ExifReader& reader, MutableByteView block,
                                   Probe probe);
// Stamps IFD0 DateTime in `block` and makes `destPath` a copy of the reader's file with it.
[[nodiscard]] HRESULT CopyAndPatch(const exif::ExifReader& reader, MutableByteView block,
                                   const std::string& destPath);

}  // namespace lf::edit
