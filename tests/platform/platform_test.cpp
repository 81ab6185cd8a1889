// SPDX-License-Identifier: MIT
// The platform layer: Windows error numbers, read-only semantics, atomic copies, temporary names,
// memory blocks, the clock and the calendar, and the failure seam.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <regex>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "platform/temp_files.h"
#include "tests/support/fixture_builder.h"

namespace lf::platform {
namespace {

using test::Bytes;

class PlatformTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearFaults(); }
  test::TempDir dir_;
};

TEST(Errors, ErrnoMapsToWin32Numbers) {
  EXPECT_EQ(Win32FromErrno(ENOENT), 2u);
  EXPECT_EQ(Win32FromErrno(EACCES), 5u);
  EXPECT_EQ(Win32FromErrno(ENOMEM), 8u);
  EXPECT_EQ(Win32FromErrno(ENOSPC), 112u);
  EXPECT_EQ(Win32FromErrno(EEXIST), 80u);
  EXPECT_EQ(SetLastErrorFromErrno(EROFS), 5u);
  EXPECT_EQ(LastError(), 5u);
}

TEST_F(PlatformTest, FilesReadWriteSeekAndLength) {
  const std::string path = dir_.File("a.bin");
  {
    File f = File::Open(path, Access::Write, Disposition::CreateNew, Share::DenyWrite);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f.Write("hello world", 11));
    ASSERT_TRUE(f.Close());
  }
  EXPECT_FALSE(File::Open(path, Access::Write, Disposition::CreateNew));
  EXPECT_EQ(LastError(), kErrorFileExists);
  File f = File::Open(path, Access::Read, Disposition::OpenExisting);
  ASSERT_TRUE(f);
  uint64_t length = 0;
  ASSERT_TRUE(f.Length(&length));
  EXPECT_EQ(length, 11u);
  ASSERT_TRUE(f.Seek(6));
  char buf[8] = {};
  size_t got = 0;
  ASSERT_TRUE(f.Read(buf, sizeof buf, &got));
  EXPECT_EQ(got, 5u);
  EXPECT_STREQ(buf, "world");
  EXPECT_FALSE(f.ReadExact(buf, 1));
  EXPECT_EQ(LastError(), kErrorHandleEof);

  EXPECT_FALSE(File::Open(dir_.File("missing"), Access::Read, Disposition::OpenExisting));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(File::Open(dir_.File("no/missing"), Access::Write, Disposition::CreateAlways));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  EXPECT_FALSE(File::Open(dir_.path(), Access::Read, Disposition::OpenExisting));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
}

TEST_F(PlatformTest, ASecondWriterIsRefusedWhileTheFirstDeniesWrite) {
  const std::string path = dir_.File("locked.bin");
  File first = File::Open(path, Access::Write, Disposition::CreateAlways, Share::DenyWrite);
  ASSERT_TRUE(first);
  EXPECT_FALSE(File::Open(path, Access::Write, Disposition::OpenExisting, Share::DenyWrite));
  EXPECT_EQ(LastError(), kErrorSharingViolation);
  EXPECT_TRUE(File::Open(path, Access::Read, Disposition::OpenExisting));
}

// Read-only means no write permission bits, and it holds for root as on Windows.
TEST_F(PlatformTest, ReadOnlyFilesRefuseWritersAndCopiesEvenForRoot) {
  const std::string path = dir_.File("ro.jpg");
  test::WriteFile(path, {1, 2, 3});
  ASSERT_TRUE(SetFileReadOnly(path));
  FileAttributes attrs;
  ASSERT_TRUE(GetFileAttributes(path, &attrs));
  EXPECT_EQ(attrs.flags, kAttributeReadOnly);

  EXPECT_FALSE(File::Open(path, Access::Write, Disposition::OpenExisting));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_FALSE(File::Open(path, Access::ReadWrite, Disposition::CreateAlways));
  EXPECT_EQ(LastError(), kErrorAccessDenied);

  ASSERT_TRUE(SetFileAttributesNormal(path));
  ASSERT_TRUE(GetFileAttributes(path, &attrs));
  EXPECT_EQ(attrs.flags, kAttributeNormal);
  EXPECT_TRUE(File::Open(path, Access::Write, Disposition::OpenExisting));
}

