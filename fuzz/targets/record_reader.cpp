// SPDX-License-Identifier: MIT
// The record reader: a JPEG or TIFF file read into the four directory records.
#include "exif/record/record_reader.h"
#include "fuzz/fuzz_target.h"
#include "lumenframe/lumenframe.h"

LF_FUZZ_TARGET(record_reader, "jpg tif") {
  const std::string path =
      lf::fuzz::PutFile(std::string("in.") + lf::fuzz::ExifExtension(data, size), data, size);
  LfExifRecord list{};
  (void)lf::record::ReadExifRecord(path.c_str(), &list,
                                   LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1);
  LfRecordListFree(&list, 1);
  return 0;
}
