// SPDX-License-Identifier: MIT
// The record reader over the camera photos of the corpus (those it reads EXIF records from): every
// directory record of each file, beside libexif loading the same file and visiting every entry it
// holds, in the same run.
//
//   build/bench/lumenframe_bench --benchmark_filter=ReadExifRecord
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "bench/bench_support.h"
#include "exif/record/record_reader.h"
#include "lumenframe/lumenframe.h"

#if defined(LF_HAVE_LIBEXIF)
#include <libexif/exif-data.h>
#endif

namespace {

constexpr uint32_t kEveryDirectory = LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1;

// Fields read: the number of records, so that the work cannot be optimised away.
size_t ReadRecords(const std::string& path) {
  LfExifRecord list{};
  if (lf::record::ReadExifRecord(path.c_str(), &list, kEveryDirectory) != LF_S_OK) return 0;
  const size_t records = list.count;
  LfRecordListFree(&list, 1);
  return records;
}

const std::vector<std::string>& CameraPhotos() {
  static const std::vector<std::string> files = [] {
    std::vector<std::string> out;
    for (const std::string& path : lf::bench::CorpusPhotos(lf::bench::CorpusKind::JpegAndTiff)) {
      if (ReadRecords(path) > 0) out.push_back(path);
    }
    return out;
  }();
  return files;
}

void ReadExifRecord_lumenframe(benchmark::State& state) {
  lf::bench::TimeOverFiles(state, CameraPhotos(),
                           [](const std::string& p) { benchmark::DoNotOptimize(ReadRecords(p)); });
}
BENCHMARK(ReadExifRecord_lumenframe)->Name("ReadExifRecord/corpus/lumenframe")->UseRealTime();

#if defined(LF_HAVE_LIBEXIF)
// Every entry of every directory, its bytes touched as a reader of the values would.
void VisitEntry(ExifEntry* e, void* sum) {
  size_t& s = *static_cast<size_t*>(sum);
  s += e->tag + e->components;
  for (unsigned i = 0; i < e->size; ++i) s += e->data[i];
}
void VisitContent(ExifContent* c, void* sum) { exif_content_foreach_entry(c, VisitEntry, sum); }

size_t ReadLibexif(const std::string& path) {
  ExifData* data = exif_data_new_from_file(path.c_str());
  if (!data) return 0;
  size_t sum = 0;
  exif_data_foreach_content(data, VisitContent, &sum);
  exif_data_unref(data);
  return sum;
}
void ReadExifRecord_libexif(benchmark::State& state) {
  lf::bench::TimeOverFiles(state, CameraPhotos(),
                           [](const std::string& p) { benchmark::DoNotOptimize(ReadLibexif(p)); });
}
BENCHMARK(ReadExifRecord_libexif)->Name("ReadExifRecord/corpus/libexif")->UseRealTime();
#endif

}  // namespace