// A folder without write permission takes no new file, temporary or not, for root as for anyone;
// the files already in it stay writable.
TEST_F(PlatformTest, ReadOnlyFoldersRefuseNewFilesEvenForRoot) {
  const std::string folder = dir_.File("locked");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  test::WriteFile(folder + "/kept.jpg", {1});
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  EXPECT_FALSE(File::Open(folder + "/new.jpg", Access::Write, Disposition::CreateAlways));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  std::string temp;
  EXPECT_FALSE(CreateTempFile(folder + "/", "PIC", &temp));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_TRUE(File::Open(folder + "/kept.jpg", Access::Write, Disposition::OpenExisting));
  ::chmod(folder.c_str(), 0755);
}

TEST_F(PlatformTest, AttributesRestoreTheExactMode) {
  const std::string path = dir_.File("mode.jpg");
  test::WriteFile(path, {1});
  ::chmod(path.c_str(), 0640);
  FileAttributes before;
  ASSERT_TRUE(GetFileAttributes(path, &before));
  ASSERT_TRUE(SetFileReadOnly(path));
  ASSERT_TRUE(SetFileAttributes(path, before));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  FileAttributes missing;
  EXPECT_FALSE(GetFileAttributes(dir_.File("none"), &missing));
}

TEST_F(PlatformTest, FaultsHitTheChosenCallAndCanStick) {
  const std::string path = dir_.File("f.bin");
  File f = File::Open(path, Access::Write, Disposition::CreateAlways);
  ASSERT_TRUE(f);
  InjectFault(Service::Write, 2, kErrorDiskFull, /*sticky=*/true);
  EXPECT_TRUE(f.Write("a", 1));
  EXPECT_FALSE(f.Write("b", 1));
  EXPECT_EQ(LastError(), kErrorDiskFull);
  EXPECT_FALSE(f.Write("c", 1));
  ClearFaults();
  EXPECT_TRUE(f.Write("d", 1));
  EXPECT_EQ(CallCount(Service::Write), 1u);

  InjectFault(Service::Open, 1, kErrorAccessDenied);
  EXPECT_FALSE(File::Open(path, Access::Read, Disposition::OpenExisting));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  InjectFault(Service::Allocate, 1, kErrorNotEnoughMemory);
  EXPECT_EQ(HeapAlloc(16), nullptr);
  EXPECT_EQ(LastError(), kErrorNotEnoughMemory);
}

