// SPDX-License-Identifier: MIT
// The two edits of a single fact: the Orientation of the main image (and of the thumbnail with
// it), and the capture date DateTimeOriginal.
#pragma once

#include <cstdint>
#include <string>

#include "exif/edit/exif_writer.h"
#include "platform/clock.h"
#include "plugin/result_codes.h"

namespace lf::edit {

// Patches IFD0 and IFD1 Orientation inside the writer's loaded block. Both entries must exist as
// SHORTs of 1..8; false otherwise (the block may then have been patched in IFD0 only, and is not
// written).
[[nodiscard]] bool SetOrientationInBlock(ExifWriter& writer, uint16_t orientation);
// Sets Orientation in IFD0 and IFD1 of an output block copied with its thumbnail, adding the
// entries where they are missing. False when the main image already has this orientation.
[[nodiscard]] bool SetOrientationInOutput(ExifWriter& writer, uint16_t orientation);
// Writes a date text over DateTime (which 0), DateTimeOriginal (16) or DateTimeDigitized (17) and,
// when given, its sub-second text; the texts keep their places and lengths.
[[nodiscard]] bool WriteDateTimeString(ExifWriter& writer, uint32_t image, uint32_t which,
                                       const char* dateText, const char* subSecText);
// Replaces the Exif IFD's 20-byte DateTimeOriginal in the loaded block, keeping its separators.
[[nodiscard]] bool ReplaceDateTimeOriginal(ExifWriter& writer, const ExifDateTime& value);

[[nodiscard]] HRESULT SetOrientation(const std::string& destPath, const std::string& srcPath,
                                     int32_t orientation, int32_t allowRebuild);
[[nodiscard]] HRESULT SetDateTimeOriginal(const std::string& path, const ExifDateTime& value);

}  // namespace lf::edit
