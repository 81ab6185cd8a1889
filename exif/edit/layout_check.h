// SPDX-License-Identifier: MIT
// The check that closes every edit of a copied block: the finished output block is read again,
// from its own header and pointers, and compared with the source block it was made from. Every
// directory, entry, out-of-line value, thumbnail, strip and maker note that the edits did not ask
// to change must name the same bytes as in the source; in a pinned block every byte outside the
// directories must also still stand at its old offset. A difference is an internal error: the
// edit is refused before anything is written.
#pragma once

#include <string>

#include "exif/edit/output_layout.h"

namespace lf::edit {

// Empty when the output keeps everything the edits did not touch; else what differs. `written` is
// the output block of `out`, located.
[[nodiscard]] std::string CheckEditedBlock(const exif::BlockStructure& source,
                                           const exif::BlockStructure& written,
                                           const OutputLayout& out);

// The file a finished layout makes, checked before it is written: the block, the thumbnail held
// apart and a TIFF's strips behind it occupy ranges that do not overlap, every directory and
// out-of-line value the block's pointers name lies inside the block, and every thumbnail and
// strip range lies inside the range written for it. Empty when so; else what is wrong.
[[nodiscard]] std::string CheckWrittenLayout(const OutputLayout& out,
                                             const exif::BlockStructure& written);

}  // namespace lf::edit