TEST_F(PlatformTest, DeleteExistsAndSameFileByIdentity) {
  const std::string a = dir_.File("a.jpg");
  test::WriteFile(a, {1});
  const std::string link = dir_.File("b.jpg");
  ASSERT_EQ(::link(a.c_str(), link.c_str()), 0);
  EXPECT_TRUE(IsSameFile(a, link));
  EXPECT_TRUE(IsSameFile(a, dir_.path() + "/./a.jpg"));
  EXPECT_FALSE(IsSameFile(a, dir_.File("A.JPG")));
  EXPECT_FALSE(IsSameFile(a, ""));
  EXPECT_TRUE(FileExists(a));
  EXPECT_TRUE(DeleteFile(a));
  EXPECT_FALSE(FileExists(a));
  EXPECT_FALSE(DeleteFile(a));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST_F(PlatformTest, TemporaryNamesHaveThePrefixHexDigitsAndTmp) {
  ASSERT_EQ(::setenv("TMPDIR", dir_.path().c_str(), 1), 0);
  EXPECT_EQ(TempDirectory(), dir_.path() + "/");
  std::string a, b;
  ASSERT_TRUE(CreateTempFile(TempDirectory(), "PIC", &a));
  ASSERT_TRUE(CreateTempFile(TempDirectory(), "PIC", &b));
  EXPECT_NE(a, b);
  const std::regex form(".*/PIC[0-9A-F]{1,4}\\.TMP");
  EXPECT_TRUE(std::regex_match(a, form)) << a;
  EXPECT_TRUE(FileExists(a));
  std::string d;
  ASSERT_TRUE(CreateTempDirectory(TempDirectory(), "LFR", &d));
  EXPECT_EQ(d.back(), '/');
  test::WriteFile(d + "__TMP__.002", {1});
  EXPECT_TRUE(RemoveTempDirectory(d));
  EXPECT_FALSE(FileExists(d));
  EXPECT_FALSE(CreateTempFile(dir_.File("no/such/dir/"), "CHK", &a));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  ::unsetenv("TMPDIR");
  EXPECT_EQ(TempDirectory(), "/tmp/");
  EXPECT_EQ(DirectoryOf("C:\\x\\y.jpg"), "C:\\x\\");
  EXPECT_EQ(DirectoryOf("y.jpg"), "");
}

TEST(Memory, GlobalBlocksAreZeroedAndShareTheHostLayout) {
  GlobalBlock block(GlobalAlloc(100));
  ASSERT_TRUE(block);
  {
    GlobalLockGuard lock(block.get());
    auto* p = static_cast<uint8_t*>(lock.data());
    EXPECT_EQ(lock.size(), 100u);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
    p[99] = 7;
  }
  // The host's own helpers read what the module wrote.
  LF_HGLOBAL h = block.Release();
  EXPECT_EQ(static_cast<uint8_t*>(LfGlobalLock(h))[99], 7);
  EXPECT_EQ(LfGlobalUnlock(h), 0);
  LfGlobalFree(h);

  void* pages = PageAlloc(1 << 20);
  ASSERT_NE(pages, nullptr);
  static_cast<uint8_t*>(pages)[(1 << 20) - 1] = 1;
  PageFree(pages, 1 << 20);
}

TEST(Clock, LocalTimeIsAValidDate) {
  ExifDateTime now {};
  ASSERT_TRUE(LocalTime(&now));
  EXPECT_TRUE(IsValidCalendarDateTime(now));
  EXPECT_GE(now.year, 2020);
}

TEST(Clock, CalendarValidation) {
  EXPECT_TRUE(IsValidCalendarDateTime(2004, 2, 29, 23, 59, 59));
  EXPECT_FALSE(IsValidCalendarDateTime(2005, 2, 29, 0, 0, 0));
  EXPECT_TRUE(IsValidCalendarDateTime(2000, 2, 29, 0, 0, 0));
  EXPECT_FALSE(IsValidCalendarDateTime(1900, 2, 29, 0, 0, 0));
  EXPECT_FALSE(IsValidCalendarDateTime(2005, 13, 1, 10, 0, 0));
  EXPECT_FALSE(IsValidCalendarDateTime(2005, 4, 31, 10, 0, 0));
  EXPECT_FALSE(IsValidCalendarDateTime(2005, 1, 1, 24, 0, 0));
  EXPECT_FALSE(IsValidCalendarDateTime(2005, 1, 1, 0, 60, 0));
  EXPECT_FALSE(IsValidCalendarDateTime(2005, 1, 1, 0, 0, 60));
  EXPECT_FALSE(IsValidCalendarDateTime(0, 0, 0, 0, 0, 0));
  EXPECT_TRUE(IsValidCalendarDateTime(9999, 12, 31, 23, 59, 59));
  EXPECT_FALSE(IsValidCalendarDateTime(10000, 1, 1, 0, 0, 0));
  InjectFault(Service::Time, 1, kErrorInvalidData);
  ExifDateTime t {};
  EXPECT_FALSE(LocalTime(&t));
  ClearFaults();
}

}  // namespace
}  // namespace lf::platform
