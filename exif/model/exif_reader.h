// SPDX-License-Identifier: MIT
// ExifReader: opens one JPEG or TIFF file, walks its structure once, remembers where the TIFF
// header and each EXIF directory lie, and answers from the ExifBlock (the file's bytes from the
// TIFF header on, so a TIFF offset indexes it directly), loaded whole or read on demand.
//
// No tree is built: every question is answered by scanning a directory's raw 12-byte entries
// again. Every offset and count read from the file is checked before use; a directory or value
// that does not lie inside the block is "not found", never a read outside it.
//
// A reader opened without loading its block answers from the whole file behind the TIFF header,
// read on demand, until LoadBlock: the structure walk itself reads IFD0 that way, wherever it lies,
// because a TIFF's block is measured by what IFD0 says.
//
// ExifWriter and MakerNoteReader derive from this class.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "exif/model/byte_reader.h"
#include "exif/model/directory.h"
#include "exif/model/field_types.h"
#include "exif/model/file_reader.h"
#include "exif/model/on_demand_block.h"
#include "platform/memory.h"
#include "plugin/result_codes.h"

namespace lf::exif {

// Asks for the ExifBlock to be read piece by piece as it is used (see OnDemandBlock): every answer
// is the one a block loaded in one piece gives, but a query reads only the pages it needs. The
// file stays open until the whole block has been read.
struct OnDemand {};
inline constexpr OnDemand kOnDemand{};

class ExifReader {
 public:
  // Reads the structure of the file at `path` (may be null). With `loadBlock` the ExifBlock is
  // loaded at once; without, the reader answers from the file until LoadBlock. Never fails
  // outright: the outcome is structureRead() and the fields it managed to fill.
  ExifReader(const char* path, bool loadBlock);
  // The same with the block read on demand (from the heap).
  ExifReader(const char* path, OnDemand);
  virtual ~ExifReader();
  ExifReader(const ExifReader&) = delete;
  ExifReader& operator=(const ExifReader&) = delete;

  // 1 when the file's structure was read.
  int structureRead() const { return structureRead_; }

  // ---- Predicates
  bool HasExifDirectory() const { return exif_.offset > 0; }
  // An Exif IFD and no APP0 segment: a JFIF file is not an EXIF file even with an EXIF APP1.
  bool IsExif() const { return HasExifDirectory() && app0Position_ == 0; }
  bool IsTiffImage() const {
    return structureRead_ == 1 && ifd0_.imageWidth != 0 && ifd0_.imageLength != 0;
  }
  bool IsJpegImage() const { return structureRead_ == 1 && sofWidth_ != 0 && sofHeight_ != 0; }
  bool IsExifTiff() const { return IsExif() && app1Length_ == 0 && IsTiffImage(); }
  bool IsExifJpeg() const { return IsExif() && app1Length_ > 0 && IsJpegImage(); }

  // The file position of a TIFF offset.
  uint64_t TiffOffsetToFile(uint32_t offset) const { return uint64_t{tiffBase_} + offset; }

  // ---- The ExifBlock
  // Reads the whole block when the file has an Exif IFD; from then on the reader answers from the
  // block alone. Returns the block, or nullptr.
  const uint8_t* LoadBlock();
  // True when the structure was read and the block has its memory: from construction, but for a
  // reader answering from the file or a huge block read piece by piece until LoadBlock.
  bool HasBlock() const { return structureRead_ == 1 && block_ && block_->data() != nullptr; }
  // The whole block in the file's byte order, read first when it is not (empty without a block or
  // when the read fails); services that need a few bytes ask BlockBytes instead.
  ByteView Block() const;
  // The n bytes at block offset off, read when they are not yet; an empty view when they do not
  // lie inside the reader's bytes or cannot be read.
  ByteView BlockBytes(uint64_t off, uint64_t n) const;

  // ---- Directory services (results: 1 found / 0 not found or failed / -1 cannot locate)
  [[nodiscard]] int LocateDirectory(DirectoryId id, IfdLocation* out);
  // The caller sets entry->tag; on 1 the type, count and value are filled.
  [[nodiscard]] Lookup FindEntry(DirectoryId id, IfdEntry* entry);
  // Entries matching the request in *list (empty = all), in directory order; the count, 0, or -1.
  [[nodiscard]] int CollectEntries(DirectoryId id, IfdEntryList* list);
  // Delivers an entry's value as native values (see CopyInlineValue / ConvertValueArray); the
  // number of values (bytes for BYTE, ASCII, UNDEFINED), 0 on failure.
  uint32_t ReadEntryValue(const IfdEntry& entry, void* buffer, uint32_t bufferSize);
  // IFD0 (1) or IFD1 (257), parsed on demand for TIFF images. 1 or 0.
  [[nodiscard]] int GetDirectoryDescriptor(DirectoryId id, IfdDescriptor* out);

  // ---- Print Image Matching data and the thumbnail
  [[nodiscard]] int GetPrintImLocation(PrintImLocation* out) const;
  // A heap copy of the thumbnail (a JPEG stream, or for a TIFF the whole block with its first
  // directory set to IFD1); its byte count, 0 when there is none.
  uint32_t GetThumbnail(platform::HeapPtr<uint8_t>* out);
  // Where the thumbnail lies in the block; 1 with a non-zero length when found.
  [[nodiscard]] int LocateThumbnail(uint32_t* offset, uint32_t* length);
  // Copies a located thumbnail out of the loaded block into dest (destSize ≥ length). 1 or 0.
  [[nodiscard]] int CopyThumbnail(uint8_t* dest, size_t destSize, uint32_t offset, uint32_t length);

