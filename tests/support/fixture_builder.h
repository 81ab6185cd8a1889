// SPDX-License-Identifier: MIT
// Test fixtures as bytes: JPEG marker streams, TIFF structures in either byte order, real JPEGs.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace lf::test {

using Bytes = std::vector<uint8_t>;

enum class Order { Little, Big };

// Appends integers in a chosen byte order.
class ByteWriter {
 public:
  explicit ByteWriter(Order order = Order::Big) : order_(order) {}
  ByteWriter& U8(uint8_t v);
  ByteWriter& U16(uint16_t v) { return Int(v, 2); }
  ByteWriter& U32(uint32_t v) { return Int(v, 4); }
  ByteWriter& Raw(const Bytes& b);
  ByteWriter& Raw(const void* p, size_t n);
  ByteWriter& Text(const std::string& s);  // without a NUL
  ByteWriter& Zeros(size_t n);
  size_t size() const { return out_.size(); }
  const Bytes& bytes() const { return out_; }
  Bytes Take() { return std::move(out_); }
  Order order() const { return order_; }

 private:
  ByteWriter& Int(uint32_t v, int bytes);
  Order order_;
  Bytes out_;
};

// TIFF field types.
// clang-format off
enum TiffType : uint16_t {
  kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSByte = 6, kUndefined = 7,
  kSShort = 8, kSLong = 9, kSRational = 10, kFloat = 11, kDouble = 12,
};
// clang-format on

// One directory under construction; values are encoded when built, entries kept in the order added.
class Ifd {
 public:
  // Any type with values as 64-bit numbers (rationals take two numbers per value).
  Ifd& Values(uint16_t tag, uint16_t type, std::vector<uint64_t> values);
  Ifd& Short(uint16_t tag, std::initializer_list<uint16_t> v);
  Ifd& Long(uint16_t tag, std::initializer_list<uint32_t> v);
  Ifd& Rational(uint16_t tag, std::initializer_list<std::pair<uint32_t, uint32_t>> v);
  // ASCII with its NUL appended; the count includes the NUL.
  Ifd& Ascii(uint16_t tag, const std::string& text);
  // Raw bytes with the given type; the count is the byte count (no NUL added).
  Ifd& Data(uint16_t tag, uint16_t type, const Bytes& data);
  Ifd& Undefined(uint16_t tag, const Bytes& data) { return Data(tag, kUndefined, data); }
  // An entry with an explicit count and 4-byte value field, written as given.
  Ifd& RawEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t valueField);
  // A LONG pointer to another directory of the same builder, resolved when built.
  Ifd& Pointer(uint16_t tag, int directoryIndex);
  // An entry holding the offset, or the length, of a blob of the same builder.
  Ifd& BlobOffset(uint16_t tag, int blobIndex, uint16_t type = kLong);
  Ifd& BlobLength(uint16_t tag, int blobIndex, uint16_t type = kLong);
  // The directory that the next-IFD link names (IFD0 → IFD1); -1 = none.
  Ifd& Next(int directoryIndex);

  struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    std::vector<uint64_t> numbers;  // numeric values
    Bytes raw;                      // byte values
    bool isRaw = false;
    bool hasFixedField = false;
    uint32_t fixedField = 0;
    int pointerTo = -1;
    int blobOffset = -1;
    int blobLength = -1;
  };
  std::vector<Entry> entries;
  int next = -1;

 private:
  Entry& Add(uint16_t tag, uint16_t type, uint32_t count);
};

// An entry's value bytes in the given byte order (none for pointers, blobs and raw fields).
Bytes ValueBytes(const Ifd::Entry& e, Order order);

// Where the parts of a built TIFF structure landed (offsets relative to the TIFF header).
struct TiffLayout {
  std::vector<uint32_t> directoryOffsets;
  std::vector<uint32_t> blobOffsets;
  std::map<std::pair<int, uint16_t>, uint32_t> valueOffsets;  // by (directory, tag)
  std::map<std::pair<int, uint16_t>, uint32_t> entryOffsets;  // of the 12-byte entries
};

