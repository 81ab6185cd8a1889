// SPDX-License-Identifier: MIT
// ReplaceExifGps: writes the host's GPS data into the GPS IFD of a JPEG or TIFF file (or removes
// the GPS data), through a copy of the file's EXIF block without its thumbnail, the GPS directory
// re-laid or laid anew, and the source's own IFD1 and thumbnail laid again behind the block.
#pragma once

#include <cstdint>
#include <string>

#include "exif/edit/exif_writer.h"
#include "exif/edit/gps_record.h"
#include "plugin/result_codes.h"

namespace lf::edit {

// Merges the record into the GPS IFD of the output block, or with an empty tag list removes every
// GPS entry, the GPS IFD and IFD0's GPSInfo. Sets the record's GPSVersionID from the Exif version
// ("0210" → 2.0.0.0, "0220"/"0221" → 2.2.0.0). 1 on success, 0 on failure (the block is then not
// written).
[[nodiscard]] int ReplaceGpsInOutput(ExifWriter& writer, GpsRecordView& record);

// Lays the source's IFD1 and its thumbnail (a JPEG stream, or the strips of a TIFF) again behind
// a block copied without them: kRestored, kNone when the source has no IFD1 or the block already
// has one, kCannotCarry when the source's IFD1 cannot be carried whole (a directory or thumbnail
// outside the EXIF block, an uncompressed thumbnail of a JPEG, values of types the editor cannot
// move, sub-directory pointers). Callers refuse the edit on kCannotCarry: the thumbnail would
// otherwise be lost. An IFD1 without image data is laid again as well, so the Interop IFD that
// goes with it is never taken away.
enum class ThumbnailRestore { kCannotCarry = -1, kNone = 0, kRestored = 1 };
[[nodiscard]] ThumbnailRestore RestoreSourceThumbnail(ExifWriter& writer);

// Whether a TIFF's EXIF block holds every value its directories name, so a file rewritten from the
// block and the main-image strips loses nothing. True for any other source.
[[nodiscard]] bool TiffRewriteKeepsEverything(ExifWriter& writer);

[[nodiscard]] HRESULT ReplaceExifGps(const std::string& destPath, const std::string& srcPath,
                                     int32_t quality, GpsRecord* record);

}  // namespace lf::edit
