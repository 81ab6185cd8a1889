// SPDX-License-Identifier: MIT
// Hostile shapes cost work bounded by the file size, hostile lengths a constant of memory.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "exif/model/jpeg_segments.h"
#include "exif/record/record_reader.h"
#include "lumenframe/lumenframe.h"
#include "platform/faults.h"
#include "plugin/operations.h"
#include "tests/imaging/image_files.h"
#include "tests/support/fixture_builder.h"

namespace lf {
namespace {

using test::Bytes;
using test::Order;

// A TIFF structure with IFD0 and an Exif IFD, then given its shape.
Bytes Tiff(Order order, const std::function<void(test::TiffBuilder&)>& shape) {
  test::TiffBuilder b(order);
  const int exif = b.AddDirectory();
  b.Ifd0().Short(0x0112, {6}).Pointer(0x8769, exif);
  b.Dir(exif).Ascii(0x9003, "2021:07:14 09:26:53");
  shape(b);
  return b.Build();
}

// The EXIF segment, then `emptySegments` segments of no content, then a real image.
Bytes InJpeg(const Bytes& tiff, int emptySegments = 0) {
  test::JpegBuilder j;
  j.Soi().App1Exif(tiff);
  for (int i = 0; i < emptySegments; ++i) j.App(2, {});
  return j.BodyOf(test::EncodeJpeg(16, 16)).Build();
}

struct Shape {
  const char* name;
  std::function<Bytes(Order)> make;
  uint32_t segments = 4;  // JPEG segments in the file
};

const Shape kShapes[] = {
    {"150000 empty segments between the EXIF segment and the image",
     [](Order o) { return InJpeg(Tiff(o, [](test::TiffBuilder&) {}), 150000); }, 150000},
    {"IFD0 and IFD1 linked in a cycle, the Exif IFD pointing at IFD0",
     [](Order o) {
       return InJpeg(Tiff(o, [](test::TiffBuilder& b) {
         const int ifd1 = b.AddDirectory();
         b.Ifd0().Next(ifd1);
         b.Dir(ifd1).Short(0x0112, {1}).Next(0);
         b.Dir(1).Pointer(0xA005, 0).Pointer(0x8769, 0);
       }));
     }},
    {"5000 entries whose values claim four billion items",
     [](Order o) {
       return InJpeg(Tiff(o, [](test::TiffBuilder& b) {
         for (uint16_t t = 0; t < 5000; ++t)
           b.Ifd0().RawEntry(static_cast<uint16_t>(0x9000 + t), test::kLong, 0xFFFFFFFF, 8);
         b.Dir(1).RawEntry(0x927C, test::kUndefined, 0xFFFFFFF0, 8);
       }));
     }},
    {"a maker note declaring 65535 entries",
     [](Order o) {
       return InJpeg(Tiff(o, [](test::TiffBuilder& b) {
         b.Dir(1).Undefined(0x927C, {'K', 'e', 's', 't', 0, 0, 0, 0xFF, 0xFF, 1, 2, 3, 4});
       }));
     }},
};

// File-layer calls of one operation (its answer does not matter here).
uint32_t FileCalls(const std::function<HRESULT()>& operation) {
  platform::ClearFaults();
  [[maybe_unused]] const HRESULT answer = operation();
  uint32_t calls = 0;
  for (auto s : {platform::Service::Open, platform::Service::Read, platform::Service::Seek}) {
    calls += platform::CallCount(s);
  }
  return calls;
}

TEST(ResourceLimits, HostileShapesCostWorkBoundedByTheFileSize) {
  test::TempDir dir;
  for (const Shape& shape : kShapes) {
    for (Order order : {Order::Little, Order::Big}) {
      const Bytes bytes = shape.make(order);
      const std::string source = dir.Put("shape.jpg", bytes);
      const char* s = source.c_str();
      const std::string copy = dir.File("copy.jpg");
      // A few reads per 4 KiB of file plus a constant; a segment walk stops at the segment cap.
      const uint32_t bound = 64 + 8 * static_cast<uint32_t>(bytes.size() / 4096) +
                             3 * std::min(shape.segments, exif::kMaxJpegSegments);
      uint32_t a, b, c;
      uint8_t buffer[256];
      uint16_t type;
      const std::pair<const char*, std::function<HRESULT()>> calls[] = {
          {"GetOrientation", [&] { return ops::GetOrientation(s, &a, &b, 1); }},
          {"GetExifValue",
           [&] {
             uint32_t size = sizeof buffer;
             return ops::GetExifValue(s, LF_DIR_IFD0, 0x9FFF, buffer, &size, &type, &c);
           }},
          {"IsExifEx", [&] { return ops::IsExifEx(s, &a, &b, &c); }},
          {"SetOrientation", [&] { return ops::SetOrientation(copy.c_str(), s, 3, 1); }},
          {"ReadExifRecord",
           [&] {
             LfExifRecord list{};
             const HRESULT r = record::ReadExifRecord(s, &list, 0x000F0000u);
             LfRecordListFree(&list, 1);
             return r;
           }},
          {"Decode thumbnail",
           [&] {
             LfGlobalFree(ops::Decode(s, 1));
             return S_OK;
           }},
      };
      for (const auto& [name, call] : calls) {
        EXPECT_LE(FileCalls(call), bound) << shape.name << ", " << name;
      }
    }
  }
  platform::ClearFaults();
}

// VmPeak or VmSize of this process, in KiB.
uint64_t AddressSpaceKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stoull(line.substr(std::strlen(field) + 1));
  }
  return 0;
}

