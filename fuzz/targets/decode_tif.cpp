// SPDX-License-Identifier: MIT
// Decode of a .tif file as the host calls it: the checks made before the codec, the codec, and
// the packed DIB handed back.
#include "fuzz/fuzz_target.h"
#include "lumenframe/lumenframe.h"

LF_FUZZ_TARGET(decode_tif, "tif") {
  LfGlobalFree(Decode(lf::fuzz::PutFile("in.tif", data, size).c_str(), 0));
  return 0;
}
