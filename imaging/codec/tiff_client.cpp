// SPDX-License-Identifier: MIT
#include "imaging/codec/tiff_client.h"

#include <cstdarg>
#include <cstring>

namespace lf::imaging {

namespace {

// libtiff may ask for one allocation larger than this only for a file that has that much data; a
// strip or tile buffer of a real image stays far below it.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t{1} << 30;
#if TIFFLIB_AT_LEAST(4, 6, 1)
// Everything one handle holds at once: a strip buffer of that size plus its directory's values.
constexpr tmsize_t kMaxCumulatedAllocation = kMaxSingleAllocation + (tmsize_t{1} << 28);
#endif

using Io = TiffHandle::Io;

tmsize_t ReadProc(thandle_t h, void* buffer, tmsize_t size) {
  auto* io = static_cast<Io*>(h);
  if (size < 0) return -1;
  if (io->source) {
    size_t got = 0;
    if (!io->source->Read(buffer, static_cast<size_t>(size), &got)) {
      // A failure reads as the end of the data: libtiff 4.5 adds a -1 result to its running
      // count when filling a strip and then clears memory in front of its buffer. The failure
      // itself is remembered and reported by the caller.
      io->readFailed = true;
      return 0;
    }
    return static_cast<tmsize_t>(got);
  }
  const uint64_t have = io->sink->size();
  const uint64_t left = io->position < have ? have - io->position : 0;
  const size_t n = static_cast<size_t>(left < static_cast<uint64_t>(size) ? left : size);
  if (n) std::memcpy(buffer, io->sink->data() + io->position, n);
  io->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t h, void* buffer, tmsize_t size) {
  auto* io = static_cast<Io*>(h);
  if (!io->sink || size < 0) return -1;
  const uint64_t end = io->position + static_cast<uint64_t>(size);
  // No exception may cross libtiff's C frames: a failed growth is a failed write.
  try {
    if (end > io->sink->size()) io->sink->resize(end);
  } catch (...) {
    return -1;
  }
  std::memcpy(io->sink->data() + io->position, buffer, static_cast<size_t>(size));
  io->position = end;
  return size;
}

toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
  auto* io = static_cast<Io*>(h);
  const uint64_t current = io->source ? io->source->position() : io->position;
  const uint64_t size = io->source ? io->source->size() : io->sink->size();
  uint64_t target = offset;
  if (whence == SEEK_CUR) target = current + offset;
  if (whence == SEEK_END) target = size + offset;
  if (io->source) {
    io->source->Seek(target);
  } else {
    io->position = target;
  }
  return target;
}

[[nodiscard]] int CloseProc(thandle_t) { return 0; }

toff_t SizeProc(thandle_t h) {
  auto* io = static_cast<Io*>(h);
  return io->source ? io->source->size() : io->sink->size();
}

[[nodiscard]] int NoMap(thandle_t, void**, toff_t*) { return 0; }
void NoUnmap(thandle_t, void*, toff_t) {}

[[nodiscard]] int Silence(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsOwner {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  ~OptionsOwner() {
    if (options) TIFFOpenOptionsFree(options);
  }
};

}  // namespace

TiffHandle::~TiffHandle() { (void)Close(); }  // callers that need the result close first

bool TiffHandle::Open(const char* mode) {
  OptionsOwner owner;
  if (!owner.options) return false;
  TIFFOpenOptionsSetMaxSingleMemAlloc(owner.options, kMaxSingleAllocation);
#if TIFFLIB_AT_LEAST(4, 6, 1)
  TIFFOpenOptionsSetMaxCumulatedMemAlloc(owner.options, kMaxCumulatedAllocation);
#endif
  TIFFOpenOptionsSetErrorHandlerExtR(owner.options, Silence, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(owner.options, Silence, nullptr);
  tiff_ = TIFFClientOpenExt("image", mode, &io_, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                            NoMap, NoUnmap, owner.options);
  return tiff_ != nullptr;
}

bool TiffHandle::OpenForReading(exif::ByteSource* source) {
  io_ = Io{};
  io_.source = source;
  source->Seek(0);
  return Open("rm");
}

bool TiffHandle::OpenForWriting(std::vector<uint8_t>* sink) {
  io_ = Io{};
  io_.sink = sink;
  sink->clear();
  return Open("wm");
}

bool TiffHandle::Close() {
  if (!tiff_) return true;
  bool ok = true;
  if (io_.sink) ok = TIFFFlush(tiff_) == 1;
  TIFFClose(tiff_);
  tiff_ = nullptr;
  return ok;
}

}  // namespace lf::imaging
