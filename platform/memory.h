// SPDX-License-Identifier: MIT
// Memory services: the heap for working buffers, the page allocator for large EXIF blocks, and the
// movable global blocks in which bitmaps cross the boundary. All allocation goes through the
// failure seam.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "lumenframe/lumenframe.h"

namespace lf::platform {

// malloc/free through the failure seam; nullptr when memory is short (last error 8).
void* HeapAlloc(size_t size);
void* HeapAllocZeroed(size_t size);
void HeapFree(void* p);

// Committed read-write pages; nullptr on failure. Freed with the size that was allocated.
void* PageAlloc(size_t size);
void PageFree(void* p, size_t size);

// A zero-filled global block in the layout the host's helpers use; nullptr on failure.
LF_HGLOBAL GlobalAlloc(size_t size);
// The same block with its payload left as the allocator hands it out, for a caller that writes
// every byte (a decoded bitmap). A large block is aligned to huge pages and marked for them, so
// that the kernel backs it with few, large pages where it offers them; it is still freed with
// LfGlobalFree like any other block.
LF_HGLOBAL GlobalAllocForWriting(size_t size);
inline void* GlobalLock(LF_HGLOBAL h) { return LfGlobalLock(h); }
inline bool GlobalUnlock(LF_HGLOBAL h) { return LfGlobalUnlock(h) != 0; }
inline size_t GlobalSize(LF_HGLOBAL h) { return LfGlobalSize(h); }
inline void GlobalFree(LF_HGLOBAL h) { LfGlobalFree(h); }

struct HeapDeleter {
  void operator()(void* p) const { HeapFree(p); }
};
// An owned heap buffer.
template <typename T>
using HeapPtr = std::unique_ptr<T, HeapDeleter>;

// Owns a global block until Release() hands it to someone else (the host, for Decode).
class GlobalBlock {
 public:
  GlobalBlock() = default;
  explicit GlobalBlock(LF_HGLOBAL h) : h_(h) {}
  ~GlobalBlock() { reset(); }
  GlobalBlock(GlobalBlock&& o) noexcept : h_(o.Release()) {}
  GlobalBlock& operator=(GlobalBlock&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = o.Release();
    }
    return *this;
  }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;

  LF_HGLOBAL get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  LF_HGLOBAL Release() {
    LF_HGLOBAL h = h_;
    h_ = nullptr;
    return h;
  }
  void reset(LF_HGLOBAL h = nullptr) {
    if (h_) GlobalFree(h_);
    h_ = h;
  }

 private:
  LF_HGLOBAL h_ = nullptr;
};

// Keeps a global block locked for one scope.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(LF_HGLOBAL h) : h_(h), p_(GlobalLock(h)) {}
  ~GlobalLockGuard() {
    if (p_) GlobalUnlock(h_);
  }
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
  void* data() const { return p_; }
  size_t size() const { return GlobalSize(h_); }

 private:
  LF_HGLOBAL h_;
  void* p_;
};

}  // namespace lf::platform
