// SPDX-License-Identifier: MIT
// The shooting summary of `lumenframe info`: what GetExif delivers (exposure, aperture, ISO,
// focal length, flash, the GPS position and the maker note's camera settings), read once and kept
// as plain values so that the record can be printed as text or JSON.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cli/host.h"
#include "cli/messages.h"

namespace lf::cli {

struct ShootingSummary {
  LF_RESULT result = LF_E_FAIL;
  bool hasExposure = false, hasFNumber = false, hasIso = false, hasFocal = false;
  bool hasFocal35 = false, hasFlash = false, hasGps = false, hasAltitude = false;
  uint32_t exposure[2] = {}, fNumber[2] = {}, focal[2] = {};
  uint16_t iso = 0, focal35 = 0, flash = 0;
  double latitude = 0, longitude = 0, altitude = 0;  // degrees (south and west negative), metres
  std::string makerNoteHeader;
  // The maker note's delivered settings in directory order: tag and its value.
  std::vector<std::pair<uint16_t, Json>> makerValues;
};

ShootingSummary ReadShootingSummary(const Module& m, const std::string& path);
// Lines of `info`'s text output, each starting with two blanks.
std::string ShootingText(const ShootingSummary& s);
Json ShootingJson(const ShootingSummary& s);
// A date as EXIF writes it: "2021:07:14 09:26:53".
std::string ExifDateText(const LfExifDateTime& t);

}  // namespace lf::cli
