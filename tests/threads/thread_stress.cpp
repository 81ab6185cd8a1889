// SPDX-License-Identifier: MIT
// Every export from 8 threads at once, through the module loaded as a host loads it: each thread
// reads different files, then all read the same file, then each edits its own copies of one
// source. Every answer (result codes, values, decoded and drawn pixels, written files) must equal
// the single-threaded answer. Exports that are not built yet take part all the same: whatever they
// answer must not depend on the other threads. Run under ThreadSanitizer by `scripts/build tsan`.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/corpus_manifest.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

constexpr int kThreads = 8;

const HostModule& M() {
  const HostModule& m = HostModule::Get();
  EXPECT_TRUE(m.error.empty()) << m.error;
  return m;
}

std::string Hash(const void* data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ static_cast<const uint8_t*>(data)[i]) * 1099511628211ull;
  char text[24];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

// The block's bytes, then frees it.
std::string TakeBlock(LF_HGLOBAL block) {
  if (!block) return "null";
  const std::string h = Hash(LfGlobalLock(block), LfGlobalSize(block));
  LfGlobalUnlock(block);
  LfGlobalFree(block);
  return h;
}

// A written file with every date-time text blanked: edits stamp IFD0's DateTime with the clock.
std::string FileDigest(const std::string& path) {
  if (!std::filesystem::exists(path)) return "absent";
  const Bytes bytes = ReadFile(path);
  std::string text(bytes.begin(), bytes.end());
  static const std::regex kStamp("[0-9]{4}:[0-9]{2}:[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
  text = std::regex_replace(text, kStamp, "####:##:## ##:##:##");
  return Hash(text.data(), text.size());
}

// What a sequence of exports answered. The details are taken after the call has returned.
class Answers {
 public:
  template <typename Details>
  void Add(const char* name, int32_t result, Details&& details) {
    text_ += std::string(name) + "=" + std::to_string(result) + " " + details() + "\n";
  }
  void Add(const char* name, int32_t result) {
    Add(name, result, [] { return std::string(); });
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Everything the read exports say about one file.
std::string ReadAll(const std::string& file) {
  const HostModule& m = M();
  const char* p = file.c_str();
  Answers out;
  uint32_t a = 0, b = 0, c = 0;
  auto abc = [&] { return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c); };
  out.Add("IsSupported", m.IsSupported(p, &a), abc);
  out.Add("IsExifFile", m.IsExifFile(p, &a), abc);
  out.Add("IsExifEx", m.IsExifEx(p, &a, &b, &c), abc);
  out.Add("GetOrientation", m.GetOrientation(p, &a, &b, 1), abc);
  LfExifDateTime date{};
  out.Add("GetDateTimeOriginal", m.GetDateTimeOriginal(p, &date), [&] { return Hash(&date, sizeof date); });
  for (uint32_t directory : {LF_DIR_IFD0, LF_DIR_EXIF, LF_DIR_GPS, LF_DIR_IFD1}) {
    for (uint16_t tag : {0x010F, 0x0112, 0x829A, 0x9003, 0x0002, 0x0201}) {
      uint8_t buffer[128] = {};
      uint32_t size = sizeof buffer, count = 0;
      uint16_t type = 0;
      out.Add("GetExifValue", m.GetExifValue(p, directory, tag, buffer, &size, &type, &count), [&] {
        return Hash(buffer, size) + " " + std::to_string(type) + ":" + std::to_string(count);
      });
    }
  }
  out.Add("Decode", 0, [&] { return TakeBlock(m.Decode(p, 0)) + " thumbnail " + TakeBlock(m.Decode(p, 1)); });

  std::vector<uint8_t> pixels(64 * 48 * 3);
  LfDeviceContext dc{64, 48, 24, 64 * 3, pixels.data()};
  auto drawn = [&] { return Hash(pixels.data(), pixels.size()); };
  if (LF_HGLOBAL dib = m.Decode(p, 0)) {
    out.Add("Draw", m.Draw(&dc, dib, LfRect{0, 0, 64, 48}), drawn);
    LfGlobalFree(dib);
  }
  out.Add("DrawImage", m.DrawImage(p, &dc, LfRect{2, 2, 60, 40}, 4500, LfRect{0, 0, 0, 0}, 20), drawn);

  // The image information's record is freed as a host frees it; its result code must agree.
  LfStillImageOutput info{};
  out.Add("GetStillImageInfo", m.GetStillImageInfo(p, &info, LF_SEL_IMAGE_INFO));
  LfStillImageOutputFree(&info);
  LfExifSummary exifSummary{};
  LfGpsSummary gpsSummary{};
  LfMakerNoteSummary makerSummary{};
  out.Add("GetExif", m.GetExif(p, &exifSummary, &gpsSummary, &makerSummary), [&] {
    return std::to_string(exifSummary.orientation) + " " + Hash(exifSummary.tags.data, 2 * exifSummary.tags.size) +
           Hash(gpsSummary.tags.data, 2 * gpsSummary.tags.size) + Hash(makerSummary.tags.data, 2 * makerSummary.tags.size) +
           (makerSummary.header.text ? makerSummary.header.text : "");
  });
  LfExifSummaryClear(&exifSummary);
  LfGpsSummaryClear(&gpsSummary);
  LfMakerNoteSummaryClear(&makerSummary);
  LfString header{};
  LfU16List tags{};
  LfU32List values{};
  out.Add("GetMakerNoteValue", m.GetMakerNoteValue(p, &header, &tags, &values), [&] {
    return std::string(header.text ? header.text : "") + " " + Hash(tags.data, sizeof(uint16_t) * tags.size) +
           Hash(values.data, sizeof(uint32_t) * values.size);
  });
  uint8_t buffer[64] = {};
  uint32_t size = sizeof buffer, count = 0;
  uint16_t type = 0;
  out.Add("GetExifMakerValue",
          m.GetExifMakerValue(p, header.text ? header.text : "", 1, buffer, &size, &type, &count),
          [&] { return Hash(buffer, size) + " " + std::to_string(type) + ":" + std::to_string(count); });
  LfStringFree(&header);
  LfU16ListFree(&tags);
  LfU32ListFree(&values);
  return out.text();
}

// Every edit export writing into `dir` from `source` (never changed); the answers and the files.
std::string EditAll(const std::string& source, const std::string& dir) {
  const HostModule& m = M();
  const std::string ext = source.substr(source.rfind('.'));
  const char* s = source.c_str();
  auto out = [&](const char* name) { return dir + "/" + name + ext; };
  Answers r;
  auto written = [&](const std::string& path) { return [path] { return FileDigest(path); }; };
  r.Add("SetOrientation", m.SetOrientation(out("orient").c_str(), s, 3, 1), written(out("orient")));

  const std::string dated = out("dated");
  std::filesystem::copy_file(source, dated, std::filesystem::copy_options::overwrite_existing);
  r.Add("SetDateTimeOriginal", m.SetDateTimeOriginal(dated.c_str(), LfExifDateTime{2020, 2, 6, 29, 1, 2, 3, 0}),
        written(dated));

  uint32_t gpsTags[] = {0x0001, 0x0002};
  LfGpsRecord gps{};
  gps.tagList.data = gpsTags;
  gps.tagList.size = 2;
  gps.latitudeRef[0] = 'S';
  gps.latitude[0] = 33;
  gps.latitude[1] = 1;
  gps.latitude[3] = 1;
  gps.latitude[5] = 1;
  r.Add("ReplaceExifGps", m.ReplaceExifGps(out("gps").c_str(), s, 90, &gps), written(out("gps")));

  if (LF_HGLOBAL picture = m.Decode(s, 0)) {
    r.Add("ReplaceThumbImage", m.ReplaceThumbImage(out("thumb").c_str(), s, picture, 80), written(out("thumb")));
    r.Add("ReplaceExifImage", m.ReplaceExifImage(out("image").c_str(), s, picture, 80), written(out("image")));
    const std::string encoded = dir + "/encoded.png";
    r.Add("Encode", m.Encode(picture, encoded.c_str(), LF_ENC_PNG, 90, nullptr), written(encoded));
    LfGlobalFree(picture);
  }
  r.Add("SetMakerNote", m.SetMakerNote(out("maker").c_str(), s, "Kest", 1, 3, 1, 7), written(out("maker")));
  LfExifRecord records{};
  r.Add("AppendExif", m.AppendExif(out("append").c_str(), s, &records, 0), written(out("append")));
  LfRecordListFree(&records, 1);
  return r.text();
}

// Runs body(thread) on kThreads threads released together.
void OnThreads(const std::function<void(int)>& body) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      body(t);
    });
  }
  for (std::thread& thread : threads) thread.join();
}

