// SPDX-License-Identifier: MIT
// lumenframe thumb FILE... --regenerate [--quality Q] [-o OUT]: renders a new EXIF thumbnail of
// each photo from its own main image (decoded by the module) and puts it into the file. lumenframe
// thumb FILE --extract -o OUT: writes the embedded thumbnail's bytes as they are. lumenframe
// replace-image FILE... NEW_IMAGE [--quality Q] [-o OUT]: makes NEW_IMAGE (any file the module
// decodes) the main image of each photo, with a thumbnail of it, keeping the EXIF data.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/new_file.h"
#include "cli/output_paths.h"
#include "exif/model/jpeg_segments.h"
#include "exif/model/tag_table.h"
#include "platform/file.h"

namespace lf::cli {
namespace {

constexpr int32_t kDefaultQuality = 90;

// A picture block, freed when it goes out of scope.
class OwnedImage {
 public:
  explicit OwnedImage(LF_HGLOBAL dib) : dib_(dib) {}
  static OwnedImage Decoded(const Module& m, const std::string& path) {
    return OwnedImage(m.Decode(path.c_str(), LF_DECODE_MAIN_IMAGE));
  }
  // A block of its own for each thread: a block's lock count is not made for sharing.
  OwnedImage Copy() const {
    LF_HGLOBAL copy = dib_ ? LfGlobalAlloc(LfGlobalSize(dib_)) : nullptr;
    if (copy) std::memcpy(LfGlobalLock(copy), PayloadOf(dib_), LfGlobalSize(dib_));
    if (copy) LfGlobalUnlock(copy);
    return OwnedImage(copy);
  }
  ~OwnedImage() {
    if (dib_) LfGlobalFree(dib_);
  }
  OwnedImage(OwnedImage&& other) noexcept : dib_(std::exchange(other.dib_, nullptr)) {}
  OwnedImage(const OwnedImage&) = delete;
  OwnedImage& operator=(const OwnedImage&) = delete;
  LF_HGLOBAL get() const { return dib_; }

