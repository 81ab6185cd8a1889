// SPDX-License-Identifier: MIT
// A host's view of Lumenframe.pcp: the module opened with dlopen and every export resolved by
// name. The command-line tool and the tests of the exports load the module through this table.
#pragma once

#include <cstdint>
#include <string>

#include "lumenframe/lumenframe.h"

namespace lf::cli {

// Every export of the module, in the order of the export table.
#define LF_FOR_EACH_EXPORT(X)                                                                    \
  X(GetPluginVersion)                                                                            \
  X(GetNumOfSupportedExtentions)                                                                 \
  X(GetSupportedExtention) X(IsSupported) X(IsExifFile) X(Decode) X(Draw) X(DrawImage) X(Encode) \
      X(GetStillImageInfo) X(GetOrientation) X(GetDateTimeOriginal) X(GetExifValue) X(IsExifEx)  \
          X(SetOrientation) X(SetDateTimeOriginal) X(ReplaceExifGps) X(ReplaceThumbImage)        \
              X(ReplaceExifImage) X(AppendExif) X(GetExif) X(GetExifMakerValue)                  \
                  X(GetMakerNoteValue) X(SetMakerNote)

struct Module {
  void* handle = nullptr;  // the dlopen handle; the module stays loaded for the process
#define LF_EXPORT_SLOT(name) LF_FN_##name name = nullptr;
  LF_FOR_EACH_EXPORT(LF_EXPORT_SLOT)
#undef LF_EXPORT_SLOT
};

// Opens the module at `path` and resolves every export. False with the loader's message, or the
// names of the missing exports, in `error`.
[[nodiscard]] bool OpenModule(const std::string& path, Module* module, std::string* error);

// One SHORT or LONG value of directory `dir` through GetExifValue; LF_E_FAIL for another type.
[[nodiscard]] LF_RESULT ReadExifNumber(const Module& m, const std::string& path, uint32_t dir,
                                       uint16_t tag, uint32_t* out);

}  // namespace lf::cli
