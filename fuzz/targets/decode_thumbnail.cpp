// SPDX-License-Identifier: MIT
// Decode of the EXIF thumbnail of a JPEG or TIFF file.
#include "fuzz/fuzz_target.h"
#include "lumenframe/lumenframe.h"

LF_FUZZ_TARGET(decode_thumbnail, "jpg tif") {
  const std::string path =
      lf::fuzz::PutFile(std::string("in.") + lf::fuzz::ExifExtension(data, size), data, size);
  LfGlobalFree(Decode(path.c_str(), 1));
  return 0;
}
