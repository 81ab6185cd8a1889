// SPDX-License-Identifier: MIT
// SetOrientation writing a copy, allowed to rebuild the EXIF block: the copy, the patch and the
// rebuild path with its plan, emission and verification.
#include "fuzz/fuzz_target.h"
#include "lumenframe/lumenframe.h"

LF_FUZZ_TARGET(set_orientation, "jpg tif") {
  const std::string extension = lf::fuzz::ExifExtension(data, size);
  const std::string source = lf::fuzz::PutFile("in." + extension, data, size);
  const std::string copy = lf::fuzz::FreshPath("out." + extension);
  SetOrientation(copy.c_str(), source.c_str(), size > 0 ? 1 + data[size - 1] % 8 : 3, 1);
  return 0;
}
