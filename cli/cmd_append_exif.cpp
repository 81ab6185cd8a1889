// lumenframe append-exif SRC.jpg DEST.jpg --from EXIF_SOURCE: writes DEST as a copy of SRC whose
// EXIF segment is enriched from the EXIF records of EXIF_SOURCE. The records are read with
// GetStillImageInfo (IFD0, Exif, GPS and IFD1) and handed to AppendExif: tags SRC lacks are added
// when their values fit inside an entry, small values it has are replaced, DateTime gets the
// current time, and everything else of SRC is kept.
#include <cstdio>
#include <string>

#include "cli/edit_batch.h"
#include "cli/host.h"

namespace lf::cli {
namespace {

constexpr const char* kUsage = "usage: lumenframe append-exif SRC.jpg DEST.jpg --from EXIF_SOURCE\n";
constexpr uint32_t kDirectories = LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1;

// The host owns the records GetStillImageInfo hands out and frees them with the list.
struct OwnedRecords {
  LfExifRecord list{};
  ~OwnedRecords() { LfRecordListFree(&list, 1); }
};

int RunAppendExif(const Module& m, const Options& o) {
  const std::string from = o.Value("--from");
  if (o.args.size() != 2 || from.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitUsage;
  }
  const std::string& src = o.args[0];
  const std::string& dest = o.args[1];
  // Four directory selectors always give a list (IFD0, Exif and GPS records at least).
  OwnedRecords records;
  const LF_RESULT read = m.GetStillImageInfo(from.c_str(), &records.list, kDirectories);
  if (read < 0) {
    if (o.json) {
      std::printf("[\n  {\"file\": %s, \"ok\": false, \"result\": %s, \"resultName\": %s}\n]\n", JsonString(from).c_str(),
                  JsonString(HexResult(read)).c_str(), JsonString(ResultName(read)).c_str());
    } else {
      std::fprintf(stderr, "%s: cannot read its EXIF records: %s (%s)\n", from.c_str(), ResultName(read).c_str(),
                   HexResult(read).c_str());
    }
    return kExitFailure;
  }
  return RunEditBatch({src}, o, "EXIF records of " + from + " appended into " + dest,
                      [&](size_t) { return m.AppendExif(dest.c_str(), src.c_str(), &records.list, 1); });
}

LF_CLI_COMMAND({"append-exif", "SRC.jpg DEST.jpg --from EXIF_SOURCE",
                "copy a JPEG, enriching its EXIF data from another file's records", {"--from"}, RunAppendExif});

}  // namespace
}  // namespace lf::cli