  // ---- Read-only state
  const std::string& path() const { return path_; }
  ByteOrder byteOrder() const { return byteOrder_; }
  uint32_t tiffBase() const { return tiffBase_; }
  uint32_t ifd0Offset() const { return ifd0Offset_; }
  uint32_t blockLength() const { return blockLength_; }
  // The bytes the reader answers from: the block, or the file behind the TIFF header before
  // LoadBlock in a reader opened without loading it.
  uint32_t loadedSize() const { return block_ ? block_->length() : 0; }
  const IfdDescriptor& ifd0() const { return ifd0_; }
  const IfdDescriptor& ifd1() const { return ifd1_; }
  const IfdLocation& exifLocation() const { return exif_; }
  const IfdLocation& gpsLocation() const { return gps_; }
  const IfdLocation& interopLocation() const { return interop_; }
  const PrintImLocation& printIm() const { return printIm_; }
  uint32_t app0Position() const { return app0Position_; }
  uint16_t app0Length() const { return app0Length_; }
  uint32_t app1Position() const { return app1Position_; }
  uint16_t app1Length() const { return app1Length_; }
  uint32_t app2Position() const { return app2Position_; }
  uint16_t app2Length() const { return app2Length_; }
  uint32_t app6Position() const { return app6Position_; }
  uint16_t app6Length() const { return app6Length_; }
  uint8_t sofPrecision() const { return sofPrecision_; }
  uint16_t sofHeight() const { return sofHeight_; }
  uint16_t sofWidth() const { return sofWidth_; }
  uint8_t sofComponents() const { return sofComponents_; }
  uint8_t jfifVersionMajor() const { return jfifVersionMajor_; }
  uint8_t jfifVersionMinor() const { return jfifVersionMinor_; }
  uint8_t jfifUnits() const { return jfifUnits_; }
  uint16_t jfifXDensity() const { return jfifXDensity_; }
  uint16_t jfifYDensity() const { return jfifYDensity_; }

 protected:
  // The raw entries of a located directory, as FindEntry and CollectEntries read them.
  // 1 with *entries set, 0 absent/empty/not inside the data, -1 cannot locate.
  [[nodiscard]] Lookup DirectoryEntries(DirectoryId id, ByteView* entries);
  // The reader's slot for a directory id, or nullptr for an unknown id.
  IfdLocation* Slot(DirectoryId id);
  // The whole block, writable, read first when it is not (empty without a block).
  MutableByteView MutableLoadedBlock() const {
    const ByteView block = Block();
    return block.empty() ? MutableByteView()
                         : MutableByteView(block_->data(), block.size(), byteOrder_);
  }

 private:
  std::string path_;
  std::unique_ptr<OnDemandBlock> block_;
  uint32_t blockLength_ = 0;
  uint32_t app0Position_ = 0;
  uint16_t app0Length_ = 0;
  uint32_t app1Position_ = 0;
  uint16_t app1Length_ = 0;
  uint32_t app2Position_ = 0;
  uint16_t app2Length_ = 0;
  uint32_t app6Position_ = 0;
  uint16_t app6Length_ = 0;
  uint8_t sofPrecision_ = 0;
  uint16_t sofHeight_ = 0;
  uint16_t sofWidth_ = 0;
  uint8_t sofComponents_ = 0;
  uint8_t jfifVersionMajor_ = 0;
  uint8_t jfifVersionMinor_ = 0;
  uint8_t jfifUnits_ = 0;
  uint16_t jfifXDensity_ = 0;
  uint16_t jfifYDensity_ = 0;
  ByteOrder byteOrder_ = kLittleEndian;
  uint32_t tiffBase_ = 0;
  uint32_t ifd0Offset_ = 0;
  int structureRead_ = 0;
  IfdDescriptor ifd0_;
  IfdDescriptor ifd1_;
  IfdLocation exif_;
  IfdLocation gps_;
  IfdLocation interop_;
  bool interopLooked_ = false;  // the Interop pointer of the Exif IFD is looked up once
  PrintImLocation printIm_;

  // Whole: the block is read at construction; OnDemand: as it is used; File: the reader answers
  // from the file behind the TIFF header until LoadBlock.
  enum class Load { File, Whole, OnDemand };
  [[nodiscard]] int ReadStructure(Load load);
  [[nodiscard]] int ReadStructureFrom(std::unique_ptr<FileReader>* file, Load load);
  // The JPEG marker walk up to the first SOS or EOI.
  void WalkMarkers(FileReader* file);
  // Parses the directory at *linkOffset into *descriptor (the IFD0/IFD1 summary tags) and, where
  // asked, picks up the Exif and GPS pointers and a PrintIM entry. On return *linkOffset holds
  // the next-IFD link (0 for an empty directory). 1 or 0.
  [[nodiscard]] int ParseDirectory(uint32_t* linkOffset, IfdDescriptor* descriptor,
                                   uint32_t* exifOffset = nullptr, uint32_t* gpsOffset = nullptr,
                                   PrintImLocation* printIm = nullptr);
  // Ends the reader's bytes where the block ends (a reader answering from the file then answers
  // from the block alone).
  void NarrowToBlock() const {
    if (block_) block_->Narrow(blockLength_);
  }
};

// S_OK with *isExif 1 when the JPEG or TIFF file at `path` carries accepted EXIF data, S_OK with
// 0 otherwise (also when it cannot be opened), E_INVALIDARG for a missing path or output.
[[nodiscard]] HRESULT ProbeExif(const char* path, uint32_t* isExif);

}  // namespace lf::exif
