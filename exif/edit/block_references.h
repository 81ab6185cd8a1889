// SPDX-License-Identifier: MIT
// Whether every reference inside an EXIF block is one the editor knows how to correct. Moving any
// byte of a block is safe only then: a maker note of a dialect the module does not read, a
// directory reached through a pointer the editor does not follow, or a value of a type whose size
// is unknown may hold offsets that nothing here would correct, so in such a block the bytes that
// exist must keep their offsets.
#pragma once

#include "exif/edit/raw_entries.h"
#include "exif/model/block_structure.h"

namespace lf::edit {

// True when the block's directories (IFD0, IFD1, Exif, GPS, Interop) and maker note hold only
// references the editor corrects when bytes move: the standard pointers, the thumbnail and strip
// offsets, out-of-line values of types of known size, and the value offsets of a maker note of
// the dialect whose offsets count from the TIFF header. `isTiff`: IFD0's strips are the main
// image of a TIFF file (in a JPEG block they would be references the editor does not move).
[[nodiscard]] bool EveryReferenceIsKnown(const exif::BlockStructure& block, bool isTiff);

}  // namespace lf::edit
