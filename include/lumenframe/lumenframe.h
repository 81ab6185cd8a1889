/*
 * Lumenframe — public interface of the image-file plug-in module "Lumenframe.pcp".
 *
 * A host loads the module with dlopen() and resolves the 24 exported functions by name
 * (the LF_FN_* typedefs below give their exact signatures). This header is valid C99 and C++.
 *
 * Ownership rules, which every function follows:
 *  - Paths are NUL-terminated multi-byte strings owned by the caller. An empty path is one whose
 *    first byte is 0.
 *  - Images cross the boundary as a packed device-independent bitmap (40-byte BITMAPINFOHEADER,
 *    colour table, rows) inside one global memory block (LF_HGLOBAL). A block the host passes in is
 *    only read; a block the module returns (Decode) belongs to the host, which frees it with
 *    LfGlobalFree().
 *  - Host containers (lists, strings, byte arrays, the record list) are plain C structs whose storage
 *    comes from C malloc()/free(). The module may grow or replace their storage with realloc()/free();
 *    the host releases whatever they hold with the Lf*Free() helpers below (or free() directly).
 *  - Every function except Decode returns an LF_RESULT: 0 on success, negative on failure.
 */
#ifndef LUMENFRAME_LUMENFRAME_H
#define LUMENFRAME_LUMENFRAME_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(LF_BUILDING_MODULE)
#define LF_API __attribute__((visibility("default")))
#else
#define LF_API
#endif

/* ---------------------------------------------------------------------------------------------
 * Result codes
 * ------------------------------------------------------------------------------------------- */
typedef int32_t LF_RESULT;

#define LF_S_OK ((LF_RESULT)0)
#define LF_E_NOTIMPL ((LF_RESULT)0x80004001u)
#define LF_E_ABORT ((LF_RESULT)0x80004004u)
#define LF_E_FAIL ((LF_RESULT)0x80004005u)
#define LF_E_OUTOFMEMORY ((LF_RESULT)0x8007000Eu)
#define LF_E_INVALIDARG ((LF_RESULT)0x80070057u)
/* The JPEG or TIFF file carries no EXIF data that the module accepts. */
#define LF_E_NO_EXIF ((LF_RESULT)0x8878000Bu)
/* Writing an output file failed with Windows error 8, 14, 5 or 82 respectively. */
#define LF_E_WIN32_NOT_ENOUGH_MEMORY ((LF_RESULT)0x8878000Cu)
#define LF_E_WIN32_OUTOFMEMORY ((LF_RESULT)0x8878000Du)
#define LF_E_WIN32_ACCESS_DENIED ((LF_RESULT)0x8878000Eu)
#define LF_E_WIN32_CANNOT_MAKE ((LF_RESULT)0x8878000Fu)

#define LF_SUCCEEDED(r) ((LF_RESULT)(r) >= 0)
#define LF_FAILED(r) ((LF_RESULT)(r) < 0)

/* A Windows error number e becomes 0x80070000 | (e & 0xFFFF) when positive; 0 or less is kept. */
static inline LF_RESULT LfResultFromWin32(int32_t e) {
  return e > 0 ? (LF_RESULT)(0x80070000u | ((uint32_t)e & 0xFFFFu)) : (LF_RESULT)e;
}
/* A toolkit result r <= 0 becomes 0x82000000 | (-r). */
static inline LF_RESULT LfResultFromToolkit(int32_t r) {
  return (LF_RESULT)(0x82000000u | (uint32_t)(-(int64_t)r));
}

