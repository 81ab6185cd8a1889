// SPDX-License-Identifier: MIT
// The safe rewrite's own cases: the writability probe, refused patches, and destinations reached
// through links or owned by another user. Every step of every writer failed in turn is the
// fault-step suite's (fault_steps_test).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "exif/edit/safe_write.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/scratch_tmpdir.h"

namespace lf::edit {
namespace {

using platform::Service;
using test::Bytes;
using test::ReadFile;
using test::WriteFile;

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

// A stream that writes a fixed header, then the whole image source.
class CopyStream : public ImageFileStream {
 public:
  CopyStream(std::string source, Bytes header)
      : source_(std::move(source)), header_(std::move(header)) {}
  std::string ImageSourcePath() const override { return source_; }
  uint32_t WriteImageFile(platform::File& out, platform::File& in) override {
    uint8_t chunk[700];
    uint64_t copied = 0;
    const bool ok = out.Write(header_.data(), header_.size()) &&
                    out.CopyFrom(in, 0, UINT32_MAX, chunk, sizeof chunk, &copied);
    return ok ? 0 : platform::LastError();
  }

 private:
  std::string source_;
  Bytes header_;
};

class SafeWriteTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ClearFaults(); }
  void TearDown() override { platform::ClearFaults(); }

  void ExpectNoLeftovers(const test::TempDir& dir, size_t expectedFiles) {
    EXPECT_EQ(dir.List().size(), expectedFiles) << ::testing::PrintToString(dir.List());
    EXPECT_TRUE(tmp_.dir().List().empty()) << ::testing::PrintToString(tmp_.dir().List());
  }

  test::TempDir dir_;  // made before $TMPDIR points at the scratch directory
  const test::ScratchTmpdir tmp_;
};

TEST_F(SafeWriteTest, ProbeLeavesNothingAndNamedFilesStandInForUnnamedOnes) {
  EXPECT_EQ(CheckDestinationWritable(dir_.File("a.jpg")), S_OK);
  EXPECT_TRUE(dir_.List().empty());
  // A file system without unnamed files: the probe and the new file of a rewrite get names.
  platform::InjectFault(Service::Create, 1, platform::kErrorNotSupported);
  EXPECT_EQ(CheckDestinationWritable(dir_.File("a.jpg")), S_OK);
  const std::string src = dir_.File("s.jpg");
  WriteFile(src, {1, 2});
  CopyStream stream(src, {9});
  platform::InjectFault(Service::Create, 2, platform::kErrorNotSupported);
  EXPECT_EQ(WriteToFile(stream, dir_.File("a.jpg")), S_OK);
  EXPECT_EQ(ReadFile(dir_.File("a.jpg")), (Bytes{9, 1, 2}));
  ExpectNoLeftovers(dir_, 2);
}

TEST_F(SafeWriteTest, ProbeOfALongDirectoryUsesHexadecimalNames) {
  std::string deep = dir_.path();
  while (deep.size() < 300) deep += "/" + std::string(40, 'd');
  std::filesystem::create_directories(deep);
  WriteFile(deep + "/0", {1});
  EXPECT_EQ(CheckDestinationWritable(deep + "/photo.jpg"), S_OK);
  EXPECT_EQ(std::filesystem::directory_iterator(deep)->path().filename(), "0");
  EXPECT_EQ(ReadFile(deep + "/0"), Bytes{1});
}

TEST_F(SafeWriteTest, APatchOfAMissingFileOrBeyondItsEndIsRefused) {
  const std::string f = dir_.File("p.jpg");
  const Bytes old = Pattern(5000, 1), patch = Pattern(300, 99);
  WriteFile(f, old);
  EXPECT_EQ(PatchFileRange(dir_.File("none.jpg"), 0, patch.data(), 1), E_FAIL);
  EXPECT_EQ(PatchFileRange(f, 4800, patch.data(), 300), HRESULT_FROM_WIN32(13));
  EXPECT_EQ(ReadFile(f), old);
}

TEST_F(SafeWriteTest, AReplacedDestinationKeepsItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the right to give files away";
  const std::string src = dir_.File("s.jpg"), dst = dir_.File("d.jpg");
  WriteFile(src, Pattern(100, 1));
  WriteFile(dst, Pattern(50, 2));
  ASSERT_EQ(::chown(dst.c_str(), 4321, 4322), 0);
  CopyStream stream(src, {9});
  ASSERT_EQ(WriteToFile(stream, dst), S_OK);
  struct stat st {};
  ASSERT_EQ(::stat(dst.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 4322u);
  EXPECT_EQ(ReadFile(dst).size(), 101u);
}

TEST_F(SafeWriteTest, ALinkedDestinationIsReplacedThroughItsLink) {
  const std::string src = dir_.File("s.jpg"), target = dir_.File("t.jpg"),
                    link = dir_.File("l.jpg");
  WriteFile(src, Pattern(100, 1));
  WriteFile(target, Pattern(50, 2));
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  CopyStream stream(src, {9});
  ASSERT_EQ(WriteToFile(stream, link), S_OK);
  EXPECT_EQ(ReadFile(target).size(), 101u);
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  const Bytes patch{7, 7};
  ASSERT_EQ(CopyAndPatch(src, link, 0, patch.data(), patch.size()), S_OK);
  EXPECT_EQ(ReadFile(target)[0], 7);
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace
}  // namespace lf::edit
