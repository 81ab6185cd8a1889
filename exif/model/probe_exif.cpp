// SPDX-License-Identifier: MIT
// Whether a file carries EXIF data the module accepts: the work behind IsExifFile, and the EXIF
// test of the record codec.
#include "exif/model/exif_reader.h"
#include "plugin/file_kind.h"
#include "plugin/operations.h"

namespace lf::exif {

HRESULT ProbeExif(const char* path, uint32_t* isExif) {
  if (!path || !*path || !isExif) return E_INVALIDARG;
  *isExif = 0;
  const FileKind kind = GetFileKind(path);
  if (kind != KIND_JPEG && kind != KIND_TIFF) return S_OK;  // not opened
  const ExifReader reader(path, /*loadBlock=*/false);
  *isExif = reader.IsExif() ? 1 : 0;
  return S_OK;
}

}  // namespace lf::exif

namespace lf::ops {

HRESULT IsExifFile(const char* path, uint32_t* isExif) { return exif::ProbeExif(path, isExif); }

}  // namespace lf::ops