/* Windows error numbers that the module reports (errno values are mapped onto these). */
#define LF_ERROR_FILE_NOT_FOUND 2
#define LF_ERROR_PATH_NOT_FOUND 3
#define LF_ERROR_ACCESS_DENIED 5
#define LF_ERROR_NOT_ENOUGH_MEMORY 8
#define LF_ERROR_INVALID_DATA 13
#define LF_ERROR_OUTOFMEMORY 14
#define LF_ERROR_WRITE_FAULT 29
#define LF_ERROR_READ_FAULT 30
#define LF_ERROR_SHARING_VIOLATION 32
#define LF_ERROR_HANDLE_EOF 38
#define LF_ERROR_FILE_EXISTS 80
#define LF_ERROR_CANNOT_MAKE 82
#define LF_ERROR_INVALID_PARAMETER 87
#define LF_ERROR_DISK_FULL 112
#define LF_ERROR_INVALID_NAME 123
#define LF_ERROR_ALREADY_EXISTS 183
#define LF_ERROR_FILENAME_EXCED_RANGE 206

/* ---------------------------------------------------------------------------------------------
 * File kinds: taken from the extension alone. The positive values double as Encode's format bits.
 * ------------------------------------------------------------------------------------------- */
typedef int32_t LF_FILE_KIND;
#define LF_KIND_JPEG 1
#define LF_KIND_BMP 2
#define LF_KIND_PNG 4
#define LF_KIND_TIFF 8
#define LF_KIND_GIF 256
#define LF_KIND_UNSUPPORTED (-1)

/* Version reported by GetPluginVersion. */
#define LF_PLUGIN_VERSION 0x00010000u

/* Decode sources. */
#define LF_DECODE_MAIN_IMAGE 0u
#define LF_DECODE_THUMBNAIL 1u

/* Directory selectors of GetExifValue. */
#define LF_DIR_IFD0 1u
#define LF_DIR_EXIF 2u
#define LF_DIR_GPS 3u
#define LF_DIR_INTEROP 4u
#define LF_DIR_IFD1 257u

/* ---------------------------------------------------------------------------------------------
 * Date and time: the Windows SYSTEMTIME layout, eight 16-bit fields, 16 bytes.
 * ------------------------------------------------------------------------------------------- */
typedef struct LfExifDateTime {
  uint16_t year;
  uint16_t month;
  uint16_t dayOfWeek; /* always written as 0 */
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint16_t milliseconds;
} LfExifDateTime;

/* A rectangle: left, top, right, bottom. Empty when right <= left or bottom <= top. */
typedef struct LfRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
} LfRect;

/* ---------------------------------------------------------------------------------------------
 * Global memory blocks: movable blocks identified by a handle. The host may make and free them
 * with these helpers without calling into the module; the module uses the same layout.
 * ------------------------------------------------------------------------------------------- */
typedef struct LfGlobalBlock {
  size_t size;         /* bytes of payload */
  uint32_t lockCount;  /* how many Lock calls are outstanding */
  uint32_t reserved;
  /* The payload follows, aligned to 16 bytes. */
} LfGlobalBlock;
typedef LfGlobalBlock* LF_HGLOBAL;

#define LF_GLOBAL_HEADER_SIZE ((size_t)16)

/* Allocates a zero-filled block of size bytes; NULL when memory is short. */
static inline LF_HGLOBAL LfGlobalAlloc(size_t size) {
  if (size > (size_t)-1 - LF_GLOBAL_HEADER_SIZE) return NULL;
  LF_HGLOBAL h = (LF_HGLOBAL)calloc(1, LF_GLOBAL_HEADER_SIZE + size);
  if (h) h->size = size;
  return h;
}
/* Returns the block's payload and counts one lock. */
static inline void* LfGlobalLock(LF_HGLOBAL h) {
  if (!h) return NULL;
  h->lockCount++;
  return (unsigned char*)h + LF_GLOBAL_HEADER_SIZE;
}
/* Releases one lock; returns non-zero while the block is still locked. */
static inline int LfGlobalUnlock(LF_HGLOBAL h) {
  if (!h || h->lockCount == 0) return 0;
  return --h->lockCount != 0;
}
static inline size_t LfGlobalSize(LF_HGLOBAL h) { return h ? h->size : 0; }
/* Frees the block; returns NULL as GlobalFree does on success. */
static inline LF_HGLOBAL LfGlobalFree(LF_HGLOBAL h) {
  free(h);
  return NULL;
}

