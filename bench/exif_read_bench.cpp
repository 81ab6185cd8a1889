// SPDX-License-Identifier: MIT
// The million-photo sweep: read Orientation and DateTimeOriginal from every file, each export
// opening the file as a host's call does, with the module's exports and with the peer libraries on
// the same files in the same run, next to the floor of opening each file and reading its first
// 64 KiB. Two sets: the real JPEG and TIFF photos of the corpus, and generated camera-like JPEGs
// (a 64 KiB APP1 with maker note and thumbnail in front of several MB of image data), whose
// readings are checked before timing.
//
//   build/bench/lumenframe_bench --benchmark_filter=ReadOrientationAndDate
//
// Each benchmark reports files per second; the closing summary gives the ratios.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "lumenframe/lumenframe.h"
#include "tests/support/fixture_builder.h"

#if defined(LF_HAVE_LIBEXIF)
#include <libexif/exif-data.h>
#endif
#if defined(LF_HAVE_EXIV2)
// exiv2 0.27 still hands images out through std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#endif

namespace {

constexpr size_t kFileCount = 50;
constexpr size_t kApp1Target = 64 * 1024 - 64;  // the APP1 payload, just under its 16-bit limit

struct Expected {
  uint32_t orientation = 0;
  std::string dateTimeOriginal;
};

// The photos, written once per process to a scratch directory.
struct CameraSet {
  lf::test::TempDir dir;
  std::vector<std::string> paths;
  std::vector<Expected> expected;
};

size_t App1Length(const lf::test::Bytes& jpeg) {
  // SOI, then the APP1 (the generator writes no APP0 before it).
  return jpeg.size() > 6 && jpeg[2] == 0xFF && jpeg[3] == 0xE1 ? (jpeg[4] << 8 | jpeg[5]) : 0;
}

void WritePhotos(CameraSet* s) {
  // One noisy 4-megapixel picture (a few MB, like a camera's scan data), shared by every file.
  const lf::test::Bytes picture = lf::test::EncodeNoiseJpeg(2400, 1600, 90, 7);
  for (size_t i = 0; i < kFileCount; ++i) {
    lf::test::CameraJpegOptions o;
    o.order = i % 2 ? lf::test::Order::Big : lf::test::Order::Little;
    o.width = 2400;
    o.height = 1600;
    o.orientation = static_cast<uint16_t>(1 + i % 8);
    o.thumbnailOrientation = o.orientation;
    o.thumbnailWidth = 160;
    o.thumbnailHeight = 120;
    char date[32];
    std::snprintf(date, sizeof date, "2023:%02zu:%02zu %02zu:%02zu:%02zu", 1 + i % 12, 1 + i % 28,
                  i % 24, i % 60, (i * 7) % 60);
    o.dateTimeOriginal = date;
    o.imageJpeg = picture;
    // Grow the maker note until the APP1 reaches 64 KiB, as a camera's does.
    const size_t bare = App1Length(lf::test::MakeCameraJpeg(o));
    o.makerNotePadding = kApp1Target > bare ? kApp1Target - bare : 0;
    const std::string path = s->dir.File("IMG_" + std::to_string(1000 + i) + ".JPG");
    lf::test::WriteFile(path, lf::test::MakeCameraJpeg(o));
    s->paths.push_back(path);
    s->expected.push_back({o.orientation, o.dateTimeOriginal});
  }
}

// Made on first use and removed with its directory when the process ends.
const CameraSet& Photos() {
  static CameraSet set;
  static const bool written = (WritePhotos(&set), true);
  (void)written;
  return set;
}

// The same two facts from every reader, compared once with what was written before timing.
struct Reading {
  uint32_t orientation = 0;
  std::string dateTimeOriginal;
};

Reading ReadFloorOnly(const std::string& path);

// The generated photos, each reading compared with what was written before timing.
template <typename ReadFn>
void SweepCamera(benchmark::State& state, ReadFn read) {
  const CameraSet& photos = Photos();
  for (size_t i = 0; i < photos.paths.size() && read != ReadFloorOnly; ++i) {
    const Reading r = read(photos.paths[i]);
    if (r.orientation != photos.expected[i].orientation ||
        r.dateTimeOriginal != photos.expected[i].dateTimeOriginal) {
      state.SkipWithError(("wrong reading of " + photos.paths[i]).c_str());
      return;
    }
  }
  for (auto _ : state) {
    for (const std::string& path : photos.paths) benchmark::DoNotOptimize(read(path));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * photos.paths.size()));
}

