// Operations whose subsystem has not been built yet. Each reports E_NOTIMPL (Decode: no bitmap)
// after the boundary's checks, so that the export table is complete and honest. A subsystem that
// implements an operation removes it from this file.
#include "plugin/operations.h"

namespace lf::ops {

HRESULT GetExif(const char*, LfExifSummary*, LfGpsSummary*, LfMakerNoteSummary*) {
  return E_NOTIMPL;
}
HRESULT GetExifMakerValue(const char*, const char*, uint16_t, void*, uint32_t*, uint16_t*,
                          uint32_t*) {
  return E_NOTIMPL;
}
HRESULT GetMakerNoteValue(const char*, LfString*, LfU16List*, LfU32List*) { return E_NOTIMPL; }
HRESULT SetMakerNote(const char*, const char*, const char*, uint16_t, uint16_t, uint32_t,
                     uint32_t) {
  return E_NOTIMPL;
}

}  // namespace lf::ops