struct Files {
  TempDir dir;
  std::vector<std::string> paths;
  Files() {
    for (Order order : {Order::Little, Order::Big}) {
      CameraJpegOptions camera;
      camera.order = order;
      camera.thumbnailOrientation = 1;
      paths.push_back(dir.Put(order == Order::Little ? "camera-le.jpg" : "camera-be.jpg", MakeCameraJpeg(camera)));
    }
    CameraJpegOptions jfif;
    jfif.withJfif = true;
    jfif.withThumbnail = false;
    paths.push_back(dir.Put("jfif.jpg", MakeCameraJpeg(jfif)));
    // A few real files of each kind when the corpus is there.
    const std::string corpus = CorpusDir();
    if (!corpus.empty()) {
      for (const char* ext : {".tif", ".png", ".gif", ".bmp", ".jpg"}) {
        int taken = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
          if (entry.path().extension() == ext && entry.file_size() < 300000 &&
              entry.path().string().find("malformed") == std::string::npos && taken++ < 2) {
            paths.push_back(entry.path().string());
          }
        }
      }
    }
  }
};

TEST(ThreadStress, ReadsFromEightThreadsMatchOneThread) {
  Files files;
  std::vector<std::string> expected;
  for (const std::string& path : files.paths) expected.push_back(ReadAll(path));

  // Different files at once: each thread starts at its own file and goes round.
  std::vector<std::vector<std::string>> got(kThreads);
  OnThreads([&](int t) {
    for (size_t i = 0; i < files.paths.size(); ++i) {
      got[t].push_back(ReadAll(files.paths[(i + t) % files.paths.size()]));
    }
  });
  for (int t = 0; t < kThreads; ++t) {
    for (size_t i = 0; i < files.paths.size(); ++i) {
      const size_t f = (i + t) % files.paths.size();
      EXPECT_EQ(got[t][i], expected[f]) << files.paths[f] << " on thread " << t;
    }
  }
  // The same file from every thread at once.
  for (size_t f = 0; f < files.paths.size(); ++f) {
    std::vector<std::string> same(kThreads);
    OnThreads([&](int t) { same[t] = ReadAll(files.paths[f]); });
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(same[t], expected[f]) << files.paths[f] << " on thread " << t;
  }
}

TEST(ThreadStress, EditsOfOwnCopiesFromEightThreadsMatchOneThread) {
  Files files;
  for (size_t f = 0; f < 2; ++f) {  // the camera JPEGs in both byte orders
    TempDir alone;
    const std::string expected = EditAll(files.paths[f], alone.path());
    std::vector<std::unique_ptr<TempDir>> dirs;
    for (int t = 0; t < kThreads; ++t) dirs.push_back(std::make_unique<TempDir>());
    std::vector<std::string> got(kThreads);
    OnThreads([&](int t) { got[t] = EditAll(files.paths[f], dirs[t]->path()); });
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(got[t], expected) << files.paths[f] << " on thread " << t;
  }
}

}  // namespace
}  // namespace lf::test
