// SetOrientation and SetDateTimeOriginal as the host calls them (the loaded module), and the
// orient and date commands of the command-line tool over a batch of files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/support/edit_fixtures.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

LfExifDateTime Date(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  LfExifDateTime t{};
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return t;
}

TEST(EditExportsTest, OrientationAndDateThroughTheModule) {
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.error.empty()) << m.error;
  TempDir dir;
  const std::string f = dir.File("a.jpg"), copy = dir.File("b.JPG");
  WriteFile(f, MakeCameraFile({.thumbnailOrientation = 0}).file);
  EXPECT_EQ(m.SetOrientation(f.c_str(), f.c_str(), 3, 0), LF_E_FAIL);
  EXPECT_EQ(m.SetOrientation(copy.c_str(), f.c_str(), 3, 1), LF_S_OK);
  uint32_t main = 0, thumb = 0;
  ASSERT_EQ(m.GetOrientation(copy.c_str(), &main, &thumb, 0), LF_S_OK);
  EXPECT_EQ(main, 3u);
  EXPECT_EQ(thumb, 3u);
  // Now both entries exist: a patch in place.
  EXPECT_EQ(m.SetOrientation(copy.c_str(), copy.c_str(), 8, 0), LF_S_OK);
  ASSERT_EQ(m.GetOrientation(copy.c_str(), &main, &thumb, 0), LF_S_OK);
  EXPECT_EQ(thumb, 8u);

  EXPECT_EQ(m.SetDateTimeOriginal(copy.c_str(), Date(2022, 12, 31, 23, 59, 59)), LF_S_OK);
  LfExifDateTime read{};
  ASSERT_EQ(m.GetDateTimeOriginal(copy.c_str(), &read), LF_S_OK);
  EXPECT_EQ(read.year, 2022);
  EXPECT_EQ(read.second, 59);
  EXPECT_EQ(m.SetDateTimeOriginal(copy.c_str(), Date(2022, 4, 31, 0, 0, 0)), LF_E_INVALIDARG);
  EXPECT_EQ(m.SetDateTimeOriginal(dir.File("x.png").c_str(), Date(2022, 4, 1, 0, 0, 0)), LF_E_FAIL);
  EXPECT_EQ(m.SetOrientation(copy.c_str(), dir.File("x.bmp").c_str(), 1, 1), LF_E_FAIL);
}

struct CliRun {
  int status = -1;
  std::string out;
};

CliRun Cli(const std::string& args) {
  const std::string cmd =
      "LUMENFRAME_MODULE='" + ModulePath() + "' '" + CliPath() + "' " + args + " 2>/dev/null";
  CliRun r;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) r.out += buf;
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(EditExportsTest, CommandsEditBatchesAndReportFailures) {
  TempDir dir;
  const std::string a = dir.File("a.jpg"), b = dir.File("b.jpg"), out = dir.File("out");
  WriteFile(a, MakeCameraFile().file);
  WriteFile(b, MakeCameraFile({.order = Order::Big, .thumbnailOrientation = 0}).file);
  // b's thumbnail has no Orientation: without --rebuild the batch fails for it alone.
  CliRun r = Cli("orient '" + a + "' '" + b + "' 5");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("a.jpg: orientation 5"), std::string::npos) << r.out;
  r = Cli("--json orient '" + a + "' '" + b + "' 4 --rebuild");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\"ok\": true"), std::string::npos);
  ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
  r = Cli("orient '" + a + "' 2 -o '" + out + "'");
  EXPECT_EQ(r.status, 0) << r.out;
  struct stat st {};
  EXPECT_EQ(::stat((out + "/a.jpg").c_str(), &st), 0);
  r = Cli("date '" + a + "' '" + b + "' '2010:05:06 07:08:09'");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Cli("date '" + a + "' '2010:02:30 07:08:09'").status, 1);
  EXPECT_EQ(Cli("date '" + a + "' 'yesterday'").status, 2);
  EXPECT_EQ(Cli("orient '" + a + "' 9").status, 2);
  const HostModule& m = HostModule::Get();
  uint32_t main = 0;
  ASSERT_EQ(m.GetOrientation(b.c_str(), &main, nullptr, 0), LF_S_OK);
  EXPECT_EQ(main, 4u);
}

}  // namespace
}  // namespace lf::test
