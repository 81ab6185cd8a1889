// SPDX-License-Identifier: MIT
// The safe rewrite: every step of a patch, a copy-and-patch and a streamed rewrite is failed in
// turn through the platform's failure seam, and the destination must afterwards be either the
// complete new file or byte-identical to the old one, with its attributes and nothing left over.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "exif/edit/safe_write.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file.h"
#include "tests/support/fault_steps.h"
#include "tests/support/fixture_builder.h"

namespace lf::edit {
namespace {

using platform::Service;
using test::Bytes;
using test::ReadFile;
using test::WriteFile;

// Empties a scratch directory (read-only files included).
void Empty(const test::TempDir& dir) {
  for (const std::string& name : dir.List()) {
    ::chmod(dir.File(name).c_str(), 0644);
    ::unlink(dir.File(name).c_str());
  }
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool IsReadOnly(const std::string& path) {
  platform::FileAttributes a;
  return platform::GetFileAttributes(path, &a) && (a.flags & platform::kAttributeReadOnly);
}

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

// A stream that writes a fixed header, then the image source from byte `cut` to its end (asking
// for more than there is), then its first `cut` bytes, each range without moving the source's
// position. The kernel copies the blocks of a range that lies in the destination as in the source.
class CopyStream : public ImageFileStream {
 public:
  CopyStream(std::string source, Bytes header, uint64_t cut = 0)
      : source_(std::move(source)), header_(std::move(header)), cut_(cut) {}
  std::string ImageSourcePath() const override { return source_; }
  uint32_t WriteImageFile(platform::File& out, platform::File& in) override {
    uint8_t chunk[700];
    uint64_t copied = 0;
    const bool ok = out.Write(header_.data(), header_.size()) &&
                    out.CopyFrom(in, cut_, UINT32_MAX, chunk, sizeof chunk, &copied) &&
                    out.CopyFrom(in, 0, cut_, chunk, sizeof chunk, &copied);
    return ok ? 0 : platform::LastError();
  }

 private:
  std::string source_;
  Bytes header_;
  uint64_t cut_;
};

class SafeWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    oldTmp_ = old ? old : "";
    hadTmp_ = old != nullptr;
    ::setenv("TMPDIR", tmp_.path().c_str(), 1);
    platform::ClearFaults();
  }
  void TearDown() override {
    platform::ClearFaults();
    if (hadTmp_) ::setenv("TMPDIR", oldTmp_.c_str(), 1); else ::unsetenv("TMPDIR");
  }

  // Fails every step of `op` in turn (each with a fresh scene made by `setup`), the clock included:
  // the temporary names depend on it. Every edit flushes what it wrote, and a flush that fails
  // fails the edit. Returns the number of failed runs.
  int ForEachFault(const std::function<void()>& setup, const std::function<HRESULT()>& op,
                   const std::function<void(HRESULT, Service, bool)>& check, bool sticky,
                   uint32_t error = platform::kErrorWriteFault) {
    int failedFlushes = 0;
    const int runs = test::ForEachFailedStep<HRESULT>(
        setup, op,
        [&](HRESULT r, Service s) {
          if (s == Service::Flush) {
            ++failedFlushes;
            EXPECT_TRUE(Failed(r));
          }
          check(r, s, sticky);
        },
        {.error = error, .sticky = sticky, .failClock = true},
        [](HRESULT clean) { EXPECT_EQ(clean, S_OK); });
    EXPECT_GT(failedFlushes, 0);
    return runs;
  }

  void ExpectNoLeftovers(const test::TempDir& dir, size_t expectedFiles) {
    EXPECT_EQ(dir.List().size(), expectedFiles) << ::testing::PrintToString(dir.List());
    EXPECT_TRUE(tmp_.List().empty()) << ::testing::PrintToString(tmp_.List());
  }

