// lumenframe info FILE...: what the module reads from each photo's EXIF data, all through its
// exports: whether the file counts as EXIF (and why not), main and thumbnail orientation, the
// original date, the IsExifEx flags, the maker-note header, the size of the thumbnail and the
// shooting summary of GetExif (exposure, aperture, ISO, focal length, flash, GPS, maker settings).
// With --image, also the size, depth and type name of the main image and the thumbnail.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/host.h"
#include "cli/shooting_summary.h"
#include "exif/model/jpeg_segments.h"
#include "exif/model/tag_table.h"
#include "platform/file.h"

namespace lf::cli {
namespace {

constexpr size_t kMakerNoteHeaderMax = 63;

// Why a JPEG is not taken as EXIF. The module refuses every JPEG with an APP0 segment (a JFIF file
// stays JFIF even when it also carries an EXIF APP1); the exports do not say which rule applied,
// so the tool looks at the markers itself: SOI, then segments up to the first SOS.
bool JpegHasApp0(const std::string& path) {
  platform::File file = platform::File::Open(path, platform::Access::Read,
                                             platform::Disposition::OpenExisting);
  uint64_t length = 0;
  if (!file || !file.Length(&length)) return false;
  exif::FileSource source(file, length);
  uint8_t soi[2];
  size_t got = 0;
  if (!source.ReadUpTo(0, soi, sizeof soi, &got) ||
      exif::ByteView(soi, got).ReadU16BE(0) != exif::kJpegSoi) {
    return false;
  }
  // Strict: every marker starts with 0xFF, and a cut or impossible length ends the walk.
  exif::JpegSegmentScanner scan(source, {.start = 2, .requireFfPrefix = true, .shortLengthEnds = true});
  exif::JpegSegment s;
  while (scan.Next(&s)) {
    if (s.marker == exif::kJpegApp0) return true;
  }
  return false;
}

struct Facts {
  bool exists = false;
  bool supported = false;
  uint32_t isExif = 0, hasPrintImage = 0, isExif22 = 0;
  LF_RESULT flagsResult = LF_E_FAIL;
  std::string notExifBecause;
  LF_RESULT orientationResult = LF_E_FAIL;
  uint32_t orientation = 0, thumbnailOrientation = 0;
  LF_RESULT dateResult = LF_E_FAIL;
  LfExifDateTime date{};
  LF_RESULT makerNoteResult = LF_E_FAIL;
  std::string makerNoteHeader;
  LF_RESULT thumbnailResult = LF_E_FAIL;
  uint32_t thumbnailOffset = 0, thumbnailLength = 0;
  ShootingSummary shooting;
};

// One 32-bit value (SHORT or LONG) through GetExifValue.
LF_RESULT ReadNumber(const Module& m, const std::string& path, uint32_t dir, uint16_t tag,
                     uint32_t* out) {
  uint32_t buffer[2] = {};
  uint32_t size = sizeof buffer;
  uint16_t type = 0;
  uint32_t count = 0;
  const LF_RESULT r = m.GetExifValue(path.c_str(), dir, tag, buffer, &size, &type, &count);
  if (r != LF_S_OK) return r;
  if (type == 3) {
    uint16_t s;
    std::memcpy(&s, buffer, sizeof s);
    *out = s;
  } else if (type == 4) {
    *out = buffer[0];
  } else {
    return LF_E_FAIL;
  }
  return LF_S_OK;
}

// The maker note's identification text. GetMakerNoteValue hands it back directly; where that
// export is not available, the text is taken from the start of the MakerNote value as
// GetExifValue delivers it (the text up to its NUL; one character alone is no header).
LF_RESULT ReadMakerNoteHeader(const Module& m, const std::string& path, std::string* header) {
  LfString text{};
  LfU16List tags{};
  LfU32List values{};
  const LF_RESULT r = m.GetMakerNoteValue(path.c_str(), &text, &tags, &values);
  if (r == LF_S_OK) *header = text.text ? text.text : "";
  LfStringFree(&text);
  LfU16ListFree(&tags);
  LfU32ListFree(&values);
  if (r != LF_E_NOTIMPL) return r;

  std::vector<char> note(65536);
  uint32_t size = static_cast<uint32_t>(note.size());
  uint16_t type = 0;
  uint32_t count = 0;
  const LF_RESULT v =
      m.GetExifValue(path.c_str(), LF_DIR_EXIF, exif::kTagMakerNote, note.data(), &size, &type,
                     &count);
  if (v != LF_S_OK) return v;
  const size_t n = strnlen(note.data(), std::min<size_t>({size, kMakerNoteHeaderMax, note.size()}));
  *header = n >= 2 ? std::string(note.data(), n) : std::string();
  return LF_S_OK;
}

Facts Examine(const Module& m, const std::string& path) {
  Facts f;
  struct stat st {};
  f.exists = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  uint32_t supported = 0;
  f.supported = m.IsSupported(path.c_str(), &supported) == LF_S_OK && supported;
  if (!f.exists) return f;
  const char* p = path.c_str();
  f.flagsResult = m.IsExifEx(p, &f.isExif, &f.hasPrintImage, &f.isExif22);
  if (f.flagsResult == LF_S_OK && !f.isExif) f.notExifBecause = JpegHasApp0(path) ? "JFIF APP0 segment" : "no Exif IFD";
  f.orientationResult = m.GetOrientation(p, &f.orientation, &f.thumbnailOrientation, 1);
  f.dateResult = m.GetDateTimeOriginal(p, &f.date);
  f.makerNoteResult = ReadMakerNoteHeader(m, path, &f.makerNoteHeader);
  f.thumbnailResult =
      ReadNumber(m, path, LF_DIR_IFD1, exif::kTagJpegInterchangeFormatLength, &f.thumbnailLength);
  if (f.thumbnailResult == LF_S_OK) {
    ReadNumber(m, path, LF_DIR_IFD1, exif::kTagJpegInterchangeFormat, &f.thumbnailOffset);
  }
  if (f.isExif) f.shooting = ReadShootingSummary(m, path);
  return f;
}

std::string DateText(const LfExifDateTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return text;
}

// GetDateTimeOriginal answers 1 for a date that is present but not a calendar date.
std::string DateSummary(const Facts& f) {
  if (f.dateResult == LF_S_OK) return DateText(f.date);
  if (f.dateResult == 1) return "present, not a valid date";
  if (f.dateResult == LF_E_FAIL) return "none readable (E_FAIL)";
  return "- (" + ResultName(f.dateResult) + ")";
}

void PrintText(const std::string& path, const Facts& f) {
  std::printf("%s\n", path.c_str());
  if (!f.exists) {
    std::printf("  cannot read the file\n");
    return;
  }
  if (f.flagsResult != LF_S_OK) {
    std::printf("  EXIF:              - (%s)\n", ResultName(f.flagsResult).c_str());
  } else if (f.isExif) {
    std::printf("  EXIF:              yes%s%s\n", f.isExif22 ? ", version 2.2 or later" : "",
                f.hasPrintImage ? ", print image data" : "");
  } else {
    std::printf("  EXIF:              no (%s)%s\n", f.notExifBecause.c_str(),
                f.hasPrintImage ? ", print image data" : "");
  }
  if (f.orientationResult == LF_S_OK) {
    std::printf("  orientation:       %u (thumbnail %u)\n", f.orientation, f.thumbnailOrientation);
  } else {
    std::printf("  orientation:       - (%s)\n", ResultName(f.orientationResult).c_str());
  }
  std::printf("  DateTimeOriginal:  %s\n", DateSummary(f).c_str());
  if (f.makerNoteResult == LF_S_OK) {
    std::printf("  maker note:        %s\n",
                f.makerNoteHeader.empty() ? "(no header)" : ("\"" + f.makerNoteHeader + "\"").c_str());
  } else if (f.makerNoteResult == LF_E_FAIL) {
    std::printf("  maker note:        none\n");
  } else {
    std::printf("  maker note:        - (%s)\n", ResultName(f.makerNoteResult).c_str());
  }
  if (f.thumbnailResult == LF_S_OK) {
    std::printf("  thumbnail:         %u bytes at offset %u\n", f.thumbnailLength, f.thumbnailOffset);
  } else if (f.thumbnailResult == LF_E_FAIL) {
    std::printf("  thumbnail:         none\n");
  } else {
    std::printf("  thumbnail:         - (%s)\n", ResultName(f.thumbnailResult).c_str());
  }
  if (f.isExif) PrintShootingText(f.shooting);
}

std::string JsonResult(LF_RESULT r) { return JsonString(ResultName(r)); }

void PrintJson(const std::string& path, const Facts& f, bool first, const std::string& extra) {
  std::printf("%s\n  {\"file\": %s, \"readable\": %s", first ? "" : ",", JsonString(path).c_str(),
              f.exists ? "true" : "false");
  if (!f.exists) {
    std::printf("}");
    return;
  }
  std::printf(", \"flagsResult\": %s", JsonResult(f.flagsResult).c_str());
  std::printf(", \"exif\": %s, \"notExifBecause\": %s, \"isExif22\": %s, \"hasPrintImage\": %s",
              f.isExif ? "true" : "false",
              f.notExifBecause.empty() ? "null" : JsonString(f.notExifBecause).c_str(),
              f.isExif22 ? "true" : "false", f.hasPrintImage ? "true" : "false");
  std::printf(",\n   \"orientation\": {\"result\": %s", JsonResult(f.orientationResult).c_str());
  if (f.orientationResult == LF_S_OK) {
    std::printf(", \"main\": %u, \"thumbnail\": %u", f.orientation, f.thumbnailOrientation);
  }
  std::printf("},\n   \"dateTimeOriginal\": {\"result\": %s", JsonResult(f.dateResult).c_str());
  if (f.dateResult == LF_S_OK) std::printf(", \"value\": %s", JsonString(DateText(f.date)).c_str());
  std::printf("},\n   \"makerNote\": {\"result\": %s", JsonResult(f.makerNoteResult).c_str());
  if (f.makerNoteResult == LF_S_OK) {
    std::printf(", \"header\": %s", JsonString(f.makerNoteHeader).c_str());
  }
  std::printf("},\n   \"thumbnail\": {\"result\": %s", JsonResult(f.thumbnailResult).c_str());
  if (f.thumbnailResult == LF_S_OK) {
    std::printf(", \"offset\": %u, \"bytes\": %u", f.thumbnailOffset, f.thumbnailLength);
  }
  std::printf("}");
  if (f.isExif) std::printf(",\n   \"shooting\": %s", ShootingJson(f.shooting).c_str());
  std::printf("%s}", extra.c_str());
}

// ---- --image: GetStillImageInfo's size, depth and type name of the main image and thumbnail

struct ImageInfoFacts {
  LF_RESULT result = LF_E_FAIL;
  LfImageInfoRecord info{};
};

// One selector at a time: asking for both would fail the main image with a missing thumbnail.
ImageInfoFacts ExamineImage(const Module& m, const std::string& path, uint32_t selector) {
  ImageInfoFacts f;
  LfStillImageOutput out{};
  f.result = m.GetStillImageInfo(path.c_str(), &out, selector);
  if (f.result == LF_S_OK && out.single.record) {
    std::memcpy(&f.info, out.single.record, sizeof f.info);
  }
  LfStillImageOutputFree(&out);
  return f;
}

void PrintImageText(const char* label, const ImageInfoFacts& f) {
  if (f.result != LF_S_OK) {
    std::printf("  %-18s - (%s)\n", label, ResultName(f.result).c_str());
    return;
  }
  std::printf("  %-18s %dx%d, %u bits per pixel, type %s\n", label, f.info.width, f.info.height,
              f.info.bitsPerPixel, f.info.typeName[0] ? f.info.typeName : "(none)");
}

std::string ImageJson(const char* key, const ImageInfoFacts& f) {
  std::string out = ",\n   " + JsonString(key) + ": {\"result\": " + JsonString(ResultName(f.result));
  if (f.result == LF_S_OK) {
    out += ", \"width\": " + std::to_string(f.info.width) + ", \"height\": " +
           std::to_string(f.info.height) + ", \"bitsPerPixel\": " + std::to_string(f.info.bitsPerPixel) +
           ", \"type\": " + JsonString(f.info.typeName);
  }
  return out + "}";
}

struct ImageFacts {
  ImageInfoFacts main, thumbnail;
};

ImageFacts ExamineImages(const Module& m, const std::string& path) {
  return {ExamineImage(m, path, LF_SEL_IMAGE_INFO), ExamineImage(m, path, LF_SEL_THUMB_INFO)};
}

void PrintImagesText(const ImageFacts& f) {
  PrintImageText("image:", f.main);
  PrintImageText("thumbnail image:", f.thumbnail);
}

std::string ImagesJson(const ImageFacts& f) {
  return ImageJson("image", f.main) + ImageJson("thumbnailImage", f.thumbnail);
}

int RunInfo(const Module& m, const Options& o) {
  if (o.args.empty()) {
    std::fprintf(stderr, "usage: lumenframe info [--image] FILE...\n");
    return kExitUsage;
  }
  const std::vector<std::string> files = ExpandFiles(m, o.args);
  Progress progress(files.size(), !o.quiet);
  int failed = 0;
  if (o.json) std::printf("[");
  for (size_t i = 0; i < files.size(); ++i) {
    progress.Step(files[i]);
    const Facts f = Examine(m, files[i]);
    // A file counts as failed when it cannot be read at all; a photo without EXIF is an answer.
    if (!f.exists) ++failed;
    const bool images = o.Has("--image") && f.exists;
    const ImageFacts image = images ? ExamineImages(m, files[i]) : ImageFacts{};
    if (o.json) {
      PrintJson(files[i], f, i == 0, images ? ImagesJson(image) : "");
    } else if (!o.quiet || !f.exists) {
      PrintText(files[i], f);
      if (images) PrintImagesText(image);
    }
  }
  if (o.json) std::printf("%s]\n", files.empty() ? "" : "\n");
  return failed ? kExitFailure : kExitOk;
}

LF_CLI_COMMAND({"info", "[--image] FILE...",
                "EXIF, orientation, original date, flags, maker note, thumbnail and shooting summary of each file",
                {}, RunInfo});

}  // namespace
}  // namespace lf::cli
