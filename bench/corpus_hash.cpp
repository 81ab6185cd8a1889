// SPDX-License-Identifier: MIT
// lumenframe_corpus_hash MODULE [FILES or FOLDERS…]: every answer the module gives about each file,
// and the bytes of every edit it makes of a copy, as one hash a line
// ("file<TAB>operation<TAB>result <TAB>hash"). Run over the same files with two builds of the
// module and compare the outputs (scripts/corpus-hash does): a restructuring that changes no
// behaviour changes no line. The current time that edits stamp into a file is masked, so runs at
// different moments agree.
#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/module.h"
#include "exif/model/tag_table.h"

namespace fs = std::filesystem;
using lf::cli::Module;

namespace {

struct Hash {
  uint64_t h = 1469598103934665603ull;
  void Add(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  }
  template <typename T>
  void Value(const T& v) {
    Add(&v, sizeof v);
  }
};

// Pointer-bearing fields of the host records: their contents are hashed, the pointer words (and a
// list's capacity) are not.
enum class Kind { Text, U16s, U32s, Bytes };
struct Field {
  size_t offset;
  Kind kind;
};

void HashRecord(Hash* h, const void* record, size_t size, std::initializer_list<Field> fields) {
  std::vector<uint8_t> copy(static_cast<const uint8_t*>(record),
                            static_cast<const uint8_t*>(record) + size);
  for (const Field& f : fields) {
    const uint8_t* at = copy.data() + f.offset;
    size_t width = 0;
    if (f.kind == Kind::Text) {
      const char* text;
      std::memcpy(&text, at, sizeof text);
      const size_t n = text ? std::strlen(text) + 1 : 0;
      h->Value(n);
      h->Add(text, n);
      width = sizeof(LfString);
    } else {
      LfByteArray list;  // the three list types share one layout
      std::memcpy(&list, at, sizeof list);
      const size_t element = f.kind == Kind::U16s ? 2 : f.kind == Kind::U32s ? 4 : 1;
      h->Value(list.size);
      if (list.data && list.size > 0) h->Add(list.data, element * static_cast<size_t>(list.size));
      width = sizeof(LfByteArray);
    }
    std::memset(copy.data() + f.offset, 0, width);
  }
  h->Add(copy.data(), copy.size());
}

#define LF_F(type, member, kind) \
  Field { offsetof(type, member), Kind::kind }

void HashDirectoryRecord(Hash* h, uint32_t selector, const void* r) {
  h->Value(selector);
  if (selector == LF_SEL_IFD0 || selector == LF_SEL_IFD1) {
    using R = LfImageDirRecord;
    HashRecord(h, r, sizeof(R),
               {LF_F(R, stripOffsets, U32s), LF_F(R, stripByteCounts, U32s),
                LF_F(R, dateTime, Text), LF_F(R, imageDescription, Text), LF_F(R, make, Text),
                LF_F(R, model, Text), LF_F(R, software, Text), LF_F(R, artist, Text),
                LF_F(R, copyright, Text), LF_F(R, printIM, Bytes)});
  } else if (selector == LF_SEL_EXIF) {
    using R = LfExifDirRecord;
    HashRecord(h, r, sizeof(R),
               {LF_F(R, makerNote, Bytes), LF_F(R, relatedSoundFile, Text),
                LF_F(R, dateTimeOriginal, Text), LF_F(R, dateTimeDigitized, Text),
                LF_F(R, subSecTime, Text), LF_F(R, subSecTimeOriginal, Text),
                LF_F(R, subSecTimeDigitized, Text), LF_F(R, spectralSensitivity, Text),
                LF_F(R, isoSpeedRatings, U16s), LF_F(R, oecf, Bytes),
                LF_F(R, spatialFrequencyResponse, Bytes), LF_F(R, cfaPattern, Bytes),
                LF_F(R, interoperability.interoperabilityIndex, Text),
                LF_F(R, interoperability.relatedImageFileFormat, Text), LF_F(R, userComment, Bytes),
                LF_F(R, deviceSettingDescription, Bytes), LF_F(R, subjectArea, U16s)});
  } else if (selector == LF_SEL_GPS) {
    using R = LfGpsDirRecord;
    HashRecord(h, r, sizeof(R),
               {LF_F(R, latitudeRef, Text), LF_F(R, longitudeRef, Text), LF_F(R, satellites, Text),
                LF_F(R, status, Text), LF_F(R, measureMode, Text), LF_F(R, speedRef, Text),
                LF_F(R, trackRef, Text), LF_F(R, imgDirectionRef, Text), LF_F(R, mapDatum, Text),
                LF_F(R, destLatitudeRef, Text), LF_F(R, destLongitudeRef, Text),
                LF_F(R, destBearingRef, Text), LF_F(R, destDistanceRef, Text),
                LF_F(R, processingData, Bytes), LF_F(R, areaData, Bytes), LF_F(R, dateText, Text)});
  } else if (selector == LF_SEL_IMAGE_INFO || selector == LF_SEL_THUMB_INFO) {
    h->Add(r, sizeof(LfImageInfoRecord));
  }
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The texts "YYYY:MM:DD HH:MM:SS" of every second from `from` to `to`, blanked wherever they stand.
void MaskClock(std::vector<uint8_t>* bytes, time_t from, time_t to) {
  for (time_t t = from - 2; t <= to + 2; ++t) {
    struct tm local {};
    localtime_r(&t, &local);
    char text[32];
    const size_t n = std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local);
    auto at = bytes->begin();
    while ((at = std::search(at, bytes->end(), text, text + n)) != bytes->end()) {
      std::fill(at, at + static_cast<std::ptrdiff_t>(n), '#');
    }
  }
}

// A 24-bit bottom-up DIB in a global block, with a pattern that JPEG keeps distinct.
LF_HGLOBAL MakePicture(int32_t width, int32_t height) {
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  LF_HGLOBAL h = LfGlobalAlloc(40 + stride * static_cast<size_t>(height));
  auto* p = static_cast<uint8_t*>(LfGlobalLock(h));
  const int32_t header[] = {40, width, height};
  std::memcpy(p, header, sizeof header);
  const uint16_t planesBits[] = {1, 24};
  std::memcpy(p + 12, planesBits, sizeof planesBits);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* px = p + 40 + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
      px[0] = static_cast<uint8_t>(x * 255 / width);
      px[1] = static_cast<uint8_t>(y * 255 / height);
      px[2] = static_cast<uint8_t>((x / 8 + y / 8) % 2 ? 200 : 40);
    }
  }
  LfGlobalUnlock(h);
  return h;
}

