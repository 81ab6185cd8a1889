// SPDX-License-Identifier: MIT
// The structural check of a JPEG stream that guards every JPEG decode.
#include "fuzz/fuzz_target.h"
#include "plugin/file_kind.h"

LF_FUZZ_TARGET(jpeg_stream, "jpg") {
  lf::CheckJpegStream(data, size);
  return 0;
}
