// SPDX-License-Identifier: MIT
// lumenframe append-exif SRC.jpg DEST.jpg --from EXIF_SOURCE: writes DEST as a copy of SRC whose
// EXIF segment is enriched from the EXIF records of EXIF_SOURCE. The records are read with
// GetStillImageInfo (IFD0, Exif, GPS and IFD1) and handed to AppendExif: tags SRC lacks are added
// when their values fit inside an entry, small values it has are replaced, DateTime gets the
// current time, and everything else of SRC is kept.
#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "cli/output_paths.h"

namespace lf::cli {
namespace {

constexpr uint32_t kDirectories = LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1;

// The host owns the records GetStillImageInfo hands out and frees them with the list.
struct OwnedRecords {
  LfExifRecord list{};
  ~OwnedRecords() { LfRecordListFree(&list, 1); }
};

struct AppendArgs {
  std::string src, dest, from;
  WriteOptions write;
};

[[nodiscard]] int Run(const Module& m, const Options& o, const AppendArgs& a) {
  // Four directory selectors always give a list (IFD0, Exif and GPS records at least).
  OwnedRecords records;
  const LF_RESULT read = m.GetStillImageInfo(a.from.c_str(), &records.list, kDirectories);
  return RunBatch(o, {{a.src, {}}}, [&](const std::string& src, size_t) {
    if (read < 0) {
      Outcome out = Outcome::Failed(
          a.from + ": cannot read its EXIF records: " + ResultSentence(read, Action::kRead));
      out.record["result"] = ResultJson(read);
      return out;
    }
    return EditFile(src, a.dest, a.write, "EXIF records of " + a.from + " appended",
                    [&] { return m.AppendExif(a.dest.c_str(), src.c_str(), &records.list, 1); });
  });
}

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<AppendArgs>();
  app.add_option("SRC", a->src, "the JPEG to copy")->required();
  app.add_option("DEST", a->dest, "the copy to write")->required();
  app.add_option("--from", a->from, "the file whose EXIF records are appended")->required();
  app.add_flag("--overwrite", a->write.overwrite, "replace DEST when it exists");
  app.add_flag("-P,--preserve", a->write.keepTime, "give DEST the modification time of SRC");
  return [a](const Module& m, const Options& o) { return Run(m, o, *a); };
}

LF_CLI_COMMAND({"append-exif", "copy a JPEG, enriching its EXIF data from another file's records",
                Declare});

}  // namespace
}  // namespace lf::cli
