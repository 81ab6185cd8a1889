// SPDX-License-Identifier: MIT
#include "exif/edit/entry_list.h"

#include <algorithm>

namespace lf::edit {

int SetEntry(exif::IfdEntryList* list, const exif::IfdEntry& entry, bool replace) {
  for (size_t i = 0; i < list->size(); ++i) {
    exif::IfdEntry& at = (*list)[i];
    if (at.tag == entry.tag) {
      if (!replace) return -1;
      at = entry;
      return static_cast<int>(i);
    }
    if (at.tag > entry.tag) {
      list->insert(list->begin() + static_cast<long>(i), entry);
      return static_cast<int>(i);
    }
  }
  list->push_back(entry);
  return static_cast<int>(list->size() - 1);
}

int IndexOfTag(const exif::IfdEntryList& list, uint16_t tag) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].tag == tag) return static_cast<int>(i);
  }
  return -1;
}

void SortEntries(exif::IfdEntryList* list) {
  std::stable_sort(list->begin(), list->end(),
                   [](const exif::IfdEntry& a, const exif::IfdEntry& b) { return a.tag < b.tag; });
  list->erase(
      std::unique(list->begin(), list->end(),
                  [](const exif::IfdEntry& a, const exif::IfdEntry& b) { return a.tag == b.tag; }),
      list->end());
}

void DropPagingTags(exif::IfdEntryList* list) {
  list->erase(std::remove_if(list->begin(), list->end(),
                             [](const exif::IfdEntry& e) {
                               return e.tag == 254 || e.tag == 297 || e.tag == 317;
                             }),
              list->end());
}

}  // namespace lf::edit
