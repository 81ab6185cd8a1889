// SPDX-License-Identifier: MIT
#include "tests/support/corpus_manifest.h"

#include <fstream>
#include <sstream>

#include "tests/support/fixture_builder.h"

namespace lf::test {

std::vector<CorpusFile> LoadCorpusManifest() {
  std::vector<CorpusFile> files;
  const std::string dir = CorpusDir();
  std::ifstream in(dir.empty() ? std::string() : dir + "/MANIFEST.tsv");
  // Columns: path category format source_repo source_path size Make Model byte_order
  // has_thumbnail has_gps Orientation DateTimeOriginal, named by the first line; "-" for none.
  std::string line;
  for (std::getline(in, line); std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> f;
    std::istringstream fields(line + "\t");
    for (std::string field; std::getline(fields, field, '\t');)
      f.push_back(field == "-" ? "" : field);
    if (f.size() < 13) continue;
    files.push_back({dir + "/" + f[0], f[0], f[1], f[2], f[6], f[7], f[8], f[9] == "y",
                     f[10] == "y", f[11], f[12]});
  }
  return files;
}

}  // namespace lf::test
