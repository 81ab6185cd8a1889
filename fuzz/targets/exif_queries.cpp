// SPDX-License-Identifier: MIT
// The EXIF reader behind the query exports, over a JPEG or TIFF file: the exports as a host calls
// them, then every directory service of a reader reading from the file and from the loaded block.
#include "exif/model/exif_reader.h"
#include "fuzz/fuzz_target.h"
#include "lumenframe/lumenframe.h"

namespace {

using namespace lf::exif;

void ExerciseReader(const char* path, bool loadBlock) {
  ExifReader reader(path, loadBlock);
  for (DirectoryId id : {kIfd0, kExifIfd, kGpsIfd, kInteropIfd, kIfd1}) {
    IfdEntryList all;
    if (reader.CollectEntries(id, &all) <= 0) continue;
    size_t visited = 0;
    for (const IfdEntry& entry : all) {
      if (++visited > 64) break;
      uint8_t value[256];
      reader.ReadEntryValue(entry, value, sizeof value);
    }
  }
  IfdDescriptor descriptor;
  (void)reader.GetDirectoryDescriptor(kIfd1, &descriptor);  // only surviving the input counts
  lf::platform::HeapPtr<uint8_t> thumbnail;
  reader.GetThumbnail(&thumbnail);
}

}  // namespace

LF_FUZZ_TARGET(exif_queries, "jpg tif") {
  const std::string path =
      lf::fuzz::PutFile(std::string("in.") + lf::fuzz::ExifExtension(data, size), data, size);
  const char* p = path.c_str();
  uint32_t flag = 0, orientation = 0, thumbnailOrientation = 0, printImage = 0, exif22 = 0;
  IsExifFile(p, &flag);
  IsExifEx(p, &flag, &printImage, &exif22);
  GetOrientation(p, &orientation, &thumbnailOrientation, 1);
  LfExifDateTime date;
  GetDateTimeOriginal(p, &date);
  static const struct {
    uint32_t directory;
    uint16_t tag;
  } kAsked[] = {{LF_DIR_IFD0, 0x010F},    {LF_DIR_IFD0, 0x011A}, {LF_DIR_EXIF, 0x829A},
                {LF_DIR_EXIF, 0x9003},    {LF_DIR_EXIF, 0x927C}, {LF_DIR_GPS, 0x0002},
                {LF_DIR_INTEROP, 0x0001}, {LF_DIR_IFD1, 0x0201}};
  for (const auto& asked : kAsked) {
    uint8_t buffer[64];
    uint32_t bufferSize = sizeof buffer, count = 0;
    uint16_t type = 0;
    GetExifValue(p, asked.directory, asked.tag, buffer, &bufferSize, &type, &count);
  }
  ExerciseReader(p, false);
  ExerciseReader(p, true);
  return 0;
}
