// SPDX-License-Identifier: MIT
// GetStillImageInfo: what a host needs to list an image in one call. The size, depth and type of
// the main image and of the EXIF thumbnail come from the imaging toolkit, the EXIF directories
// from the record reader; each becomes one (selector, record) entry handed to the host.
#include <strings.h>
#include <cstdlib>
#include <cstring>

#include "exif/record/record_reader.h"
#include "imaging/decode.h"
#include "imaging/toolkit.h"
#include "plugin/file_kind.h"
#include "plugin/operations.h"

namespace lf::ops {

namespace {

constexpr uint32_t kInfoSelectors = LF_SEL_IMAGE_INFO | LF_SEL_THUMB_INFO;
constexpr uint32_t kDirectorySelectors = LF_SEL_IFD0 | LF_SEL_IFD1 | LF_SEL_EXIF | LF_SEL_GPS;

// Owns the records made by one call until they are handed to the host. The list's nodes are
// malloc()ed by the header's helpers, so they can move into the host's list as they are.
class WorkingList {
 public:
  WorkingList() = default;
  ~WorkingList() { LfRecordListFree(&list_, owns_records_ ? 1 : 0); }
  WorkingList(const WorkingList&) = delete;
  WorkingList& operator=(const WorkingList&) = delete;

  LfExifRecord* get() { return &list_; }
  uint32_t count() const { return list_.head ? list_.count : 0; }
  // Appends, or frees the record when there is no memory for its node.
  [[nodiscard]] bool Append(uint32_t selector, void* record) {
    if (LfRecordListAppend(&list_, selector, record)) return true;
    LfRecordFree(selector, record);
    return false;
  }
  // The host owns every record from now on; the nodes stay ours until `Deliver` moves them.
  void HandOver() { owns_records_ = false; }
  LfRecordNode* first() const { return list_.head->next; }
  // Moves every node behind the host list's sentinel (or gives it ours when it has none).
  void MoveInto(LfExifRecord* host);

 private:
  LfExifRecord list_{};
  bool owns_records_ = true;
};

void WorkingList::MoveInto(LfExifRecord* host) {
  // The host's old nodes go; the records they pointed to stay the host's.
  if (host->head) {
    LfRecordNode* n = host->head->next;
    while (n != host->head) {
      LfRecordNode* next = n->next;
      std::free(n);
      n = next;
    }
    host->head->next = host->head->prev = host->head;
    host->count = 0;
  } else {
    host->head = list_.head;
    host->count = list_.count;
    list_.head = nullptr;
    list_.count = 0;
    return;
  }
  LfRecordNode* sentinel = host->head;
  LfRecordNode* firstNode = list_.head->next;
  LfRecordNode* lastNode = list_.head->prev;
  firstNode->prev = sentinel;
  lastNode->next = sentinel;
  sentinel->next = firstNode;
  sentinel->prev = lastNode;
  host->count = list_.count;
  list_.head->next = list_.head->prev = list_.head;
  list_.count = 0;
}

LfImageInfoRecord* NewInfoRecord(int32_t width, int32_t height, int32_t bits) {
  auto* record = static_cast<LfImageInfoRecord*>(std::calloc(1, sizeof(LfImageInfoRecord)));
  if (!record) return nullptr;
  record->width = width;
  record->height = height;
  record->bitsPerPixel = static_cast<uint16_t>(bits);
  return record;
}

[[nodiscard]] bool IsBmpName(const char* path) {
  const size_t n = std::strlen(path);
  return n >= 4 && strcasecmp(path + n - 4, ".bmp") == 0;
}

// A view orientation that shows the image turned a quarter (the toolkit's codes 4, 5, 7 and 8;
// 6 keeps the stored size).
[[nodiscard]] bool ExchangesSides(int32_t viewOrientation) {
  return viewOrientation == 4 || viewOrientation == 5 || viewOrientation == 7 ||
         viewOrientation == 8;
}

// The record from decoded pixels: the main image (source 0) or the EXIF thumbnail (source 1),
// loaded at 24 bits; none when it cannot be loaded or the name has no type.
LfImageInfoRecord* InfoFromPixels(const char* path, uint32_t source) {
  imaging::ScopedBitmap bitmap;
  const int loaded = source == LF_DECODE_MAIN_IMAGE
                         ? imaging::LoadImageFile(path, bitmap.get(), 24)
                         : imaging::LoadExifThumbnail(path, bitmap.get(), 24);
  if (loaded != imaging::kToolkitSuccess) return nullptr;
  char typeName[8] = {};
  if (Failed(GetTypeName(path, typeName))) return nullptr;
  LfImageInfoRecord* record = NewInfoRecord(bitmap->width, bitmap->height, bitmap->bitsPerPixel);
  if (record) std::memcpy(record->typeName, typeName, sizeof typeName);
  return record;
}

// The main image's record from the file's header where the toolkit can describe it.
LfImageInfoRecord* MakeImageInfo(const char* path, uint32_t source) {
  if (source != LF_DECODE_MAIN_IMAGE) return InfoFromPixels(path, source);
  imaging::FileInfo info;
  if (imaging::GetFileInfo(path, &info) != imaging::kToolkitSuccess) {
    return InfoFromPixels(path, source);
  }
  // 54 bytes are a BMP's two headers alone.
  if (IsBmpName(path) && info.fileSize <= 54) return nullptr;
  const bool exchange = ExchangesSides(info.viewOrientation);
  LfImageInfoRecord* record =
      NewInfoRecord(exchange ? info.height : info.width, exchange ? info.width : info.height,
                    info.bitsPerPixel & 0xFFFF);
  if (record) (void)GetTypeName(path, record->typeName);  // an unknown kind leaves the name empty
  return record;
}

// One entry: selector and record in the first two words; the third is not touched.
void DeliverSingle(void* output, const LfRecordNode* node) {
  auto* out = static_cast<LfStillImageOutput*>(output);
  out->single.selector = node->selector;
  out->single.record = node->record;
}

}  // namespace

HRESULT GetStillImageInfo(const char* path, void* output, uint32_t mask) {
  if (!path || !*path || !output || (mask & LF_SEL_ALLOWED) == 0) return E_INVALIDARG;
  WorkingList entries;
  for (const uint32_t selector : {LF_SEL_IMAGE_INFO, LF_SEL_THUMB_INFO}) {
    if ((mask & selector & kInfoSelectors) == 0) continue;
    LfImageInfoRecord* record = MakeImageInfo(
        path, selector == LF_SEL_IMAGE_INFO ? LF_DECODE_MAIN_IMAGE : LF_DECODE_THUMBNAIL);
    if (!record) return E_FAIL;
    if (!entries.Append(selector, record)) return E_OUTOFMEMORY;
  }
  if ((mask & kDirectorySelectors) != 0) {
    const HRESULT r = record::ReadExifRecord(path, entries.get(), mask);
    if (Failed(r)) return r;
  }
  const uint32_t n = entries.count();
  if (n == 0) return S_OK;
  entries.HandOver();
  if (n == 1) {
    DeliverSingle(output, entries.first());
  } else {
    entries.MoveInto(static_cast<LfExifRecord*>(output));
  }
  return S_OK;
}

}  // namespace lf::ops
