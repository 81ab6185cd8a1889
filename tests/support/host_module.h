// Loads Lumenframe.pcp with dlopen and resolves every export by name, as the host application
// does. Tests of the exports call the module through this table.
#pragma once

#include <string>

#include "lumenframe/lumenframe.h"

namespace lf::test {

struct HostModule {
  void* handle = nullptr;
  LF_FN_GetPluginVersion GetPluginVersion = nullptr;
  LF_FN_GetNumOfSupportedExtentions GetNumOfSupportedExtentions = nullptr;
  LF_FN_GetSupportedExtention GetSupportedExtention = nullptr;
  LF_FN_IsSupported IsSupported = nullptr;
  LF_FN_IsExifFile IsExifFile = nullptr;
  LF_FN_Decode Decode = nullptr;
  LF_FN_Draw Draw = nullptr;
  LF_FN_DrawImage DrawImage = nullptr;
  LF_FN_Encode Encode = nullptr;
  LF_FN_GetStillImageInfo GetStillImageInfo = nullptr;
  LF_FN_GetOrientation GetOrientation = nullptr;
  LF_FN_GetDateTimeOriginal GetDateTimeOriginal = nullptr;
  LF_FN_GetExifValue GetExifValue = nullptr;
  LF_FN_IsExifEx IsExifEx = nullptr;
  LF_FN_SetOrientation SetOrientation = nullptr;
  LF_FN_SetDateTimeOriginal SetDateTimeOriginal = nullptr;
  LF_FN_ReplaceExifGps ReplaceExifGps = nullptr;
  LF_FN_ReplaceThumbImage ReplaceThumbImage = nullptr;
  LF_FN_ReplaceExifImage ReplaceExifImage = nullptr;
  LF_FN_AppendExif AppendExif = nullptr;
  LF_FN_GetExif GetExif = nullptr;
  LF_FN_GetExifMakerValue GetExifMakerValue = nullptr;
  LF_FN_GetMakerNoteValue GetMakerNoteValue = nullptr;
  LF_FN_SetMakerNote SetMakerNote = nullptr;

  // The module loaded once per test process; fails the calling test when it cannot be loaded or
  // an export is missing (the error is in `error`).
  static const HostModule& Get();
  std::string error;
};

// Path of the built module and of the command-line tool.
std::string ModulePath();
std::string CliPath();

}  // namespace lf::test