// Growth of the address-space peak (MiB) while `operation` runs in a child whose gap is reserved.
int PeakGrowthMib(const std::function<HRESULT()>& operation) {
  const pid_t child = fork();
  if (child == 0) {
    const uint64_t gap = AddressSpaceKib("VmPeak:") - AddressSpaceKib("VmSize:");
    if (gap > 0)
      mmap(nullptr, gap * 1024, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    const uint64_t before = AddressSpaceKib("VmPeak:");
    [[maybe_unused]] const HRESULT answer = operation();
    _exit(static_cast<int>(std::min<uint64_t>((AddressSpaceKib("VmPeak:") - before) / 1024, 250)));
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 255;
  return WEXITSTATUS(status);
}

struct HostileLength {
  const char* name;
  const char* file;  // the extension chooses the codec
  std::function<Bytes(Order)> make;
};

// One small picture per codec whose header, chunk or tag claims far more than the file holds.
const HostileLength kHostileLengths[] = {
    {"a 1x1 PNG whose text chunk claims 1.9 GB", "text.png",
     [](Order) {
       test::ByteWriter w(Order::Big);
       w.Raw("\x89PNG\r\n\x1A\n", 8).U32(13).Text("IHDR").U32(1).U32(1).U8(8).Zeros(4);
       return w.U32(0x3A7E9B55).U32(1900000000).Text("tEXtComment").U8(0).Text("hello").Take();
     }},
    {"a 1x1 TIFF with 64 private tags of a gigabyte each", "tags.tif",
     [](Order o) {
       test::TiffBuilder b(o);
       const int strip = b.AddBlob({0x80});
       b.Ifd0().Long(0x0100, {1}).Long(0x0101, {1}).Short(0x0102, {8}).Short(0x0106, {1});
       b.Ifd0().BlobOffset(0x0111, strip).Long(0x0116, {1}).BlobLength(0x0117, strip);
       for (uint16_t t = 0; t < 64; ++t)
         b.Ifd0().RawEntry(uint16_t(0xC800 + t), test::kByte, 0x3FFFFFF0, 8);
       return b.Build();
     }},
    {"a GIF frame of 65535 x 65535 behind a 1x1 screen", "frame.gif",
     [](Order) {
       test::ByteWriter w(Order::Little);
       w.Text("GIF89a").U16(1).U16(1).U8(0x80).U8(0).U8(0).Zeros(6);
       w.U8(0x21).U8(0xFE).U8(255).Zeros(255).U8(0);  // a comment extension
       w.U8(0x2C).U16(0).U16(0).U16(0xFFFF).U16(0xFFFF).U8(0);
       return w.U8(2).U8(1).U8(0x44).U8(0).U8(0x3B).Take();
     }},
    {"a progressive JPEG claiming 65000 x 65000 pixels", "frame.jpg",
     [](Order) {
       Bytes jpeg = test::EncodeProgressiveJpeg(16, 16);
       for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
         if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC2) {
           jpeg[i + 5] = jpeg[i + 7] = 0xFD;
           jpeg[i + 6] = jpeg[i + 8] = 0xE8;
           break;
         }
       }
       return jpeg;
     }},
};

TEST(ResourceLimits, HostileLengthsCommitNoMoreThanAConstant) {
  test::TempDir dir;
  for (const HostileLength& h : kHostileLengths) {
    for (Order order : {Order::Little, Order::Big}) {
      const std::string path = dir.Put(h.file, h.make(order));
      const char* p = path.c_str();
      const std::pair<const char*, std::function<HRESULT()>> calls[] = {
          {"Decode",
           [&] {
             LfGlobalFree(ops::Decode(p, 0));
             return S_OK;
           }},
          {"GetStillImageInfo",
           [&] {
             LfStillImageOutput out{};
             const HRESULT r = ops::GetStillImageInfo(p, &out, LF_SEL_IMAGE_INFO);
             LfStillImageOutputFree(&out);
             return r;
           }},
          {"DrawImage",
           [&] {
             Bytes pixels(64 * 64 * 3);
             LfDeviceContext dc{64, 64, 24, 64 * 3, pixels.data()};
             return ops::DrawImage(p, &dc, LfRect{0, 0, 64, 64}, 0, LfRect{}, 0);
           }},
      };
      for (const auto& [name, call] : calls) {
        EXPECT_LE(PeakGrowthMib(call), 64) << h.name << ", " << name;
      }
    }
  }
}

// A sparse TIFF of 2 GiB whose IFD0 lies at its end (its block is then the whole file): a query
// reads what it needs, from the block on demand or from the file, and takes no memory of its size.
TEST(ResourceLimits, QueriesOfAHugeFileCommitNoMoreThanAConstant) {
  test::TempDir dir;
  constexpr uint32_t kFar = 2u << 30;
  for (Order order : {Order::Little, Order::Big}) {
    test::TiffBuilder b(order);  // IFD0 right behind the header, every value inline
    b.Ifd0().Short(0x0100, {1}).Short(0x0101, {1}).Long(0x0111, {8}).Long(0x0117, {1});
    const Bytes tiff = b.Build();
    const std::string path =
        dir.Put("huge.tif", test::ByteWriter(order).Raw(tiff.data(), 4).U32(kFar).Take());
    std::filesystem::resize_file(path, kFar);
    std::ofstream(path, std::ios::app)
        .write(reinterpret_cast<const char*>(tiff.data() + 8),
               static_cast<std::streamsize>(tiff.size() - 8));
    uint32_t a = 0, c = 0;
    EXPECT_LE(PeakGrowthMib([&] { return ops::GetOrientation(path.c_str(), &a, &c, 1); }), 64);
    EXPECT_LE(PeakGrowthMib([&] { return ops::IsExifEx(path.c_str(), &a, &c, nullptr); }), 64);
  }
}

}  // namespace
}  // namespace lf