  test::TempDir tmp_;
  test::TempDir dir_;
  std::string oldTmp_;
  bool hadTmp_ = false;
};

TEST_F(SafeWriteTest, ProbeReportsTheCreationErrorAndLeavesNothing) {
  EXPECT_EQ(CheckDestinationWritable(dir_.File("a.jpg")), S_OK);
  EXPECT_TRUE(dir_.List().empty());
  EXPECT_TRUE(Failed(CheckDestinationWritable(dir_.File("missing/a.jpg"))));
  platform::InjectFault(Service::Create, 1, platform::kErrorAccessDenied);
  EXPECT_EQ(CheckDestinationWritable(dir_.File("a.jpg")), HRESULT_FROM_WIN32(5));
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

TEST_F(SafeWriteTest, PatchChangesOnlyTheRangeAndKeepsReadOnly) {
  const std::string f = dir_.File("p.jpg");
  const Bytes old = Pattern(5000, 1);
  Bytes expected = old;
  const Bytes patch = Pattern(300, 99);
  std::copy(patch.begin(), patch.end(), expected.begin() + 1000);
  ForEachFault(
      [&] {
        Empty(dir_);
        WriteFile(f, old);
        ASSERT_TRUE(platform::SetFileReadOnly(f));
      },
      [&] { return PatchFileRange(f, 1000, patch.data(), patch.size()); },
      [&](HRESULT r, Service, bool) {
        const Bytes now = ReadFile(f);
        EXPECT_EQ(now, r == S_OK ? expected : old);
        EXPECT_TRUE(IsReadOnly(f));
        ExpectNoLeftovers(dir_, 1);
      },
      false);
  EXPECT_EQ(PatchFileRange(dir_.File("none.jpg"), 0, patch.data(), 1), E_FAIL);
  const Bytes before = ReadFile(f);
  EXPECT_EQ(PatchFileRange(f, 4800, patch.data(), 300), HRESULT_FROM_WIN32(13));
  EXPECT_EQ(ReadFile(f), before);
}

TEST_F(SafeWriteTest, CopyAndPatchReplacesOrRestoresTheDestination) {
  const std::string src = dir_.File("s.jpg");
  const std::string dst = dir_.File("d.jpg");
  const Bytes source = Pattern(9000, 3);
  const Bytes previous = Pattern(1234, 50);
  const Bytes patch = Pattern(64, 200);
  Bytes expected = source;
  std::copy(patch.begin(), patch.end(), expected.begin() + 20);
  WriteFile(src, source);
  for (bool destExists : {false, true}) {
    SCOPED_TRACE(destExists ? "existing destination" : "new destination");
    for (bool sticky : {false, true}) {
      ForEachFault(
          [&] {
            Empty(dir_);
            WriteFile(src, source);
            if (destExists) {
              WriteFile(dst, previous);
              ::chmod(dst.c_str(), 0640);
            }
          },
          [&] { return CopyAndPatch(src, dst, 20, patch.data(), patch.size()); },
          [&](HRESULT r, Service s, bool st) {
            EXPECT_EQ(ReadFile(src), source);
            if (r == S_OK) {
              EXPECT_EQ(ReadFile(dst), expected);
            } else if (destExists) {
              EXPECT_EQ(ReadFile(dst), previous);
            } else {
              EXPECT_FALSE(platform::FileExists(dst));
            }
            if (destExists) {
              EXPECT_EQ(ModeOf(dst), 0640u);
            }
            if (!(st && s == Service::Delete)) {
              ExpectNoLeftovers(dir_, platform::FileExists(dst) ? 2 : 1);
            }
          },
          sticky);
    }
  }
}

TEST_F(SafeWriteTest, StreamedRewriteOfEveryKindOfDestinationSurvivesEveryFault) {
  const std::string src = dir_.File("s.jpg");
  const std::string other = dir_.File("o.jpg");
  const Bytes source = Pattern(20000, 7);
  const Bytes previous = Pattern(777, 77);
  const Bytes header = Pattern(33, 33);
  constexpr size_t kCut = 4096 + 33;  // the header's length within a block: the kernel copies
  Bytes expected = header;
  expected.insert(expected.end(), source.begin() + kCut, source.end());
  expected.insert(expected.end(), source.begin(), source.begin() + kCut);
  struct Case {
    const char* name;
    bool samePath;
    bool destExists;
    bool readOnly;
    // Every step fails with this error: a kernel that cannot copy between the two files (50)
    // leaves the copy to user space, and the edit succeeds all the same.
    uint32_t error = platform::kErrorWriteFault;
  };
  for (const Case& c :
       {Case{"same file", true, true, false}, Case{"same read-only file", true, true, true},
        Case{"new destination", false, false, false},
        Case{"existing destination", false, true, false},
        Case{"kernel copy refused", false, true, false, platform::kErrorNotSupported}}) {
    SCOPED_TRACE(c.name);
    const std::string dst = c.samePath ? src : other;
    const Bytes old = c.samePath ? source : previous;
    for (bool sticky : {false, true}) {
      ForEachFault(
          [&] {
            Empty(dir_);
            Empty(tmp_);
            WriteFile(src, source);
            if (!c.samePath && c.destExists) WriteFile(dst, previous);
            if (c.readOnly) {
              ASSERT_TRUE(platform::SetFileReadOnly(dst));
            }
          },
          [&] {
            CopyStream stream(src, header, kCut);
            return WriteToFile(stream, dst);
          },
          [&](HRESULT r, Service s, bool st) {
            if (s == Service::CopyRange) {
              EXPECT_EQ(r == S_OK, c.error == platform::kErrorNotSupported);
            }
            if (r == S_OK) {
              EXPECT_EQ(ReadFile(dst), expected);
            } else if (c.destExists) {
              EXPECT_EQ(ReadFile(dst), old);
            } else {
              EXPECT_FALSE(platform::FileExists(dst));
            }
            if (!c.samePath) {
              EXPECT_EQ(ReadFile(src), source);
            }
            EXPECT_EQ(IsReadOnly(dst), c.readOnly && platform::FileExists(dst));
            if (!(st && s == Service::Delete)) {
              ExpectNoLeftovers(dir_, platform::FileExists(other) ? 2 : 1);
            }
          },
          sticky, c.error);
    }
  }
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
  const std::string src = dir_.File("s.jpg"), target = dir_.File("t.jpg"), link = dir_.File("l.jpg");
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