 private:
  // The payload read without counting a lock, as concurrent readers must.
  static const void* PayloadOf(LF_HGLOBAL h) {
    return reinterpret_cast<const unsigned char*>(h) + LF_GLOBAL_HEADER_SIZE;
  }
  LF_HGLOBAL dib_;
};

// Where the TIFF header lies: after "Exif\0\0" in the first EXIF APP1 of a JPEG, at 0 in a TIFF.
[[nodiscard]] bool TiffHeaderAt(exif::ByteSource& source, uint64_t* base) {
  uint8_t head[6];
  size_t got = 0;
  if (!source.ReadUpTo(0, head, 2, &got) || got != 2) return false;
  if (exif::ByteView(head, 2).ReadU16BE(0) != exif::kJpegSoi) {
    *base = 0;
    return true;
  }
  exif::JpegSegmentScanner scan(source,
                                {.start = 2, .requireFfPrefix = true, .shortLengthEnds = true});
  exif::JpegSegment s;
  while (scan.Next(&s)) {
    if (s.marker != exif::kJpegApp1 || !s.hasLength || s.length < 8) continue;
    if (source.ReadUpTo(s.offset + 4, head, 6, &got) && got == 6 &&
        std::string(reinterpret_cast<char*>(head), 6) == std::string("Exif\0\0", 6)) {
      *base = s.offset + 4 + 6;
      return true;
    }
  }
  return false;
}

Outcome Extract(const Module& m, const std::string& file, const std::string& target,
                bool overwrite) {
  if (auto refusal = RefuseExisting(target, "", overwrite)) return Outcome::Failed(*refusal);
  uint32_t offset = 0, length = 0;
  LF_RESULT r = ReadExifNumber(m, file, LF_DIR_IFD1, exif::kTagJpegInterchangeFormat, &offset);
  if (r == LF_S_OK)
    r = ReadExifNumber(m, file, LF_DIR_IFD1, exif::kTagJpegInterchangeFormatLength, &length);
  if (r != LF_S_OK || length == 0) {
    Outcome out = Outcome::Failed(file + ": has no embedded JPEG thumbnail");
    out.record["result"] = ResultJson(r);
    return out;
  }
  platform::File f =
      platform::File::Open(file, platform::Access::Read, platform::Disposition::OpenExisting);
  uint64_t size = 0;
  if (!f || !f.Length(&size)) return Outcome::Failed(CannotOpen(file, EIO));
  exif::FileSource source(f, size);
  uint64_t base = 0;
  std::string bytes(length, '\0');
  size_t got = 0;
  if (!TiffHeaderAt(source, &base) ||
      !source.ReadUpTo(base + offset, reinterpret_cast<uint8_t*>(bytes.data()), length, &got) ||
      got != length) {
    return Outcome::Failed(file + ": the thumbnail lies outside the file");
  }
  std::string error;
  if (!WriteNewFile(target, bytes, &error)) return Outcome::Failed(error);
  Outcome out;
  out.record["output"] = target;
  out.record["bytes"] = length;
  out.text = file + " -> " + target + ": thumbnail, " + std::to_string(length) + " bytes\n";
  return out;
}

struct ThumbArgs {
  std::vector<std::string> files;
  bool regenerate = false, extract = false;
  int quality = kDefaultQuality;
  WriteOptions write;
};

[[nodiscard]] int RunThumb(const Module& m, const Options& o, const ThumbArgs& a) {
  const std::vector<Input> inputs = ExpandInputs(m, a.files, o.recursive);
  if (a.extract) {
    if (a.write.output.empty()) {
      std::fprintf(stderr, "lumenframe thumb: --extract needs -o OUT\n");
      return kExitUsage;
    }
    std::vector<std::string> targets;
    if (auto status = PlanDestinations(inputs, a.write, &targets)) return *status;
    return RunBatch(o, inputs, [&](const std::string& f, size_t i) {
      return Extract(m, f, targets[i], a.write.overwrite);
    });
  }
  return RunEdits(o, inputs, a.write, "thumbnail regenerated",
                  [&](const std::string& target, const std::string& source) {
                    const OwnedImage image = OwnedImage::Decoded(m, source);
                    if (!image.get()) return LF_E_FAIL;
                    return m.ReplaceThumbImage(target.c_str(), source.c_str(), image.get(),
                                               a.quality);
                  });
}

Runner DeclareThumb(CLI::App& app) {
  auto a = std::make_shared<ThumbArgs>();
  app.add_option("files", a->files, "files or folders")->required();
  CLI::Option* regenerate = app.add_flag("--regenerate", a->regenerate,
                                         "render a new 160x120 thumbnail from the main image");
  CLI::Option* extract =
      app.add_flag("--extract", a->extract, "write the embedded thumbnail's bytes to -o");
  regenerate->excludes(extract);
  app.add_option("--quality", a->quality, "JPEG quality of the new thumbnail")
      ->check(CLI::Range(1, 100));
  AddWriteOptions(app, a->write, "write to this file, or into this folder/ (created)");
  app.parse_complete_callback([a] {
    if (!a->regenerate && !a->extract) throw CLI::ValidationError("give --regenerate or --extract");
  });
  return [a](const Module& m, const Options& o) { return RunThumb(m, o, *a); };
}

struct ReplaceArgs {
  std::vector<std::string> files;
  int quality = kDefaultQuality;
  WriteOptions write;
};

[[nodiscard]] int RunReplace(const Module& m, const Options& o, const ReplaceArgs& a) {
  std::vector<std::string> files = a.files;
  if (files.size() < 2) {
    std::fprintf(stderr, "lumenframe replace-image: give FILE... NEW_IMAGE\n");
    return kExitUsage;
  }
  const std::string picture = files.back();
  files.pop_back();
  const OwnedImage image = OwnedImage::Decoded(m, picture);
  if (!image.get()) {
    std::fprintf(stderr, "%s: no image could be decoded\n", picture.c_str());
    return kExitFailure;
  }
  return RunEdits(o, ExpandInputs(m, files, o.recursive), a.write,
                  "main image replaced by " + picture,
                  [&](const std::string& target, const std::string& source) {
                    const OwnedImage own = image.Copy();
                    if (!own.get()) return LF_E_OUTOFMEMORY;
                    return m.ReplaceExifImage(target.c_str(), source.c_str(), own.get(), a.quality);
                  });
}

Runner DeclareReplace(CLI::App& app) {
  auto a = std::make_shared<ReplaceArgs>();
  app.add_option("files", a->files, "files or folders, then the new image")->required();
  app.add_option("--quality", a->quality, "JPEG quality of the new image")
      ->check(CLI::Range(1, 100));
  AddWriteOptions(app, a->write, "write to this file, or into this folder/ (created)");
  return [a](const Module& m, const Options& o) { return RunReplace(m, o, *a); };
}

LF_CLI_COMMAND({"thumb", "render a new EXIF thumbnail of each photo, or extract the one it has",
                DeclareThumb});
LF_CLI_COMMAND({"replace-image", "replace the main image (and thumbnail), keeping the EXIF data",
                DeclareReplace});

}  // namespace
}  // namespace lf::cli
