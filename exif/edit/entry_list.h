// SPDX-License-Identifier: MIT
// Entry lists kept sorted by tag while a directory is laid out (TIFF 6.0, Section 2: the entries
// of a directory are sorted in ascending order of their tags).
#pragma once

#include <cstdint>

#include "exif/model/directory.h"

namespace lf::edit {

// Puts `entry` in its place by tag. An element with the same tag is overwritten when `replace`
// (its index is returned) or left alone (-1); otherwise the entry is inserted before the first
// larger tag and its new index returned.
int SetEntry(exif::IfdEntryList* list, const exif::IfdEntry& entry, bool replace);
// Index of the first element with `tag`, -1 when there is none.
[[nodiscard]] int IndexOfTag(const exif::IfdEntryList& list, uint16_t tag);
// Sorts by tag; of several elements with one tag the first is kept.
void SortEntries(exif::IfdEntryList* list);
// Removes NewSubfileType (254), PageNumber (297) and Predictor (317): a single-image file written
// by the editor has no pages and no prediction.
void DropPagingTags(exif::IfdEntryList* list);

}  // namespace lf::edit
