// SPDX-License-Identifier: MIT
// The toolkit under failing platform calls: each step of a load or of a drawing operation fails in
// turn. (Saving, copying and exporting are the writers' steps, failed by the fault-step suite.)
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/toolkit.h"
#include "platform/errors.h"
#include "tests/imaging/image_files.h"
#include "tests/support/fault_steps.h"

namespace lf::test {
namespace {

using namespace lf::imaging;

constexpr uint32_t kWhite = 0xFFFFFF;

// A distinct colour for every pixel of a small image.
uint32_t Distinct(int row, int column) {
  return uint32_t(column * 30) | uint32_t(row * 40) << 8 | 7u << 16;
}

// A 24-bit bitmap of distinct colours.
void Make(ToolkitBitmap* b, int w, int h) {
  ASSERT_EQ(CreateBitmap(b, w, h, 24), kToolkitSuccess);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) SetPixelColor(b, y, x, Distinct(y, x));
  }
}

// A failed load leaves no pixels, a failed operation the bitmap whole.
TEST(ToolkitFailures, EveryFailedStepIsReportedAndLeaksNothing) {
  TempDir dir;
  ScopedBitmap original;
  Make(original.get(), 7, 5);
  std::vector<std::string> files;
  const std::tuple<const char*, SaveFormat, int> saved[] = {{"a.bmp", SaveFormat::Bmp, 24},
                                                            {"a.png", SaveFormat::Png, 24},
                                                            {"a.tif", SaveFormat::Tiff, 24},
                                                            {"a.gif", SaveFormat::Gif, 8}};
  for (const auto& [name, format, bits] : saved) {
    files.push_back(dir.File(name));
    ASSERT_GT(SaveFile(files.back().c_str(), original.get(), format, bits), 0);
  }
  files.push_back(dir.Put("a.jpg", EncodeJpeg(40, 30, 80)));
  std::unique_ptr<ScopedBitmap> b;
  const auto fresh = [&] {
    b = std::make_unique<ScopedBitmap>();
    Make(b->get(), 9, 8);
  };
  const auto empty = [&] { b = std::make_unique<ScopedBitmap>(); };
  std::vector<std::tuple<std::string, std::function<void()>, std::function<int()>>> operations = {
      {"rotate", fresh, [&] { return Rotate(b->get(), 3000, kWhite); }},
      {"resize", fresh, [&] { return Resize(b->get(), 7, 3); }},
      {"shrink", fresh, [&] { return Resize(b->get(), 2, 2); }},
      {"crop", fresh, [&] { return Crop(b->get(), 1, 1, 3, 3); }},
  };
  for (const std::string& file : files) {
    operations.push_back({"load " + file, empty,
                          [&, file] { return LoadFile(file.c_str(), b->get(), 24, nullptr); }});
  }
  for (const auto& [name, prepare, run] : operations) {
    SCOPED_TRACE(name);
    const bool load = name.rfind("load", 0) == 0;
    const int runs = ForEachFailedStep<int>(
        prepare, run,
        [&](int r) {
          EXPECT_LT(r, 0);
          if (load) {
            EXPECT_EQ((*b)->pixels, nullptr);
          } else if (b) {
            EXPECT_TRUE((*b)->pixels != nullptr && (*b)->width > 0);
          }
        },
        platform::kErrorNotEnoughMemory);
    EXPECT_GT(runs, 0);
  }
}

}  // namespace
}  // namespace lf::test
