// SPDX-License-Identifier: MIT
#include "cli/module.h"

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
#define LF_RESOLVE_EXPORT(name)                                      \
  m->name = reinterpret_cast<LF_FN_##name>(::dlsym(m->handle, #name)); \
  if (!m->name) error->append(error->empty() ? "" : "; ").append("missing export " #name);
  LF_FOR_EACH_EXPORT(LF_RESOLVE_EXPORT)
#undef LF_RESOLVE_EXPORT
  return error->empty();
}

}  // namespace lf::cli
