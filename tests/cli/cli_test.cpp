// SPDX-License-Identifier: MIT
// The command-line tool as a user meets it: command lines run in a scratch folder of fixtures.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/exiftool_dump.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"
#include "tests/support/maker_note_fixtures.h"

namespace lf::test {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The tool run in `dir` with `args`, each quoted for the shell.
ToolRun RunIn(const std::string& dir, const std::vector<std::string>& args) {
  std::string cmd = "cd '" + dir + "' && LUMENFRAME_MODULE='" + ModulePath() +
                    "' ASAN_OPTIONS=detect_leaks=0 '" + CliPath() + "'";
  for (const std::string& a : args) cmd += " '" + a + "'";
  const std::string errFile = dir + "/../stderr.txt";
  cmd += " 2>'" + errFile + "'";
  ToolRun r;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = Slurp(errFile);
  return r;
}

// Every file under `dir` with its bytes, to see that nothing was written.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_symlink() && e.is_regular_file()) files[e.path().string()] = Slurp(e.path());
  }
  return files;
}

// A scratch folder "work" of fixtures (stderr kept beside it), photos in the given order.
struct Scratch {
  TempDir temp;
  std::string dir = temp.File("work");
  explicit Scratch(Order order) {
    fs::create_directories(dir + "/folder/deep");
    fs::create_directories(dir + "/folder/.dot");
    fs::create_directories(dir + "/twin");
    CameraJpegOptions camera;
    camera.order = order;
    const Bytes photo = MakeCameraJpeg(camera);
    camera.thumbnailOrientation = 3;
    const Bytes turnable = MakeCameraJpeg(camera);
    for (const char* name : {"photo.jpg", "twin/photo.jpg", "-dash.jpg", "taken.jpg",
                             "folder/x.jpg", "folder/deep/z.jpg", "folder/.dot/y.jpg"}) {
      WriteFile(dir + "/" + name, photo);
    }
    WriteFile(dir + "/turnable.jpg", turnable);
    WriteFile(dir + "/plain.jpg", StripAppSegments(EncodeJpeg(8, 8)));
    MakerNoteRecipe recipe;
    recipe.note = FullKestrelonNote();
    WriteFile(dir + "/note.jpg", MakeMakerNoteFile(recipe).file);
    fs::create_directory_symlink("..", dir + "/folder/deep/loop");
    // A receiver without a fix writes 0/0 degrees.
    TiffBuilder t(order);
    const int exif = t.AddDirectory(), gps = t.AddDirectory();
    t.Ifd0().Pointer(0x8769, exif).Pointer(0x8825, gps);
    t.Dir(exif).Short(0x9209, {0});
    t.Dir(gps)
        .Rational(0x0002, {{0, 0}, {0, 0}, {0, 0}})
        .Rational(0x0004, {{0, 0}, {0, 0}, {0, 0}});
    WriteFile(dir + "/nofix.jpg",
              JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(EncodeJpeg(8, 8, 75)).Build());
    // A file name that is not UTF-8, alone in its folder.
    fs::create_directories(dir + "/names");
    WriteFile(dir + "/names/bad\xff.jpg", photo);
    // An old modification time, for -P.
    fs::last_write_time(dir + "/photo.jpg", fs::file_time_type(std::chrono::hours(24 * 365 * 20)));
  }
};

struct Row {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string out = "";     // expected in stdout (JSON documents compared in compact form)
  std::string err = "";     // expected in stderr
  std::string absent = "";  // must not be in stdout or stderr
  bool writes = false;      // otherwise the scratch folder must stay as it was
};

