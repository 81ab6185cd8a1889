// SPDX-License-Identifier: MIT
#include "tests/support/corpus_manifest.h"

#include <fstream>
#include <sstream>

#include "tests/support/fixture_builder.h"

namespace lf::test {
namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

std::string Reading(const std::string& field) { return field == "-" ? std::string() : field; }

}  // namespace

std::vector<CorpusFile> LoadCorpusManifest() {
  std::vector<CorpusFile> files;
  const std::string dir = CorpusDir();
  if (dir.empty()) return files;
  std::ifstream in(dir + "/MANIFEST.tsv");
  std::string line;
  // Columns: path category format source_repo source_path size Make Model byte_order
  // has_thumbnail has_gps Orientation DateTimeOriginal (the first line names them).
  if (!std::getline(in, line)) return files;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> f = SplitTabs(line);
    if (f.size() < 13) continue;
    CorpusFile c;
    c.relative = f[0];
    c.path = dir + "/" + f[0];
    c.category = f[1];
    c.format = f[2];
    c.make = Reading(f[6]);
    c.model = Reading(f[7]);
    c.byteOrder = Reading(f[8]);
    c.hasThumbnail = f[9] == "y";
    c.hasGps = f[10] == "y";
    c.orientation = Reading(f[11]);
    c.dateTimeOriginal = Reading(f[12]);
    files.push_back(std::move(c));
  }
  return files;
}

}  // namespace lf::test
