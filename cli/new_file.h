// SPDX-License-Identifier: MIT
// Files the tool writes itself (an extracted thumbnail): written to a temporary file beside the
// destination, flushed, then moved over it in one step, so a failure never leaves a partial file.
#pragma once

#include <string>

namespace lf::cli {

// False with the reason in *error.
bool WriteNewFile(const std::string& path, const std::string& bytes, std::string* error);

}  // namespace lf::cli