// A TIFF structure: the header, each directory followed by its values (word-aligned), the blobs.
class TiffBuilder {
 public:
  explicit TiffBuilder(Order order = Order::Little);
  // Adds a directory and returns its index (0 is created by the constructor).
  int AddDirectory();
  Ifd& Dir(int index) { return dirs_.at(static_cast<size_t>(index)); }
  Ifd& Ifd0() { return Dir(0); }
  // Adds a blob (thumbnail JPEG, strip data) placed after the directories; returns its index.
  int AddBlob(const Bytes& data);
  // Places the blobs right after the header, as many TIFF writers lay out strips.
  void SetBlobsFirst(bool first) { blobsFirst_ = first; }
  // Packs values without pad bytes, as some camera writers do.
  void SetPacked(bool packed) { packed_ = packed; }
  // Forces the IFD0 offset written in the header.
  void SetIfd0Offset(uint32_t offset) {
    forcedIfd0_ = offset;
    hasForcedIfd0_ = true;
  }

  Bytes Build(TiffLayout* layout = nullptr) const;
  Order order() const { return order_; }

 private:
  Order order_;
  bool hasForcedIfd0_ = false;
  bool blobsFirst_ = false;
  bool packed_ = false;
  uint32_t forcedIfd0_ = 0;
  std::deque<Ifd> dirs_;  // references stay valid as directories are added
  std::vector<Bytes> blobs_;
};

// A JPEG marker stream.
class JpegBuilder {
 public:
  JpegBuilder& Soi();
  JpegBuilder& Eoi();
  // A segment with its 16-bit length (payload size + 2).
  JpegBuilder& Segment(uint8_t marker, const Bytes& payload);
  // A segment whose length field is written as given.
  JpegBuilder& SegmentWithLength(uint8_t marker, uint16_t length, const Bytes& payload);
  JpegBuilder& App0Jfif();
  // APP1 "Exif\0\0" followed by the TIFF structure.
  JpegBuilder& App1Exif(const Bytes& tiff);
  // An APPn segment.
  JpegBuilder& App(uint8_t n, const Bytes& payload) {
    return Segment(static_cast<uint8_t>(0xE0 + n), payload);
  }
  JpegBuilder& Raw(const Bytes& b);
  // Everything of a real JPEG after its SOI, dropping its APP segments (so the result decodes).
  JpegBuilder& BodyOf(const Bytes& realJpeg);
  Bytes Build() const { return out_; }

 private:
  Bytes out_;
};

// A real baseline JPEG of a gradient, or of one colour when `solid` is given as 0xRRGGBB.
Bytes EncodeJpeg(int width, int height, int quality = 85, int64_t solid = -1);

// A real progressive JPEG whose last scan is repeated `extraScans` more times.
Bytes EncodeProgressiveJpeg(int width, int height, int extraScans = 0);

// A real baseline JPEG of pseudo-random pixels, as large as a camera's for its size.
Bytes EncodeNoiseJpeg(int width, int height, int quality = 90, uint32_t seed = 1);

// The segments of a JPEG stream up to the first SOS, dropping APPn segments.
Bytes StripAppSegments(const Bytes& jpeg);

// A camera-like JPEG: IFD0, Exif IFD with a maker note, GPS IFD, IFD1 with a thumbnail, pixels.
struct CameraJpegOptions {
  Order order = Order::Little;
  int width = 64;
  int height = 48;
  uint16_t orientation = 6;
  uint16_t thumbnailOrientation = 0;  // 0 = IFD1 has no Orientation entry
  std::string dateTimeOriginal = "2021:07:14 09:26:53";
  bool withThumbnail = true;
  bool withMakerNote = true;
  bool withGps = true;
  bool withJfif = false;        // an APP0 JFIF segment before the APP1
  size_t makerNotePadding = 0;  // extra bytes inside the maker note, to grow the APP1
  int thumbnailWidth = 16;      // size of the JPEG thumbnail in IFD1
  int thumbnailHeight = 12;
  Bytes imageJpeg =
      {};  // when not empty, the image data behind the APP1 (a large picture made once)
};
Bytes MakeCameraJpeg(const CameraJpegOptions& options = {});

// A scratch directory removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string Put(const std::string& name, const std::vector<uint8_t>& data) const;
  std::vector<std::string> List() const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const Bytes& data);
inline std::string TempDir::Put(const std::string& name, const Bytes& data) const {
  WriteFile(File(name), data);
  return File(name);
}
Bytes ReadFile(const std::string& path);
// The corpus directory of real-world files, or "" when it is absent.
std::string CorpusDir();

}  // namespace lf::test
