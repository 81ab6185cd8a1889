// SPDX-License-Identifier: MIT
// Putting an EXIF segment made from a host's records into a JPEG file: AppendExif enriches a
// copy of a JPEG's own APP1 "Exif" segment, EncodeJpegWithExif saves an image as a new JPEG whose
// only application segment is one built from the records. Both write through the safe rewrite:
// the destination is replaced only by a complete new file and is otherwise left as it was.
#pragma once

#include <cstdint>

#include "lumenframe/lumenframe.h"
#include "plugin/result_codes.h"

namespace lf::record {

// S_OK; E_FAIL for a source that is not a JPEG by name (checked first); E_INVALIDARG for no
// destination or a list or record that cannot be walked or read; E_FAIL for a source that cannot be
// read, has no APP1 segment or one that cannot be merged safely; E_NO_EXIF (with requireExif) for a
// source without EXIF data; the destination check's failure; the module's codes for errors 8, 14, 5
// and 82 met while writing the new file, and HRESULT_FROM_WIN32 of any other error.
[[nodiscard]] HRESULT AppendExif(const char* destPath, const char* srcPath,
                                 const LfExifRecord* records, int32_t requireExif);

// S_OK; E_INVALIDARG for no image, no destination or an unusable list; the JPEG writer's negative
// result; E_FAIL when the image, its thumbnail or the segment cannot be made; write errors as
// for AppendExif.
[[nodiscard]] HRESULT EncodeJpegWithExif(LF_HGLOBAL image, const char* destPath, int32_t quality,
                                         const LfExifRecord* records);

}  // namespace lf::record
