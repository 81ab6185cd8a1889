// SPDX-License-Identifier: MIT
// The export table as a host sees it: every export by name, argument checks before any file.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

TEST(Exports, EveryExportResolvesAndDescribesThePlugin) {
  const HostModule& m = HostModule::Get();
  ASSERT_NE(m.handle, nullptr);
  uint32_t v = 0, n = 0;
  EXPECT_EQ(m.GetPluginVersion(&v), LF_S_OK);
  EXPECT_EQ(v, 0x00010000u);
  EXPECT_EQ(m.GetPluginVersion(nullptr), LF_E_INVALIDARG);
  EXPECT_EQ(m.GetNumOfSupportedExtentions(&n), LF_S_OK);
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(m.GetNumOfSupportedExtentions(nullptr), LF_E_INVALIDARG);

  // Indices 8, -1 and 1000 are refused with the first four bytes cleared.
  const char* expected[] = {"png", "tif", "tiff",         "jpeg",         "jpg",         "jpe",
                            "bmp", "gif", "\0\0\0\0xxxx", "\0\0\0\0xxxx", "\0\0\0\0xxxx"};
  const int indices[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, -1, 1000};
  for (int i = 0; i < 11; ++i) {
    char buf[9] = "xxxxxxxx";
    EXPECT_EQ(m.GetSupportedExtention(indices[i], buf), i < 8 ? LF_S_OK : LF_E_INVALIDARG);
    const size_t compared = i < 8 ? std::strlen(expected[i]) + 1 : 8;
    EXPECT_EQ(std::memcmp(buf, expected[i], compared), 0) << indices[i];
  }
  EXPECT_EQ(m.GetSupportedExtention(0, nullptr), LF_E_INVALIDARG);
}

// The extension rules themselves are GetFileKind's (file_kind_test).
TEST(Exports, IsSupportedLooksAtTheNameOnly) {
  const HostModule& m = HostModule::Get();
  uint32_t s = 7;
  EXPECT_EQ(m.IsSupported("/no/such/file.Tiff", &s), LF_S_OK);
  EXPECT_EQ(s, 1u);
  s = 7;
  EXPECT_EQ(m.IsSupported("a.txt", &s), LF_E_FAIL);
  EXPECT_EQ(s, 0u);
  s = 7;
  EXPECT_EQ(m.IsSupported("", &s), LF_E_INVALIDARG);
  EXPECT_EQ(s, 0u);
  EXPECT_EQ(m.IsSupported(nullptr, &s), LF_E_INVALIDARG);
  EXPECT_EQ(m.IsSupported("a.jpg", nullptr), LF_E_INVALIDARG);
}

TEST(Exports, ArgumentChecksComeFirst) {
  const HostModule& m = HostModule::Get();
  uint32_t u = 5;
  EXPECT_EQ(m.IsExifFile("", &u), LF_E_INVALIDARG);
  EXPECT_EQ(m.IsExifFile(nullptr, &u), LF_E_INVALIDARG);
  EXPECT_EQ(m.IsExifFile("a.jpg", nullptr), LF_E_INVALIDARG);

  LfDeviceContext dc{};
  LF_HGLOBAL image = LfGlobalAlloc(64);
  const LfRect r = {10, 10, 210, 110};
  EXPECT_EQ(m.Draw(nullptr, image, r), LF_E_INVALIDARG);
  EXPECT_EQ(m.Draw(&dc, nullptr, r), LF_E_INVALIDARG);
  EXPECT_EQ(m.Draw(&dc, image, LfRect{10, 10, 10, 110}), LF_E_INVALIDARG);
  EXPECT_EQ(m.Draw(&dc, image, LfRect{10, 10, 20, 9}), LF_E_INVALIDARG);

  const LfRect noCrop = {0, 0, 0, 0};
  EXPECT_EQ(m.DrawImage("", &dc, r, 0, noCrop, 0), LF_E_INVALIDARG);
  EXPECT_EQ(m.DrawImage("a.jpg", nullptr, r, 0, noCrop, 0), LF_E_INVALIDARG);
  EXPECT_EQ(m.DrawImage("a.jpg", &dc, LfRect{0, 0, 0, 5}, 0, noCrop, 0), LF_E_INVALIDARG);
  EXPECT_EQ(m.DrawImage("a.jpg", &dc, r, -36001, noCrop, 0), LF_E_INVALIDARG);
  EXPECT_NE(m.DrawImage("/no/such/a.jpg", &dc, r, 36000, noCrop, 0), LF_E_INVALIDARG);

  EXPECT_EQ(m.Encode(nullptr, "a.jpg", 1, 80, nullptr), LF_E_INVALIDARG);
  EXPECT_EQ(m.Encode(image, "", 1, 80, nullptr), LF_E_INVALIDARG);
  EXPECT_EQ(m.Encode(image, "a.jpg", 0, 80, nullptr), LF_E_INVALIDARG);

  LfExifRecord records{};
  EXPECT_EQ(m.GetStillImageInfo("a.jpg", &records, 0x10), LF_E_INVALIDARG);
  EXPECT_EQ(m.GetStillImageInfo("a.jpg", &records, 0x100000), LF_E_INVALIDARG);
  EXPECT_EQ(m.GetStillImageInfo("a.jpg", &records, 0xFFF0FFF0u), LF_E_INVALIDARG);
  EXPECT_EQ(m.GetStillImageInfo("", &records, 1), LF_E_INVALIDARG);
  EXPECT_EQ(m.GetStillImageInfo("a.jpg", nullptr, 1), LF_E_INVALIDARG);

  LfGlobalFree(image);
}

