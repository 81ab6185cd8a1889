// SPDX-License-Identifier: MIT
/* A host built against the installed tree alone: the header from include/lumenframe/, the module
 * loaded from the path given (pkg-config's `module` variable or the CMake package's
 * Lumenframe_MODULE). Prints what it reads from a photo: "orientation N date YYYY:MM:DD". Written
 * as C that is also C++, so the same host checks both languages. */
#include <dlfcn.h>
#include <stdio.h>

#include <lumenframe/lumenframe.h>

int main(int argc, char** argv) {
  void* module;
  LF_FN_GetOrientation getOrientation;
  LF_FN_GetDateTimeOriginal getDate;
  uint32_t orientation = 0, thumbnail = 0;
  LfExifDateTime date;
  if (argc != 3) {
    fprintf(stderr, "usage: install_host MODULE PHOTO\n");
    return 2;
  }
  module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  *(void**)(&getOrientation) = dlsym(module, "GetOrientation");
  *(void**)(&getDate) = dlsym(module, "GetDateTimeOriginal");
  if (!getOrientation || !getDate) return 1;
  if (getOrientation(argv[2], &orientation, &thumbnail, 1) != LF_S_OK) return 1;
  if (getDate(argv[2], &date) != LF_S_OK) return 1;
  printf("orientation %u date %04u:%02u:%02u\n", (unsigned)orientation, (unsigned)date.year,
         (unsigned)date.month, (unsigned)date.day);
  dlclose(module);
  return 0;
}
