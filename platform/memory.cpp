// SPDX-License-Identifier: MIT
#include "platform/memory.h"

#include <sys/mman.h>

#include <cstring>

#include "platform/errors.h"
#include "platform/faults.h"

namespace lf::platform {

void* HeapAlloc(size_t size) {
  if (ShouldFail(Service::Allocate)) return nullptr;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (!p) SetLastError(kErrorNotEnoughMemory);
  return p;
}

void* HeapAllocZeroed(size_t size) {
  if (ShouldFail(Service::Allocate)) return nullptr;
  void* p = std::calloc(1, size == 0 ? 1 : size);
  if (!p) SetLastError(kErrorNotEnoughMemory);
  return p;
}

void HeapFree(void* p) { std::free(p); }

void* PageAlloc(size_t size) {
  if (ShouldFail(Service::Allocate)) return nullptr;
  if (size == 0) size = 1;
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  return p;
}

void PageFree(void* p, size_t size) {
  if (p) ::munmap(p, size == 0 ? 1 : size);
}

namespace {

// Transparent huge pages are 2 MiB on x86-64; smaller blocks gain nothing from them.
constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

LF_HGLOBAL GlobalAllocForWriting(size_t size) {
  if (ShouldFail(Service::Allocate)) return nullptr;
  if (size > SIZE_MAX - LF_GLOBAL_HEADER_SIZE - kHugePage) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  const size_t total = LF_GLOBAL_HEADER_SIZE + size;
  void* p = nullptr;
  if (total >= kHugePage) {
    // aligned_alloc memory goes back with free(), as the host's LfGlobalFree does.
    const size_t rounded = (total + kHugePage - 1) / kHugePage * kHugePage;
    p = std::aligned_alloc(kHugePage, rounded);
    if (p) ::madvise(p, rounded, MADV_HUGEPAGE);  // a hint: refused, the block still works
  } else {
    p = std::malloc(total);
  }
  if (!p) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  auto* h = static_cast<LF_HGLOBAL>(p);
  std::memset(h, 0, LF_GLOBAL_HEADER_SIZE);
  h->size = size;
  return h;
}

LF_HGLOBAL GlobalAlloc(size_t size) {
  if (ShouldFail(Service::Allocate)) return nullptr;
  LF_HGLOBAL h = LfGlobalAlloc(size);
  if (!h) SetLastError(kErrorNotEnoughMemory);
  return h;
}

}  // namespace lf::platform