class Sweep {
 public:
  Sweep(const Module& m, std::string scratch) : m_(m), scratch_(std::move(scratch)) {}

  void File(const std::string& path, const std::string& shown) {
    shown_ = shown;
    Queries(path.c_str());
    Edits(path);
  }

 private:
  void Line(const char* op, int64_t result, const Hash& h) {
    std::printf("%s\t%s\t%lld\t%016llx\n", shown_.c_str(), op, static_cast<long long>(result),
                static_cast<unsigned long long>(h.h));
  }
  void Line(const std::string& op, int64_t result, const Hash& h) { Line(op.c_str(), result, h); }

  LF_RESULT Records(const char* path, uint32_t mask, LfStillImageOutput* out) {
    std::memset(out, 0, sizeof *out);
    return m_.GetStillImageInfo(path, out, mask);
  }

  void HashOutput(Hash* h, const LfStillImageOutput& out) {
    if (out.list.count >= 2) {
      for (const LfRecordNode* n = out.list.head->next; n != out.list.head; n = n->next) {
        HashDirectoryRecord(h, n->selector, n->record);
      }
    } else if (out.single.record) {
      HashDirectoryRecord(h, static_cast<uint32_t>(out.single.selector), out.single.record);
    }
  }

  void Queries(const char* path) {
    uint32_t a = 0, b = 0, c = 0;
    Hash h;
    LF_RESULT r = m_.IsSupported(path, &a);
    h.Value(a);
    Line("IsSupported", r, h);
    h = {}, a = 0, r = m_.IsExifFile(path, &a), h.Value(a);
    Line("IsExifFile", r, h);
    h = {}, a = b = c = 0, r = m_.IsExifEx(path, &a, &b, &c);
    h.Value(a), h.Value(b), h.Value(c);
    Line("IsExifEx", r, h);
    // Without isExif22 the reader answers from the file, not from a loaded block.
    h = {}, a = b = 0, r = m_.IsExifEx(path, &a, &b, nullptr);
    h.Value(a), h.Value(b);
    Line("IsExifEx/flags", r, h);
    for (int32_t tiff = 0; tiff <= 1; ++tiff) {
      h = {}, a = b = 0, r = m_.GetOrientation(path, &a, &b, tiff);
      h.Value(a), h.Value(b);
      Line(tiff ? "GetOrientation/tiff" : "GetOrientation", r, h);
    }
    LfExifDateTime date{};
    h = {}, r = m_.GetDateTimeOriginal(path, &date), h.Value(date);
    Line("GetDateTimeOriginal", r, h);

    const uint32_t masks[] = {
        LF_SEL_IMAGE_INFO, LF_SEL_THUMB_INFO,
        LF_SEL_IFD0,       LF_SEL_IFD1,
        LF_SEL_EXIF,       LF_SEL_GPS,
        LF_SEL_INTEROP,    LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1};
    for (uint32_t mask : masks) {
      LfStillImageOutput out;
      h = {}, r = Records(path, mask, &out);
      HashOutput(&h, out);
      LfStillImageOutputFree(&out);
      char op[48];
      std::snprintf(op, sizeof op, "GetStillImageInfo/%x", mask);
      Line(op, r, h);
    }

    // Every tag the tag table knows, in every directory it may stand in, and a few it does not.
    const uint32_t directories[] = {LF_DIR_IFD0, LF_DIR_EXIF, LF_DIR_GPS, LF_DIR_INTEROP,
                                    LF_DIR_IFD1};
    std::vector<uint8_t> buffer(1 << 20);
    for (uint32_t dir : directories) {
      Hash all;
      std::vector<uint16_t> tags;
      for (const auto& info : lf::exif::kTagTable) tags.push_back(info.tag);
      for (uint16_t extra : {0x0000, 0x927C, 0xC4A5, 0xEA1C, 0xFFFF}) tags.push_back(extra);
      std::sort(tags.begin(), tags.end());
      tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
      for (uint16_t tag : tags) {
        uint32_t size = static_cast<uint32_t>(buffer.size()), count = 0;
        uint16_t type = 0;
        r = m_.GetExifValue(path, dir, tag, buffer.data(), &size, &type, &count);
        all.Value(tag), all.Value(r), all.Value(size), all.Value(type), all.Value(count);
        if (r >= 0) all.Add(buffer.data(), std::min<size_t>(size, buffer.size()));
        uint32_t small = 0;
        r = m_.GetExifValue(path, dir, tag, nullptr, &small, &type, &count);  // the size query
        all.Value(r), all.Value(small);
      }
      char op[48];
      std::snprintf(op, sizeof op, "GetExifValue/%u", dir);
      Line(op, 0, all);
    }

    LfExifSummary exif{};
    LfGpsSummary gps{};
    LfMakerNoteSummary maker{};
    h = {}, r = m_.GetExif(path, &exif, &gps, &maker);
    HashRecord(&h, &exif, sizeof exif,
               {LF_F(LfExifSummary, tags, U16s), LF_F(LfExifSummary, make, Text),
                LF_F(LfExifSummary, model, Text), LF_F(LfExifSummary, titleText, Text)});
    HashRecord(&h, &gps, sizeof gps,
               {LF_F(LfGpsSummary, tags, U16s), LF_F(LfGpsSummary, mapDatum, Text),
                LF_F(LfGpsSummary, processingMethod, Bytes),
                LF_F(LfGpsSummary, areaInformation, Bytes), LF_F(LfGpsSummary, dateStamp, Text)});
    HashRecord(
        &h, &maker, sizeof maker,
        {LF_F(LfMakerNoteSummary, tags, U16s), LF_F(LfMakerNoteSummary, header, Text),
         LF_F(LfMakerNoteSummary, text0051, Text), LF_F(LfMakerNoteSummary, text0053, Text)});
    LfExifSummaryClear(&exif), LfGpsSummaryClear(&gps), LfMakerNoteSummaryClear(&maker);
    Line("GetExif", r, h);

    LfString header{};
    LfU16List tags{};
    LfU32List values{};
    h = {}, r = m_.GetMakerNoteValue(path, &header, &tags, &values);
    const std::string headerText = header.text ? header.text : "";
    h.Add(headerText.data(), headerText.size());
    if (tags.data) h.Add(tags.data, static_cast<size_t>(tags.size) * 2);
    if (values.data) h.Add(values.data, static_cast<size_t>(values.size) * 4);
    Line("GetMakerNoteValue", r, h);
    Hash makerValues;
    for (int32_t i = 0; i < tags.size; ++i) {
      uint32_t size = static_cast<uint32_t>(buffer.size()), count = 0;
      uint16_t type = 0;
      r = m_.GetExifMakerValue(path, headerText.c_str(), tags.data[i], buffer.data(), &size, &type,
                               &count);
      makerValues.Value(r), makerValues.Value(size), makerValues.Value(type),
          makerValues.Value(count);
      if (r >= 0) makerValues.Add(buffer.data(), std::min<size_t>(size, buffer.size()));
    }
    Line("GetExifMakerValue", 0, makerValues);
    if (tags.size > 0) {
      makerTag_ = tags.data[0];
      makerHeader_ = headerText;
    } else {
      makerTag_ = 0;
      makerHeader_.clear();
    }
    LfStringFree(&header), LfU16ListFree(&tags), LfU32ListFree(&values);

    for (uint32_t source : {LF_DECODE_MAIN_IMAGE, LF_DECODE_THUMBNAIL}) {
      h = {};
      LF_HGLOBAL dib = m_.Decode(path, source);
      if (dib) h.Add(LfGlobalLock(dib), LfGlobalSize(dib)), LfGlobalUnlock(dib);
      Line(source ? "Decode/thumbnail" : "Decode", dib ? 0 : -1, h);
      if (!source)
        decoded_ = dib;
      else
        LfGlobalFree(dib);
    }

    std::vector<uint8_t> pixels(320 * 240 * 3);
    LfDeviceContext dc{320, 240, 24, 320 * 3, pixels.data()};
    h = {}, r = m_.DrawImage(path, &dc, LfRect{0, 0, 320, 240}, 0, LfRect{}, 0);
    h.Add(pixels.data(), pixels.size());
    Line("DrawImage", r, h);
  }

