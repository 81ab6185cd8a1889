// SPDX-License-Identifier: MIT
#include "tests/support/corpus_edits.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "plugin/result_codes.h"
#include "tests/support/edit_fixtures.h"

namespace lf::test {

namespace {

struct Judged {
  size_t edit = 0;
  CorpusEditCase c;
  CorpusEditOutcome outcome;
  std::unique_ptr<TempDir> dir;
};

template <typename Pred>
ExifToolTags Without(const ExifToolTags& tags, const Pred& drop) {
  if (!drop) return tags;
  ExifToolTags kept;
  for (const auto& [key, value] : tags) {
    if (!drop(key)) kept.emplace(key, value);
  }
  return kept;
}

}  // namespace

size_t CorpusEditTally::ExifFiles() const {
  const auto noExif = refusals.find(HexCode(E_NO_EXIF));
  return succeeded + refused - (noExif == refusals.end() ? 0 : noExif->second);
}

bool CorpusEditsPossible(std::string* why) {
  if (CorpusDir().empty()) *why = "corpus not present";
  else if (!ExifToolAvailable()) *why = "exiftool not installed";
  else return true;
  return false;
}

std::vector<CorpusEditTally> JudgeCorpusEdits(const std::vector<CorpusEdit>& edits, const char* what) {
  std::vector<CorpusEditTally> tallies(edits.size());
  const std::vector<CorpusFile> files = ExifCorpusFiles();
  EXPECT_FALSE(files.empty());
  std::vector<std::string> originals;
  for (const CorpusFile& f : files) originals.push_back(f.path);
  std::string error;
  const ExifToolDump before = RunExifTool(originals, {}, &error);
  EXPECT_TRUE(error.empty()) << error;

  std::vector<Bytes> contents(files.size());
  std::vector<Judged> judged;
  for (size_t i = 0; i < files.size(); ++i) {
    const CorpusFile& f = files[i];
    const auto tags = before.find(f.path);
    if (tags == before.end()) {
      ADD_FAILURE() << f.relative << ": ExifTool did not read the original";
      continue;
    }
    contents[i] = ReadFile(f.path);
    for (size_t e = 0; e < edits.size(); ++e) {
      Judged j;
      j.edit = e;
      j.dir = std::make_unique<TempDir>();
      const std::string ext = Extension(f.path);
      j.c = {&f, &tags->second, &contents[i], "file" + ext, j.dir->File("file" + ext), j.dir->File("edited" + ext),
             f.relative};
      WriteFile(j.c.src, contents[i]);
      j.outcome = edits[e].run(j.c);
      const CorpusEditOutcome& o = j.outcome;
      if (o.skipped) continue;
      CorpusEditTally& t = tallies[e];
      const std::string where = f.relative + ", " + edits[e].name + " (result " + HexCode(o.result) + ")";
      if (o.result != S_OK) {
        ++t.refused;
        ++t.refusals[HexCode(o.result)];
        if (o.result != E_NO_EXIF) t.refusedFiles += "\n    " + where;
        if (!o.sourceEdited) {
          EXPECT_TRUE(ReadFile(j.c.src) == contents[i]) << where << ": the refused edit changed the file";
        }
        EXPECT_EQ(j.dir->List(), std::vector<std::string>{j.c.name}) << where << ": the refused edit left files behind";
        // A refusal says the file is not one the module edits, or not this way; anything else
        // (an I/O or memory failure) is a fault.
        EXPECT_TRUE(o.result == E_FAIL || o.result == E_NO_EXIF || o.result == HRESULT_FROM_WIN32(13)) << where;
        continue;
      }
      ++t.succeeded;
      if (o.path != j.c.src) {
        EXPECT_TRUE(ReadFile(j.c.src) == contents[i]) << where << ": the source of the copy changed";
        EXPECT_EQ(j.dir->List(), (std::vector<std::string>{"edited" + ext, j.c.name})) << where << ": files left behind";
      } else {
        EXPECT_EQ(j.dir->List(), std::vector<std::string>{j.c.name}) << where << ": files left behind";
      }
      // ExifTool does not read the compressed image of a JPEG; it must be untouched.
      if (edits[e].keepsMainScan && f.format == "JPEG") {
        EXPECT_TRUE(MainScan(ReadFile(o.path)) == MainScan(contents[i]))
            << where << ": the image data from the SOS marker on changed";
      }
      judged.push_back(std::move(j));
    }
  }

  std::vector<std::string> results;
  for (const Judged& j : judged) results.push_back(j.outcome.path);
  const ExifToolDump after = RunExifTool(results, {}, &error);
  EXPECT_TRUE(error.empty()) << error;
  size_t damaged = 0;
  for (const Judged& j : judged) {
    const std::string where = j.c.where + ", " + edits[j.edit].name;
    const auto a = after.find(j.outcome.path);
    if (a == after.end()) {
      ADD_FAILURE() << where << ": ExifTool cannot read the edited file";
      ++damaged;
      continue;
    }
    const Bytes edited = ReadFile(j.outcome.path);
    std::vector<std::string> problems;
    if (j.outcome.judge) problems = j.outcome.judge(a->second, edited);
    const Explains none = [](const std::string&, const std::string*, const std::string*) { return false; };
    const std::vector<std::string> changes =
        UnexplainedChanges(Without(*j.c.before, j.outcome.apart), *j.c.original, Without(a->second, j.outcome.apart),
                           edited, j.outcome.explained ? j.outcome.explained : none);
    problems.insert(problems.end(), changes.begin(), changes.end());
    if (!problems.empty()) {
      ++damaged;
      std::string list;
      for (const std::string& p : problems) list += "\n    " + p;
      ADD_FAILURE() << where << ": ExifTool sees differences the edit does not account for:" << list;
    }
  }

  std::string summary;
  for (size_t e = 0; e < edits.size(); ++e) {
    const CorpusEditTally& t = tallies[e];
    summary += "\n  " + edits[e].name + ": " + std::to_string(t.succeeded) + " succeeded, " +
               std::to_string(t.refused) + " refused";
    for (const auto& [code, n] : t.refusals) summary += " [" + code + " x" + std::to_string(n) + "]";
  }
  std::printf("%zu files, %zu successful %s judged by ExifTool, %zu with unexplained differences:%s\n", files.size(),
              judged.size(), what, damaged, summary.c_str());
  return tallies;
}

}  // namespace lf::test
