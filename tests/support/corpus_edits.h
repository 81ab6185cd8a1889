// SPDX-License-Identifier: MIT
// Edits of every EXIF camera file of the real-world corpus, each on a copy in a scratch directory,
// judged by ExifTool's full dump rather than by our own reader. The harness holds what every such
// test checks: a refused edit leaves the source byte for byte and nothing behind; a successful one
// leaves only the file it was asked to write, keeps a JPEG's compressed image unless the edit
// replaces it, and changes nothing ExifTool sees that the edit does not account for.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/corpus_compare.h"

namespace lf::test {

// One corpus file, copied for one edit.
struct CorpusEditCase {
  const CorpusFile* file = nullptr;
  const ExifToolTags* before = nullptr;  // ExifTool's dump of the original
  const Bytes* original = nullptr;
  std::string name;  // the copy's file name, "file.jpg"
  std::string src;   // the copy, to be edited
  std::string dst;   // "edited.jpg" beside it, for edits to a new path
  std::string where;  // the file's relative path, for messages (the edit adds its result)
};

// What one edit did to its case.
struct CorpusEditOutcome {
  int32_t result = -1;
  std::string path;            // the file the edit wrote: src or dst
  bool skipped = false;        // the edit does not apply to this file; nothing is judged
  bool sourceEdited = false;   // an earlier step of the edit changed the source on purpose
  // The ExifTool keys whose differences the edit accounts for, and further problems of the
  // edited file as ExifTool reads it (optional).
  Explains explained;
  std::function<std::vector<std::string>(const ExifToolTags& after, const Bytes& afterFile)> judge;
  // Keys of either dump left out of the comparison (judged by `judge`, or laid anew).
  std::function<bool(const std::string& key)> apart;
};

struct CorpusEdit {
  std::string name;
  std::function<CorpusEditOutcome(const CorpusEditCase&)> run;
  bool keepsMainScan = true;  // a JPEG's image data from the SOS marker on stays as it was
};

struct CorpusEditTally {
  size_t succeeded = 0, refused = 0;
  std::map<std::string, size_t> refusals;  // result code -> count
  std::string refusedFiles;                // refusals other than E_NO_EXIF, one line each
  // Files the module counts as EXIF files (all but those refused with E_NO_EXIF).
  size_t ExifFiles() const;
};

// Whether the corpus and ExifTool are there; otherwise `why` says what is missing.
bool CorpusEditsPossible(std::string* why);

// Runs every edit on a copy of every EXIF corpus file and judges the results, reporting each fault
// as a test failure. Returns each edit's tally, in the order of `edits`.
std::vector<CorpusEditTally> JudgeCorpusEdits(const std::vector<CorpusEdit>& edits, const char* what);

}  // namespace lf::test

#define LF_SKIP_WITHOUT_CORPUS_EDITS()                                   \
  do {                                                                   \
    std::string lf_why;                                                  \
    if (!::lf::test::CorpusEditsPossible(&lf_why)) GTEST_SKIP() << lf_why; \
  } while (0)
