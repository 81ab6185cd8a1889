// SPDX-License-Identifier: MIT
// lumenframe sample OUT.jpg: makes a camera-like photo to try the other commands on, with the
// module's own encoder: a picture drawn here is encoded as a new JPEG whose EXIF block (camera,
// dates, GPS position, a 160 x 120 thumbnail) the module builds, then turned to Orientation 6.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/output_paths.h"

namespace lf::cli {
namespace {

// A packed 24-bit DIB of a sky over a field with a sun: smooth gradients and a sharp edge, so the
// JPEG and its thumbnail look like a photo. Null when memory is short.
LF_HGLOBAL DrawPicture(int width, int height) {
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  LF_HGLOBAL block = LfGlobalAlloc(40 + stride * static_cast<size_t>(height));
  if (!block) return nullptr;
  auto* dib = static_cast<uint8_t*>(LfGlobalLock(block));
  const int32_t header[] = {40, width, height};
  std::memcpy(dib, header, sizeof header);
  dib[12] = 1;   // planes
  dib[14] = 24;  // bits per pixel
  const int horizon = height * 2 / 5, sunX = width * 3 / 4, sunY = height / 5,
            sunR = height / 8 + 1;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = dib + 40 + stride * static_cast<size_t>(height - 1 - y);  // bottom-up
    for (int x = 0; x < width; ++x) {
      const int dx = x - sunX, dy = y - sunY;
      uint8_t r, g, b;
      if (y < horizon && dx * dx + dy * dy <= sunR * sunR) {
        r = 255, g = 236, b = 160;
      } else if (y < horizon) {
        r = static_cast<uint8_t>(90 + 100 * y / horizon),
        g = static_cast<uint8_t>(150 + 80 * y / horizon), b = 250;
      } else {
        r = static_cast<uint8_t>(40 + 60 * x / width),
        g = static_cast<uint8_t>(110 + 90 * (y - horizon) / (height - horizon + 1)), b = 50;
      }
      row[x * 3] = b, row[x * 3 + 1] = g, row[x * 3 + 2] = r;
    }
  }
  LfGlobalUnlock(block);
  return block;
}

// The host owns the records GetStillImageInfo hands out and frees them with the list.
struct OwnedRecords {
  LfExifRecord list{};
  ~OwnedRecords() { LfRecordListFree(&list, 1); }
};

// A maker note of the Kestrelon dialect, in the byte order of the block around it: its text, a
// NUL, two bytes, then a directory of two entries whose values fit in their entries.
std::vector<uint8_t> MakerNote(bool bigEndian) {
  std::vector<uint8_t> note = {'K', 'e', 's', 't', 'r', 'e', 'l', 'o', 'n', 0, 0, 0};
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
      note.push_back(static_cast<uint8_t>(v >> shift));
    }
  };
  put(2, 2);                                                   // entries
  put(0x0001, 2), put(3, 2), put(1, 4), put(7, 2), put(0, 2);  // 0x0001 SHORT 7
  put(0x0002, 2), put(4, 2), put(1, 4), put(250, 4);           // 0x0002 LONG 250
  put(0, 4);                                                   // no next directory
  return note;
}

// Exposure data and a maker note, as a camera writes them: the photo's records read back, the
// Exif record given the values, and the photo encoded again from them.
[[nodiscard]] LF_RESULT AddShootingData(const Module& m, LF_HGLOBAL picture,
                                        const std::string& out) {
  OwnedRecords records;
  LF_RESULT r = m.GetStillImageInfo(out.c_str(), &records.list,
                                    LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1);
  auto* exif = static_cast<LfExifDirRecord*>(LfRecordListFind(&records.list, LF_SEL_EXIF));
  if (r != LF_S_OK || !exif) return r == LF_S_OK ? LF_E_FAIL : r;
  uint8_t order[2] = {};
  if (FILE* f = std::fopen(out.c_str(), "rb")) {  // the TIFF header follows SOI, APP1 and "Exif"
    if (std::fseek(f, 12, SEEK_SET) != 0 || std::fread(order, 1, 2, f) != 2) order[0] = 0;
    std::fclose(f);
  }
  const std::vector<uint8_t> note = MakerNote(order[0] == 'M');
  exif->makerNote.data = static_cast<uint8_t*>(std::malloc(note.size()));
  if (!exif->makerNote.data) return LF_E_OUTOFMEMORY;
  std::memcpy(exif->makerNote.data, note.data(), note.size());
  exif->makerNote.size = exif->makerNote.capacity = static_cast<int32_t>(note.size());
  LfPresenceSet(&exif->presence, 7);
  exif->exposureTime[0] = 1, exif->exposureTime[1] = 250;
  LfPresenceSet(&exif->presence, 14);
  exif->fNumber[0] = 28, exif->fNumber[1] = 10;
  LfPresenceSet(&exif->presence, 15);
  if (!LfU16ListAppend(&exif->isoSpeedRatings, 200)) return LF_E_OUTOFMEMORY;
  LfPresenceSet(&exif->presence, 18);
  exif->focalLength[0] = 50, exif->focalLength[1] = 1;
  LfPresenceSet(&exif->presence, 29);
  return m.Encode(picture, out.c_str(), LF_ENC_JPEG | LF_ENC_WITH_EXIF | LF_ENC_RECORD_GIVEN, 90,
                  &records.list);
}