  // Runs one edit on a fresh copy of `path`; hashes the written file (masked clock) and whether the
  // source changed.
  template <typename Edit>
  void Run(const std::string& path, const char* op, bool toNewFile, const char* extension,
           Edit edit) {
    const std::string src = scratch_ + "/source" + fs::path(path).extension().string();
    const std::string dst = toNewFile ? scratch_ + "/written" + extension : src;
    std::error_code ec;
    fs::remove(dst, ec);
    fs::copy_file(path, src, fs::copy_options::overwrite_existing, ec);
    const time_t from = std::time(nullptr);
    const LF_RESULT r = edit(src.c_str(), dst.c_str());
    const time_t to = std::time(nullptr);
    Hash h;
    std::vector<uint8_t> written = ReadFile(dst);
    MaskClock(&written, from, to);
    h.Value(fs::exists(dst, ec));
    h.Add(written.data(), written.size());
    if (toNewFile) {
      std::vector<uint8_t> source = ReadFile(src), original = ReadFile(path);
      h.Value(source == original);
    }
    Line(op, r, h);
    fs::remove(dst, ec);
    fs::remove(src, ec);
  }

  void Edits(const std::string& path) {
    Run(path, "SetOrientation/in-place", false, "",
        [&](const char* s, const char* d) { return m_.SetOrientation(d, s, 6, 0); });
    Run(path, "SetOrientation/rebuild", true, ".jpg",
        [&](const char* s, const char* d) { return m_.SetOrientation(d, s, 8, 1); });
    Run(path, "SetDateTimeOriginal", false, "", [&](const char* s, const char*) {
      return m_.SetDateTimeOriginal(s, LfExifDateTime{2001, 2, 0, 3, 4, 5, 6, 0});
    });
    LfGpsRecord gps{};
    for (uint32_t tag : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 0x12u, 0x1Bu, 0x1Cu, 0x1Du}) {
      LfU32ListAppend(&gps.tagList, tag);
    }
    const uint8_t version[] = {2, 2, 0, 0};
    std::memcpy(gps.versionID, version, 4);
    gps.latitudeRef[0] = 'N', gps.longitudeRef[0] = 'W';
    const uint32_t lat[] = {51, 1, 28, 1, 3080, 100}, lon[] = {0, 1, 7, 1, 3900, 100};
    std::memcpy(gps.latitude, lat, sizeof lat), std::memcpy(gps.longitude, lon, sizeof lon);
    gps.altitude[0] = 45, gps.altitude[1] = 1;
    const uint32_t stamp[] = {12, 1, 30, 1, 15, 1};
    std::memcpy(gps.timeStamp, stamp, sizeof stamp);
    LfStringSet(&gps.mapDatum, "WGS-84");
    LfByteArrayResize(&gps.processingMethod, 11);
    std::memcpy(gps.processingMethod.data, "ASCII\0\0\0GPS", 11);
    LfStringSet(&gps.dateStamp, "2001:02:03");
    Run(path, "ReplaceExifGps/set", true, ".jpg",
        [&](const char* s, const char* d) { return m_.ReplaceExifGps(d, s, 85, &gps); });
    LfGpsRecord none{};
    Run(path, "ReplaceExifGps/remove", true, ".jpg",
        [&](const char* s, const char* d) { return m_.ReplaceExifGps(d, s, 85, &none); });
    LfU32ListFree(&gps.tagList), LfStringFree(&gps.mapDatum), LfStringFree(&gps.dateStamp);
    LfByteArrayFree(&gps.processingMethod);

