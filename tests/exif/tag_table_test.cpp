// SPDX-License-Identifier: MIT
// The tag table: its rows are consistent with each other and with the lookups built on them.
#include "exif/model/tag_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <tuple>

namespace lf::exif {
namespace {

constexpr DirectoryId kDirectories[] = {kIfd0, kIfd1, kExifIfd, kGpsIfd, kInteropIfd};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST(TagTable, RowsAreUniqueAndSelfConsistent) {
  std::map<std::pair<DirectoryId, uint16_t>, const char*> byNumber;
  std::map<std::string, const char*> byName;  // names and aliases, folded: one row each
  for (const TagInfo& row : kTagTable) {
    SCOPED_TRACE(row.name);
    ASSERT_NE(row.name, nullptr);
    EXPECT_NE(row.directories, 0);
    EXPECT_NE(row.types, 0);
    for (DirectoryId id : kDirectories) {
      if (!(row.directories & DirectoryBit(id))) continue;
      const auto [at, fresh] = byNumber.emplace(std::make_pair(id, row.tag), row.name);
      EXPECT_TRUE(fresh) << "tag " << row.tag << " of directory " << id << " also in " << at->second;
    }
    for (const char* name : {row.name, row.alias}) {
      if (!name) continue;
      const auto [at, fresh] = byName.emplace(Lower(name), row.name);
      EXPECT_TRUE(fresh) << name << " also names " << at->second;
    }
    // Offsets and lengths are integers; a pointer says where it leads and leaves its own kind.
    switch (row.role) {
      case TagRole::kDirectoryPointer:
        EXPECT_NE(DirectoryBit(row.target), 0);
        EXPECT_EQ(row.directories & DirectoryBit(row.target), 0);
        [[fallthrough]];
      case TagRole::kSubDirectories:
      case TagRole::kImageDataOffset:
      case TagRole::kImageDataLength:
      case TagRole::kStripOffsets:
      case TagRole::kStripByteCounts:
      case TagRole::kTileOffsets:
      case TagRole::kTileByteCounts:
      case TagRole::kFreeOffsets:
      case TagRole::kFreeByteCounts:
        EXPECT_EQ(row.types & ~(TypeBit(kTypeShort) | TypeBit(kTypeLong) | TypeBit(13)), 0);
        break;
      case TagRole::kDateText:
        EXPECT_EQ(row.types, TypeBit(kTypeAscii));
        EXPECT_EQ(row.count, 20u);
        break;
      default:
        break;
    }
    if (row.role != TagRole::kDirectoryPointer) {
      EXPECT_EQ(row.target, 0u);
    }
  }
}

TEST(TagTable, LookupsByNumberAndByNameAgree) {
  for (const TagInfo& row : kTagTable) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(FindTagByName(row.name), &row);
    EXPECT_EQ(FindTagByName(Lower(row.name)), &row);
    if (row.alias) {
      EXPECT_EQ(FindTagByName(Lower(row.alias)), &row);
    }
    for (DirectoryId id : kDirectories) {
      const bool member = row.directories & DirectoryBit(id);
      EXPECT_EQ(FindTagByName(id, row.name), member ? &row : nullptr) << "directory " << id;
      if (member) {
        EXPECT_EQ(FindTag(id, row.tag), &row) << "directory " << id;
        EXPECT_EQ(RoleOf(id, row.tag), row.role);
      } else if (const TagInfo* other = FindTag(id, row.tag)) {
        EXPECT_NE(other, &row);
      }
    }
  }
  EXPECT_EQ(FindTagByName(""), nullptr);
  EXPECT_EQ(FindTagByName("ExposureTim"), nullptr);
  EXPECT_EQ(FindTagByName("ExposureTimeX"), nullptr);
  // The maker-note directory and unknown selectors have no rows.
  EXPECT_EQ(FindTag(kMakerNoteIfd, kTagOrientation), nullptr);
  EXPECT_EQ(FindTagByName(kMakerNoteIfd, "Orientation"), nullptr);
  EXPECT_EQ(FindTag(0, kTagOrientation), nullptr);
  EXPECT_EQ(RoleOf(kIfd0, 0x9999), TagRole::kValue);
}

// The pointers the directory walk follows, and the inline offsets the editor shifts when a block
// moves (its IsInlineOffsetTag rule): exactly these, in exactly these directories.
TEST(TagTable, FollowedOffsetsAreThePointersStripsAndThumbnail) {
  std::set<std::tuple<DirectoryId, uint16_t, DirectoryId>> pointers;
  std::set<std::pair<DirectoryId, uint16_t>> offsets;
  for (DirectoryId id : kDirectories) {
    for (uint32_t tag = 0; tag <= 0xFFFF; ++tag) {
      if (const DirectoryId to = PointedDirectory(id, static_cast<uint16_t>(tag))) {
        pointers.emplace(id, static_cast<uint16_t>(tag), to);
      }
      if (HoldsFollowedOffset(id, static_cast<uint16_t>(tag))) {
        offsets.emplace(id, static_cast<uint16_t>(tag));
      }
    }
  }
  const std::set<std::tuple<DirectoryId, uint16_t, DirectoryId>> expectedPointers{
      {kIfd0, 0x8769, kExifIfd}, {kIfd0, 0x8825, kGpsIfd}, {kExifIfd, 0xA005, kInteropIfd}};
  EXPECT_EQ(pointers, expectedPointers);
  const std::set<std::pair<DirectoryId, uint16_t>> expectedOffsets{
      {kIfd0, 0x0111}, {kIfd0, 0x8769}, {kIfd0, 0x8825}, {kExifIfd, 0xA005},
      {kIfd1, 0x0111}, {kIfd1, 0x0201}};
  EXPECT_EQ(offsets, expectedOffsets);
  EXPECT_TRUE(IsImageDataOffset(kIfd1, 0x0201));
  EXPECT_FALSE(IsImageDataOffset(kIfd0, 0x0201));
}

}  // namespace
}  // namespace lf::exif
