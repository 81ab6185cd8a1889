// The command-line host: loads the module by dlopen and follows the usual exit-code conventions.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

struct CliRun {
  int exitCode = -1;
  std::string out;
};

CliRun RunCli(const std::string& args) {
  CliRun r;
  const std::string cmd = "LUMENFRAME_MODULE='" + ModulePath() + "' '" + CliPath() + "' " + args + " 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(Cli, KindsListsTheEightExtensions) {
  const CliRun r = RunCli("--json kinds");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "{\"version\": \"1.0\", \"extensions\": [\"png\", \"tif\", \"tiff\", \"jpeg\", \"jpg\", \"jpe\", \"bmp\", \"gif\"]}\n");
}

TEST(Cli, CheckFailsWhenAnyFileFails) {
  TempDir dir;
  const std::string good = dir.File("good.jpg");
  ASSERT_EQ(RunCli("sample '" + good + "'").exitCode, 0);
  const CliRun ok = RunCli("check '" + good + "'");
  EXPECT_EQ(ok.exitCode, 0) << ok.out;
  EXPECT_NE(ok.out.find("jpeg stream ok"), std::string::npos) << ok.out;

  WriteFile(dir.File("fake.png"), {'G', 'I', 'F', '8'});
  const CliRun bad = RunCli("--json check '" + good + "' '" + dir.File("fake.png") + "'");
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.out.find("\"signature\": false"), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("\"typeName\": \"PNG\""), std::string::npos) << bad.out;

  // A directory is walked for supported files.
  const CliRun walked = RunCli("--json check '" + dir.path() + "'");
  EXPECT_NE(walked.out.find("good.jpg"), std::string::npos);
  EXPECT_NE(walked.out.find("fake.png"), std::string::npos);
}

TEST(Cli, UsageErrorsExitWithTwo) {
  EXPECT_EQ(RunCli("").exitCode, 2);
  EXPECT_EQ(RunCli("no-such-command").exitCode, 2);
  EXPECT_EQ(RunCli("check").exitCode, 2);
  EXPECT_EQ(RunCli("--help").exitCode, 0);
}

}  // namespace
}  // namespace lf::test
