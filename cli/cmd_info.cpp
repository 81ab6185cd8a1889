// SPDX-License-Identifier: MIT
// lumenframe info FILE...: what the module reads from each photo's EXIF data, all through its
// exports: whether the file counts as EXIF (and why not), main and thumbnail orientation, the
// original date, the IsExifEx flags, the maker-note header, the size of the thumbnail and the
// shooting summary of GetExif (exposure, aperture, ISO, focal length, flash, GPS, maker settings).
// With --image, also the size, depth and type name of the main image and the thumbnail.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"
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
[[nodiscard]] bool JpegHasApp0(const std::string& path) {
  platform::File file =
      platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
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
  exif::JpegSegmentScanner scan(source,
                                {.start = 2, .requireFfPrefix = true, .shortLengthEnds = true});
  exif::JpegSegment s;
  while (scan.Next(&s)) {
    if (s.marker == exif::kJpegApp0) return true;
  }
  return false;
}

struct Facts {
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

// The maker note's identification text. GetMakerNoteValue hands it back directly; where that
// export is not available, the text is taken from the start of the MakerNote value as
// GetExifValue delivers it (the text up to its NUL; one character alone is no header).
[[nodiscard]] LF_RESULT ReadMakerNoteHeader(const Module& m, const std::string& path,
                                            std::string* header) {
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
  const LF_RESULT v = m.GetExifValue(path.c_str(), LF_DIR_EXIF, exif::kTagMakerNote, note.data(),
                                     &size, &type, &count);
  if (v != LF_S_OK) return v;
  const size_t n = strnlen(note.data(), std::min<size_t>({size, kMakerNoteHeaderMax, note.size()}));
  *header = n >= 2 ? std::string(note.data(), n) : std::string();
  return LF_S_OK;
}

Facts Examine(const Module& m, const std::string& path) {
  Facts f;
  const char* p = path.c_str();
  f.flagsResult = m.IsExifEx(p, &f.isExif, &f.hasPrintImage, &f.isExif22);
  if (f.flagsResult == LF_S_OK && !f.isExif)
    f.notExifBecause = JpegHasApp0(path) ? "JFIF APP0 segment" : "no Exif IFD";
  f.orientationResult = m.GetOrientation(p, &f.orientation, &f.thumbnailOrientation, 1);
  f.dateResult = m.GetDateTimeOriginal(p, &f.date);
  f.makerNoteResult = ReadMakerNoteHeader(m, path, &f.makerNoteHeader);
  f.thumbnailResult = ReadExifNumber(m, path, LF_DIR_IFD1, exif::kTagJpegInterchangeFormatLength,
                                     &f.thumbnailLength);
  if (f.thumbnailResult == LF_S_OK) {
    // An offset that cannot be read is shown as 0.
    (void)ReadExifNumber(m, path, LF_DIR_IFD1, exif::kTagJpegInterchangeFormat, &f.thumbnailOffset);
  }
  if (f.isExif) f.shooting = ReadShootingSummary(m, path);
  return f;
}

// GetDateTimeOriginal answers 1 for a date that is present but not a calendar date.
std::string DateSummary(const Facts& f) {
  if (f.dateResult == LF_S_OK) return ExifDateText(f.date);
  if (f.dateResult == 1) return "present, not a valid date";
  if (f.dateResult == LF_E_FAIL) return "none readable (E_FAIL)";
  return "- (" + ResultName(f.dateResult) + ")";
}

std::string Line(const char* label, const std::string& value) {
  char head[32];
  std::snprintf(head, sizeof head, "  %-18s ", label);
  return head + value + "\n";
}

std::string FactsText(const std::string& path, const Facts& f) {
  std::string out = path + "\n";
  if (f.flagsResult != LF_S_OK) {
    out += Line("EXIF:", "- (" + ResultName(f.flagsResult) + ")");
  } else if (f.isExif) {
    out += Line("EXIF:", std::string("yes") + (f.isExif22 ? ", version 2.2 or later" : "") +
                             (f.hasPrintImage ? ", print image data" : ""));
  } else {
    out += Line("EXIF:",
                "no (" + f.notExifBecause + ")" + (f.hasPrintImage ? ", print image data" : ""));
  }
  out += Line("orientation:", f.orientationResult == LF_S_OK
                                  ? std::to_string(f.orientation) + " (thumbnail " +
                                        std::to_string(f.thumbnailOrientation) + ")"
                                  : "- (" + ResultName(f.orientationResult) + ")");
  out += Line("DateTimeOriginal:", DateSummary(f));
  if (f.makerNoteResult == LF_S_OK) {
    out += Line("maker note:",
                f.makerNoteHeader.empty() ? "(no header)" : "\"" + f.makerNoteHeader + "\"");
  } else {
    out +=
        Line("maker note:",
             f.makerNoteResult == LF_E_FAIL ? "none" : "- (" + ResultName(f.makerNoteResult) + ")");
  }
  if (f.thumbnailResult == LF_S_OK) {
    out += Line("thumbnail:", std::to_string(f.thumbnailLength) + " bytes at offset " +
                                  std::to_string(f.thumbnailOffset));
  } else {
    out +=
        Line("thumbnail:",
             f.thumbnailResult == LF_E_FAIL ? "none" : "- (" + ResultName(f.thumbnailResult) + ")");
  }
  if (f.isExif) out += ShootingText(f.shooting);
  return out;
}

Json FactsJson(const Facts& f) {
  Json out = {{"flagsResult", ResultJson(f.flagsResult)},
              {"exif", f.isExif != 0},
              {"notExifBecause", f.notExifBecause.empty() ? Json(nullptr) : Json(f.notExifBecause)},
              {"isExif22", f.isExif22 != 0},
              {"hasPrintImage", f.hasPrintImage != 0}};
  Json orientation = {{"result", ResultJson(f.orientationResult)}};
  if (f.orientationResult == LF_S_OK) {
    orientation["main"] = f.orientation;
    orientation["thumbnail"] = f.thumbnailOrientation;
  }
  out["orientation"] = orientation;
  Json date = {{"result", ResultJson(f.dateResult)}};
  if (f.dateResult == LF_S_OK) date["value"] = ExifDateText(f.date);
  out["dateTimeOriginal"] = date;
  Json note = {{"result", ResultJson(f.makerNoteResult)}};
  if (f.makerNoteResult == LF_S_OK) note["header"] = f.makerNoteHeader;
  out["makerNote"] = note;
  Json thumbnail = {{"result", ResultJson(f.thumbnailResult)}};
  if (f.thumbnailResult == LF_S_OK) {
    thumbnail["offset"] = f.thumbnailOffset;
    thumbnail["bytes"] = f.thumbnailLength;
  }
  out["thumbnail"] = thumbnail;
  if (f.isExif) out["shooting"] = ShootingJson(f.shooting);
  return out;
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

std::string ImageText(const char* label, const ImageInfoFacts& f) {
  if (f.result != LF_S_OK) return Line(label, "- (" + ResultName(f.result) + ")");
  return Line(label, std::to_string(f.info.width) + "x" + std::to_string(f.info.height) + ", " +
                         std::to_string(f.info.bitsPerPixel) + " bits per pixel, type " +
                         (f.info.typeName[0] ? f.info.typeName : "(none)"));
}

Json ImageJson(const ImageInfoFacts& f) {
  Json out = {{"result", ResultJson(f.result)}};
  if (f.result == LF_S_OK) {
    out["width"] = f.info.width;
    out["height"] = f.info.height;
    out["bitsPerPixel"] = f.info.bitsPerPixel;
    out["type"] = f.info.typeName;
  }
  return out;
}

// A photo without EXIF data is an answer, not a failure; a file that cannot be read fails.
Outcome Info(const Module& m, const std::string& path, bool images) {
  const Facts f = Examine(m, path);
  Outcome out;
  out.text = FactsText(path, f);
  out.record = FactsJson(f);
  if (images) {
    const ImageInfoFacts main = ExamineImage(m, path, LF_SEL_IMAGE_INFO);
    const ImageInfoFacts thumbnail = ExamineImage(m, path, LF_SEL_THUMB_INFO);
    out.text += ImageText("image:", main) + ImageText("thumbnail image:", thumbnail);
    out.record["image"] = ImageJson(main);
    out.record["thumbnailImage"] = ImageJson(thumbnail);
  }
  return out;
}

struct InfoArgs {
  std::vector<std::string> files;
  bool image = false;
};

Runner Declare(CLI::App& app) {
  auto a = std::make_shared<InfoArgs>();
  app.add_option("files", a->files, "files or folders")->required();
  app.add_flag("--image", a->image, "add size, depth and type of the main image and the thumbnail");
  return [a](const Module& m, const Options& o) {
    return RunBatch(o, ExpandInputs(m, a->files, o.recursive),
                    [&](const std::string& f, size_t) { return Info(m, f, a->image); });
  };
}

LF_CLI_COMMAND({"info",
                "EXIF, orientation, original date, flags, maker note, thumbnail and shooting "
                "summary of each file",
                Declare});

}  // namespace
}  // namespace lf::cli
