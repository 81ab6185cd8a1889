// SPDX-License-Identifier: MIT
#include "exif/model/tag_table.h"

namespace lf::exif {
namespace {

constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const char* tableName, std::string_view name) {
  if (!tableName) return false;
  const std::string_view stored(tableName);
  if (stored.size() != name.size()) return false;
  for (size_t i = 0; i < stored.size(); ++i) {
    if (LowerAscii(stored[i]) != LowerAscii(name[i])) return false;
  }
  return true;
}

const TagInfo* FindByName(uint8_t directories, std::string_view name) {
  for (const TagInfo& row : kTagTable) {
    if ((row.directories & directories) != 0 &&
        (SameName(row.name, name) || SameName(row.alias, name))) {
      return &row;
    }
  }
  return nullptr;
}

}  // namespace

const TagInfo* FindTag(DirectoryId id, uint16_t tag) {
  const uint8_t bit = DirectoryBit(id);
  if (bit == 0) return nullptr;
  for (const TagInfo& row : kTagTable) {
    if (row.tag == tag && (row.directories & bit) != 0) return &row;
  }
  return nullptr;
}

const TagInfo* FindTagByName(std::string_view name) { return FindByName(0xFF, name); }

const TagInfo* FindTagByName(DirectoryId id, std::string_view name) {
  const uint8_t bit = DirectoryBit(id);
  return bit ? FindByName(bit, name) : nullptr;
}

TagRole RoleOf(DirectoryId id, uint16_t tag) {
  const TagInfo* row = FindTag(id, tag);
  return row ? row->role : TagRole::kValue;
}

DirectoryId PointedDirectory(DirectoryId id, uint16_t tag) {
  const TagInfo* row = FindTag(id, tag);
  return row && row->role == TagRole::kDirectoryPointer ? row->target : 0;
}

bool HoldsFollowedOffset(DirectoryId id, uint16_t tag) {
  switch (RoleOf(id, tag)) {
    case TagRole::kDirectoryPointer:
    case TagRole::kStripOffsets:
    case TagRole::kImageDataOffset: return true;
    default: return false;
  }
}

}  // namespace lf::exif