// The real photos: readers differ on what some files hold, so nothing is compared; each reader
// answers as it would for a host.
template <typename ReadFn>
void SweepCorpus(benchmark::State& state, ReadFn read) {
  const auto& paths = lf::bench::CorpusPhotos(lf::bench::CorpusKind::JpegAndTiff);
  if (paths.empty()) {
    state.SkipWithError("corpus not found");
    return;
  }
  for (auto _ : state) {
    for (const std::string& path : paths) benchmark::DoNotOptimize(read(path));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths.size()));
}

// Registers one reader for both sets.
#define LF_READ_BENCHMARK(subject, reader)                                          \
  void ReadCorpus_##reader(benchmark::State& state) { SweepCorpus(state, reader); } \
  void ReadCamera_##reader(benchmark::State& state) { SweepCamera(state, reader); } \
  BENCHMARK(ReadCorpus_##reader)->Name("ReadOrientationAndDate/corpus/" subject);   \
  BENCHMARK(ReadCamera_##reader)->Name("ReadOrientationAndDate/camera-64KiB-app1/" subject)

Reading ReadLumenframe(const std::string& path) {
  Reading r;
  uint32_t thumbnail = 0;
  // TIFF photos answer too (acceptTiff 1): the sweep reads every photo.
  if (GetOrientation(path.c_str(), &r.orientation, &thumbnail, 1) != LF_S_OK) return r;
  LfExifDateTime t{};
  if (GetDateTimeOriginal(path.c_str(), &t) == LF_S_OK) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u:%02u:%02u %02u:%02u:%02u", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    r.dateTimeOriginal = text;
  }
  return r;
}
LF_READ_BENCHMARK("lumenframe", ReadLumenframe);

// The floor: what any reader must pay to get at a 64 KiB APP1.
Reading ReadFloorOnly(const std::string& path) {
  Reading r;
  r.orientation = lf::bench::ReadFloor(path) ? 1 : 0;
  return r;
}
LF_READ_BENCHMARK("floor", ReadFloorOnly);

#if defined(LF_HAVE_LIBEXIF)
Reading ReadLibexif(const std::string& path) {
  Reading r;
  ExifData* data = exif_data_new_from_file(path.c_str());
  if (!data) return r;
  const ExifByteOrder order = exif_data_get_byte_order(data);
  if (ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
      e && e->format == EXIF_FORMAT_SHORT && e->components == 1) {
    r.orientation = exif_get_short(e->data, order);
  }
  if (ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_DATE_TIME_ORIGINAL);
      e && e->format == EXIF_FORMAT_ASCII && e->size > 0) {
    const char* text = reinterpret_cast<const char*>(e->data);
    r.dateTimeOriginal.assign(text, strnlen(text, e->size));
  }
  exif_data_unref(data);
  return r;
}
LF_READ_BENCHMARK("libexif", ReadLibexif);
#endif

#if defined(LF_HAVE_EXIV2)
Reading ReadExiv2(const std::string& path) {
  static const bool muted = (Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute), true);
  (void)muted;
  Reading r;
  try {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (orientation != exif.end()) r.orientation = static_cast<uint32_t>(orientation->toLong());
    const auto date = exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
    if (date != exif.end()) r.dateTimeOriginal = date->toString();
  } catch (const std::exception&) {
  }
  return r;
}
LF_READ_BENCHMARK("exiv2", ReadExiv2);
#pragma GCC diagnostic pop
#endif

}  // namespace