/* ---------------------------------------------------------------------------------------------
 * Device context: a memory surface that Draw and DrawImage paint into. Row 0 is the top row.
 * 24 bits per pixel: B, G, R bytes; 32: B, G, R, X; 1: one bit a pixel, most significant bit first,
 * 1 = white. stride is the byte distance between rows.
 * ------------------------------------------------------------------------------------------- */
typedef struct LfDeviceContext {
  int32_t width;
  int32_t height;
  int32_t bitsPerPixel; /* 1, 24 or 32 */
  int32_t stride;
  void* pixels;
} LfDeviceContext;

/* ---------------------------------------------------------------------------------------------
 * Host containers. Storage is malloc()/free(); `reserved` stands where the original host kept a
 * class pointer and is not used by the module.
 * ------------------------------------------------------------------------------------------- */
typedef struct LfU16List {
  void* reserved;
  uint16_t* data;
  int32_t size;     /* elements in use */
  int32_t capacity; /* elements allocated */
  int32_t growBy;
} LfU16List;

typedef struct LfU32List {
  void* reserved;
  uint32_t* data;
  int32_t size;
  int32_t capacity;
  int32_t growBy;
} LfU32List;

typedef struct LfByteArray {
  void* reserved;
  uint8_t* data;
  int32_t size;
  int32_t capacity;
  int32_t growBy;
} LfByteArray;

/* A text: NULL or a malloc()ed NUL-terminated string. NULL reads as the empty string. */
typedef struct LfString {
  char* text;
} LfString;

static inline void LfU16ListFree(LfU16List* l) {
  if (l) { free(l->data); l->data = NULL; l->size = l->capacity = 0; }
}
static inline void LfU32ListFree(LfU32List* l) {
  if (l) { free(l->data); l->data = NULL; l->size = l->capacity = 0; }
}
static inline void LfByteArrayFree(LfByteArray* a) {
  if (a) { free(a->data); a->data = NULL; a->size = a->capacity = 0; }
}
static inline void LfStringFree(LfString* s) {
  if (s) { free(s->text); s->text = NULL; }
}
/* Appends one tag; returns 0 when memory is short. */
static inline int LfU16ListAppend(LfU16List* l, uint16_t v) {
  if (l->size >= l->capacity) {
    int32_t cap = l->capacity ? l->capacity * 2 : 8;
    uint16_t* p = (uint16_t*)realloc(l->data, (size_t)cap * sizeof *p);
    if (!p) return 0;
    l->data = p;
    l->capacity = cap;
  }
  l->data[l->size++] = v;
  return 1;
}
/* Replaces the text with a copy of s; returns 0 when memory is short. */
static inline int LfStringSet(LfString* str, const char* s) {
  size_t n = strlen(s) + 1;
  char* p = (char*)malloc(n);
  if (!p) return 0;
  memcpy(p, s, n);
  free(str->text);
  str->text = p;
  return 1;
}

/* The EXIF record list: a ring of nodes through a sentinel. Nodes and records are malloc()ed by
 * whoever appends them; the holder of the list frees them. */
typedef struct LfRecordNode {
  struct LfRecordNode* next;
  struct LfRecordNode* prev;
  uint32_t selector;
  void* record;
} LfRecordNode;

typedef struct LfExifRecord {
  void* reserved;
  LfRecordNode* head; /* the sentinel node; NULL until the first append */
  uint32_t count;
} LfExifRecord;

/* Record layouts are fixed: these checks fail to compile when a field moves. */
#define LF_CHECK_LAYOUT(name, condition) typedef char lf_layout_check_##name[(condition) ? 1 : -1]
#define LF_POINTER_WIDTH(w32, w64) (sizeof(void*) == 4 ? (w32) : (w64))

/* GPS data for ReplaceExifGps and Encode: the GPS tags to write (an empty list removes the GPS
 * data) and a value for each of the twelve tags the module writes. Numbers are in native order;
 * each rational is a numerator and a denominator. The module reads the record and writes only
 * versionID. */
