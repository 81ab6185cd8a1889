// Writer steps whose directory builders are not written yet: each fails, so every caller reports
// E_FAIL and writes nothing. A builder that is implemented leaves this file.
#include "exif/edit/exif_writer.h"

namespace lf::edit {

int InitExifWriteParams(ExifWriteParams*) { return 0; }
int ExifWriter::BuildExifBlock(const std::string&, const ExifWriteParams&, const GpsRecord*) { return 0; }
int ExifWriter::AttachThumbnail(const std::string&, const ExifWriteParams&) { return 0; }
int ExifWriter::DropThumbnail(bool) { return 0; }

}  // namespace lf::edit