    LF_HGLOBAL thumb = MakePicture(160, 120), picture = MakePicture(320, 240);
    Run(path, "ReplaceThumbImage", true, ".jpg",
        [&](const char* s, const char* d) { return m_.ReplaceThumbImage(d, s, thumb, 75); });
    Run(path, "ReplaceExifImage", true, ".jpg",
        [&](const char* s, const char* d) { return m_.ReplaceExifImage(d, s, picture, 85); });

    LfStillImageOutput own;
    const LF_RESULT read =
        Records(path.c_str(), LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1, &own);
    if (read >= 0 && own.list.count >= 2) {
      Run(path, "AppendExif/self", true, ".jpg",
          [&](const char* s, const char* d) { return m_.AppendExif(d, s, &own.list, 1); });
    }
    if (makerTag_) {
      Run(path, "SetMakerNote", true, ".jpg", [&](const char* s, const char* d) {
        return m_.SetMakerNote(d, s, makerHeader_.c_str(), makerTag_, 3, 1, 7);
      });
    }

    // Encoding a camera-sized picture five ways costs more than all the rest; large pictures are
    // stood in for by the small one (their decoding is hashed above).
    if (decoded_ && LfGlobalSize(decoded_) > (size_t{4} << 20)) {
      LfGlobalFree(decoded_);
      decoded_ = MakePicture(320, 240);
    }
    if (decoded_) {
      for (const char* extension : {".jpg", ".bmp", ".png", ".tif", ".gif"}) {
        const std::string op = std::string("Encode/") + (extension + 1);
        Run(path, op.c_str(), true, extension, [&](const char*, const char* d) {
          return m_.Encode(decoded_, d, LF_ENC_BY_EXTENSION, 80, nullptr);
        });
      }
      if (read >= 0 && own.list.count >= 2) {
        Run(path, "Encode/jpg-records", true, ".jpg", [&](const char*, const char* d) {
          return m_.Encode(decoded_, d,
                           LF_ENC_BY_EXTENSION | LF_ENC_WITH_EXIF | LF_ENC_RECORD_GIVEN, 80,
                           &own.list);
        });
      }
      LfExifWriteParams params{};
      params.exifVersion = LF_EXIF_VERSION_0210;
      LfStringSet(&params.make, "Maker");
      LfStringSet(&params.model, "Model");
      params.dateTimeOriginal = LfExifDateTime{2001, 2, 0, 3, 4, 5, 6, 0};
      for (const char* extension : {".jpg", ".tif"}) {
        const std::string op = std::string("Encode/new-exif-") + (extension + 1);
        Run(path, op.c_str(), true, extension, [&](const char*, const char* d) {
          return m_.Encode(decoded_, d, LF_ENC_BY_EXTENSION | LF_ENC_NEW_EXIF_FILE, 80, &params);
        });
      }
      LfStringFree(&params.make), LfStringFree(&params.model);
      LfGlobalFree(decoded_);
      decoded_ = nullptr;
    }
    LfStillImageOutputFree(&own);
    LfGlobalFree(thumb), LfGlobalFree(picture);
  }

  const Module& m_;
  std::string scratch_;
  std::string shown_;
  LF_HGLOBAL decoded_ = nullptr;
  uint16_t makerTag_ = 0;
  std::string makerHeader_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s MODULE [FILE|FOLDER...]\n", argv[0]);
    return 2;
  }
  Module m;
  std::string error;
  if (!lf::cli::OpenModule(argv[1], &m, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  std::vector<std::pair<std::string, std::string>> files;  // path, path as shown
  for (int i = 2; i < argc; ++i) {
    const fs::path root = argv[i];
    if (!fs::is_directory(root)) {
      files.emplace_back(root.string(), root.filename().string());
      continue;
    }
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file() || entry.path().filename() == "MANIFEST.tsv") continue;
      files.emplace_back(entry.path().string(), fs::relative(entry.path(), root).string());
    }
  }
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.second < b.second; });
  const char* tmp = std::getenv("TMPDIR");
  std::string scratch = std::string(tmp && *tmp ? tmp : "/tmp") + "/lf-corpus-hash-XXXXXX";
  if (!::mkdtemp(scratch.data())) {
    std::perror("mkdtemp");
    return 2;
  }
  Sweep sweep(m, scratch);
  for (const auto& [path, shown] : files) {
    sweep.File(path, shown);
    std::fflush(stdout);
  }
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return 0;
}
