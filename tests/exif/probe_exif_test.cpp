// IsExifFile as the host sees it: the module loaded with dlopen.
#include <gtest/gtest.h>

#include "plugin/result_codes.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf {
namespace {

using test::Bytes;
using test::CameraJpegOptions;
using test::HostModule;
using test::Order;

TEST(IsExifFile, AnswersForJpegAndTiffFilesOnly) {
  const HostModule& m = HostModule::Get();
  ASSERT_TRUE(m.IsExifFile) << m.error;
  test::TempDir dir;
  uint32_t isExif = 7;

  for (Order order : {Order::Little, Order::Big}) {
    CameraJpegOptions o;
    o.order = order;
    test::WriteFile(dir.File("camera.jpg"), test::MakeCameraJpeg(o));
    isExif = 7;
    EXPECT_EQ(m.IsExifFile(dir.File("camera.jpg").c_str(), &isExif), S_OK);
    EXPECT_EQ(isExif, 1u);
    o.withJfif = true;  // an APP0 makes it a JFIF file, EXIF or not
    test::WriteFile(dir.File("jfif.jpeg"), test::MakeCameraJpeg(o));
    EXPECT_EQ(m.IsExifFile(dir.File("jfif.jpeg").c_str(), &isExif), S_OK);
    EXPECT_EQ(isExif, 0u);
  }

  // The extension decides whether the file is opened at all.
  test::WriteFile(dir.File("camera.png"), test::MakeCameraJpeg());
  isExif = 7;
  EXPECT_EQ(m.IsExifFile(dir.File("camera.png").c_str(), &isExif), S_OK);
  EXPECT_EQ(isExif, 0u);

  // TIFF data in a .tif file is probed like a JPEG's.
  test::TiffBuilder t(Order::Big);
  const int exif = t.AddDirectory();
  t.Ifd0().Short(0x0100, {1}).Short(0x0101, {1}).Pointer(0x8769, exif);
  t.Dir(exif).Short(0xA001, {1});
  test::WriteFile(dir.File("scan.TIF"), t.Build());
  EXPECT_EQ(m.IsExifFile(dir.File("scan.TIF").c_str(), &isExif), S_OK);
  EXPECT_EQ(isExif, 1u);

  // Unreadable or broken files are simply not EXIF files.
  isExif = 7;
  EXPECT_EQ(m.IsExifFile(dir.File("missing.jpg").c_str(), &isExif), S_OK);
  EXPECT_EQ(isExif, 0u);
  test::WriteFile(dir.File("tiny.jpg"), Bytes{0xFF, 0xD8, 0xFF});
  EXPECT_EQ(m.IsExifFile(dir.File("tiny.jpg").c_str(), &isExif), S_OK);
  EXPECT_EQ(isExif, 0u);
  // The argument checks are in exports_test.
}

}  // namespace
}  // namespace lf
