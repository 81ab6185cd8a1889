// The EXIF thumbnail loader waits for the EXIF reader; until then no file has a thumbnail.
#include "imaging/decode.h"

namespace lf::imaging {

int LoadExifThumbnail(const char*, ToolkitBitmap*, int32_t) { return 0; }

}  // namespace lf::imaging
