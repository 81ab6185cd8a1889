// SPDX-License-Identifier: MIT
// The maker-note reader and the maker-note exports (GetExif's summaries, the maker-note values),
// over a JPEG or TIFF file.
#include <cstring>

#include "exif/makernote/maker_note_reader.h"
#include "fuzz/fuzz_target.h"
#include "lumenframe/lumenframe.h"

LF_FUZZ_TARGET(maker_note, "jpg tif") {
  const std::string path =
      lf::fuzz::PutFile(std::string("in.") + lf::fuzz::ExifExtension(data, size), data, size);
  const char* p = path.c_str();
  for (bool loadBlock : {false, true}) {
    lf::exif::MakerNoteReader reader(p, loadBlock);
    // Only surviving the input counts here, not the answers.
    (void)reader.ParseMakerNoteHeader();
    const std::string header = reader.GetMakerNoteHeader();
    lf::exif::IfdEntryList all;
    (void)reader.CollectMakerNoteEntries(&all);
    size_t visited = 0;
    for (const lf::exif::IfdEntry& entry : all) {
      if (++visited > 64) break;
      uint8_t value[256];
      reader.ReadMakerNoteValue(entry, value, sizeof value);
      lf::exif::IfdEntry found{entry.tag};
      (void)reader.FindMakerNoteEntry(&found);
    }
    (void)reader.HasPrintImage();
  }

  LfExifSummary exif{};
  LfGpsSummary gps{};
  LfMakerNoteSummary makerNote{};
  GetExif(p, &exif, &gps, &makerNote);
  LfExifSummaryClear(&exif);
  LfGpsSummaryClear(&gps);
  LfMakerNoteSummaryClear(&makerNote);

  LfString header{};
  LfU16List tags{};
  LfU32List values{};
  GetMakerNoteValue(p, &header, &tags, &values);
  uint8_t buffer[64];
  uint32_t bufferSize = sizeof buffer, count = 0;
  uint16_t type = 0;
  GetExifMakerValue(p, header.text ? header.text : "", 0x0001, buffer, &bufferSize, &type, &count);
  LfStringFree(&header);
  LfU16ListFree(&tags);
  LfU32ListFree(&values);
  return 0;
}
