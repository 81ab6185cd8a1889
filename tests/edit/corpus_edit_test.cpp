// Real-world files from the corpus, edited as copies in a scratch directory: every edit either
// succeeds with a file that reads back with the new value, the same image data and thumbnail and
// no new validator complaint, or fails and leaves nothing behind.
#include <gtest/gtest.h>

#include "exif/edit/orientation_date.h"
#include "exif/model/exif_reader.h"
#include "tests/support/corpus_manifest.h"
#include "tests/support/edit_fixtures.h"

namespace lf::edit {
namespace {

using test::Bytes;

// A sample of the EXIF-carrying JPEG and TIFF files, spread over the manifest, kept small so the
// suite stays fast.
std::vector<test::CorpusFile> Sample(size_t wanted) {
  std::vector<test::CorpusFile> candidates;
  for (const test::CorpusFile& f : test::LoadCorpusManifest()) {
    if (f.category == "ok" && (f.format == "JPEG" || f.format == "TIFF") && !f.byteOrder.empty()) {
      candidates.push_back(f);
    }
  }
  std::vector<test::CorpusFile> sample;
  const size_t step = candidates.size() > wanted ? candidates.size() / wanted : 1;
  for (size_t i = 0; i < candidates.size() && sample.size() < wanted; i += step) sample.push_back(candidates[i]);
  return sample;
}

uint32_t Orientation(const std::string& path, DirectoryId id) {
  exif::ExifReader r(path.c_str(), true);
  IfdEntry e{exif::kTagOrientation};
  if (r.FindEntry(id, &e) != 1 || e.type != exif::kTypeShort || e.count != 1) return 0;
  return e.value;
}

Bytes Thumbnail(const std::string& path) {
  exif::ExifReader r(path.c_str(), true);
  platform::HeapPtr<uint8_t> data;
  const uint32_t n = r.GetThumbnail(&data);
  return n ? Bytes(data.get(), data.get() + n) : Bytes{};
}


TEST(CorpusEditTest, OrientationEditsOfRealFilesAreSafeAndReadBack) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "corpus not present";
  test::TempDir dir;
  size_t rebuilt = 0, patched = 0, validated = 0;
  for (const test::CorpusFile& f : Sample(24)) {
    SCOPED_TRACE(f.relative);
    const Bytes original = test::ReadFile(f.path);
    const std::string ext = f.format == "JPEG" ? ".jpg" : ".tif";
    const std::string src = dir.File("src" + ext), dst = dir.File("dst" + ext);
    test::WriteFile(src, original);
    const uint32_t before = Orientation(src, exif::kIfd0);
    const uint16_t wanted = static_cast<uint16_t>(before % 8 + 1);

    // The in-place patch: same length, or refused with the file untouched.
    const HRESULT patch = SetOrientation(src, src, wanted, 0);
    if (patch == S_OK) {
      ++patched;
      EXPECT_EQ(test::ReadFile(src).size(), original.size());
      EXPECT_EQ(Orientation(src, exif::kIfd0), wanted);
      test::WriteFile(src, original);
    } else {
      EXPECT_EQ(test::ReadFile(src), original) << std::hex << patch;
    }

    // The rebuild to a new path.
    const HRESULT r = SetOrientation(dst, src, wanted, 1);
    EXPECT_EQ(test::ReadFile(src), original);
    if (r != S_OK) {
      EXPECT_FALSE(platform::FileExists(dst)) << std::hex << r;
      EXPECT_TRUE(r == E_FAIL || r == E_NO_EXIF || r == HRESULT_FROM_WIN32(13)) << std::hex << r;
    } else {
      ++rebuilt;
      EXPECT_EQ(Orientation(dst, exif::kIfd0), wanted);
      EXPECT_EQ(Thumbnail(dst), Thumbnail(src));
      if (f.format == "JPEG") {
        EXPECT_EQ(test::MainScan(test::ReadFile(dst)), test::MainScan(original));
      }
      if (validated < 8) {
        ++validated;
        const auto after = test::ValidationIssues(dst);
        if (!after.count("exiftool missing")) {
          EXPECT_TRUE(test::NewIssues(test::ValidationIssues(src), after).empty())
              << ::testing::PrintToString(after);
        }
      }
      std::remove(dst.c_str());
    }
    EXPECT_EQ(dir.List().size(), 1u) << ::testing::PrintToString(dir.List());
    std::remove(src.c_str());
  }
  EXPECT_GT(rebuilt, 0u);
  RecordProperty("rebuilt", static_cast<int>(rebuilt));
  RecordProperty("patched", static_cast<int>(patched));
}

}  // namespace
}  // namespace lf::edit
