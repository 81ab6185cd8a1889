// ExifReader construction (JPEG marker walk, TIFF header, IFD0, block sizing and loading) and the
// life of the ExifBlock.
#include "exif/model/exif_reader.h"

#include <algorithm>
#include <cstring>

namespace lf::exif {

namespace {

constexpr uint16_t kMarkerSoi = 0xFFD8;
constexpr uint16_t kMarkerSof0 = 0xFFC0;
constexpr uint16_t kMarkerEoi = 0xFFD9;
constexpr uint16_t kMarkerSos = 0xFFDA;
constexpr uint16_t kMarkerApp0 = 0xFFE0;
constexpr uint16_t kMarkerApp1 = 0xFFE1;
constexpr uint16_t kMarkerApp2 = 0xFFE2;
constexpr uint16_t kMarkerApp6 = 0xFFE6;

// Real JPEG streams carry a few dozen segments before their first scan; the bound only keeps a
// hostile file of tiny "segments" from turning the walk into a crawl over the whole file.
constexpr uint32_t kMaxSegments = 1u << 16;

// The APP1 payload starts with "Exif", a NUL and a pad byte (EXIF 2.2, 4.7.2); the TIFF header
// follows at payload offset 6.
constexpr uint32_t kExifHeaderSize = 6;
// An APP1 shorter than this cannot hold the EXIF header, a TIFF header and a directory count.
constexpr uint16_t kMinExifApp1Length = 16;
constexpr uint32_t kTiffHeaderSize = 8;

uint16_t BigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

uint32_t ClampTo32(uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX)); }

}  // namespace

ExifReader::ExifReader(const char* path, bool loadBlock, bool usePageAllocator)
    : usePageAllocator_(usePageAllocator) {
  if (path) path_ = path;
  structureRead_ = ReadStructure(loadBlock);
}

ExifReader::~ExifReader() { ReleaseBlock(); }

int ExifReader::ReadStructure(bool loadBlock) {
  FileReader file;
  const int result = ReadStructureFrom(&file, loadBlock);
  // A file-layer error anywhere, even in a read whose absence the walk would tolerate, fails the
  // construction.
  if (result == 1 && file.failed()) {
    ReleaseBlock();
    return 0;
  }
  return result;
}

