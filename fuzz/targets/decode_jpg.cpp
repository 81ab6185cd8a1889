// SPDX-License-Identifier: MIT
// Decode of a .jpg file as the host calls it: the checks made before the codec, the codec, and
// the packed DIB handed back.
#include "fuzz/fuzz_target.h"
#include "lumenframe/lumenframe.h"

LF_FUZZ_TARGET(decode_jpg, "jpg") {
  LfGlobalFree(Decode(lf::fuzz::PutFile("in.jpg", data, size).c_str(), 0));
  return 0;
}
