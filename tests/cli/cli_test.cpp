// The command-line host: loads the module by dlopen; what info, get, check and kinds print, and
// the exit codes (0 done, 1 a file or value failed, 2 usage).
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"
#include "tests/support/maker_note_fixtures.h"

namespace lf::test {
namespace {

// Every argument is quoted for the shell.
CliResult Cli(std::initializer_list<std::string> args, bool withErrors = false) {
  std::string quoted;
  for (const std::string& a : args) quoted.append(" '").append(a).append("'");
  return RunCli(quoted, withErrors);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(Cli, KindsAndUsageErrors) {
  const CliResult r = Cli({"--json", "kinds"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "{\"version\": \"1.0\", \"extensions\": [\"png\", \"tif\", \"tiff\", \"jpeg\", "
                   "\"jpg\", \"jpe\", \"bmp\", \"gif\"]}\n");
  EXPECT_EQ(Cli({}).exitCode, 2);
  EXPECT_EQ(Cli({"no-such-command"}).exitCode, 2);
  EXPECT_EQ(Cli({"check"}).exitCode, 2);
  EXPECT_EQ(Cli({"--help"}).exitCode, 0);
}

TEST(Cli, CheckFailsWhenAnyFileFails) {
  TempDir dir;
  const std::string good = dir.File("good.jpg");
  ASSERT_EQ(Cli({"sample", good}).exitCode, 0);
  const CliResult ok = Cli({"check", good});
  EXPECT_EQ(ok.exitCode, 0) << ok.out;
  EXPECT_TRUE(Has(ok.out, "jpeg stream ok")) << ok.out;

  WriteFile(dir.File("fake.png"), {'G', 'I', 'F', '8'});
  const CliResult bad = Cli({"--json", "check", good, dir.File("fake.png")});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_TRUE(Has(bad.out, "\"signature\": false")) << bad.out;
  EXPECT_TRUE(Has(bad.out, "\"typeName\": \"PNG\"")) << bad.out;

  // A directory is walked for supported files.
  const CliResult walked = Cli({"--json", "check", dir.path()});
  EXPECT_TRUE(Has(walked.out, "good.jpg"));
  EXPECT_TRUE(Has(walked.out, "fake.png"));
}

TEST(Cli, InfoReportsEachFileAndWhyItIsNotExif) {
  TempDir dir;
  CameraJpegOptions camera;
  camera.order = Order::Big;
  camera.orientation = 6;
  camera.thumbnailOrientation = 3;
  WriteFile(dir.File("a.jpg"), MakeCameraJpeg(camera));
  camera.withJfif = true;
  WriteFile(dir.File("b.jpg"), MakeCameraJpeg(camera));
  WriteFile(dir.File("c.jpg"), StripAppSegments(EncodeJpeg(8, 8)));

  const CliResult text = Cli({"info", dir.File("a.jpg")});
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_TRUE(Has(text.out, "orientation:       6 (thumbnail 3)")) << text.out;
  EXPECT_TRUE(Has(text.out, "2021-07-14 09:26:53")) << text.out;
  EXPECT_TRUE(Has(text.out, "\"Kestrelon\"")) << text.out;

  // A directory is walked; every file gets its record.
  const CliResult json = Cli({"--json", "info", dir.path()});
  EXPECT_EQ(json.exitCode, 0);
  EXPECT_TRUE(Has(json.out, "\"notExifBecause\": \"JFIF APP0 segment\"")) << json.out;
  EXPECT_TRUE(Has(json.out, "\"notExifBecause\": \"no Exif IFD\"")) << json.out;
  EXPECT_TRUE(Has(json.out, "\"main\": 6, \"thumbnail\": 3")) << json.out;
  EXPECT_TRUE(Has(json.out, "\"header\": \"Kestrelon\"")) << json.out;

  // A file that cannot be read fails the run.
  EXPECT_EQ(Cli({"info", dir.File("a.jpg"), dir.File("gone.jpg")}).exitCode, 1);
}

TEST(Cli, GetPrintsTypeCountAndValuesOfATagByNumberOrName) {
  TempDir dir;
  WriteFile(dir.File("a.jpg"), MakeCameraJpeg());
  const std::string a = dir.File("a.jpg");
  CliResult r = Cli({"get", a, "gps", "0x0002"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "GPSLatitude RATIONAL[3] 48/1 51/1 2400/100\n");
  r = Cli({"--json", "get", a, "ifd0", "271"});
  EXPECT_TRUE(Has(r.out, "\"type\": \"ASCII\", \"typeCode\": 2, \"count\": 10, \"size\": 10, "
                         "\"values\": \"Kestrelon\"")) << r.out;
  // A name, its number in both notations, and other spellings of the name and directory: the
  // same value, named.
  for (const auto& [directory, tag] : {std::pair<std::string, std::string>{"exif", "ExposureTime"},
                                       {"exif", "0x829A"}, {"exif", "33434"},
                                       {"EXIF", "exposuretime"}, {"Exif", "EXPOSURETIME"}}) {
    r = Cli({"get", a, directory, tag});
    EXPECT_EQ(r.exitCode, 0) << directory << " " << tag;
    EXPECT_EQ(r.out, "ExposureTime RATIONAL[1] 1/250\n") << directory << " " << tag;
  }
  // The name other tools print for a tag is taken too; the table's name is printed.
  r = Cli({"get", a, "ifd1", "ThumbnailLength"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("JPEGInterchangeFormatLength LONG[1] ", 0), 0u) << r.out;
  r = Cli({"--json", "get", a, "gps", "gpslatitude"});
  EXPECT_TRUE(Has(r.out, "\"tag\": 2, \"name\": \"GPSLatitude\", \"result\": \"S_OK\"")) << r.out;
}

TEST(Cli, GetFailuresAndUsageErrors) {
  TempDir dir;
  WriteFile(dir.File("a.jpg"), MakeCameraJpeg());
  const std::string a = dir.File("a.jpg");
  // A value that is not there fails with the module's result named.
  CliResult r = Cli({"get", a, "ifd0", "0x9999"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Has(r.out, "E_FAIL")) << r.out;
  // An unknown directory or name, or a name of another directory, is a usage error that says
  // what to give.
  EXPECT_EQ(Cli({"get", a, "nowhere", "1"}).exitCode, 2);
  EXPECT_EQ(Cli({"get", a, "17", "Make"}).exitCode, 2);
  r = Cli({"get", a, "exif", "Exposure"}, /*withErrors=*/true);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(Has(r.out, "unknown tag name 'Exposure'")) << r.out;
  EXPECT_TRUE(Has(r.out, "ExposureTime")) << r.out;
  r = Cli({"get", a, "ifd0", "ExposureTime"}, /*withErrors=*/true);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(Has(r.out, "ExposureTime is a tag of exif")) << r.out;
}

// ---- encode, info --image, records

TEST(Cli, EncodeConvertsAndInfoAndRecordsDescribe) {
  TempDir dir;
  const std::string photo = dir.Put("photo.jpg", MakeCameraJpeg({.width = 64, .height = 48}));
  const std::string png = dir.File("photo.png"), gif = dir.File("photo.gif");
  EXPECT_EQ(Cli({"encode", photo, "-o", png}).exitCode, 0);
  EXPECT_EQ(Cli({"encode", png, "-o", gif, "--quality", "40"}).exitCode, 0);
  EXPECT_EQ(Cli({"encode", photo, "-o", png, "--quality", "0"}).exitCode, 2);
  EXPECT_EQ(Cli({"encode", photo}).exitCode, 2);
  CliResult r = Cli({"--json", "encode", photo, "-o", dir.File("photo.txt")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Has(r.out, "HRESULT_FROM_TOOLKIT(-0)")) << r.out;

  r = Cli({"--json", "info", "--image", photo, gif});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Has(r.out, R"("image": {"result": "S_OK", "width": 64, "height": 48, "bitsPerPixel": 24, "type": "JPG"})")) << r.out;
  EXPECT_TRUE(Has(r.out, R"("thumbnailImage": {"result": "S_OK", "width": 16, "height": 12)")) << r.out;
  EXPECT_TRUE(Has(r.out, R"("width": 64, "height": 48, "bitsPerPixel": 8, "type": "GIF"})")) << r.out;

  r = Cli({"--json", "records", photo, png});
  EXPECT_EQ(r.exitCode, 1);  // the PNG has no EXIF data
  EXPECT_TRUE(Has(r.out, R"("Make": "Kestrelon")")) << r.out;
  EXPECT_TRUE(Has(r.out, R"("GPSLatitude": "48/1 51/1 2400/100")")) << r.out;
  EXPECT_TRUE(Has(r.out, R"("DateTimeOriginal": "2021:07:14 09:26:53")")) << r.out;
  EXPECT_TRUE(Has(r.out, R"("result": "E_NO_EXIF")")) << r.out;
}

TEST(Cli, ShootingSummaryAndMakerNoteEntries) {
  TempDir dir;
  MakerNoteRecipe recipe;
  recipe.note = FullKestrelonNote();
  const std::string f = dir.Put("a.jpg", MakeMakerNoteFile(recipe).file);
  const CliResult info = Cli({"info", f});
  EXPECT_TRUE(Has(info.out, "1/250 s, f/2.8, ISO 400, 12.8 mm (70 mm in 35 mm film)")) << info.out;
  EXPECT_TRUE(Has(info.out, "48.856667 N, 2.352500 W, altitude -35.5 m")) << info.out;
  EXPECT_TRUE(Has(info.out, "\"Kestrelon\" 0x0001=2 0x0002=12648430")) << info.out;
  const CliResult json = Cli({"--json", "info", f});
  EXPECT_TRUE(Has(json.out, "\"exposureTime\": [1, 250], \"fNumber\": [28, 10], \"iso\": 400")) << json.out;
  EXPECT_TRUE(Has(json.out, "\"0x0051\": \"Lens 18-55\"")) << json.out;
  // A receiver without a fix writes 0/0: no position.
  TiffBuilder t;
  const int exif = t.AddDirectory(), gps = t.AddDirectory();
  t.Ifd0().Pointer(0x8769, exif).Pointer(0x8825, gps);
  t.Dir(exif).Short(0x9209, {0});
  t.Dir(gps).Rational(0x0002, {{0, 0}, {0, 0}, {0, 0}}).Rational(0x0004, {{0, 0}, {0, 0}, {0, 0}});
  const std::string noFix = dir.Put(
      "nofix.jpg", JpegBuilder().Soi().App1Exif(t.Build()).BodyOf(EncodeJpeg(8, 8, 75)).Build());
  EXPECT_TRUE(Has(Cli({"info", noFix}).out, "GPS:               none")) << Cli({"info", noFix}).out;

  const CliResult list = Cli({"makernote", f, "0x0002", "0x0062"});
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_TRUE(Has(list.out, "maker note \"Kestrelon\", 2 entries")) << list.out;
  EXPECT_TRUE(Has(list.out, "0x0062 RATIONAL[2] 5/4 7/8")) << list.out;

  const std::string out = dir.File("b.jpg");
  EXPECT_EQ(Cli({"makernote", f, "--set", "0x0001=4", "-o", out}).exitCode, 0);
  EXPECT_TRUE(Has(Cli({"--json", "makernote", out, "1"}).out, "\"values\": [4]"));
  EXPECT_EQ(Cli({"makernote", f, "--set", "0x0099=4"}).exitCode, 1);  // no such entry
  EXPECT_EQ(Cli({"makernote", f, "--set", "0x0051=4"}).exitCode, 1);  // a text
  EXPECT_EQ(Cli({"makernote", f, "--set", "x"}).exitCode, 2);
}

TEST(Cli, AppendExifCopiesRecordsOfAnotherFile) {
  TempDir dir;
  const std::string from = dir.File("from.jpg"), src = dir.File("src.jpg"), dest = dir.File("dest.jpg");
  ASSERT_EQ(Cli({"sample", from}).exitCode, 0);
  ASSERT_EQ(Cli({"sample", src}).exitCode, 0);
  EXPECT_EQ(Cli({"append-exif", src, dest}).exitCode, 2);
  const CliResult r = Cli({"append-exif", src, dest, "--from", from}, true);
  if (Has(r.out, "E_NOTIMPL")) {
    // Until GetStillImageInfo is built, the records cannot be read: reported, nothing written.
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_TRUE(Has(r.out, "cannot read its EXIF records")) << r.out;
    EXPECT_EQ(dir.List().size(), 2u);
    GTEST_SKIP() << "GetStillImageInfo is not implemented in this build";
  }
  EXPECT_EQ(r.exitCode, 0) << r.out;
  const CliResult info = Cli({"--json", "info", dest});
  EXPECT_EQ(info.exitCode, 0) << info.out;
}

}  // namespace
}  // namespace lf::test
