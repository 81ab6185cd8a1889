// SPDX-License-Identifier: MIT
#include "cli/module.h"

#include <cstring>

#include <dlfcn.h>

namespace lf::cli {

bool OpenModule(const std::string& path, Module* m, std::string* error) {
  *m = Module{};
  m->handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m->handle) {
    const char* e = ::dlerror();
    *error = e ? e : "cannot load " + path;
    return false;
  }
  error->clear();
#define LF_RESOLVE_EXPORT(name)                                        \
  m->name = reinterpret_cast<LF_FN_##name>(::dlsym(m->handle, #name)); \
  if (!m->name) error->append(error->empty() ? "" : "; ").append("missing export " #name);
  LF_FOR_EACH_EXPORT(LF_RESOLVE_EXPORT)
#undef LF_RESOLVE_EXPORT
  return error->empty();
}

LF_RESULT ReadExifNumber(const Module& m, const std::string& path, uint32_t dir, uint16_t tag,
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

}  // namespace lf::cli
