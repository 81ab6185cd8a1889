// SPDX-License-Identifier: MIT
// ExifReader construction (JPEG marker walk, TIFF header, IFD0, block sizing and loading) and the
// life of the ExifBlock.
#include "exif/model/exif_reader.h"

#include <algorithm>
#include <cstring>

#include "exif/model/block_structure.h"
#include "exif/model/jpeg_segments.h"

namespace lf::exif {

namespace {

constexpr uint32_t kMaxSegments = kMaxJpegSegments;

// The APP1 payload starts with "Exif", a NUL and a pad byte (EXIF 2.2, 4.7.2); the TIFF header
// follows at payload offset 6.
constexpr uint32_t kExifHeaderSize = 6;
// An APP1 shorter than this cannot hold the EXIF header, a TIFF header and a directory count.
constexpr uint16_t kMinExifApp1Length = 16;

// The walk reads marker and length words through the reader's window.
class FileReaderSource final : public ByteSource {
 public:
  explicit FileReaderSource(FileReader* file) : ByteSource(nullptr, file->length()), file_(*file) {}

 private:
  // A failed read ends the walk; the caller sees it in file.failed().
  [[nodiscard]] bool Load(uint64_t pos, void* out, size_t n) override {
    return file_.ReadAt(pos, out, n);
  }

  FileReader& file_;
};

uint32_t ClampTo32(uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX)); }

}  // namespace

ExifReader::ExifReader(const char* path, bool loadBlock) {
  if (path) path_ = path;
  structureRead_ = ReadStructure(loadBlock ? Load::Whole : Load::File);
}

ExifReader::ExifReader(const char* path, OnDemand) {
  if (path) path_ = path;
  structureRead_ = ReadStructure(Load::OnDemand);
}

ExifReader::~ExifReader() = default;

int ExifReader::ReadStructure(Load load) {
  auto owned = std::make_unique<FileReader>();
  const FileReader& file = *owned;  // alive while `owned` or the block holds it
  int result = ReadStructureFrom(&owned, load);
  // A file-layer error anywhere, even in a read whose absence the walk would tolerate, fails the
  // construction.
  if (result == 1 && file.failed()) result = 0;
  if (result == 1 && load == Load::Whole && block_ && !block_->LoadAll()) result = 0;
  // Short of memory for the block, or with a directory it could not read, the reader still
  // answers what it can from the file, read as it is used; a failing file answers nothing.
  if (result != 1 && file.failed()) block_.reset();
  return result;
}

int ExifReader::ReadStructureFrom(std::unique_ptr<FileReader>* owned, Load load) {
  FileReader& file = **owned;
  if (path_.empty() || !file.Open(path_)) return 0;
  const uint64_t fileLength = file.length();
  uint8_t header[kTiffHeaderSize];
  if (fileLength < kTiffHeaderSize || !file.ReadAt(0, header, sizeof header)) return 0;

  uint64_t headerPosition = 0;
  if (ByteView(header, sizeof header).ReadU16BE(0) == kJpegSoi) {
    WalkMarkers(&file);
    if (app1Position_ == 0 || app1Length_ < kMinExifApp1Length) return 1;  // read, no EXIF
    uint8_t exifHeader[kExifHeaderSize];
    if (!file.ReadAt(uint64_t{app1Position_} + 4, exifHeader, sizeof exifHeader)) return 0;
    if (std::memcmp(exifHeader, "Exif\0", 5) != 0) return 0;
    headerPosition = uint64_t{app1Position_} + 4 + kExifHeaderSize;
    if (!file.ReadAt(headerPosition, header, sizeof header)) return 0;
  }

  const TiffHeader tiffHeader = ReadTiffHeader(ByteView(header, sizeof header));
  if (tiffHeader.status == TiffHeaderStatus::kNoByteOrder) return 0;
  byteOrder_ = tiffHeader.order;
  if (tiffHeader.valid()) {
    tiffBase_ = static_cast<uint32_t>(headerPosition);
    ifd0Offset_ = tiffHeader.ifd0Offset;
  }

  // Until the block is measured, the reader's bytes are the whole file behind the TIFF header,
  // read as they are used: IFD0 may lie anywhere in it. A JPEG's block is the APP1 payload behind
  // its length word and the 6-byte EXIF header; a TIFF's is measured by what IFD0 says.
  const uint64_t reachable = fileLength - tiffBase_;
  const uint32_t jpegBlock =
      app1Length_ > 0 ? ClampTo32(std::min<uint64_t>(app1Length_ - 8u, reachable)) : 0;
  block_ = std::make_unique<OnDemandBlock>(std::move(*owned), tiffBase_, ClampTo32(reachable),
                                           jpegBlock);

  if (ifd0Offset_ > 0) {
    uint32_t link = ifd0Offset_;
    uint32_t exifOffset = 0;
    uint32_t gpsOffset = 0;
    if (!ParseDirectory(&link, &ifd0_, &exifOffset, &gpsOffset, &printIm_)) return 0;
    ifd1_.location.offset = link;
    exif_.offset = exifOffset;
    gps_.offset = gpsOffset;
    // A TIFF's block runs up to its first strip, unless directories lie behind the strips; then
    // it is the whole file. IFD0 itself counts too: without it no query could be answered.
    blockLength_ = ifd0_.firstStripOffset;
    const uint64_t ifd0End =
        uint64_t{ifd0Offset_} + 2 + uint64_t{ifd0_.location.entryCount} * kEntrySize + 4;
    if (exifOffset > blockLength_ || gpsOffset > blockLength_ || printIm_.offset > blockLength_ ||
        ifd0End > blockLength_) {
      blockLength_ = ClampTo32(fileLength);
    }
  }
  if (app1Length_ > 0) blockLength_ = jpegBlock;
  blockLength_ = ClampTo32(std::min<uint64_t>(blockLength_, reachable));
  if (load != Load::File) NarrowToBlock();
  return 1;
}