// clang-format off
const Row kRows[] = {
    // The command line.
    {"no command", {}, 2, "", "A subcommand is required"},
    {"unknown command", {"nope"}, 2, "", "A subcommand is required"},
    {"version", {"--version"}, 0, "lumenframe 1.0\n"},
    {"help of a command on stdout", {"orient", "--help"}, 0, "Usage: lumenframe orient"},
    {"help wins over the files", {"orient", "photo.jpg", "3", "--help"}, 0, "Usage: lumenframe orient"},
    {"help verb", {"help", "get"}, 0, "Usage: lumenframe get"},
    {"unknown option is a usage error", {"orient", "photo.jpg", "3", "--outptu=o/p.jpg"}, 2, "", "--outptu"},
    {"stray dash argument is a usage error", {"check", "photo.jpg", "-dash.jpg"}, 2, "", "-dash.jpg"},
    {"-- ends the options", {"check", "--", "-dash.jpg"}, 0, "-dash.jpg: kind jpeg"},
    {"options after the command", {"kinds", "--json"}, 0, R"("extensions":["png")"},
    {"typed option out of range", {"encode", "photo.jpg", "-o", "p.png", "--quality", "0"}, 2, "", "--quality"},
    // Reading, text and JSON.
    {"get by name", {"get", "photo.jpg", "exif", "exposuretime"}, 0, "ExposureTime RATIONAL[1] 1/250\n"},
    {"get: rationals as number pairs", {"--json", "get", "photo.jpg", "exif", "0x829A"}, 0, R"("values":[[1,250]])"},
    {"get: SHORT values as numbers", {"--json", "get", "photo.jpg", "ifd0", "Orientation"}, 0, R"("values":[6])"},
    {"get: one result form", {"--json", "get", "photo.jpg", "ifd0", "Make"}, 0, R"("result":{"name":"S_OK","hex":"0x00000000"},"type":"ASCII","count":10,"values":["Kestrelon"])"},
    {"get: a missing value", {"get", "photo.jpg", "ifd0", "0x9999"}, 1, "", "photo.jpg: 0x9999: the value is not there"},
    {"get: an unknown name suggests", {"get", "photo.jpg", "exif", "Exposure"}, 2, "", "did you mean ExposureTime"},
    {"info: dates as EXIF writes them", {"info", "photo.jpg"}, 0, "DateTimeOriginal:  2021:07:14 09:26:53"},
    {"info: a 0/0 position is none", {"info", "nofix.jpg"}, 0, "GPS:               none"},
    {"info JSON", {"--json", "info", "turnable.jpg"}, 0, R"("orientation":{"result":{"name":"S_OK","hex":"0x00000000"},"main":6,"thumbnail":3})"},
    {"info: why not EXIF", {"--json", "info", "plain.jpg"}, 0, R"("notExifBecause":"no Exif IFD")"},
    {"makernote values are always a list", {"--json", "makernote", "note.jpg", "2", "0x0051"}, 0, R"("tag":2,"valueField":12648430,"type":"LONG","count":1,"values":[12648430])"},
    {"records: numbers and pairs", {"--json", "records", "photo.jpg"}, 0, R"("GPSLatitude":[[48,1],[51,1],[2400,100]])"},
    {"records: no EXIF fails", {"records", "plain.jpg"}, 1, "", "plain.jpg: no EXIF data the module accepts"},
    {"file names that are not UTF-8", {"--json", "check", "names"}, 0, "names/bad\xEF\xBF\xBD.jpg"},
    // The same message for a missing file from the reading batch and from the edits.
    {"missing file: check", {"check", "gone.jpg"}, 1, "", "cannot open gone.jpg: No such file or directory"},
    {"missing file: orient", {"orient", "gone.jpg", "1"}, 1, "", "cannot open gone.jpg: No such file or directory"},
    // Walks.
    {"a folder is read one level deep", {"check", "folder"}, 0, "folder/x.jpg", "", "z.jpg"},
    {"-r walks down, past dot-folders and links", {"-r", "check", "folder"}, 0, "folder/deep/z.jpg", "", "y.jpg"},
    {"a dot-folder named is read", {"check", "folder/.dot"}, 0, "folder/.dot/y.jpg"},
    // Writing.
    {"an existing destination is kept", {"orient", "photo.jpg", "1", "-o", "taken.jpg"}, 1, "", "taken.jpg already exists"},
    {"--overwrite replaces it", {"orient", "photo.jpg", "1", "-o", "taken.jpg", "--overwrite", "--rebuild"}, 0, "photo.jpg -> taken.jpg: orientation 1", "", "", true},
    {"-o DIR/ makes the folder", {"orient", "photo.jpg", "1", "-o", "made/", "--rebuild"}, 0, "photo.jpg -> made/photo.jpg", "", "", true},
    {"two inputs, one destination", {"orient", "photo.jpg", "twin/photo.jpg", "1", "-o", "lib/"}, 1, "", "photo.jpg and twin/photo.jpg would both be written to lib/photo.jpg; nothing was written"},
    {"thumb --extract", {"--json", "thumb", "photo.jpg", "--extract", "-o", "t.jpg"}, 0, R"("output":"t.jpg","bytes":)", "", "", true},
    {"date --shift", {"date", "photo.jpg", "--shift", "-1:00:00"}, 0, "DateTimeOriginal 2021:07:14 08:26:53", "", "", true},
    {"date --shift out of range", {"date", "photo.jpg", "--shift", "-800000:00:00:00"}, 2},
    {"one refusal fails a batch", {"orient", "turnable.jpg", "photo.jpg", "5"}, 1, "turnable.jpg: orientation 5", "photo.jpg: refused: ", "", true},
    {"orient: no such orientation", {"orient", "photo.jpg", "9"}, 2},
    {"date: a day that does not exist", {"date", "photo.jpg", "2010:02:30 07:08:09"}, 1, "", "photo.jpg: refused: "},
    {"date: not a date", {"date", "photo.jpg", "yesterday"}, 2},
    {"gps: latitude out of range", {"gps", "photo.jpg", "--lat", "91", "--lon", "0"}, 2},
    {"gps: latitude without longitude", {"gps", "photo.jpg", "--lat", "10"}, 2},
    {"gps: no such time", {"gps", "photo.jpg", "--lat", "10", "--lon", "10", "--time", "25:00:00"}, 2},
    {"thumb needs --regenerate", {"thumb", "photo.jpg"}, 2},
    {"thumb: no EXIF data", {"--json", "thumb", "plain.jpg", "--regenerate"}, 1, "E_NO_EXIF"},
    {"replace-image needs a picture", {"replace-image", "photo.jpg"}, 2},
    {"replace-image: a missing picture", {"replace-image", "photo.jpg", "gone.jpg"}, 1, "", "gone.jpg: "},
    // Every command honours --json.
    {"decode --json", {"--json", "decode", "photo.jpg", "-o", "d.png"}, 0, R"("output":"d.png","width":64,"height":48)", "", "", true},
    {"encode never writes over its input unasked", {"encode", "photo.jpg", "-o", "photo.jpg"}, 1, "", "photo.jpg already exists"},
    {"decode names its format", {"decode", "photo.jpg", "-o", "d.jpg"}, 2, "", "OUT must end in .bmp or .png"},
    {"draw --json", {"--json", "draw", "photo.jpg", "--size", "32x24", "-o", "d.png"}, 0, R"("bits":24)", "", "", true},
    {"sample --json", {"--json", "sample", "s.jpg"}, 0, R"("output":"s.jpg","result":{"name":"S_OK")", "", "", true},
    {"sample keeps an existing file", {"sample", "photo.jpg"}, 1, "", "photo.jpg already exists"},
};
// clang-format on

