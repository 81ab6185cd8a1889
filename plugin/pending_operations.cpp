// Operations whose subsystem has not been built yet. Each reports E_NOTIMPL (Decode: no bitmap)
// after the boundary's checks, so that the export table is complete and honest. A subsystem that
// implements an operation removes it from this file.
#include "plugin/operations.h"

namespace lf::ops {

HRESULT Encode(LF_HGLOBAL, const char*, uint32_t, int32_t, void*) { return E_NOTIMPL; }
HRESULT GetStillImageInfo(const char*, void*, uint32_t) { return E_NOTIMPL; }

}  // namespace lf::ops
