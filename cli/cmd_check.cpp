// SPDX-License-Identifier: MIT
// lumenframe check FILE...: what the module makes of each file's name and first bytes.
//
// The kind comes from the module's IsSupported export; the type name and the signature and JPEG
// stream checks are not exported, so this command runs the module's own file-kind code, which is
// linked into the tool.
#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"
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

Outcome Check(const Module& m, const std::string& f) {
  uint32_t supported = 0;
  const LF_RESULT r = m.IsSupported(f.c_str(), &supported);
  const FileKind kind = GetFileKind(f);
  char typeName[8] = {};
  const bool hasType = GetTypeName(f.c_str(), typeName) == S_OK;
  const bool signature = kind != KIND_UNSUPPORTED && CheckFileSignature(f.c_str(), kind);
  const bool isJpeg = kind == KIND_JPEG;  // for a JPEG the signature check is the stream check
  Outcome out;
  out.ok = r == LF_S_OK && supported && signature;
  out.record["kind"] = KindName(kind);
  out.record["kindCode"] = static_cast<int>(kind);
  out.record["typeName"] = hasType ? Json(typeName) : Json(nullptr);
  out.record["signature"] = signature;
  out.record["jpegStream"] = isJpeg ? Json(signature) : Json(nullptr);
  out.text = f + ": kind " + KindName(kind) + " (" + std::to_string(static_cast<int>(kind)) +
             "), type " + (hasType ? typeName : "-") + ", signature " + (signature ? "ok" : "BAD") +
             (isJpeg ? (signature ? ", jpeg stream ok" : ", jpeg stream BAD") : "") + "\n";
  if (!out.ok) {
    out.error = f + ": " +
                (kind == KIND_UNSUPPORTED ? "not a supported kind of file"
                                          : "the content does not match its kind");
  }
  return out;
}

LF_CLI_COMMAND({"check", "kind, type name, signature and JPEG stream checks",
                [](CLI::App& app) -> Runner {
                  auto files = std::make_shared<std::vector<std::string>>();
                  app.add_option("files", *files, "files or folders")->required();
                  return [files](const Module& m, const Options& o) {
                    return RunBatch(o, ExpandInputs(m, *files, o.recursive),
                                    [&](const std::string& f, size_t) { return Check(m, f); });
                  };
                }});

}  // namespace
}  // namespace lf::cli
