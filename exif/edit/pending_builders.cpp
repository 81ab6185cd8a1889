// Writer steps whose directory builders are not written yet: each fails, so every caller reports
// E_FAIL and writes nothing. A builder that is implemented leaves this file.
#include "exif/edit/exif_writer.h"

namespace lf::edit {

int ExifWriter::BuildGpsDirectory(const GpsRecord*) { return 0; }

}  // namespace lf::edit
