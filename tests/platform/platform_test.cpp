// SPDX-License-Identifier: MIT
// The platform layer: Windows error numbers, sharing, same-file checks, temporary names, and the
// calendar.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <regex>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/temp_files.h"
#include "tests/support/fixture_builder.h"

namespace lf::platform {
namespace {

// True when a call failed (a false result or a closed file) with the Windows error `error`.
template <typename Result>
bool FailsWith(const Result& result, uint32_t error) {
  return !result && LastError() == error;
}

class PlatformTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(PlatformTest, FilesReadWriteAndRefuseWithWin32Errors) {
  for (auto [err, win32] : {std::pair{ENOENT, 2u}, {EACCES, 5u}, {ENOMEM, 8u}, {ENOSPC, 112u}}) {
    EXPECT_EQ(Win32FromErrno(err), win32) << err;
  }
  EXPECT_TRUE(SetLastErrorFromErrno(EROFS) == 5u && LastError() == 5u);
  const std::string path = dir_.File("a.bin");
  File w = File::Open(path, Access::Write, Disposition::CreateNew, Share::DenyWrite);
  ASSERT_TRUE(w && w.Write("hello world", 11));
  // A second writer is refused while the first denies writing; readers are not.
  EXPECT_TRUE(
      FailsWith(File::Open(path, Access::Write, Disposition::OpenExisting, Share::DenyWrite),
                kErrorSharingViolation));
  ASSERT_TRUE(w.Close());
  File f = File::Open(path, Access::Read, Disposition::OpenExisting);
  uint64_t length = 0;
  char buf[8] = {};
  size_t got = 0;
  ASSERT_TRUE(f && f.Length(&length) && f.Seek(6) && f.Read(buf, sizeof buf, &got));
  EXPECT_EQ(length, 11u);
  EXPECT_STREQ(buf, "world");
  EXPECT_TRUE(FailsWith(f.ReadExact(buf, 1), kErrorHandleEof));
  EXPECT_TRUE(FailsWith(File::Open(path, Access::Write, Disposition::CreateNew), kErrorFileExists));
  EXPECT_TRUE(FailsWith(File::Open(dir_.File("none"), Access::Read, Disposition::OpenExisting),
                        kErrorFileNotFound));
  EXPECT_TRUE(FailsWith(File::Open(dir_.path(), Access::Read, Disposition::OpenExisting),
                        kErrorAccessDenied));
}

TEST_F(PlatformTest, DeleteExistsSameFileAndTemporaryNames) {
  const std::string a = dir_.File("a.jpg"), link = dir_.File("b.jpg");
  test::WriteFile(a, {1});
  ASSERT_EQ(::link(a.c_str(), link.c_str()), 0);
  EXPECT_TRUE(IsSameFile(a, link) && IsSameFile(a, dir_.path() + "/./a.jpg"));
  EXPECT_FALSE(IsSameFile(a, dir_.File("A.JPG")) || IsSameFile(a, ""));
  EXPECT_TRUE(DeleteFile(a) && !FileExists(a));
  EXPECT_TRUE(FailsWith(DeleteFile(a), kErrorFileNotFound));

  ASSERT_EQ(::setenv("TMPDIR", dir_.path().c_str(), 1), 0);
  EXPECT_EQ(TempDirectory(), dir_.path() + "/");
  std::string t1, t2, d;
  ASSERT_TRUE(CreateTempFile(TempDirectory(), "PIC", &t1) &&
              CreateTempFile(TempDirectory(), "PIC", &t2));
  EXPECT_TRUE(t1 != t2 && FileExists(t1) &&
              std::regex_match(t1, std::regex(".*/PIC[0-9A-F]{1,4}\\.TMP")))
      << t1;
  ASSERT_TRUE(CreateTempDirectory(TempDirectory(), "LFR", &d));
  EXPECT_EQ(d.back(), '/');
  test::WriteFile(d + "__TMP__.002", {1});
  EXPECT_TRUE(RemoveTempDirectory(d) && !FileExists(d));
  EXPECT_TRUE(FailsWith(CreateTempFile(dir_.File("no/dir/"), "CHK", &t1), kErrorPathNotFound));
  ::unsetenv("TMPDIR");
  EXPECT_EQ(TempDirectory(), "/tmp/");
  EXPECT_EQ(DirectoryOf("C:\\x\\y.jpg"), "C:\\x\\");
  EXPECT_EQ(DirectoryOf("y.jpg"), "");
}

TEST(Clock, LocalTimeAndCalendarValidation) {
  ExifDateTime now{};
  ASSERT_TRUE(LocalTime(&now));
  EXPECT_TRUE(IsValidCalendarDateTime(now) && now.year >= 2020);
  using T = std::array<uint32_t, 6>;  // year, month, day, hour, minute, second
  for (auto [y, mo, d, h, mi, s] :
       {T{2004, 2, 29, 23, 59, 59}, T{2000, 2, 29, 0, 0, 0}, T{9999, 12, 31, 23, 59, 59}}) {
    EXPECT_TRUE(IsValidCalendarDateTime(y, mo, d, h, mi, s)) << y << mo << d;
  }
  for (auto [y, mo, d, h, mi, s] :
       {T{2005, 2, 29, 0, 0, 0}, T{1900, 2, 29, 0, 0, 0}, T{2005, 13, 1, 10, 0, 0},
        T{2005, 4, 31, 10, 0, 0}, T{2005, 1, 1, 24, 0, 0}, T{2005, 1, 1, 0, 60, 0},
        T{2005, 1, 1, 0, 0, 60}, T{0, 0, 0, 0, 0, 0}, T{10000, 1, 1, 0, 0, 0}}) {
    EXPECT_FALSE(IsValidCalendarDateTime(y, mo, d, h, mi, s)) << y << mo << d << h << mi << s;
  }
}

}  // namespace
}  // namespace lf::platform
