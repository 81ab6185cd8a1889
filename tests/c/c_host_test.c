// SPDX-License-Identifier: MIT
/* A C99 host against the public header alone: layouts by value and pointer, the record helpers. */
#define _POSIX_C_SOURCE 200809L
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "lumenframe/lumenframe.h"

static int failures = 0;
static int checks = 0;

#define CHECK(cond)                                                            \
  do {                                                                         \
    ++checks;                                                                  \
    if (!(cond)) {                                                             \
      ++failures;                                                              \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
    }                                                                          \
  } while (0)

static void* resolve(void* h, const char* name) {
  void* p = dlsym(h, name);
  if (!p) {
    fprintf(stderr, "missing export %s\n", name);
    ++failures;
  }
  return p;
}

int main(void) {
  void* h = dlopen(LF_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  LF_FN_GetPluginVersion getVersion;
  LF_FN_GetSupportedExtention getExt;
  LF_FN_IsSupported isSupported;
  LF_FN_DrawImage drawImage;
  LF_FN_GetStillImageInfo getInfo;
  LF_FN_Encode encode;
  LF_FN_GetExif getExif;
  LF_FN_GetMakerNoteValue getNoteValues;
  uint32_t v = 0, s = 7;
  char ext[16];
  LfDeviceContext dc;
  unsigned char pixels[4 * 4 * 3];
  LfRect dest = {0, 0, 4, 4}, noCrop = {0, 0, 0, 0};
  if (!h) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  getVersion = (LF_FN_GetPluginVersion)resolve(h, "GetPluginVersion");
  getExt = (LF_FN_GetSupportedExtention)resolve(h, "GetSupportedExtention");
  isSupported = (LF_FN_IsSupported)resolve(h, "IsSupported");
  drawImage = (LF_FN_DrawImage)resolve(h, "DrawImage");
  getInfo = (LF_FN_GetStillImageInfo)resolve(h, "GetStillImageInfo");
  encode = (LF_FN_Encode)resolve(h, "Encode");
  getExif = (LF_FN_GetExif)resolve(h, "GetExif");
  getNoteValues = (LF_FN_GetMakerNoteValue)resolve(h, "GetMakerNoteValue");
  if (failures) return 1;

  CHECK(getVersion(&v) == LF_S_OK && v == 0x00010000u);
  memset(ext, 'x', sizeof ext);
  CHECK(getExt(2, ext) == LF_S_OK && memcmp(ext, "tiff", 5) == 0 && ext[5] == 'x');
  CHECK(isSupported("notes.txt", &s) == LF_E_FAIL && s == 0);
  CHECK(LfResultFromWin32(5) == (LF_RESULT)0x80070005u);
  CHECK(LfResultFromToolkit(-9) == (LF_RESULT)0x82000009u);

  dc.width = 4;
  dc.height = 4;
  dc.bitsPerPixel = 24;
  dc.stride = 12;
  dc.pixels = pixels;
  /* The rectangles travel by value: a wrong layout would turn these answers around. */
  CHECK(drawImage("a.jpg", &dc, dest, 36001, noCrop, 0) == LF_E_INVALIDARG);
  CHECK(drawImage("/no/such/a.jpg", &dc, dest, -36000, noCrop, 0) == LF_E_FAIL);

  /* The record list with the header's helpers alone: a ring through a sentinel, every record freed
   * with its texts and arrays. */
  {
    LfExifRecord list;
    LfImageDirRecord* ifd0 = LfImageDirRecordNew();
    LfExifDirRecord* exif = LfExifDirRecordNew();
    memset(&list, 0, sizeof list);
    CHECK(ifd0 && exif);
    CHECK(LfStringSet(&ifd0->make, "Kestrelon") && LfU16ListAppend(&exif->isoSpeedRatings, 200));
    LfPresenceSet(&exif->presence, 55);
    CHECK(LfPresenceHas(&exif->presence, 55) && exif->presence.high == 1u << 23);
    CHECK(LfRecordListAppend(&list, LF_SEL_IFD0, ifd0));
    CHECK(LfRecordListAppend(&list, LF_SEL_EXIF, exif));
    CHECK(list.count == 2 && list.head->next->record == ifd0 && list.head->prev->record == exif);
    CHECK(list.head->prev->prev->prev == list.head);
    CHECK(LfRecordListFind(&list, LF_SEL_EXIF) == exif && !LfRecordListFind(&list, LF_SEL_IFD1));
    LfRecordListFree(&list, 1);
    CHECK(list.head == NULL && list.count == 0);
  }

  /* Encode a 4 x 2 bitmap and read its size back: the answer's shape and record. */
  {
    char dir[] = "/tmp/lfchostXXXXXX";
    char path[64];
    unsigned char* p;
    LfStillImageOutput out;
    const LfImageInfoRecord* info;
    LF_HGLOBAL dib = LfGlobalAlloc(40 + 2 * 12);
    CHECK(mkdtemp(dir) != NULL);
    snprintf(path, sizeof path, "%s/out.png", dir);
    p = (unsigned char*)LfGlobalLock(dib);
    p[0] = 40;
    p[4] = 4;
    p[8] = 2;
    p[12] = 1;
    p[14] = 24;
    memset(p + 40, 0x80, 24);
    CHECK(LfGlobalUnlock(dib) == 0 && LfGlobalSize(dib) == 64);
    CHECK(encode(dib, path, LF_ENC_BY_EXTENSION, 90, NULL) == LF_S_OK);
    memset(&out, 0, sizeof out);
    CHECK(getInfo(path, &out, LF_SEL_IMAGE_INFO) == LF_S_OK &&
          out.single.selector == LF_SEL_IMAGE_INFO);
    info = (const LfImageInfoRecord*)out.single.record;
    CHECK(info && info->width == 4 && info->height == 2 && info->bitsPerPixel == 24 &&
          strcmp(info->typeName, "PNG") == 0);
    LfStillImageOutputFree(&out);
    CHECK(out.single.record == NULL && out.list.count == 0);
    CHECK(LfGlobalFree(dib) == NULL);
    remove(path);
    remove(dir);
  }

  /* GetExif's summaries and the maker-note lists, built as requests and freed with the header's
   * helpers alone. */
  {
    LfExifSummary exif;
    LfGpsSummary gps;
    LfMakerNoteSummary note;
    LfString header = {NULL};
    LfU16List tags;
    LfU32List values;
    memset(&exif, 0, sizeof exif);
    memset(&gps, 0, sizeof gps);
    memset(&note, 0, sizeof note);
    memset(&tags, 0, sizeof tags);
    memset(&values, 0, sizeof values);
    CHECK(LfU16ListAppend(&exif.tags, 0x829A) && LfU16ListAppend(&tags, 0x0001));
    CHECK(LfU32ListAppend(&values, 7) && values.data[0] == 7);
    CHECK(LfStringSet(&note.header, "Kestrelon") && LfByteArrayResize(&gps.processingMethod, 3));
    CHECK(getExif("/no/such/a.jpg", &exif, &gps, &note) == LF_E_NO_EXIF && exif.tags.size == 1);
    CHECK(getNoteValues("/no/such/a.jpg", &header, &tags, &values) == LF_E_NO_EXIF &&
          values.size == 0);
    LfExifSummaryClear(&exif);
    LfGpsSummaryClear(&gps);
    LfMakerNoteSummaryClear(&note);
    CHECK(exif.tags.data == NULL && gps.processingMethod.data == NULL && note.header.text == NULL);
    LfStringFree(&header);
    LfU16ListFree(&tags);
    LfU32ListFree(&values);
  }

  dlclose(h);
  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures ? 1 : 0;
}
