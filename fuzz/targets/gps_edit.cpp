// SPDX-License-Identifier: MIT
// ReplaceExifGps writing a copy: every edit of it rebuilds the EXIF block.
#include "fuzz/fuzz_target.h"
#include "lumenframe/lumenframe.h"

LF_FUZZ_TARGET(gps_edit, "jpg tif") {
  const std::string extension = lf::fuzz::ExifExtension(data, size);
  const std::string source = lf::fuzz::PutFile("in." + extension, data, size);
  const std::string copy = lf::fuzz::FreshPath("out." + extension);
  uint32_t tags[] = {0x0000, 0x0001, 0x0002, 0x0005, 0x0006};
  LfGpsRecord gps{};
  gps.tagList.data = tags;
  gps.tagList.size = 5;
  gps.latitudeRef[0] = 'N';
  gps.latitude[0] = 48;
  gps.latitude[1] = 1;
  gps.latitude[3] = 1;
  gps.latitude[5] = 1;
  gps.altitude[0] = 35;
  gps.altitude[1] = 1;
  ReplaceExifGps(copy.c_str(), source.c_str(), 90, &gps);
  return 0;
}
