// SPDX-License-Identifier: MIT
// The two streams that make a new image file from a writer's output block and the image data of
// an existing file, and the writer's entry points into the safe rewrite.
#include <algorithm>
#include <cstring>
#include <vector>

#include "exif/edit/date_stamp.h"
#include "exif/edit/exif_writer.h"
#include "exif/edit/layout_check.h"
#include "exif/edit/trailer_references.h"
#include "exif/model/jpeg_segments.h"
#include "platform/errors.h"
#include "platform/memory.h"

namespace lf::edit {

namespace {

using platform::File;

constexpr uint32_t kErrorNoMemory = platform::kErrorNotEnoughMemory;
constexpr uint32_t kErrorBadData = platform::kErrorInvalidData;
constexpr size_t kCopyChunk = 1 << 20;
// A JPEG segment length is a 16-bit number that counts itself (JPEG, ITU T.81, B.1.1.4).
constexpr uint64_t kMaxSegmentLength = 0xFFFF;
constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

uint32_t LastErrorOr(uint32_t fallback) {
  const uint32_t e = platform::LastError();
  return e != 0 ? e : fallback;
}

// Shows `n` bytes of `src` from `from` to `end` (a source that ends early ends the walk there).
[[nodiscard]] uint32_t ScanBytes(File& src, uint64_t from, uint64_t n, uint8_t* chunk,
                                 exif::JpegImageEnd& end) {
  if (!src.Seek(from)) return LastErrorOr(platform::kErrorReadFault);
  while (n > 0) {
    const size_t want = n < kCopyChunk ? static_cast<size_t>(n) : kCopyChunk;
    size_t got = 0;
    if (!src.Read(chunk, want, &got)) return LastErrorOr(platform::kErrorReadFault);
    if (got == 0) return 0;
    end.Feed(chunk, got);
    if (end.decided()) return 0;
    n -= got;
  }
  return 0;
}

// Copies `n` bytes from `src` at `from` to the current position of `dest`, inside the kernel where
// it can, showing them to `end` when given. A source that ends early ends the copy there (the new
// file is as complete as the old one).
[[nodiscard]] uint32_t CopyBytes(File& src, uint64_t from, uint64_t n, File& dest, uint8_t* chunk,
                                 exif::JpegImageEnd* end = nullptr) {
  if (end) {
    if (const uint32_t e = ScanBytes(src, from, n, chunk, *end)) return e;
  }
  uint64_t copied = 0;
  return dest.CopyFrom(src, from, n, chunk, kCopyChunk, &copied)
             ? 0
             : LastErrorOr(platform::kErrorWriteFault);
}

// The output block and the source block it was made from, each located once.
struct LocatedBlocks {
  const exif::BlockStructure& written;
  const exif::BlockStructure& source;
};

[[nodiscard]] uint32_t MoveTrailerReferences(const LocatedBlocks& blocks, uint32_t tiffBase,
                                             File& src, File& dest, uint64_t trailerStart,
                                             uint64_t fileLength, int64_t shift);

// Copies the rest of the source from `from` on, the scan and whatever lies behind the image.
[[nodiscard]] uint32_t CopyTrailer(const OutputLayout& out, const LocatedBlocks& blocks,
                                   uint32_t tiffBase, File& src, File& dest, uint64_t from,
                                   uint64_t fileLength, int64_t shift, uint8_t* chunk,
                                   exif::JpegImageEnd* end) {
  // Bytes behind the image may be named by offsets inside a maker note the editor cannot read
  // (a pinned block); they matter only when they move.
  const bool watch = out.pinned() && shift != 0;
  if (const uint32_t e = CopyBytes(src, from, fileLength - std::min(from, fileLength), dest, chunk,
                                   watch ? end : nullptr)) {
    return e;
  }
  if (!watch || !end->trailerHoldsData()) return 0;
  return MoveTrailerReferences(blocks, tiffBase, src, dest, end->trailerStart(), fileLength, shift);
}

// Every word of the block that names the moved trailer must move with it. A word inside the maker
// note that names the start of a JPEG stream there is a preview image's offset: it is corrected in
// the new file. Any other word naming the trailer may be an offset nothing here would correct, so
// the file is not rewritten. (The offsets of an APP2 "MPF" segment count from its own header and
// move with it.)
uint32_t MoveTrailerReferences(const LocatedBlocks& blocks, uint32_t tiffBase, File& src,
                               File& dest, uint64_t trailerStart, uint64_t fileLength,
                               int64_t shift) {
  // SOI, the APP1 marker and length, "Exif" and two 0 bytes.
  constexpr uint64_t kNewTiffBase = 4 + 2 + sizeof kExifHeader;
  const std::vector<TrailerReference> refs =
      FindTrailerReferences(blocks.written, blocks.source, tiffBase, trailerStart, fileLength);
  struct Patch {
    uint64_t at;
    uint8_t bytes[4];
  };
  std::vector<Patch> patches;
  // A word may read as an offset from more than one base; it is classified when exactly one of
  // them names the start of a JPEG stream.
  exif::FileSource file(src, fileLength);
  std::vector<TrailerReference> previews;
  if (!FindPreviewReadings(refs, file, PreviewRule::kExactlyOne, &previews)) return kErrorBadData;
  for (const TrailerReference& r : previews) {
    const int64_t delta =
        r.fromFileStart ? shift : shift + int64_t{tiffBase} - int64_t{kNewTiffBase};
    const int64_t moved = int64_t{r.value} + delta;
    if (moved < 0 || moved > int64_t{UINT32_MAX}) return kErrorBadData;
    Patch p{kNewTiffBase + r.at, {}};
    // The write fits the fixed-size buffer it fills.
    (void)MutableByteView(p.bytes, sizeof p.bytes, r.order)
        .WriteU32(0, static_cast<uint32_t>(moved));
    patches.push_back(p);
  }
  for (const Patch& p : patches) {
    if (!dest.Seek(p.at) || !dest.Write(p.bytes, sizeof p.bytes))
      return LastErrorOr(platform::kErrorWriteFault);
  }
  return 0;
}

// Streams a writer into an open destination for WriteToFile.
class WriterStream : public ImageFileStream {
 public:
  WriterStream(ExifWriter& writer, const ImageSource* image, const exif::BlockStructure& written)
      : writer_(writer), image_(image), written_(written) {}
  std::string ImageSourcePath() const override { return image_ ? image_->path : writer_.path(); }
  std::string EditedPath() const override { return writer_.path(); }
  uint32_t WriteImageFile(File& dest, File& src) override {
    if (!writer_.IsTiffSource()) return writer_.WriteJpegFile(dest, src, written_);
    const uint64_t strips = image_ && image_->firstStrip != 0
                                ? image_->firstStrip
                                : writer_.TiffOffsetToFile(writer_.ifd0().firstStripOffset);
    return writer_.WriteTiffFile(dest, src, strips);
  }

