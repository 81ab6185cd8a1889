// SPDX-License-Identifier: MIT
// Every export from 8 threads at once must answer as one thread does (run under TSan too).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/corpus_manifest.h"
#include "tests/support/fixture_builder.h"
#include "tests/support/host_module.h"

namespace lf::test {
namespace {

constexpr int kThreads = 8;

std::string Hash(const void* data, size_t size) {
  return std::to_string(std::hash<std::string_view>{}({static_cast<const char*>(data), size}));
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

// Adds one export's answer to `out`; `details` is called after the call has returned.
template <typename Details>
void Add(std::string& out, const char* name, int32_t result, Details&& details) {
  out += std::string(name) + "=" + std::to_string(result) + " " + details() + "\n";
}
std::string Nothing() { return ""; }

// Everything the read exports say about one file.
std::string ReadAll(const std::string& file) {
  const HostModule& m = HostModule::Get();
  const char* p = file.c_str();
  std::string out;
  uint32_t a = 0, b = 0, c = 0;
  auto abc = [&] { return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c); };
  Add(out, "IsSupported", m.IsSupported(p, &a), abc);
  Add(out, "IsExifFile", m.IsExifFile(p, &a), abc);
  Add(out, "IsExifEx", m.IsExifEx(p, &a, &b, &c), abc);
  Add(out, "GetOrientation", m.GetOrientation(p, &a, &b, 1), abc);
  LfExifDateTime date{};
  Add(out, "GetDateTimeOriginal", m.GetDateTimeOriginal(p, &date),
      [&] { return Hash(&date, sizeof date); });
  for (uint32_t directory : {LF_DIR_IFD0, LF_DIR_EXIF, LF_DIR_GPS, LF_DIR_IFD1}) {
    for (uint16_t tag : {0x010F, 0x0112, 0x829A, 0x9003, 0x0002, 0x0201}) {
      uint8_t buffer[128] = {};
      uint32_t size = sizeof buffer, count = 0;
      uint16_t type = 0;
      Add(out, "GetExifValue", m.GetExifValue(p, directory, tag, buffer, &size, &type, &count),
          [&] {
            return Hash(buffer, size) + " " + std::to_string(type) + ":" + std::to_string(count);
          });
    }
  }
  Add(out, "Decode", 0,
      [&] { return TakeBlock(m.Decode(p, 0)) + " thumbnail " + TakeBlock(m.Decode(p, 1)); });

  std::vector<uint8_t> pixels(64 * 48 * 3);
  LfDeviceContext dc{64, 48, 24, 64 * 3, pixels.data()};
  auto drawn = [&] { return Hash(pixels.data(), pixels.size()); };
  if (LF_HGLOBAL dib = m.Decode(p, 0)) {
    Add(out, "Draw", m.Draw(&dc, dib, LfRect{0, 0, 64, 48}), drawn);
    LfGlobalFree(dib);
  }
  Add(out, "DrawImage", m.DrawImage(p, &dc, LfRect{2, 2, 60, 40}, 4500, LfRect{0, 0, 0, 0}, 20),
      drawn);

  // The image information's record is freed as a host frees it; its result code must agree.
  LfStillImageOutput info{};
  Add(out, "GetStillImageInfo", m.GetStillImageInfo(p, &info, LF_SEL_IMAGE_INFO), Nothing);
  LfStillImageOutputFree(&info);
  LfExifSummary exif{};
  LfGpsSummary gps{};
  LfMakerNoteSummary note{};
  Add(out, "GetExif", m.GetExif(p, &exif, &gps, &note), [&] {
    return std::to_string(exif.orientation) + Hash(exif.tags.data, 2 * exif.tags.size) +
           Hash(gps.tags.data, 2 * gps.tags.size) + Hash(note.tags.data, 2 * note.tags.size) +
           (note.header.text ? note.header.text : "");
  });
  LfExifSummaryClear(&exif);
  LfGpsSummaryClear(&gps);
  LfMakerNoteSummaryClear(&note);
  LfString header{};
  LfU16List tags{};
  LfU32List values{};
  Add(out, "GetMakerNoteValue", m.GetMakerNoteValue(p, &header, &tags, &values), [&] {
    return std::string(header.text ? header.text : "") + Hash(tags.data, 2 * tags.size) +
           Hash(values.data, 4 * values.size);
  });
  uint8_t buffer[64] = {};
  uint32_t size = sizeof buffer, count = 0;
  uint16_t type = 0;
  const char* noteHeader = header.text ? header.text : "";
  Add(out, "GetExifMakerValue", m.GetExifMakerValue(p, noteHeader, 1, buffer, &size, &type, &count),
      [&] {
        return Hash(buffer, size) + " " + std::to_string(type) + ":" + std::to_string(count);
      });
  LfStringFree(&header);
  LfU16ListFree(&tags);
  LfU32ListFree(&values);
  return out;
}

// Every edit export writing into `dir` from `source` (never changed); the answers and the files.
std::string EditAll(const std::string& source, const std::string& dir) {
  const HostModule& m = HostModule::Get();
  const std::string ext = source.substr(source.rfind('.'));
  const char* s = source.c_str();
  auto out = [&](const char* name) { return dir + "/" + name + ext; };
  std::string r;
  auto written = [&](const std::string& path) { return [path] { return FileDigest(path); }; };
  Add(r, "SetOrientation", m.SetOrientation(out("orient").c_str(), s, 3, 1),
      written(out("orient")));

  const std::string dated = out("dated");
  std::filesystem::copy_file(source, dated, std::filesystem::copy_options::overwrite_existing);
  Add(r, "SetDateTimeOriginal",
      m.SetDateTimeOriginal(dated.c_str(), LfExifDateTime{2020, 2, 6, 29, 1, 2, 3, 0}),
      written(dated));

  uint32_t gpsTags[] = {0x0001, 0x0002};
  const uint32_t latitude[6] = {33, 1, 0, 1, 0, 1};  // 33° 0' 0" S
  LfGpsRecord gps{};
  gps.tagList.data = gpsTags;
  gps.tagList.size = 2;
  gps.latitudeRef[0] = 'S';
  std::memcpy(gps.latitude, latitude, sizeof latitude);
  Add(r, "ReplaceExifGps", m.ReplaceExifGps(out("gps").c_str(), s, 90, &gps), written(out("gps")));

  if (LF_HGLOBAL picture = m.Decode(s, 0)) {
    Add(r, "ReplaceThumbImage", m.ReplaceThumbImage(out("thumb").c_str(), s, picture, 80),
        written(out("thumb")));
    Add(r, "ReplaceExifImage", m.ReplaceExifImage(out("image").c_str(), s, picture, 80),
        written(out("image")));
    const std::string encoded = dir + "/encoded.png";
    Add(r, "Encode", m.Encode(picture, encoded.c_str(), LF_ENC_PNG, 90, nullptr), written(encoded));
    LfGlobalFree(picture);
  }
  Add(r, "SetMakerNote", m.SetMakerNote(out("maker").c_str(), s, "Kest", 1, 3, 1, 7),
      written(out("maker")));
  LfExifRecord records{};
  Add(r, "AppendExif", m.AppendExif(out("append").c_str(), s, &records, 0), written(out("append")));
  LfRecordListFree(&records, 1);
  return r;
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
      const std::string name = order == Order::Little ? "camera-le.jpg" : "camera-be.jpg";
      paths.push_back(dir.Put(name, MakeCameraJpeg({.order = order, .thumbnailOrientation = 1})));
    }
    paths.push_back(
        dir.Put("jfif.jpg", MakeCameraJpeg({.withThumbnail = false, .withJfif = true})));
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
    for (int t = 0; t < kThreads; ++t)
      EXPECT_EQ(same[t], expected[f]) << files.paths[f] << " on thread " << t;
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
    for (int t = 0; t < kThreads; ++t)
      EXPECT_EQ(got[t], expected) << files.paths[f] << " on thread " << t;
  }
}

}  // namespace
}  // namespace lf::test
