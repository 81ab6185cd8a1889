// lumenframe thumb FILE... --regenerate [--quality Q] [-o OUT]: renders a new EXIF thumbnail of each
// photo from its own main image (decoded by the module) and puts it into the file.
// lumenframe replace-image FILE... NEW_IMAGE [--quality Q] [-o OUT]: makes NEW_IMAGE (any file the
// module decodes) the main image of each photo, with a thumbnail of it, keeping the EXIF data.
// Files are rewritten in place; with -o the result goes to OUT (a file, or a directory for several
// files).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/edit_batch.h"
#include "cli/host.h"

namespace lf::cli {
namespace {

constexpr const char* kThumbUsage = "usage: lumenframe thumb FILE... --regenerate [--quality Q] [-o OUT]\n";
constexpr const char* kReplaceUsage = "usage: lumenframe replace-image FILE... NEW_IMAGE [--quality Q] [-o OUT]\n";
constexpr int32_t kDefaultQuality = 90;

// The JPEG quality of --quality (1-100), or 0 after a usage message.
int32_t QualityOption(const Options& o, const char* usage) {
  const std::string text = o.Value("--quality", std::to_string(kDefaultQuality));
  char* end = nullptr;
  const long q = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || q < 1 || q > 100) {
    std::fprintf(stderr, "lumenframe: quality must be 1 to 100, not \"%s\"\n%s", text.c_str(), usage);
    return 0;
  }
  return static_cast<int32_t>(q);
}

// A decoded picture, freed when it goes out of scope.
class DecodedImage {
 public:
  DecodedImage(const Module& m, const std::string& path) : dib_(m.Decode(path.c_str(), LF_DECODE_MAIN_IMAGE)) {}
  ~DecodedImage() {
    if (dib_) LfGlobalFree(dib_);
  }
  DecodedImage(const DecodedImage&) = delete;
  DecodedImage& operator=(const DecodedImage&) = delete;
  LF_HGLOBAL get() const { return dib_; }

 private:
  LF_HGLOBAL dib_;
};

int RunThumb(const Module& m, const Options& o) {
  if (o.args.empty() || !o.Has("--regenerate")) {
    std::fprintf(stderr, "%s", kThumbUsage);
    return kExitUsage;
  }
  const int32_t quality = QualityOption(o, kThumbUsage);
  if (quality == 0) return kExitUsage;
  const std::vector<std::string> files = ExpandFiles(m, o.args);
  std::vector<std::string> targets;
  if (!DestinationsFor(files, o.output, &targets)) return kExitUsage;
  return RunEditBatch(files, o, "thumbnail regenerated", [&](size_t i) {
    const DecodedImage image(m, files[i]);
    if (!image.get()) {
      if (!o.json) std::fprintf(stderr, "%s: the main image cannot be decoded\n", files[i].c_str());
      return LF_E_FAIL;
    }
    return m.ReplaceThumbImage(targets[i].c_str(), files[i].c_str(), image.get(), quality);
  });
}

int RunReplaceImage(const Module& m, const Options& o) {
  if (o.args.size() < 2) {
    std::fprintf(stderr, "%s", kReplaceUsage);
    return kExitUsage;
  }
  const int32_t quality = QualityOption(o, kReplaceUsage);
  if (quality == 0) return kExitUsage;
  const std::string& picture = o.args.back();
  const DecodedImage image(m, picture);
  if (!image.get()) {
    std::fprintf(stderr, "%s: no image could be decoded\n", picture.c_str());
    return kExitFailure;
  }
  const std::vector<std::string> files =
      ExpandFiles(m, std::vector<std::string>(o.args.begin(), o.args.end() - 1));
  std::vector<std::string> targets;
  if (!DestinationsFor(files, o.output, &targets)) return kExitUsage;
  return RunEditBatch(files, o, "main image replaced by " + picture, [&](size_t i) {
    return m.ReplaceExifImage(targets[i].c_str(), files[i].c_str(), image.get(), quality);
  });
}

LF_CLI_COMMAND({"thumb", "FILE... --regenerate [--quality Q] [-o OUT]",
                "render a new EXIF thumbnail from each photo's main image", {"--quality"}, RunThumb});
LF_CLI_COMMAND({"replace-image", "FILE... NEW_IMAGE [--quality Q] [-o OUT]",
                "replace the main image (and thumbnail), keeping the EXIF data", {"--quality"},
                RunReplaceImage});

}  // namespace
}  // namespace lf::cli