typedef struct LfGpsRecord {
  LfU32List tagList;            /* GPS tag numbers; others than those below are ignored */
  uint8_t versionID[4];         /* 0x0000 GPSVersionID, first byte most significant */
  char latitudeRef[2];          /* 0x0001 'N' or 'S', and a 0 byte */
  uint32_t latitude[6];         /* 0x0002 degrees, minutes, seconds */
  char longitudeRef[2];         /* 0x0003 'E' or 'W', and a 0 byte */
  uint32_t longitude[6];        /* 0x0004 */
  uint32_t altitudeRef;         /* 0x0005 0 above sea level, 1 below (its low byte is written) */
  uint32_t altitude[2];         /* 0x0006 metres */
  uint32_t timeStamp[6];        /* 0x0007 hour, minute, second (UTC) */
  LfString mapDatum;            /* 0x0012 */
  LfByteArray processingMethod; /* 0x001B */
  LfByteArray areaInformation;  /* 0x001C */
  LfString dateStamp;           /* 0x001D "YYYY:MM:DD" */
} LfGpsRecord;
LF_CHECK_LAYOUT(gps_size, sizeof(LfGpsRecord) == LF_POINTER_WIDTH(164, 208));
LF_CHECK_LAYOUT(gps_version, offsetof(LfGpsRecord, versionID) == LF_POINTER_WIDTH(20, 32));
LF_CHECK_LAYOUT(gps_latitude, offsetof(LfGpsRecord, latitude) == LF_POINTER_WIDTH(28, 40));
LF_CHECK_LAYOUT(gps_altitude_ref, offsetof(LfGpsRecord, altitudeRef) == LF_POINTER_WIDTH(80, 92));
LF_CHECK_LAYOUT(gps_time, offsetof(LfGpsRecord, timeStamp) == LF_POINTER_WIDTH(92, 104));
LF_CHECK_LAYOUT(gps_map_datum, offsetof(LfGpsRecord, mapDatum) == LF_POINTER_WIDTH(116, 128));
LF_CHECK_LAYOUT(gps_method, offsetof(LfGpsRecord, processingMethod) == LF_POINTER_WIDTH(120, 136));
LF_CHECK_LAYOUT(gps_area, offsetof(LfGpsRecord, areaInformation) == LF_POINTER_WIDTH(140, 168));
LF_CHECK_LAYOUT(gps_date, offsetof(LfGpsRecord, dateStamp) == LF_POINTER_WIDTH(160, 200));

/* The parameters of an EXIF block built for a new file (Encode with LF_ENC_NEW_EXIF_FILE). */
#define LF_EXIF_VERSION_0210 0x30323130u /* "0210" written big-endian */
typedef struct LfExifWriteParams {
  uint32_t exifVersion;            /* must be LF_EXIF_VERSION_0210 */
  LfString imageDescription;       /* used when the image has none; empty = none */
  LfString make;                   /* used when the image has none (added even when empty) */
  LfString model;                  /* likewise */
  LfString software;               /* used when the image has none; empty = none */
  LfExifDateTime dateTimeOriginal; /* year 0 = the current time */
} LfExifWriteParams;
LF_CHECK_LAYOUT(params_size, sizeof(LfExifWriteParams) == LF_POINTER_WIDTH(36, 56));
LF_CHECK_LAYOUT(params_date, offsetof(LfExifWriteParams, dateTimeOriginal) == LF_POINTER_WIDTH(20, 40));

/* Encode's flags word. The format bits equal the file kinds. The writers of a new file with EXIF
 * data take any of the three JPEG bits (LF_ENC_ANY_JPEG) as JPEG output, tested before TIFF. */
