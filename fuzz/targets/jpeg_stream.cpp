// SPDX-License-Identifier: MIT
// The structural check of a JPEG stream that guards every JPEG decode.
#include "fuzz/fuzz_target.h"
#include "plugin/file_kind.h"

LF_FUZZ_TARGET(jpeg_stream, "jpg") {
  (void)lf::CheckJpegStream(data, size);  // only the walk over untrusted bytes matters here
  return 0;
}
