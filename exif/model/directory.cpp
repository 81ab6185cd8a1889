#include "exif/model/directory.h"

#include <algorithm>

namespace lf::exif {

int ScanEntries(ByteView entries, IfdEntry* entry) {
  if (!entry) return 0;
  for (size_t pos = 0; entries.Contains(pos, kEntrySize); pos += kEntrySize) {
    IfdEntry decoded;
    DecodeEntry(entries.span().subspan(pos, kEntrySize), entries.order(), &decoded);
    if (decoded.tag == entry->tag) {
      *entry = decoded;
      return 1;
    }
  }
  return 0;
}

int FilterEntries(ByteView entries, IfdEntryList* list) {
  if (!list) return 0;
  std::vector<uint16_t> wanted;
  wanted.reserve(list->size());
  for (const IfdEntry& e : *list) wanted.push_back(e.tag);
  list->clear();
  int appended = 0;
  for (size_t pos = 0; entries.Contains(pos, kEntrySize); pos += kEntrySize) {
    IfdEntry decoded;
    DecodeEntry(entries.span().subspan(pos, kEntrySize), entries.order(), &decoded);
    if (wanted.empty() || std::find(wanted.begin(), wanted.end(), decoded.tag) != wanted.end()) {
      list->push_back(decoded);
      ++appended;
    }
  }
  return appended;
}

}  // namespace lf::exif