 private:
  ExifWriter& writer_;
  const ImageSource* image_;
  const exif::BlockStructure& written_;
};

}  // namespace

[[nodiscard]] bool ReadJpegTrailer(File& file, uint64_t scanStart, JpegTrailer* trailer) {
  *trailer = {};
  platform::HeapPtr<uint8_t> chunk(static_cast<uint8_t*>(platform::HeapAlloc(kCopyChunk)));
  if (!chunk || !file.Seek(scanStart)) return false;
  exif::JpegImageEnd end(scanStart, exif::ScanMarkers::kSegments, true);
  for (size_t got = kCopyChunk; got != 0 && !end.decided();) {
    if (!file.Read(chunk.get(), kCopyChunk, &got)) return false;
    end.Feed(chunk.get(), got);
  }
  if (end.trailerHoldsData()) trailer->start = end.trailerStart();
  return file.Length(&trailer->end);
}

uint32_t ExifWriter::WriteJpegFile(File& dest, File& src, const exif::BlockStructure& written) {
  const uint64_t payload = out_.OutputPayloadSize();
  if (payload + 8 > kMaxSegmentLength) return kErrorBadData;
  platform::HeapPtr<uint8_t> chunk(static_cast<uint8_t*>(platform::HeapAlloc(kCopyChunk)));
  if (!chunk) return kErrorNoMemory;
  uint64_t fileLength = 0;
  if (!src.Length(&fileLength)) return LastErrorOr(platform::kErrorReadFault);

  // An SOI stands alone; a length word cut by the end of the file ends the copy there. A stream of
  // more segments than any real one is refused rather than copied a few bytes at a time.
  exif::FileSource source(src, fileLength);
  exif::JpegSegmentScanner scan(source,
                                {.standaloneSoi = true, .maxSegments = exif::kMaxJpegSegments});
  exif::JpegSegment s;
  // How far everything behind the new EXIF segment moves: its size, less the segments it replaces.
  int64_t shift = 0;
  const LocatedBlocks blocks{written, SourceStructure()};
  while (scan.Next(&s)) {
    if (s.marker == exif::kJpegSoi) {
      // A stream that starts again before any scan (a file of EXIF data and an empty picture):
      // the rest of the file is copied unchanged, as bytes behind the image. Unless the EXIF
      // segment edited lies in that rest, where the copy would bring back the old one.
      if (s.offset != 0) {
        if (app1Position() > s.offset) return kErrorBadData;
        exif::JpegImageEnd rest = exif::JpegImageEnd::Behind(s.offset);
        return CopyTrailer(out_, blocks, tiffBase(), src, dest, s.offset, fileLength, shift,
                           chunk.get(), &rest);
      }
      // SOI, then the one APP1 "Exif" segment of the new file.
      uint8_t app1[4 + sizeof kExifHeader];
      app1[0] = 0xFF;
      app1[1] = 0xD8;
      app1[2] = 0xFF;
      app1[3] = 0xE1;
      const uint16_t length = static_cast<uint16_t>(payload + 8);
      uint8_t lengthBytes[2] = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
      if (!dest.Write(app1, 4) || !dest.Write(lengthBytes, 2) ||
          !dest.Write(kExifHeader, sizeof kExifHeader) ||
          !dest.Write(out_.block().data(), out_.outLength()) ||
          !dest.Write(out_.thumbnailData().data(), out_.thumbnailData().length())) {
        return LastErrorOr(platform::kErrorWriteFault);
      }
      shift += 2 + int64_t{length};
      // The photo's metadata segments that stay with a new picture.
      for (const JpegSegmentBytes& kept : keptSegments_) {
        if (!dest.Write(kept.data(), kept.size())) return LastErrorOr(platform::kErrorWriteFault);
        shift += static_cast<int64_t>(kept.size());
      }
      continue;
    }
    uint8_t head[4];
    const exif::MutableByteView headView(head, sizeof head, exif::kBigEndian);
    // The write fits the fixed-size buffer it fills.
    (void)headView.WriteU16(0, s.marker);
    (void)headView.WriteU16(2, s.length);
    if (s.marker == exif::kJpegEoi) {
      if (!dest.Write(head, 2)) return LastErrorOr(platform::kErrorWriteFault);
      break;
    }
    if (!s.hasLength) break;  // an SOS cut by the end of the file
    if (s.marker == exif::kJpegApp0 || s.marker == exif::kJpegApp1) {
      // JFIF and earlier EXIF segments give way to the new EXIF segment. Any other APP1 (XMP)
      // cannot stay: it would follow the new segment and hide it from readers that take the last
      // APP1; it would be lost, so the file is not rewritten.
      uint8_t id[sizeof kExifHeader] = {};
      size_t got = 0;
      if (s.marker == exif::kJpegApp1 && (!source.ReadUpTo(s.offset + 4, id, 5, &got) || got < 5 ||
                                          std::memcmp(id, kExifHeader, 5) != 0)) {
        return kErrorBadData;
      }
      shift -= 2 + int64_t{s.length};
      continue;
    }
    // A length that cannot be (JPEG, ITU T.81, B.1.1.4: it counts its own two bytes) leaves the
    // rest of the stream unreachable; the new file would lose it, so none is written.
    if (s.length < 2) return kErrorBadData;
    if (!dest.Write(head, 4)) return LastErrorOr(platform::kErrorWriteFault);
    if (s.marker == exif::kJpegSos) {
      // The scan and everything after it is copied unchanged. Bytes behind the image (a trailer)
      // may be named by offsets inside a maker note the editor cannot read; when they move, the
      // file is not rewritten.
      exif::JpegImageEnd end(s.offset + 4, exif::ScanMarkers::kSegments, true);
      return CopyTrailer(out_, blocks, tiffBase(), src, dest, s.offset + 4, fileLength, shift,
                         chunk.get(), &end);
    }
    if (const uint32_t e = CopyBytes(src, s.offset + 4, s.length - 2u, dest, chunk.get())) return e;
  }
  if (scan.end() == exif::JpegScanEnd::kReadError) return LastErrorOr(platform::kErrorReadFault);
  if (scan.end() == exif::JpegScanEnd::kSegmentCap) return kErrorBadData;
  return 0;
}

uint32_t ExifWriter::WriteTiffFile(File& dest, File& src, uint64_t stripsAt) {
  if (!dest.Seek(0) || !dest.Write(out_.block().data(), out_.outLength())) {
    return LastErrorOr(platform::kErrorWriteFault);
  }
  const IfdDescriptor& ifd0 = out_.outIfd0();
  const IfdDescriptor& ifd1 = out_.outIfd1();
  const OutputBuffer& thumbnail = out_.thumbnailData();
  if (ifd1.firstStripOffset != 0 && out_.thumbnailImageSize() != 0 && !thumbnail.empty()) {
    if (!dest.Seek(ifd1.firstStripOffset) || !dest.Write(thumbnail.data(), thumbnail.length())) {
      return LastErrorOr(platform::kErrorWriteFault);
    }
  }
  if (out_.imageInBlock()) return 0;  // the strips were written with the block
  if (ifd0.firstStripOffset == 0 || out_.mainImageSize() == 0) return kErrorBadData;
  platform::HeapPtr<uint8_t> chunk(static_cast<uint8_t*>(platform::HeapAlloc(kCopyChunk)));
  if (!chunk) return kErrorNoMemory;
  const uint64_t from = stripsAt;
  uint64_t fileLength = 0;
  if (!src.Length(&fileLength)) return LastErrorOr(platform::kErrorReadFault);
  // Strips that the source does not hold cannot be written: no new file without its image.
  if (!exif::InRange(fileLength, from, out_.mainImageSize())) return kErrorBadData;
  if (!dest.Seek(ifd0.firstStripOffset)) return LastErrorOr(platform::kErrorWriteFault);
  return CopyBytes(src, from, out_.mainImageSize(), dest, chunk.get());
}

HRESULT WriteToFile(ExifWriter& writer, const std::string& destPath, Probe probe,
                    const ImageSource* image, const exif::BlockStructure* written) {
  if (!writer.IsBuilt()) return E_FAIL;
  const exif::BlockStructure located = written ? *written : exif::Locate(writer.output().View());
  // A layout that would damage anything the edit was not asked to change is never written.
  if (writer.copiedFromSource() &&
      !CheckEditedBlock(writer.SourceStructure(), located, writer.output()).empty()) {
    return E_FAIL;
  }
  WriterStream stream(writer, image, located);
  return WriteToFile(stream, destPath, probe);
}

HRESULT PatchInPlace(const exif::ExifReader& reader, MutableByteView block, Probe probe) {
  if (block.size() == 0) return E_FAIL;
  // Without a clock the old stamp stays; the edit does not depend on it.
  (void)StampLocalTime(block, reader.ifd0Offset());
  return PatchFileRange(reader.path(), reader.TiffOffsetToFile(0), block.data(), block.size(),
                        probe);
}

HRESULT CopyAndPatch(const exif::ExifReader& reader, MutableByteView block,
                     const std::string& destPath) {
  if (block.size() == 0) return E_FAIL;
  // Without a clock the old stamp stays; the edit does not depend on it.
  (void)StampLocalTime(block, reader.ifd0Offset());
  return CopyAndPatch(reader.path(), destPath, reader.TiffOffsetToFile(0), block.data(),
                      block.size());
}

}  // namespace lf::edit