TEST(Cli, CommandLines) {
  for (const Order order : {Order::Little, Order::Big}) {
    for (const Row& row : kRows) {
      SCOPED_TRACE(std::string(row.name) + (order == Order::Big ? " (big-endian)" : ""));
      const Scratch scratch(order);
      const auto before = Snapshot(scratch.dir);
      const ToolRun r = RunIn(scratch.dir, row.args);
      EXPECT_EQ(r.status, row.status) << r.out << r.err;
      std::string out = r.out;
      if (std::find(row.args.begin(), row.args.end(), "--json") != row.args.end() &&
          row.status != 2) {
        try {
          out = nlohmann::ordered_json::parse(r.out).dump();  // strict: bad UTF-8 throws
        } catch (const nlohmann::json::exception& e) {
          ADD_FAILURE() << e.what() << "\n" << r.out;
        }
      }
      EXPECT_NE(out.find(row.out), std::string::npos) << out;
      EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
      if (!row.absent.empty()) {
        EXPECT_EQ((out + r.err).find(row.absent), std::string::npos);
      }
      if (r.status == 0) {
        EXPECT_EQ(r.err, "");
      }
      if (!row.writes) {
        EXPECT_TRUE(Snapshot(scratch.dir) == before) << "the folder changed";
      }
    }
  }
}

TEST(Cli, PreserveKeepsTheModificationTime) {
  const Scratch scratch(Order::Little);
  const std::string photo = scratch.dir + "/photo.jpg";
  const auto old = fs::last_write_time(photo);
  ASSERT_EQ(RunIn(scratch.dir, {"date", "photo.jpg", "2024:02:29 12:34:56", "-P"}).status, 0);
  EXPECT_EQ(fs::last_write_time(photo), old);
  ASSERT_EQ(RunIn(scratch.dir, {"date", "photo.jpg", "2024:02:29 12:34:57"}).status, 0);
  EXPECT_NE(fs::last_write_time(photo), old);
}

TEST(Cli, ThreadsAnswerInInputOrderAsOneThreadDoes) {
  const Scratch scratch(Order::Big);
  std::vector<std::string> args = {"--json", "-j", "1", "info"};
  for (int i = 0; i < 24; ++i) {
    const std::string name = "many/" + std::to_string(i) + (i % 3 ? ".jpg" : "-plain.jpg");
    fs::create_directories(scratch.dir + "/many");
    fs::copy_file(scratch.dir + (i % 3 ? "/photo.jpg" : "/plain.jpg"), scratch.dir + "/" + name);
    args.push_back(name);
  }
  args.push_back("gone.jpg");
  const ToolRun serial = RunIn(scratch.dir, args);
  args[2] = "4";
  const ToolRun parallel = RunIn(scratch.dir, args);
  EXPECT_EQ(serial.status, 1);
  EXPECT_EQ(parallel.status, serial.status);
  EXPECT_EQ(parallel.out, serial.out);
  EXPECT_EQ(parallel.err, serial.err);
}