#define LF_ENC_JPEG 0x1u
#define LF_ENC_BMP 0x2u
#define LF_ENC_PNG 0x4u
#define LF_ENC_TIFF 0x8u
#define LF_ENC_WITH_EXIF 0x10u         /* JPEG with an EXIF block from an LfExifRecord (extra) */
#define LF_ENC_JPEG_MODE1 0x20u
#define LF_ENC_JPEG_MODE2 0x40u
#define LF_ENC_GIF 0x100u
#define LF_ENC_BY_EXTENSION 0x8000u    /* add the format bit the target's extension implies */
#define LF_ENC_RECORD_GIVEN 0x10000u   /* extra is an LfExifRecord */
#define LF_ENC_NEW_EXIF_FILE 0x100000u /* a new JPEG or TIFF with an EXIF block from LfExifWriteParams */
#define LF_ENC_PARAMS_PAIR 0x200000u   /* with LF_ENC_NEW_EXIF_FILE: extra is an LfExifWriteParamsPair */
#define LF_ENC_ANY_JPEG (LF_ENC_JPEG | LF_ENC_JPEG_MODE1 | LF_ENC_JPEG_MODE2)

/* Encode's extra argument when the flags carry LF_ENC_PARAMS_PAIR as well. */
typedef struct LfExifWriteParamsPair {
  LfExifWriteParams* params;
  LfGpsRecord* gps;
} LfExifWriteParamsPair;

/* Host records defined by the parts of the interface that use them. */
typedef struct LfExifSummary LfExifSummary;
typedef struct LfGpsSummary LfGpsSummary;
typedef struct LfMakerNoteSummary LfMakerNoteSummary;

/* ---------------------------------------------------------------------------------------------
 * The 24 exports.
 * ------------------------------------------------------------------------------------------- */
LF_API LF_RESULT GetPluginVersion(uint32_t* version);
LF_API LF_RESULT GetNumOfSupportedExtentions(uint32_t* count);
LF_API LF_RESULT GetSupportedExtention(int32_t index, char* extension);
LF_API LF_RESULT IsSupported(const char* path, uint32_t* supported);
LF_API LF_RESULT IsExifFile(const char* path, uint32_t* isExif);
LF_API LF_HGLOBAL Decode(const char* path, uint32_t source);
LF_API LF_RESULT Draw(LfDeviceContext* dc, LF_HGLOBAL image, LfRect destination);
LF_API LF_RESULT DrawImage(const char* path, LfDeviceContext* dc, LfRect destination, int32_t angle,
                           LfRect crop, int32_t whitenPercent);
LF_API LF_RESULT Encode(LF_HGLOBAL image, const char* path, uint32_t flags, int32_t quality,
                        void* extra);
LF_API LF_RESULT GetStillImageInfo(const char* path, void* output, uint32_t mask);
LF_API LF_RESULT GetOrientation(const char* path, uint32_t* orientation,
                                uint32_t* thumbnailOrientation, int32_t acceptTiff);
LF_API LF_RESULT GetDateTimeOriginal(const char* path, LfExifDateTime* value);
LF_API LF_RESULT GetExifValue(const char* path, uint32_t directory, uint16_t tag, void* buffer,
                              uint32_t* size, uint16_t* type, uint32_t* count);
LF_API LF_RESULT IsExifEx(const char* path, uint32_t* isExif, uint32_t* hasPrintImage,
                          uint32_t* isExif22);
LF_API LF_RESULT SetOrientation(const char* destination, const char* source, int32_t orientation,
                                int32_t allowRebuild);
LF_API LF_RESULT SetDateTimeOriginal(const char* path, LfExifDateTime value);
LF_API LF_RESULT ReplaceExifGps(const char* destination, const char* source, int32_t quality,
                                LfGpsRecord* gps);
LF_API LF_RESULT ReplaceThumbImage(const char* destination, const char* source, LF_HGLOBAL image,
                                   int32_t quality);
LF_API LF_RESULT ReplaceExifImage(const char* destination, const char* source, LF_HGLOBAL image,
                                  int32_t quality);
LF_API LF_RESULT AppendExif(const char* destination, const char* source, LfExifRecord* records,
                            int32_t requireExif);