int ExifReader::ReadStructureFrom(FileReader* filePointer, bool loadBlock) {
  FileReader& file = *filePointer;
  if (!OpenFile(&file)) return 0;
  // The block of a JPEG is its APP1 segment, which the marker walk skips: read it on the way.
  if (loadBlock) file.EnableReadThrough();
  const uint64_t fileLength = file.length();
  uint8_t header[kTiffHeaderSize];
  if (fileLength < kTiffHeaderSize || !file.ReadAt(0, header, sizeof header)) return 0;

  uint64_t headerPosition = 0;
  if (BigEndian16(header) == kMarkerSoi) {
    WalkMarkers(&file);
    if (app1Position_ == 0 || app1Length_ < kMinExifApp1Length) return 1;  // read, no EXIF
    uint8_t exifHeader[kExifHeaderSize];
    if (!file.ReadAt(uint64_t{app1Position_} + 4, exifHeader, sizeof exifHeader)) return 0;
    if (std::memcmp(exifHeader, "Exif\0", 5) != 0) return 0;
    headerPosition = uint64_t{app1Position_} + 4 + kExifHeaderSize;
    if (!file.ReadAt(headerPosition, header, sizeof header)) return 0;
  }

  // TIFF 6.0, Section 2: "II" or "MM", then 42 in that order, then the offset of IFD0.
  const uint16_t orderMark = BigEndian16(header);
  if (orderMark == 0x4949) {
    byteOrder_ = kLittleEndian;
  } else if (orderMark == 0x4D4D) {
    byteOrder_ = kBigEndian;
  } else {
    return 0;
  }
  const ByteView tiffHeader(header, sizeof header, byteOrder_);
  if (tiffHeader.ReadU16(2) == 42) {
    tiffBase_ = static_cast<uint32_t>(headerPosition);
    ifd0Offset_ = tiffHeader.ReadU32(4);
  }

  if (ifd0Offset_ > 0) {
    uint32_t link = ifd0Offset_;
    uint32_t exifOffset = 0;
    uint32_t gpsOffset = 0;
    if (!ParseDirectory(&file, &link, &ifd0_, &exifOffset, &gpsOffset, &printIm_)) return 0;
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
  // A JPEG's block is the APP1 payload behind its length word and the 6-byte EXIF header.
  if (app1Length_ > 0) blockLength_ = app1Length_ - 8u;
  blockLength_ = ClampTo32(std::min<uint64_t>(blockLength_, fileLength - tiffBase_));

  if (!loadBlock) return 1;
  if (!usePageAllocator_) {
    // The walk read the head of the file in one piece; when the block lies inside it, the block
    // keeps that memory rather than a copy.
    size_t offset = 0;
    if (std::unique_ptr<uint8_t[]> head = file.TakeHead(tiffBase_, blockLength_, &offset)) {
      headBlock_ = std::move(head);
      block_ = headBlock_.get() + offset;
      loadedSize_ = blockLength_;
      return 1;
    }
  }
  if (!AllocateBlock(blockLength_)) return 0;
  if (!ReadBlock(&file)) {
    ReleaseBlock();
    return 0;
  }
  return 1;
}

void ExifReader::WalkMarkers(FileReader* file) {
  const uint64_t fileLength = file->length();
  if (fileLength <= 4) return;
  uint64_t position = 2;
  for (uint32_t segments = 0; position + 2 < fileLength && segments < kMaxSegments; ++segments) {
    // Segment positions are 32-bit file offsets.
    if (position > UINT32_MAX) return;
    uint8_t word[4];
    const size_t got = file->ReadUpTo(position, word, sizeof word);
    if (got < 2) return;
    const uint16_t marker = BigEndian16(word);
    // A length word cut off by the end of the file stands for the rest of the file.
    const uint64_t length = got == 4 ? BigEndian16(word + 2) : fileLength - position - 2;
    const uint32_t at = static_cast<uint32_t>(position);
    const uint16_t length16 = static_cast<uint16_t>(length);
    switch (marker) {
      case kMarkerSof0: {
        uint8_t sof[6];
        if (file->ReadAt(position + 4, sof, sizeof sof)) {
          sofPrecision_ = sof[0];
          sofHeight_ = BigEndian16(sof + 1);
          sofWidth_ = BigEndian16(sof + 3);
          sofComponents_ = sof[5];
        }
        break;
      }
      case kMarkerEoi:
      case kMarkerSos:
        return;
      case kMarkerApp0: {
        app0Position_ = at;
        app0Length_ = length16;
        uint8_t jfif[12];
        if (file->ReadAt(position + 4, jfif, sizeof jfif) && std::memcmp(jfif, "JFIF", 4) == 0) {
          jfifVersionMajor_ = jfif[5];
          jfifVersionMinor_ = jfif[6];
          jfifUnits_ = jfif[7];
          jfifXDensity_ = BigEndian16(jfif + 8);
          jfifYDensity_ = BigEndian16(jfif + 10);
        }
        break;
      }
      case kMarkerApp1:
        app1Position_ = at;
        app1Length_ = length16;
        break;
      case kMarkerApp2:
        app2Position_ = at;
        app2Length_ = length16;
        break;
      case kMarkerApp6: {
        app6Position_ = at;
        app6Length_ = length16;
        uint8_t printIm[8];
        if (file->ReadAt(position + 4, printIm, sizeof printIm) &&
            std::memcmp(printIm, "PrintIM", 7) == 0) {
          // The data follows the length word; a length below 2 leaves none.
          printIm_.offset = at + 4;
          printIm_.length = length16 >= 2 ? static_cast<uint16_t>(length16 - 2) : 0;
        }
        break;
      }
      default:
        break;
    }
    position += length + 2;
  }
}

bool ExifReader::AllocateBlock(uint32_t size) {
  // A zero-length block still counts as loaded, so the services answer from it (finding nothing)
  // instead of going to the file.
  const size_t bytes = size ? size : 1;
  void* p = usePageAllocator_ ? platform::PageAlloc(bytes) : platform::HeapAlloc(bytes);
  if (!p) return false;
  block_ = static_cast<uint8_t*>(p);
  allocatedSize_ = static_cast<uint32_t>(bytes);
  loadedSize_ = size;
  return true;
}

bool ExifReader::ReadBlock(FileReader* file) {
  return file->ReadAt(tiffBase_, block_, loadedSize_);
}

const uint8_t* ExifReader::LoadBlock(bool usePageAllocator, uint32_t* size) {
  if (size) *size = 0;
  if (!HasExifDirectory()) return nullptr;
  if (block_) return block_;
  usePageAllocator_ = usePageAllocator;
  if (!AllocateBlock(blockLength_)) return nullptr;
  FileReader file;
  if (!OpenFile(&file) || !ReadBlock(&file)) {
    ReleaseBlock();
    return nullptr;
  }
  if (size) *size = loadedSize_;
  return block_;
}

void ExifReader::ReleaseBlock() {
  if (headBlock_) {
    headBlock_.reset();
  } else if (block_) {
    if (usePageAllocator_) {
      platform::PageFree(block_, allocatedSize_);
    } else {
      platform::HeapFree(block_);
    }
  }
  block_ = nullptr;
  loadedSize_ = 0;
  allocatedSize_ = 0;
}

int ExifReader::GetPrintImLocation(PrintImLocation* out) const {
  if (!out) return 0;
  *out = printIm_;
  return 1;
}

}  // namespace lf::exif