// An edit, then the value read back by ExifTool and by the tool's own reader.
struct EditRow {
  std::vector<std::string> edit;
  std::string file;      // the file the edit writes
  std::string exifTool;  // ExifTool's key and value (-n)
  std::string value;
  std::vector<std::string> ours;  // the tool's reading, and what it prints
  std::string oursOut;
};

// clang-format off
const EditRow kEdits[] = {
    {{"orient", "photo.jpg", "8", "-o", "out/", "--rebuild"}, "out/photo.jpg", "IFD0:Orientation", "8",
     {"get", "out/photo.jpg", "ifd0", "Orientation"}, "Orientation SHORT[1] 8\n"},
    {{"gps", "photo.jpg", "--lat", "-33.8568", "--lon", "151.2153", "-o", "g.jpg"}, "g.jpg", "GPS:GPSLatitudeRef", "S",
     {"get", "g.jpg", "gps", "GPSLatitude"}, "GPSLatitude RATIONAL[3] 33/1 51/1 244800/10000\n"},
    {{"gps", "photo.jpg", "--lat", "10", "--lon", "20", "--alt", "-12.5", "-o", "a.jpg"}, "a.jpg", "GPS:GPSAltitudeRef", "1",
     {"get", "a.jpg", "gps", "GPSAltitude"}, "GPSAltitude RATIONAL[1] 1250/100\n"},
    {{"date", "photo.jpg", "2024:02:29 12:34:56"}, "photo.jpg", "ExifIFD:DateTimeOriginal", "2024:02:29 12:34:56",
     {"--json", "info", "photo.jpg"}, R"("value": "2024:02:29 12:34:56")"},
    {{"date", "photo.jpg", "--shift", "1:14:33:07"}, "photo.jpg", "ExifIFD:DateTimeOriginal", "2021:07:16 00:00:00",
     {"get", "photo.jpg", "exif", "DateTimeOriginal"}, "\"2021:07:16 00:00:00\""},
    {{"makernote", "note.jpg", "--set", "0x0001=4", "-o", "n.jpg"}, "n.jpg", "ExifIFD:DateTimeOriginal", "",
     {"makernote", "n.jpg", "1"}, "0x0001 SHORT[1] 4\n"},
};
// clang-format on

TEST(Cli, EditsAreReadBackByExifToolAndByTheTool) {
  if (!ExifToolAvailable()) GTEST_SKIP() << "exiftool is not installed";
  for (const Order order : {Order::Little, Order::Big}) {
    for (const EditRow& row : kEdits) {
      SCOPED_TRACE(row.edit[0] + " " + row.file);
      const Scratch scratch(order);
      ASSERT_EQ(RunIn(scratch.dir, row.edit).status, 0);
      const std::string written = scratch.dir + "/" + row.file;
      const ExifToolDump dump = RunExifTool({written});
      ASSERT_EQ(dump.count(written), 1u) << "ExifTool cannot read " << row.file;
      if (!row.value.empty()) {
        EXPECT_EQ(dump.at(written).at(row.exifTool), row.value);
      }
      const ToolRun ours = RunIn(scratch.dir, row.ours);
      EXPECT_NE(ours.out.find(row.oursOut), std::string::npos) << ours.out;
    }
  }
}

// Every command of the README's example block, in order, in an empty folder.
TEST(Cli, ReadmeExamplesRun) {
  const std::string readme = Slurp(LF_README);
  const size_t section = readme.find("## The command-line tool");
  const size_t start = readme.find("```sh\n", section), end = readme.find("```\n", start + 6);
  ASSERT_NE(section, std::string::npos);
  std::istringstream block(readme.substr(start + 6, end - start - 6));
  std::vector<std::string> commands;
  for (std::string line; std::getline(block, line);) {
    if (!commands.empty() && commands.back().ends_with("\\")) {
      commands.back().pop_back();
      commands.back() += line;
    } else if (line.starts_with("build/lumenframe")) {
      commands.push_back(line);
    }
  }
  ASSERT_GT(commands.size(), 30u);
  TempDir temp;
  fs::create_directories(temp.File("work"));
  for (std::string command : commands) {
    const size_t comment = command.find(" #");
    if (comment != std::string::npos) command.resize(comment);
    command.replace(0, std::string("build/lumenframe").size(), "'" + CliPath() + "'");
    const std::string cmd = "cd '" + temp.File("work") + "' && LUMENFRAME_MODULE='" + ModulePath() +
                            "' ASAN_OPTIONS=detect_leaks=0 " + command + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  }
}

}  // namespace
}  // namespace lf::test
