#include "tests/support/host_module.h"

#include <dlfcn.h>

#include <cstdlib>

namespace lf::test {

std::string ModulePath() {
  const char* env = std::getenv("LF_MODULE");
  return (env && *env) ? env : LF_MODULE_PATH;
}

std::string CliPath() { return LF_CLI_PATH; }

namespace {

template <typename Fn>
void Resolve(HostModule& m, Fn* slot, const char* name) {
  if (!m.handle) return;
  *slot = reinterpret_cast<Fn>(::dlsym(m.handle, name));
  if (!*slot) m.error += std::string("missing export ") + name + "; ";
}

HostModule Load() {
  HostModule m;
  m.handle = ::dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m.handle) {
    const char* e = ::dlerror();
    m.error = e ? e : "dlopen failed";
    return m;
  }
#define LF_RESOLVE(name) Resolve(m, &m.name, #name)
  LF_RESOLVE(GetPluginVersion);
  LF_RESOLVE(GetNumOfSupportedExtentions);
  LF_RESOLVE(GetSupportedExtention);
  LF_RESOLVE(IsSupported);
  LF_RESOLVE(IsExifFile);
  LF_RESOLVE(Decode);
  LF_RESOLVE(Draw);
  LF_RESOLVE(DrawImage);
  LF_RESOLVE(Encode);
  LF_RESOLVE(GetStillImageInfo);
  LF_RESOLVE(GetOrientation);
  LF_RESOLVE(GetDateTimeOriginal);
  LF_RESOLVE(GetExifValue);
  LF_RESOLVE(IsExifEx);
  LF_RESOLVE(SetOrientation);
  LF_RESOLVE(SetDateTimeOriginal);
  LF_RESOLVE(ReplaceExifGps);
  LF_RESOLVE(ReplaceThumbImage);
  LF_RESOLVE(ReplaceExifImage);
  LF_RESOLVE(AppendExif);
  LF_RESOLVE(GetExif);
  LF_RESOLVE(GetExifMakerValue);
  LF_RESOLVE(GetMakerNoteValue);
  LF_RESOLVE(SetMakerNote);
#undef LF_RESOLVE
  return m;
}

}  // namespace

const HostModule& HostModule::Get() {
  static const HostModule module = Load();
  return module;
}

}  // namespace lf::test