TEST(Exports, QueriesClearTheirOutputsBeforeWork) {
  const HostModule& m = HostModule::Get();
  EXPECT_EQ(m.GetOrientation("a.jpg", nullptr, nullptr, 1), LF_E_FAIL);
  uint32_t o = 9, t = 9;
  EXPECT_EQ(m.GetOrientation("/no/such/a.txt", &o, &t, 1), LF_E_FAIL);
  EXPECT_EQ(o, 0u);
  EXPECT_EQ(t, 0u);

  EXPECT_EQ(m.GetDateTimeOriginal("a.jpg", nullptr), LF_E_FAIL);
  LfExifDateTime d;
  std::memset(&d, 0xAB, sizeof d);
  EXPECT_EQ(m.GetDateTimeOriginal("/no/such/a.txt", &d), LF_E_FAIL);
  const LfExifDateTime zero{};
  EXPECT_EQ(std::memcmp(&d, &zero, sizeof d), 0);

  char buf[16];
  uint32_t size = sizeof buf;
  uint16_t type = 9;
  uint32_t count = 9;
  EXPECT_EQ(m.GetExifValue(nullptr, 1, 0x112, buf, &size, &type, &count), LF_E_INVALIDARG);
  EXPECT_EQ(m.GetExifValue("a.jpg", 1, 0x112, nullptr, &size, &type, &count), LF_E_INVALIDARG);
  EXPECT_EQ(m.GetExifValue("a.jpg", 1, 0x112, buf, nullptr, &type, &count), LF_E_INVALIDARG);
  uint32_t zeroSize = 0;
  EXPECT_EQ(m.GetExifValue("a.jpg", 1, 0x112, buf, &zeroSize, &type, &count), LF_E_INVALIDARG);
  for (uint32_t dir : {0u, 5u, 17u, 256u, 258u}) {
    EXPECT_EQ(m.GetExifValue("a.jpg", dir, 0x112, buf, &size, &type, &count), LF_E_INVALIDARG)
        << dir;
  }

  char big[32];
  EXPECT_EQ(m.GetExifMakerValue(nullptr, nullptr, 1, big, &size, nullptr, nullptr),
            LF_E_INVALIDARG);
  EXPECT_EQ(m.GetExifMakerValue("a.jpg", nullptr, 1, big, &zeroSize, nullptr, nullptr),
            LF_E_INVALIDARG);
}

TEST(Exports, EditsRefuseUnsupportedSourcesBeforeTouchingFiles) {
  const HostModule& m = HostModule::Get();
  TempDir dir;
  const std::string dest = dir.File("out.jpg");
  // Unsupported sources of SetOrientation and SetDateTimeOriginal: edit_exports_test.
  EXPECT_EQ(m.SetOrientation(dest.c_str(), nullptr, 1, 0), LF_E_FAIL);
  LF_HGLOBAL image = LfGlobalAlloc(64);
  EXPECT_EQ(m.ReplaceThumbImage(dest.c_str(), "a.jpg", image, 0), LF_E_INVALIDARG);
  EXPECT_EQ(m.ReplaceThumbImage(dest.c_str(), "a.jpg", image, 101), LF_E_INVALIDARG);
  EXPECT_EQ(m.ReplaceThumbImage(dest.c_str(), "a.jpg", nullptr, 50), LF_E_INVALIDARG);
  EXPECT_EQ(m.ReplaceThumbImage("", "a.jpg", image, 50), LF_E_INVALIDARG);
  EXPECT_EQ(m.ReplaceThumbImage(dest.c_str(), "a.gif", image, 50), LF_E_FAIL);
  EXPECT_EQ(m.ReplaceExifImage(dest.c_str(), "a.gif", image, 100), LF_E_FAIL);
  EXPECT_EQ(m.ReplaceExifImage(dest.c_str(), "a.jpg", image, 0), LF_E_INVALIDARG);
  EXPECT_EQ(m.ReplaceExifGps(dest.c_str(), "a.jpg", 80, nullptr), LF_E_INVALIDARG);
  EXPECT_EQ(m.AppendExif(dest.c_str(), "a.tif", nullptr, 0), LF_E_FAIL);
  EXPECT_EQ(m.SetMakerNote(dest.c_str(), "a.gif", "Kestrelon", 1, 3, 1, 1), LF_E_FAIL);
  LfGlobalFree(image);
  // None of the refused calls created anything.
  EXPECT_TRUE(dir.List().empty());
}

}  // namespace
}  // namespace lf::test
