// SPDX-License-Identifier: MIT
// Writing what the module returns to files a person can open: packed DIBs as BMP files, and
// 24-bit pixel rows (a DIB's or a device surface's) as PNG files.
#pragma once

#include <cstdint>
#include <string>

#include "cli/batch.h"
#include "lumenframe/lumenframe.h"

namespace lf::cli {

// A 14-byte BMP file header in front of the packed DIB in `dib`. False with a message on failure.
[[nodiscard]] bool WriteBmpFile(const std::string& path, LF_HGLOBAL dib, std::string* error);
// A 24-bit bottom-up packed DIB as an RGB PNG.
[[nodiscard]] bool WriteDibAsPng(const std::string& path, LF_HGLOBAL dib, std::string* error);
// A device surface (1, 24 or 32 bits per pixel, top row first) as an RGB PNG.
[[nodiscard]] bool WriteSurfaceAsPng(const std::string& path, const LfDeviceContext& dc,
                                     std::string* error);
// True when the path ends in ".png" or ".bmp" (any case).
[[nodiscard]] bool IsPngPath(const std::string& path);
[[nodiscard]] bool IsBmpPath(const std::string& path);

// Describes the picture `dib` written from `source` to `output`: its size in the JSON record and
// the text answer "SOURCE: WxH -> OUTPUT".
void DescribeWrittenPicture(Outcome* out, const std::string& source, const std::string& output,
                            LF_HGLOBAL dib);

}  // namespace lf::cli