void ExifReader::WalkMarkers(FileReader* file) {
  // Forgiving: no 0xFF is required, a cut length word runs to the end of the file, and the last
  // segment of each kind wins. Positions are kept in 32 bits.
  FileReaderSource source(file);
  JpegSegmentScanner scan(source, {.start = 2,
                                   .cutLengthRunsToEnd = true,
                                   .maxSegments = kMaxSegments,
                                   .maxOffset = UINT32_MAX});
  JpegSegment s;
  while (scan.Next(&s)) {
    const uint32_t at = static_cast<uint32_t>(s.offset);
    switch (s.marker) {
      case kJpegSof0: {
        uint8_t sof[6];
        if (file->ReadAt(s.offset + 4, sof, sizeof sof)) {
          const ByteView v(sof, sizeof sof);
          sofPrecision_ = v.ReadU8(0);
          sofHeight_ = v.ReadU16BE(1);
          sofWidth_ = v.ReadU16BE(3);
          sofComponents_ = v.ReadU8(5);
        }
        break;
      }
      case kJpegApp0: {
        app0Position_ = at;
        app0Length_ = s.length;
        uint8_t jfif[12];
        if (file->ReadAt(s.offset + 4, jfif, sizeof jfif) && std::memcmp(jfif, "JFIF", 4) == 0) {
          const ByteView v(jfif, sizeof jfif);
          jfifVersionMajor_ = v.ReadU8(5);
          jfifVersionMinor_ = v.ReadU8(6);
          jfifUnits_ = v.ReadU8(7);
          jfifXDensity_ = v.ReadU16BE(8);
          jfifYDensity_ = v.ReadU16BE(10);
        }
        break;
      }
      case kJpegApp1:
        app1Position_ = at;
        app1Length_ = s.length;
        break;
      case kJpegApp2:
        app2Position_ = at;
        app2Length_ = s.length;
        break;
      case kJpegApp6: {
        app6Position_ = at;
        app6Length_ = s.length;
        uint8_t printIm[8];
        if (file->ReadAt(s.offset + 4, printIm, sizeof printIm) &&
            std::memcmp(printIm, "PrintIM", 7) == 0) {
          // The data follows the length word; a length below 2 leaves none.
          printIm_.offset = at + 4;
          printIm_.length = s.length >= 2 ? static_cast<uint16_t>(s.length - 2) : 0;
        }
        break;
      }
      default: break;
    }
  }
}

const uint8_t* ExifReader::LoadBlock() {
  if (!HasExifDirectory() || !block_) return nullptr;
  return Block().empty() && blockLength_ != 0 ? nullptr : block_->data();
}

ByteView ExifReader::Block() const {
  if (!block_) return {};
  NarrowToBlock();
  if (!block_->LoadAll()) return {};
  return ByteView(block_->data(), block_->length(), byteOrder_);
}

ByteView ExifReader::BlockBytes(uint64_t off, uint64_t n) const {
  const uint8_t* bytes = block_ ? block_->Bytes(off, n) : nullptr;
  return bytes ? ByteView(bytes, n, byteOrder_) : ByteView();
}

int ExifReader::GetPrintImLocation(PrintImLocation* out) const {
  if (!out) return 0;
  *out = printIm_;
  return 1;
}

}  // namespace lf::exif
