// SPDX-License-Identifier: MIT
#include "exif/record/record_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "exif/model/block_structure.h"
#include "exif/model/directory.h"
#include "exif/model/exif_reader.h"
#include "exif/model/jpeg_segments.h"
#include "exif/record/record_fields.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "plugin/file_kind.h"

namespace lf::record {
namespace {

using exif::ByteView;

// Unlinks and frees the nodes appended after the list held `count` entries (records untouched).
void TruncateList(LfExifRecord* list, uint32_t count) {
  while (list->head && list->count > count) {
    LfRecordNode* last = list->head->prev;
    last->prev->next = list->head;
    list->head->prev = last->prev;
    free(last);
    --list->count;
  }
}

}  // namespace

int64_t FindJpegMarker(uint16_t marker, ByteView bytes) {
  exif::MemorySource source(bytes);
  exif::JpegSegmentScanner scan(source, {.standaloneSoi = true});
  exif::JpegSegment segment;
  uint64_t at = 0;  // where the walk looks next
  while (scan.Next(&segment)) {
    if (segment.marker == marker) return static_cast<int64_t>(segment.offset);
    if (segment.marker == exif::kJpegSos) {
      // Only the end of the image lies behind the scan: the first 0xFF 0xD9 in its data.
      if (marker != exif::kJpegEoi) return -1;
      const exif::JpegImageEnd end =
          exif::FindJpegImageEnd(bytes, segment.offset + 2, exif::ScanMarkers::kAny);
      return end.found() ? static_cast<int64_t>(end.eoi()) : -1;
    }
    at = segment.next;
  }
  // A marker whose length word the end of the data cuts is still the marker looked for.
  if (scan.end() == exif::JpegScanEnd::kCutLength && bytes.ReadU16BE(at) == marker) {
    return static_cast<int64_t>(at);
  }
  return -1;
}

HRESULT ParseApp1ToRecord(ByteView segment, LfExifRecord* list, uint32_t mask) {
  if (segment.empty() || !list || !(mask & LF_SEL_ALLOWED)) return E_INVALIDARG;
  const uint8_t* tag = segment.Pointer(4, 4);
  if (segment.ReadU16BE(0) != exif::kJpegApp1 || !tag || memcmp(tag, "Exif", 4) != 0) return E_FAIL;
  uint32_t declared = (uint32_t{segment.ReadU16BE(2)} - 8) & 0xFFFF;
  ByteView tiff = segment.From(10);
  return ParseTiffToRecord(ByteView(tiff.data(), std::min<size_t>(declared, tiff.size())), list,
                           mask);
}

HRESULT ParseTiffToRecord(ByteView data, LfExifRecord* list, uint32_t mask) {
  if (data.empty() || !list || !(mask & LF_SEL_ALLOWED)) return E_INVALIDARG;
  // Located once; the byte order is the header's and travels with block.tiff from here on.
  const exif::BlockStructure block = exif::Locate(data);
  if (!block.header.valid() || block.header.ifd0Offset < 8) return E_FAIL;

  LfImageDirRecord* ifd0 = (mask & LF_SEL_IFD0) ? LfImageDirRecordNew() : nullptr;
  LfExifDirRecord* exifDir = (mask & LF_SEL_EXIF) ? LfExifDirRecordNew() : nullptr;
  LfGpsDirRecord* gps = (mask & LF_SEL_GPS) ? LfGpsDirRecordNew() : nullptr;
  LfImageDirRecord* ifd1 = nullptr;
  auto freeAll = [&] {
    LfImageDirRecordFree(ifd0);
    LfExifDirRecordFree(exifDir);
    LfGpsDirRecordFree(gps);
    LfImageDirRecordFree(ifd1);
  };

  if (!ReadImageDirectory(block, block.ifd0, {ifd0, exifDir, gps})) {
    freeAll();
    return E_FAIL;
  }
  if ((mask & LF_SEL_IFD1) && block.ifd0.next != 0) {
    ifd1 = LfImageDirRecordNew();
    if (!ReadImageDirectory(block, block.ifd1, {ifd1, nullptr, nullptr})) {
      freeAll();
      return E_FAIL;
    }
  }

  const uint32_t before = list->count;
  const std::pair<uint32_t, void*> made[] = {
      {LF_SEL_IFD0, ifd0}, {LF_SEL_EXIF, exifDir}, {LF_SEL_GPS, gps}, {LF_SEL_IFD1, ifd1}};
  for (const auto& [selector, record] : made) {
    if (record && !LfRecordListAppend(list, selector, record)) {
      TruncateList(list, before);
      freeAll();
      return E_OUTOFMEMORY;
    }
  }
  return S_OK;
}

bool ReadImageDirectory(const exif::BlockStructure& block, const exif::LocatedDirectory& located,
                        const RecordTargets& targets) {
  const ByteView tiff = block.tiff;
  // The directory and at least one byte of its link must lie inside the data.
  if (!located.located || tiff.size() <= located.dir.LinkPos()) return false;
  if (targets.image)
    ReadDirectoryFields(LF_SEL_IFD0, targets.image, tiff, located.dir.EntryPos(0),
                        located.dir.count);
  // The Exif and GPS sub-directories of IFD0, by the value of their pointer entries whatever their
  // type, read only when their count word and every entry lie inside the data.
  const struct {
    const exif::LocatedEntry& pointer;
    uint32_t selector;
    void* record;
    uint8_t readBit;
  } subs[] = {
      {block.exifPointer, LF_SEL_EXIF, targets.exif, image_bit::kExifRead},
      {block.gpsPointer, LF_SEL_GPS, targets.gps, image_bit::kGpsRead},
  };
  for (const auto& s : subs) {
    exif::IfdEntry e;
    if (!s.record || !s.pointer.found || !EntryValueAt(tiff, s.pointer.pos, &e)) continue;
    const uint32_t sub = tiff.ReadU32(e.value);
    const uint64_t first = uint64_t{sub} + 2;
    if (first >= tiff.size() ||
        first + exif::kEntrySize * uint64_t{tiff.ReadU16(sub)} > tiff.size())
      continue;
    ReadDirectoryFields(s.selector, s.record, tiff, first, tiff.ReadU16(sub));
    if (targets.image) LfPresenceSet(&targets.image->presence, s.readBit);
  }
  return true;
}

namespace {

// A JPEG's records come from its first APP1 segment alone: the marker walk reads the segment
// headers from the file, and only the bytes the segment parser may look at are loaded (the TIFF
// data its length word declares, within the file), not the image data behind them.
bool ReadApp1Segment(const char* path, std::vector<uint8_t>* segment) {
  platform::File file =
      platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
  uint64_t length = 0;
  if (!file || !file.Length(&length)) return false;
  exif::FileSource source(file, length);
  exif::JpegSegmentScanner scan(source, {.standaloneSoi = true});
  exif::JpegSegment record;
  uint64_t at = 0;  // where the walk looks next
  bool found = false;
  while (!found && scan.Next(&record)) {
    if (record.marker == exif::kJpegSos) return false;
    found = record.marker == exif::kJpegApp1;
    at = found ? record.offset : record.next;
  }
  uint8_t head[4] = {};
  const size_t headSize = static_cast<size_t>(std::min<uint64_t>(4, length - std::min(at, length)));
  if (!file.ReadExactAt(at, head, headSize) || headSize < 2 ||
      (head[0] << 8 | head[1]) != exif::kJpegApp1) {
    return false;
  }
  // A marker whose length word the end of the file cuts is still the segment looked for.
  if (!found && scan.end() != exif::JpegScanEnd::kCutLength) return false;
  const uint32_t declared = headSize < 4 ? 0 : ((uint32_t{head[2]} << 8 | head[3]) - 8) & 0xFFFF;
  const uint64_t size = std::min<uint64_t>(10 + uint64_t{declared}, length - at);
  try {
    segment->assign(static_cast<size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return file.ReadExactAt(at, segment->data(), segment->size());
}

}  // namespace

HRESULT ReadExifRecord(const char* path, LfExifRecord* list, uint32_t mask) {
  if (!path || !*path || !list || !(mask & LF_SEL_ALLOWED)) return E_INVALIDARG;
  uint32_t isExif = 0;
  HRESULT probe = exif::ProbeExif(path, &isExif);
  if (probe < 0) return probe;
  if (!isExif) return E_NO_EXIF;

  FileKind kind = GetFileKind(path);
  if (kind != KIND_TIFF && kind != KIND_JPEG) return E_FAIL;
  std::vector<uint8_t> bytes;
  HRESULT result;
  if (kind == KIND_TIFF) {
    if (!platform::ReadWholeFile(path, &bytes, kMaxWholeFile)) return E_FAIL;
    result = ParseTiffToRecord(ByteView(bytes.data(), bytes.size()), list, mask);
  } else {
    if (!ReadApp1Segment(path, &bytes)) return E_FAIL;
    result = ParseApp1ToRecord(ByteView(bytes.data(), bytes.size()), list, mask);
  }
  return result < 0 ? E_FAIL : S_OK;
}

}  // namespace lf::record
