// SPDX-License-Identifier: MIT
// libtiff over our byte sources and memory sinks, with its messages silenced per handle and its
// single allocations capped, so a hostile strip size cannot make it allocate without bound.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "exif/model/byte_source.h"

namespace lf::imaging {

// An open libtiff handle; closes itself.
class TiffHandle {
 public:
  TiffHandle() = default;
  ~TiffHandle();
  TiffHandle(const TiffHandle&) = delete;
  TiffHandle& operator=(const TiffHandle&) = delete;

  // Opens the bytes of `source` for reading; false when libtiff refuses them.
  [[nodiscard]] bool OpenForReading(exif::ByteSource* source);
  // Opens an empty TIFF that is written into `sink`.
  [[nodiscard]] bool OpenForWriting(std::vector<uint8_t>* sink);
  // Closes the handle (flushing a file being written); false when that failed.
  [[nodiscard]] bool Close();

  TIFF* get() const { return tiff_; }
  [[nodiscard]] bool readFailed() const { return io_.readFailed; }

  struct Io {
    exif::ByteSource* source = nullptr;
    std::vector<uint8_t>* sink = nullptr;
    uint64_t position = 0;  // the sink's write position
    bool readFailed = false;
  };

 private:
  [[nodiscard]] bool Open(const char* mode);
  TIFF* tiff_ = nullptr;
  Io io_;
};

}  // namespace lf::imaging