LF_API LF_RESULT GetExif(const char* path, LfExifSummary* exif, LfGpsSummary* gps,
                         LfMakerNoteSummary* makerNote);
LF_API LF_RESULT GetExifMakerValue(const char* path, const char* header, uint16_t tag, void* buffer,
                                   uint32_t* size, uint16_t* type, uint32_t* count);
LF_API LF_RESULT GetMakerNoteValue(const char* path, LfString* header, LfU16List* tags,
                                   LfU32List* values);
LF_API LF_RESULT SetMakerNote(const char* destination, const char* source, const char* header,
                              uint16_t tag, uint16_t type, uint32_t count, uint32_t value);

/* Function-pointer types for hosts that resolve the exports with dlsym(). */
typedef LF_RESULT (*LF_FN_GetPluginVersion)(uint32_t*);
typedef LF_RESULT (*LF_FN_GetNumOfSupportedExtentions)(uint32_t*);
typedef LF_RESULT (*LF_FN_GetSupportedExtention)(int32_t, char*);
typedef LF_RESULT (*LF_FN_IsSupported)(const char*, uint32_t*);
typedef LF_RESULT (*LF_FN_IsExifFile)(const char*, uint32_t*);
typedef LF_HGLOBAL (*LF_FN_Decode)(const char*, uint32_t);
typedef LF_RESULT (*LF_FN_Draw)(LfDeviceContext*, LF_HGLOBAL, LfRect);
typedef LF_RESULT (*LF_FN_DrawImage)(const char*, LfDeviceContext*, LfRect, int32_t, LfRect, int32_t);
typedef LF_RESULT (*LF_FN_Encode)(LF_HGLOBAL, const char*, uint32_t, int32_t, void*);
typedef LF_RESULT (*LF_FN_GetStillImageInfo)(const char*, void*, uint32_t);
typedef LF_RESULT (*LF_FN_GetOrientation)(const char*, uint32_t*, uint32_t*, int32_t);
typedef LF_RESULT (*LF_FN_GetDateTimeOriginal)(const char*, LfExifDateTime*);
typedef LF_RESULT (*LF_FN_GetExifValue)(const char*, uint32_t, uint16_t, void*, uint32_t*, uint16_t*,
                                        uint32_t*);
typedef LF_RESULT (*LF_FN_IsExifEx)(const char*, uint32_t*, uint32_t*, uint32_t*);
typedef LF_RESULT (*LF_FN_SetOrientation)(const char*, const char*, int32_t, int32_t);
typedef LF_RESULT (*LF_FN_SetDateTimeOriginal)(const char*, LfExifDateTime);
typedef LF_RESULT (*LF_FN_ReplaceExifGps)(const char*, const char*, int32_t, LfGpsRecord*);
typedef LF_RESULT (*LF_FN_ReplaceThumbImage)(const char*, const char*, LF_HGLOBAL, int32_t);
typedef LF_RESULT (*LF_FN_ReplaceExifImage)(const char*, const char*, LF_HGLOBAL, int32_t);
typedef LF_RESULT (*LF_FN_AppendExif)(const char*, const char*, LfExifRecord*, int32_t);
typedef LF_RESULT (*LF_FN_GetExif)(const char*, LfExifSummary*, LfGpsSummary*, LfMakerNoteSummary*);
typedef LF_RESULT (*LF_FN_GetExifMakerValue)(const char*, const char*, uint16_t, void*, uint32_t*,
                                             uint16_t*, uint32_t*);
typedef LF_RESULT (*LF_FN_GetMakerNoteValue)(const char*, LfString*, LfU16List*, LfU32List*);
typedef LF_RESULT (*LF_FN_SetMakerNote)(const char*, const char*, const char*, uint16_t, uint16_t,
                                        uint32_t, uint32_t);

#ifdef __cplusplus
}
#endif

#endif /* LUMENFRAME_LUMENFRAME_H */
