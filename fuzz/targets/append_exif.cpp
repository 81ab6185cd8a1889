// SPDX-License-Identifier: MIT
// AppendExif writing a copy: the source's own directory records (read by the record reader, so
// hostile values reach the record writer) written back as a new EXIF segment.
#include "exif/record/record_reader.h"
#include "fuzz/fuzz_target.h"
#include "lumenframe/lumenframe.h"

LF_FUZZ_TARGET(append_exif, "jpg") {
  const std::string source = lf::fuzz::PutFile("in.jpg", data, size);
  const std::string copy = lf::fuzz::FreshPath("out.jpg");
  LfExifRecord records{};
  // An unreadable source leaves the list empty, which AppendExif must take as well.
  (void)lf::record::ReadExifRecord(source.c_str(), &records,
                                   LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1);
  AppendExif(copy.c_str(), source.c_str(), &records, 0);
  LfRecordListFree(&records, 1);
  return 0;
}
