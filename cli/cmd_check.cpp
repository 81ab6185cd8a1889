// lumenframe check FILE...: what the module makes of each file's name and first bytes.
//
// The kind comes from the module's IsSupported export; the type name and the signature and JPEG
// stream checks are not exported, so this command runs the module's own file-kind code, which is
// linked into the tool.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/host.h"
#include "plugin/file_kind.h"

namespace lf::cli {
namespace {

const char* KindName(FileKind kind) {
  switch (kind) {
    case KIND_JPEG: return "jpeg";
    case KIND_BMP: return "bmp";
    case KIND_PNG: return "png";
    case KIND_TIFF: return "tiff";
    case KIND_GIF: return "gif";
    default: return "unsupported";
  }
}

int RunCheck(const Module& m, const Options& o) {
  if (o.args.empty()) {
    std::fprintf(stderr, "usage: lumenframe check FILE...\n");
    return kExitUsage;
  }
  const std::vector<std::string> files = ExpandFiles(m, o.args);
  Progress progress(files.size(), !o.quiet);
  int failed = 0;
  if (o.json) std::printf("[");
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& f = files[i];
    progress.Step(f);
    uint32_t supported = 0;
    const LF_RESULT r = m.IsSupported(f.c_str(), &supported);
    const FileKind kind = GetFileKind(f);
    char typeName[8] = {};
    const bool hasType = GetTypeName(f.c_str(), typeName) == S_OK;
    const bool signature = kind != KIND_UNSUPPORTED && CheckFileSignature(f.c_str(), kind) == 1;
    const bool isJpeg = kind == KIND_JPEG;
    const bool stream = isJpeg && signature;  // the JPEG signature check is the stream check
    const bool ok = r == LF_S_OK && supported && signature;
    if (!ok) ++failed;
    if (o.json) {
      std::printf("%s\n  {\"file\": %s, \"kind\": %s, \"kindCode\": %d, \"typeName\": %s, "
                  "\"signature\": %s, \"jpegStream\": %s, \"ok\": %s}",
                  i ? "," : "", JsonString(f).c_str(), JsonString(KindName(kind)).c_str(),
                  static_cast<int>(kind), hasType ? JsonString(typeName).c_str() : "null",
                  signature ? "true" : "false",
                  isJpeg ? (stream ? "true" : "false") : "null", ok ? "true" : "false");
    } else if (!o.quiet || !ok) {
      std::printf("%s: kind %s (%d), type %s, signature %s%s\n", f.c_str(), KindName(kind),
                  static_cast<int>(kind), hasType ? typeName : "-", signature ? "ok" : "BAD",
                  isJpeg ? (stream ? ", jpeg stream ok" : ", jpeg stream BAD") : "");
    }
  }
  if (o.json) std::printf("%s]\n", files.empty() ? "" : "\n");
  return failed ? kExitFailure : kExitOk;
}

LF_CLI_COMMAND({"check", "FILE...", "kind, type name, signature and JPEG stream checks", {}, RunCheck});

}  // namespace
}  // namespace lf::cli