struct SampleArgs {
  std::string output, size = "640x480";
  bool overwrite = false;
};

Outcome Sample(const Module& m, const SampleArgs& a) {
  const std::string& out = a.output;
  std::error_code ec;
  if (!a.overwrite && std::filesystem::exists(std::filesystem::symlink_status(out, ec))) {
    return Outcome::Failed(out + " already exists; not replaced (give --overwrite to replace it)");
  }
  int width = 640, height = 480;
  std::sscanf(a.size.c_str(), "%dx%d", &width, &height);
  LF_HGLOBAL picture = DrawPicture(width, height);
  if (!picture) return Outcome::Failed(out + ": out of memory");
  LfExifWriteParams params{};
  params.exifVersion = LF_EXIF_VERSION_0210;
  LfStringSet(&params.make, "Kestrelon");
  LfStringSet(&params.model, "KX-100 Sample");
  LfStringSet(&params.software, "lumenframe sample");
  params.dateTimeOriginal = LfExifDateTime{2021, 7, 3, 14, 9, 26, 53, 0};
  // 48° 51' 24" N, 2° 17' 40.2" E, 35 m above sea level.
  uint32_t gpsTags[] = {0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006};
  LfGpsRecord gps{};
  gps.tagList.data = gpsTags;
  gps.tagList.size = sizeof gpsTags / sizeof gpsTags[0];
  gps.latitudeRef[0] = 'N';
  const uint32_t latitude[6] = {48, 1, 51, 1, 2400, 100}, longitude[6] = {2, 1, 17, 1, 4020, 100};
  std::memcpy(gps.latitude, latitude, sizeof latitude);
  gps.longitudeRef[0] = 'E';
  std::memcpy(gps.longitude, longitude, sizeof longitude);
  gps.altitude[0] = 35;
  gps.altitude[1] = 1;
  LfExifWriteParamsPair pair{&params, &gps};
  LF_RESULT r = m.Encode(picture, out.c_str(),
                         LF_ENC_JPEG | LF_ENC_NEW_EXIF_FILE | LF_ENC_PARAMS_PAIR, 90, &pair);
  if (r == LF_S_OK) r = AddShootingData(m, picture, out);
  if (r == LF_S_OK) r = m.SetOrientation(out.c_str(), out.c_str(), 6, 1);
  LfGlobalFree(picture);
  LfStringFree(&params.make);
  LfStringFree(&params.model);
  LfStringFree(&params.software);
  Outcome result;
  result.ok = r == LF_S_OK;
  result.record["output"] = out;
  result.record["result"] = ResultJson(r);
  if (!result.ok) result.error = out + ": " + ResultSentence(r, Action::kWrite);
  result.text =
      "wrote " + out + " (" + std::to_string(width) + "x" + std::to_string(height) + ")\n";
  return result;
}

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<SampleArgs>();
  app.add_option("OUT", a->output, "the photo to write (.jpg)")->required();
  app.add_option("--size", a->size, "WxH, each 1 to 20000")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            int w = 0, h = 0;
            char tail = 0;
            return std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) == 2 && w >= 1 && h >= 1 &&
                           w <= 20000 && h <= 20000
                       ? ""
                       : "--size takes WxH, each 1 to 20000";
          },
          "WxH"));
  app.add_flag("--overwrite", a->overwrite, "replace OUT when it exists");
  return [a](const Module& m, const Options& o) {
    Reporter reporter(o, 1);
    reporter.Add(a->output, Sample(m, *a));
    return reporter.Finish();
  };
}

LF_CLI_COMMAND({"sample", "write a camera-like sample photo", Declare});

}  // namespace
}  // namespace lf::cli
