// SPDX-License-Identifier: MIT
// The tag table: one row per (directory, tag) and per name, so every lookup has one answer.
#include "exif/model/tag_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

namespace lf::exif {
namespace {

constexpr DirectoryId kDirectories[] = {kIfd0, kIfd1, kExifIfd, kGpsIfd, kInteropIfd};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST(TagTable, RowsAreUniqueAndLookupsFindThem) {
  std::map<std::string, const char*> byName;  // names and aliases, folded
  for (const TagInfo& row : kTagTable) {
    SCOPED_TRACE(row.name);
    for (const char* name : {row.name, row.alias}) {
      if (!name) continue;
      const auto [at, fresh] = byName.emplace(Lower(name), row.name);
      EXPECT_TRUE(fresh) << name << " also names " << at->second;
      EXPECT_EQ(FindTagByName(Lower(name)), &row);
    }
    for (DirectoryId id : kDirectories) {
      const bool member = row.directories & DirectoryBit(id);
      EXPECT_EQ(FindTagByName(id, row.name), member ? &row : nullptr) << "directory " << id;
      if (member) {
        EXPECT_EQ(FindTag(id, row.tag), &row) << "directory " << id;  // no earlier duplicate
      }
    }
  }
  EXPECT_EQ(FindTagByName("ExposureTim"), nullptr);
  EXPECT_EQ(FindTagByName("ExposureTimeX"), nullptr);
  EXPECT_EQ(FindTag(kMakerNoteIfd, kTagOrientation), nullptr);
  EXPECT_EQ(RoleOf(kIfd0, 0x9999), TagRole::kValue);
}

}  // namespace
}  // namespace lf::exif
