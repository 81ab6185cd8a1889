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

LF_HGLOBAL GlobalAlloc(size_t size) {
  if (ShouldFail(Service::Allocate)) return nullptr;
  LF_HGLOBAL h = LfGlobalAlloc(size);
  if (!h) SetLastError(kErrorNotEnoughMemory);
  return h;
}

}  // namespace lf::platform
