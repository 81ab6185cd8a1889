// SPDX-License-Identifier: MIT
/* The host records, their layout checks and helpers are laid out by hand. */
/* clang-format off */
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
/* Appends one value; returns 0 when memory is short. */
static inline int LfU32ListAppend(LfU32List* l, uint32_t v) {
  if (l->size >= l->capacity) {
    int32_t cap = l->capacity ? l->capacity * 2 : 8;
    uint32_t* p = (uint32_t*)realloc(l->data, (size_t)cap * sizeof *p);
    if (!p) return 0;
    l->data = p;
    l->capacity = cap;
  }
  l->data[l->size++] = v;
  return 1;
}
/* Makes the array hold n zero bytes; returns 0 (array emptied) when memory is short. */
static inline int LfByteArrayResize(LfByteArray* a, int32_t n) {
  uint8_t* p;
  LfByteArrayFree(a);
  if (n <= 0) return 1;
  p = (uint8_t*)calloc((size_t)n, 1);
  if (!p) return 0;
  a->data = p;
  a->size = a->capacity = n;
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

/* Directory selectors of the record list (and of GetStillImageInfo's mask). */
#define LF_SEL_IMAGE_INFO 0x1u
#define LF_SEL_THUMB_INFO 0x2u
#define LF_SEL_IFD0 0x10000u
#define LF_SEL_IFD1 0x20000u
#define LF_SEL_EXIF 0x40000u
#define LF_SEL_GPS 0x80000u
#define LF_SEL_INTEROP 0x100000u
#define LF_SEL_ALLOWED 0x000F000Fu /* a selector mask with none of these bits is invalid */

/* Bit N set: field N of the record holds a value. Two words, low word = bits 0 to 31. */
typedef struct LfPresenceMask {
  uint32_t low;
  uint32_t high;
} LfPresenceMask;

static inline int LfPresenceHas(const LfPresenceMask* m, unsigned bit) {
  return bit < 32 ? (int)((m->low >> bit) & 1u) : bit < 64 ? (int)((m->high >> (bit - 32)) & 1u) : 0;
}
static inline void LfPresenceSet(LfPresenceMask* m, unsigned bit) {
  if (bit < 32) m->low |= 1u << bit;
  else if (bit < 64) m->high |= 1u << (bit - 32);
}
static inline int LfPresenceAny(const LfPresenceMask* m) { return (m->low | m->high) != 0; }

/* Field conventions of the directory records: numbers in host order; a rational is numerator and
 * denominator; a triple of rationals is num0, den0, num1, den1, num2, den2; a "type" field holds the
 * TIFF type the value was read with (3 SHORT, otherwise LONG); Raw4 fields are four bytes kept as
 * stored. The comment of each field gives its tag and its presence bit. */

/* IFD0 or IFD1. Bit 30: an Exif sub-directory was read; bit 31: a GPS sub-directory was read. */
typedef struct LfImageDirRecord {
  uint32_t imageWidth;                /* 0x0100, bit 0 */
  uint16_t imageWidthType;
  uint32_t imageLength;               /* 0x0101, bit 1 */
  uint16_t imageLengthType;
  uint16_t bitsPerSample[3];          /* 0x0102, bit 2 */
  uint16_t compression;               /* 0x0103, bit 3 */
  uint16_t photometricInterpretation; /* 0x0106, bit 4 */
  uint16_t orientation;               /* 0x0112, bit 5 */
  uint16_t samplesPerPixel;           /* 0x0115, bit 6 */
  uint16_t planarConfiguration;       /* 0x011C, bit 15 */
  uint16_t yCbCrSubSampling[2];       /* 0x0212, bit 7 */
  uint16_t yCbCrPositioning;          /* 0x0213, bit 8 */
  uint32_t xResolution[2];            /* 0x011A, bit 9 */
  uint32_t yResolution[2];            /* 0x011B, bit 10 */
  uint16_t resolutionUnit;            /* 0x0128, bit 11 */
  LfU32List stripOffsets;             /* 0x0111, bit 12 */
  uint16_t stripOffsetsType;
  uint32_t rowsPerStrip;              /* 0x0116, bit 13 */
  uint16_t rowsPerStripType;
  LfU32List stripByteCounts;          /* 0x0117, bit 14 */
  uint16_t stripByteCountsType;
  uint32_t jpegInterchangeFormat;       /* 0x0201, bit 19 */
  uint32_t jpegInterchangeFormatLength; /* 0x0202, bit 20 */
  uint16_t transferFunction[768];       /* 0x012D, bit 16 */
  uint32_t whitePoint[4];               /* 0x013E, bit 17 */
  uint32_t primaryChromaticities[12];   /* 0x013F, bit 18 */
  uint32_t yCbCrCoefficients[6];        /* 0x0211, bit 21 */
  uint32_t referenceBlackWhite[12];     /* 0x0214, bit 22 */
  LfString dateTime;                    /* 0x0132, bit 23 */
  LfString imageDescription;            /* 0x010E, bit 24 */
  LfString make;                        /* 0x010F, bit 25 */
  LfString model;                       /* 0x0110, bit 26 */
  LfString software;                    /* 0x0131, bit 27 */
  LfString artist;                      /* 0x013B, bit 28 */
  LfString copyright;                   /* 0x8298, bit 29 */
  LfByteArray printIM;                  /* 0xC4A5, bit 32 */
  LfPresenceMask presence;
} LfImageDirRecord;
LF_CHECK_LAYOUT(image_dir_size, sizeof(LfImageDirRecord) == LF_POINTER_WIDTH(1848, 1920));
LF_CHECK_LAYOUT(image_dir_xres, offsetof(LfImageDirRecord, xResolution) == LF_POINTER_WIDTH(36, 36));
LF_CHECK_LAYOUT(image_dir_strips, offsetof(LfImageDirRecord, stripOffsets) == LF_POINTER_WIDTH(56, 56));
LF_CHECK_LAYOUT(image_dir_transfer, offsetof(LfImageDirRecord, transferFunction) == LF_POINTER_WIDTH(120, 148));
LF_CHECK_LAYOUT(image_dir_date, offsetof(LfImageDirRecord, dateTime) == LF_POINTER_WIDTH(1792, 1824));
LF_CHECK_LAYOUT(image_dir_presence, offsetof(LfImageDirRecord, presence) == LF_POINTER_WIDTH(1840, 1912));

/* The Interoperability directory, embedded in the Exif record (its own presence mask). */
typedef struct LfInteropRecord {
  LfString interoperabilityIndex;     /* 0x0001, bit 0 */
  uint8_t interoperabilityVersion[4]; /* 0x0002, bit 1 (Raw4) */
  LfString relatedImageFileFormat;    /* 0x1000, bit 2 */
  uint32_t relatedImageWidth;         /* 0x1001, bit 3 */
  uint32_t relatedImageLength;        /* 0x1002, bit 4 */
  LfPresenceMask presence;
} LfInteropRecord;
LF_CHECK_LAYOUT(interop_size, sizeof(LfInteropRecord) == LF_POINTER_WIDTH(28, 40));

/* The Exif sub-directory. Bit 41: the Interoperability directory was read. */
typedef struct LfExifDirRecord {
  uint8_t exifVersion[4];             /* 0x9000, bit 0 (Raw4) */
  uint8_t flashpixVersion[4];         /* 0xA000, bit 1 (Raw4) */
  uint16_t colorSpace;                /* 0xA001, bit 2 */
  uint8_t componentsConfiguration[4]; /* 0x9101, bit 3 (Raw4) */
  uint32_t compressedBitsPerPixel[2]; /* 0x9102, bit 4 */
  uint32_t pixelXDimension;           /* 0xA002, bit 5 */
  uint16_t pixelXDimensionType;
  uint32_t pixelYDimension;           /* 0xA003, bit 6 */
  uint16_t pixelYDimensionType;
  LfByteArray makerNote;              /* 0x927C, bit 7 */
  LfString relatedSoundFile;          /* 0xA004, bit 8 */
  LfString dateTimeOriginal;          /* 0x9003, bit 9 */
  LfString dateTimeDigitized;         /* 0x9004, bit 10 */
  LfString subSecTime;                /* 0x9290, bit 11 */
  LfString subSecTimeOriginal;        /* 0x9291, bit 12 */
  LfString subSecTimeDigitized;       /* 0x9292, bit 13 */
  uint32_t exposureTime[2];           /* 0x829A, bit 14 */
  uint32_t fNumber[2];                /* 0x829D, bit 15 */
  uint16_t exposureProgram;           /* 0x8822, bit 16 */
  LfString spectralSensitivity;       /* 0x8824, bit 17 */
  LfU16List isoSpeedRatings;          /* 0x8827, bit 18 */
  LfByteArray oecf;                   /* 0x8828, bit 19 */
  int32_t shutterSpeedValue[2];       /* 0x9201, bit 20 */
  uint32_t apertureValue[2];          /* 0x9202, bit 21 */
  int32_t brightnessValue[2];         /* 0x9203, bit 22 */
  int32_t exposureBiasValue[2];       /* 0x9204, bit 23 */
  uint32_t maxApertureValue[2];       /* 0x9205, bit 24 */
  uint32_t subjectDistance[2];        /* 0x9206, bit 25 */
  uint16_t meteringMode;              /* 0x9207, bit 26 */
  uint16_t lightSource;               /* 0x9208, bit 27 */
  uint16_t flash;                     /* 0x9209, bit 28 */
  uint32_t focalLength[2];            /* 0x920A, bit 29 */
  uint32_t flashEnergy[2];            /* 0xA20B, bit 30 */
  LfByteArray spatialFrequencyResponse; /* 0xA20C, bit 31 */
  uint32_t focalPlaneXResolution[2];  /* 0xA20E, bit 32 */
  uint32_t focalPlaneYResolution[2];  /* 0xA20F, bit 33 */
  uint16_t focalPlaneResolutionUnit;  /* 0xA210, bit 34 */
  uint16_t subjectLocation[2];        /* 0xA214, bit 35 */
  uint32_t exposureIndex[2];          /* 0xA215, bit 36 */
  uint16_t sensingMethod;             /* 0xA217, bit 37 */
  uint8_t fileSource;                 /* 0xA300, bit 38 */
  uint8_t sceneType;                  /* 0xA301, bit 39 */
  LfByteArray cfaPattern;             /* 0xA302, bit 40 */
  LfInteropRecord interoperability;   /* 0xA005, bit 41 */
  LfByteArray userComment;            /* 0x9286, bit 42 */
  LfPresenceMask presence;
  uint16_t customRendered;            /* 0xA401, bit 43 */
  uint16_t exposureMode;              /* 0xA402, bit 44 */
  uint16_t whiteBalance;              /* 0xA403, bit 45 */
  uint32_t digitalZoomRatio[2];       /* 0xA404, bit 46 */
  uint16_t focalLengthIn35mmFilm;     /* 0xA405, bit 47 */
  uint16_t sceneCaptureType;          /* 0xA406, bit 48 */
  uint16_t gainControl;               /* 0xA407, bit 49 */
  uint16_t contrast;                  /* 0xA408, bit 50 */
  uint16_t saturation;                /* 0xA409, bit 51 */
  uint16_t sharpness;                 /* 0xA40A, bit 52 */
  LfByteArray deviceSettingDescription; /* 0xA40B, bit 53 */
  uint16_t subjectDistanceRange;      /* 0xA40C, bit 54 */
  LfU16List subjectArea;              /* 0x9214, bit 55 */
} LfExifDirRecord;
LF_CHECK_LAYOUT(exif_dir_size, sizeof(LfExifDirRecord) == LF_POINTER_WIDTH(424, 576));
LF_CHECK_LAYOUT(exif_dir_maker, offsetof(LfExifDirRecord, makerNote) == LF_POINTER_WIDTH(40, 40));
LF_CHECK_LAYOUT(exif_dir_interop, offsetof(LfExifDirRecord, interoperability) == LF_POINTER_WIDTH(296, 392));
LF_CHECK_LAYOUT(exif_dir_presence, offsetof(LfExifDirRecord, presence) == LF_POINTER_WIDTH(344, 464));
LF_CHECK_LAYOUT(exif_dir_area, offsetof(LfExifDirRecord, subjectArea) == LF_POINTER_WIDTH(404, 544));

/* The GPS sub-directory. The last four fields carry the tag numbers 0x0028 to 0x002B. */
typedef struct LfGpsDirRecord {
  uint8_t versionID[4];             /* 0x0000, bit 0 (Raw4) */
  LfString latitudeRef;             /* 0x0001, bit 1 */
  uint32_t latitude[6];             /* 0x0002, bit 2 */
  LfString longitudeRef;            /* 0x0003, bit 3 */
  uint32_t longitude[6];            /* 0x0004, bit 4 */
  uint8_t altitudeRef;              /* 0x0005, bit 5 */
  uint32_t altitude[2];             /* 0x0006, bit 6 */
  uint32_t timeStamp[6];            /* 0x0007, bit 7 */
  LfString satellites;              /* 0x0008, bit 8 */
  LfString status;                  /* 0x0009, bit 9 */
  LfString measureMode;             /* 0x000A, bit 10 */
  uint32_t dop[2];                  /* 0x000B, bit 11 */
  LfString speedRef;                /* 0x000C, bit 12 */
  uint32_t speed[2];                /* 0x000D, bit 13 */
  LfString trackRef;                /* 0x000E, bit 14 */
  uint32_t track[2];                /* 0x000F, bit 15 */
  LfString imgDirectionRef;         /* 0x0010, bit 16 */
  uint32_t imgDirection[2];         /* 0x0011, bit 17 */
  LfString mapDatum;                /* 0x0012, bit 18 */
  LfString destLatitudeRef;         /* 0x0013, bit 19 */
  uint32_t destLatitude[6];         /* 0x0014, bit 20 */
  LfString destLongitudeRef;        /* 0x0015, bit 21 */
  uint32_t destLongitude[6];        /* 0x0016, bit 22 */
  LfString destBearingRef;          /* 0x0017, bit 23 */
  uint32_t destBearing[2];          /* 0x0018, bit 24 */
  LfString destDistanceRef;         /* 0x0019, bit 25 */
  uint32_t destDistance[2];         /* 0x001A, bit 26 */
  LfPresenceMask presence;
  LfByteArray processingData;       /* 0x0028, bit 27 */
  LfByteArray areaData;             /* 0x0029, bit 28 */
  LfString dateText;                /* 0x002A, bit 29 */
  uint16_t differential;            /* 0x002B, bit 30 */
} LfGpsDirRecord;
LF_CHECK_LAYOUT(gps_dir_size, sizeof(LfGpsDirRecord) == LF_POINTER_WIDTH(292, 384));
LF_CHECK_LAYOUT(gps_dir_altitude_ref, offsetof(LfGpsDirRecord, altitudeRef) == LF_POINTER_WIDTH(60, 72));
LF_CHECK_LAYOUT(gps_dir_presence, offsetof(LfGpsDirRecord, presence) == LF_POINTER_WIDTH(236, 296));
LF_CHECK_LAYOUT(gps_dir_processing, offsetof(LfGpsDirRecord, processingData) == LF_POINTER_WIDTH(244, 304));

LF_CHECK_LAYOUT(list_size, sizeof(LfExifRecord) == LF_POINTER_WIDTH(12, 24));
LF_CHECK_LAYOUT(list_count, offsetof(LfExifRecord, count) == LF_POINTER_WIDTH(8, 16));
LF_CHECK_LAYOUT(node_size, sizeof(LfRecordNode) == LF_POINTER_WIDTH(16, 32));
LF_CHECK_LAYOUT(node_selector, offsetof(LfRecordNode, selector) == LF_POINTER_WIDTH(8, 16));
LF_CHECK_LAYOUT(node_record, offsetof(LfRecordNode, record) == LF_POINTER_WIDTH(12, 24));

/* Records are made zeroed (every field 0, every text empty, the mask 0); NULL when memory is short. */
static inline LfImageDirRecord* LfImageDirRecordNew(void) {
  return (LfImageDirRecord*)calloc(1, sizeof(LfImageDirRecord));
}
static inline LfExifDirRecord* LfExifDirRecordNew(void) {
  return (LfExifDirRecord*)calloc(1, sizeof(LfExifDirRecord));
}
static inline LfGpsDirRecord* LfGpsDirRecordNew(void) {
  return (LfGpsDirRecord*)calloc(1, sizeof(LfGpsDirRecord));
}

/* Freeing a record frees its texts, arrays and blobs and then the record. NULL is accepted. */
static inline void LfImageDirRecordFree(LfImageDirRecord* r) {
  if (!r) return;
  LfU32ListFree(&r->stripOffsets);
  LfU32ListFree(&r->stripByteCounts);
  LfStringFree(&r->dateTime);
  LfStringFree(&r->imageDescription);
  LfStringFree(&r->make);
  LfStringFree(&r->model);
  LfStringFree(&r->software);
  LfStringFree(&r->artist);
  LfStringFree(&r->copyright);
  LfByteArrayFree(&r->printIM);
  free(r);
}
static inline void LfInteropRecordClear(LfInteropRecord* r) {
  LfStringFree(&r->interoperabilityIndex);
  LfStringFree(&r->relatedImageFileFormat);
}
static inline void LfExifDirRecordFree(LfExifDirRecord* r) {
  if (!r) return;
  LfByteArrayFree(&r->makerNote);
  LfStringFree(&r->relatedSoundFile);
  LfStringFree(&r->dateTimeOriginal);
  LfStringFree(&r->dateTimeDigitized);
  LfStringFree(&r->subSecTime);
  LfStringFree(&r->subSecTimeOriginal);
  LfStringFree(&r->subSecTimeDigitized);
  LfStringFree(&r->spectralSensitivity);
  LfU16ListFree(&r->isoSpeedRatings);
  LfByteArrayFree(&r->oecf);
  LfByteArrayFree(&r->spatialFrequencyResponse);
  LfByteArrayFree(&r->cfaPattern);
  LfInteropRecordClear(&r->interoperability);
  LfByteArrayFree(&r->userComment);
  LfByteArrayFree(&r->deviceSettingDescription);
  LfU16ListFree(&r->subjectArea);
  free(r);
}
static inline void LfGpsDirRecordFree(LfGpsDirRecord* r) {
  if (!r) return;
  LfStringFree(&r->latitudeRef);
  LfStringFree(&r->longitudeRef);
  LfStringFree(&r->satellites);
  LfStringFree(&r->status);
  LfStringFree(&r->measureMode);
  LfStringFree(&r->speedRef);
  LfStringFree(&r->trackRef);
  LfStringFree(&r->imgDirectionRef);
  LfStringFree(&r->mapDatum);
  LfStringFree(&r->destLatitudeRef);
  LfStringFree(&r->destLongitudeRef);
  LfStringFree(&r->destBearingRef);
  LfStringFree(&r->destDistanceRef);
  LfByteArrayFree(&r->processingData);
  LfByteArrayFree(&r->areaData);
  LfStringFree(&r->dateText);
  free(r);
}
/* Frees a record by its selector: directory records with their contents, any other one (such as
 * an image-information record) as one block. */
static inline void LfRecordFree(uint32_t selector, void* record) {
  if (selector == LF_SEL_IFD0 || selector == LF_SEL_IFD1) LfImageDirRecordFree((LfImageDirRecord*)record);
  else if (selector == LF_SEL_EXIF) LfExifDirRecordFree((LfExifDirRecord*)record);
  else if (selector == LF_SEL_GPS) LfGpsDirRecordFree((LfGpsDirRecord*)record);
  else free(record);
}

/* Appends (selector, record) at the end of the ring, making the sentinel on first use; returns 0
 * (list unchanged) when memory is short. */
static inline int LfRecordListAppend(LfExifRecord* list, uint32_t selector, void* record) {
  LfRecordNode* node;
  if (!list) return 0;
  if (!list->head) {
    LfRecordNode* sentinel = (LfRecordNode*)calloc(1, sizeof(LfRecordNode));
    if (!sentinel) return 0;
    sentinel->next = sentinel->prev = sentinel;
    list->head = sentinel;
    list->count = 0;
  }
  node = (LfRecordNode*)calloc(1, sizeof(LfRecordNode));
  if (!node) return 0;
  node->selector = selector;
  node->record = record;
  node->next = list->head;
  node->prev = list->head->prev;
  list->head->prev->next = node;
  list->head->prev = node;
  ++list->count;
  return 1;
}
/* The record of the first node with that selector, or NULL (also for a missing list). */
static inline void* LfRecordListFind(const LfExifRecord* list, uint32_t selector) {
  const LfRecordNode* n;
  if (!list || !list->head) return NULL;
  for (n = list->head->next; n != list->head; n = n->next) {
    if (n->selector == selector) return n->record;
  }
  return NULL;
}
/* Frees every node and (when freeRecords) its record, then the sentinel; the list is empty after. */
static inline void LfRecordListFree(LfExifRecord* list, int freeRecords) {
  LfRecordNode* n;
  if (!list || !list->head) return;
  n = list->head->next;
  while (n != list->head) {
    LfRecordNode* next = n->next;
    if (freeRecords) LfRecordFree(n->selector, n->record);
    free(n);
    n = next;
  }
  free(list->head);
  list->head = NULL;
  list->count = 0;
}

/* GetStillImageInfo: the size, depth and type of the main image (LF_SEL_IMAGE_INFO) or of the EXIF
 * thumbnail (LF_SEL_THUMB_INFO). malloc()ed by the module, freed by the host with free() (or
 * LfRecordFree). typeName is "JPG", "TIFF", "GIF", "PNG", "BMP" or empty, zero-padded. */
typedef struct LfImageInfoRecord {
  int32_t width;
  int32_t height;
  uint16_t bitsPerPixel;
  uint16_t padding;   /* not set */
  uint32_t reserved1; /* always 0 */
  uint32_t reserved2; /* always 0 */
  char typeName[128];
} LfImageInfoRecord;
LF_CHECK_LAYOUT(image_info_size, sizeof(LfImageInfoRecord) == 148);
LF_CHECK_LAYOUT(image_info_bits, offsetof(LfImageInfoRecord, bitsPerPixel) == 8);
LF_CHECK_LAYOUT(image_info_reserved, offsetof(LfImageInfoRecord, reserved1) == 12);
LF_CHECK_LAYOUT(image_info_type, offsetof(LfImageInfoRecord, typeName) == 20);

/* GetStillImageInfo's output area: one entry arrives as (selector, record) in the first two words;
 * two or more arrive as an LfExifRecord list whose old nodes (not their records) are freed first.
 * Zero the area before the call; afterwards list.count >= 2 means the list shape, otherwise
 * single.record != NULL means one entry, and neither means no entry. */
typedef union LfStillImageOutput {
  LfExifRecord list;
  struct {
    uintptr_t selector; /* word 0 */
    void* record;       /* word 1 */
  } single;
} LfStillImageOutput;
LF_CHECK_LAYOUT(still_output_size, sizeof(LfStillImageOutput) == sizeof(LfExifRecord));
LF_CHECK_LAYOUT(still_output_record, offsetof(LfStillImageOutput, single.record) ==
                                         offsetof(LfExifRecord, head));

/* Frees whatever a GetStillImageInfo call delivered into a zeroed area, records included. */
static inline void LfStillImageOutputFree(LfStillImageOutput* out) {
  if (!out) return;
  if (out->list.count >= 2) {
    LfRecordListFree(&out->list, 1);
  } else if (out->single.record) {
    LfRecordFree((uint32_t)out->single.selector, out->single.record);
  }
  memset(out, 0, sizeof *out);
}

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

/* ---------------------------------------------------------------------------------------------
 * GetExif's three summaries. Each starts with a tag list: on input the tags wanted (empty = the
 * default set), on output the tags whose values were delivered, in directory order. Fields of
 * tags not delivered keep what the host put there, except the few preset ones noted. Numbers are
 * native; a SHORT field holds the first value; a rational is numerator then denominator; BYTE and
 * UNDEFINED fields hold the raw bytes; every field receives at most its own size.
 * ------------------------------------------------------------------------------------------- */
typedef struct LfExifSummary {
  LfU16List tags;
  uint16_t orientation;               /* 0x0112, IFD0 */
  uint16_t padding0;
  LfString make;                      /* 0x010F, IFD0 */
  LfString model;                     /* 0x0110, IFD0 */
  uint8_t exifVersion[4];             /* 0x9000 */
  LfExifDateTime dateTimeOriginal;    /* 0x9003; zeroed when present but not a calendar date */
  uint32_t exposureTime[2];           /* 0x829A */
  uint32_t fNumber[2];                /* 0x829D */
  uint16_t isoSpeedRatings;           /* 0x8827 */
  uint16_t padding1;
  int32_t shutterSpeedValue[2];       /* 0x9201 */
  uint32_t apertureValue[2];          /* 0x9202 */
  int32_t exposureBiasValue[2];       /* 0x9204 */
  uint16_t flash;                     /* 0x9209 */
  uint16_t exposureMode;              /* 0xA402 */
  uint16_t whiteBalance;              /* 0xA403 */
  uint16_t sceneCaptureType;          /* 0xA406 */
  uint16_t subjectDistanceRange;      /* 0xA40C */
  uint16_t padding2;
  uint32_t focalLength[2];            /* 0x920A */
  uint16_t focalLengthIn35mmFilm;     /* 0xA405 */
  uint16_t meteringMode;              /* 0x9207 */
  uint32_t digitalZoomRatio[2];       /* 0xA404 */
  LfString titleText;                 /* 0xC6D2, IFD0 */
} LfExifSummary;
LF_CHECK_LAYOUT(exif_summary_size, sizeof(LfExifSummary) == LF_POINTER_WIDTH(132, 160));
LF_CHECK_LAYOUT(exif_summary_orientation, offsetof(LfExifSummary, orientation) == LF_POINTER_WIDTH(0x14, 32));
LF_CHECK_LAYOUT(exif_summary_make, offsetof(LfExifSummary, make) == LF_POINTER_WIDTH(0x18, 40));
LF_CHECK_LAYOUT(exif_summary_version, offsetof(LfExifSummary, exifVersion) == LF_POINTER_WIDTH(0x20, 56));
LF_CHECK_LAYOUT(exif_summary_date, offsetof(LfExifSummary, dateTimeOriginal) == LF_POINTER_WIDTH(0x24, 60));
LF_CHECK_LAYOUT(exif_summary_iso, offsetof(LfExifSummary, isoSpeedRatings) == LF_POINTER_WIDTH(0x44, 92));
LF_CHECK_LAYOUT(exif_summary_flash, offsetof(LfExifSummary, flash) == LF_POINTER_WIDTH(0x60, 120));
LF_CHECK_LAYOUT(exif_summary_focal, offsetof(LfExifSummary, focalLength) == LF_POINTER_WIDTH(0x6C, 132));
LF_CHECK_LAYOUT(exif_summary_zoom, offsetof(LfExifSummary, digitalZoomRatio) == LF_POINTER_WIDTH(0x78, 144));
LF_CHECK_LAYOUT(exif_summary_title, offsetof(LfExifSummary, titleText) == LF_POINTER_WIDTH(0x80, 152));

/* All from the GPS IFD. */
typedef struct LfGpsSummary {
  LfU16List tags;
  uint8_t versionID[4];               /* 0x0000 */
  char latitudeRef[2];                /* 0x0001 */
  uint16_t padding0;
  uint32_t latitude[6];               /* 0x0002 */
  char longitudeRef[2];               /* 0x0003 */
  uint16_t padding1;
  uint32_t longitude[6];              /* 0x0004 */
  uint8_t altitudeRef;                /* 0x0005 */
  uint8_t padding2[3];
  uint32_t altitude[2];               /* 0x0006 */
  uint32_t timeStamp[6];              /* 0x0007 */
  LfString mapDatum;                  /* 0x0012 */
  LfByteArray processingMethod;       /* 0x001B, emptied on every call */
  LfByteArray areaInformation;        /* 0x001C, emptied on every call */
  LfString dateStamp;                 /* 0x001D */
} LfGpsSummary;
LF_CHECK_LAYOUT(gps_summary_size, sizeof(LfGpsSummary) == LF_POINTER_WIDTH(164, 208));
LF_CHECK_LAYOUT(gps_summary_version, offsetof(LfGpsSummary, versionID) == LF_POINTER_WIDTH(0x14, 32));
LF_CHECK_LAYOUT(gps_summary_latitude, offsetof(LfGpsSummary, latitude) == LF_POINTER_WIDTH(0x1C, 40));
LF_CHECK_LAYOUT(gps_summary_altitude, offsetof(LfGpsSummary, altitude) == LF_POINTER_WIDTH(0x54, 96));
LF_CHECK_LAYOUT(gps_summary_datum, offsetof(LfGpsSummary, mapDatum) == LF_POINTER_WIDTH(0x74, 128));
LF_CHECK_LAYOUT(gps_summary_method, offsetof(LfGpsSummary, processingMethod) == LF_POINTER_WIDTH(0x78, 136));
LF_CHECK_LAYOUT(gps_summary_area, offsetof(LfGpsSummary, areaInformation) == LF_POINTER_WIDTH(0x8C, 168));
LF_CHECK_LAYOUT(gps_summary_date, offsetof(LfGpsSummary, dateStamp) == LF_POINTER_WIDTH(0xA0, 200));

/* The maker-note directory of the "Kestrelon" dialect (any other maker note delivers nothing).
 * Its tags have no names and are known by number: field tagNNNN holds the value of tag 0xNNNN.
 * The two four-byte values at unaligned places (tag0002, tag0026) are a native u32 stored as
 * bytes; read them with memcpy. Presence flags are 1 when the entry has values, else 0. */
typedef struct LfMakerNoteSummary {
  LfU16List tags;
  LfString header;                    /* the maker note's identification text */
  uint16_t tag0001;
  uint8_t tag0002[4];
  uint16_t tag0003;
  uint16_t tag0007;
  uint16_t tag000F;
  uint16_t tag001A;
  uint16_t tag001C;
  uint16_t tag001F;
  uint16_t tag0020;
  uint32_t has0021;                   /* presence flag, cleared on every call */
  uint16_t tag0022;
  uint8_t tag0026[4];
  uint16_t tag0027;
  uint16_t tag0028;
  uint16_t tag002A;
  uint32_t tag002B;
  uint16_t tag002D;
  uint16_t tag0032;
  LfExifDateTime dateTime0033;        /* parsed, not validated as a calendar date */
  uint16_t tag0042;
  uint16_t tag0044;
  LfString text0051;
  uint32_t has0E00;                   /* presence flag, cleared on every call */
  uint32_t has4950;                   /* presence flag, not cleared */
  uint16_t tag0036;                   /* preset 0xFFFF */
  uint16_t tag003D;                   /* preset 0 */
  uint16_t tag003F;                   /* preset 0 */
  uint8_t reserved0[10];
  uint16_t tag0023;
  uint16_t padding0;
  uint8_t tag004D[16];
  uint8_t reserved1[2];
  uint16_t tag0034;
  uint8_t reserved2[4];
  LfString text0053;
  uint8_t reserved3[2];
  uint16_t tag0055;
  uint16_t tag004F;
  uint16_t tag0043;
  uint8_t tag0061[148];
} LfMakerNoteSummary;
LF_CHECK_LAYOUT(maker_summary_size, sizeof(LfMakerNoteSummary) == LF_POINTER_WIDTH(304, 336));
LF_CHECK_LAYOUT(maker_summary_header, offsetof(LfMakerNoteSummary, header) == LF_POINTER_WIDTH(0x14, 32));
LF_CHECK_LAYOUT(maker_summary_0002, offsetof(LfMakerNoteSummary, tag0002) == LF_POINTER_WIDTH(0x1A, 42));
LF_CHECK_LAYOUT(maker_summary_0021, offsetof(LfMakerNoteSummary, has0021) == LF_POINTER_WIDTH(0x2C, 60));
LF_CHECK_LAYOUT(maker_summary_0026, offsetof(LfMakerNoteSummary, tag0026) == LF_POINTER_WIDTH(0x32, 66));
LF_CHECK_LAYOUT(maker_summary_002B, offsetof(LfMakerNoteSummary, tag002B) == LF_POINTER_WIDTH(0x3C, 76));
LF_CHECK_LAYOUT(maker_summary_0033, offsetof(LfMakerNoteSummary, dateTime0033) == LF_POINTER_WIDTH(0x44, 84));
LF_CHECK_LAYOUT(maker_summary_0051, offsetof(LfMakerNoteSummary, text0051) == LF_POINTER_WIDTH(0x58, 104));
LF_CHECK_LAYOUT(maker_summary_0036, offsetof(LfMakerNoteSummary, tag0036) == LF_POINTER_WIDTH(0x64, 120));
LF_CHECK_LAYOUT(maker_summary_0023, offsetof(LfMakerNoteSummary, tag0023) == LF_POINTER_WIDTH(0x74, 136));
LF_CHECK_LAYOUT(maker_summary_004D, offsetof(LfMakerNoteSummary, tag004D) == LF_POINTER_WIDTH(0x78, 140));
LF_CHECK_LAYOUT(maker_summary_0034, offsetof(LfMakerNoteSummary, tag0034) == LF_POINTER_WIDTH(0x8A, 158));
LF_CHECK_LAYOUT(maker_summary_0053, offsetof(LfMakerNoteSummary, text0053) == LF_POINTER_WIDTH(0x90, 168));
LF_CHECK_LAYOUT(maker_summary_0055, offsetof(LfMakerNoteSummary, tag0055) == LF_POINTER_WIDTH(0x96, 178));
LF_CHECK_LAYOUT(maker_summary_0061, offsetof(LfMakerNoteSummary, tag0061) == LF_POINTER_WIDTH(0x9C, 184));

/* Free what the module put into a summary (its lists, texts and arrays); the record itself
 * stays the host's. */
static inline void LfExifSummaryClear(LfExifSummary* s) {
  if (!s) return;
  LfU16ListFree(&s->tags);
  LfStringFree(&s->make);
  LfStringFree(&s->model);
  LfStringFree(&s->titleText);
}
static inline void LfGpsSummaryClear(LfGpsSummary* s) {
  if (!s) return;
  LfU16ListFree(&s->tags);
  LfStringFree(&s->mapDatum);
  LfByteArrayFree(&s->processingMethod);
  LfByteArrayFree(&s->areaInformation);
  LfStringFree(&s->dateStamp);
}
static inline void LfMakerNoteSummaryClear(LfMakerNoteSummary* s) {
  if (!s) return;
  LfU16ListFree(&s->tags);
  LfStringFree(&s->header);
  LfStringFree(&s->text0051);
  LfStringFree(&s->text0053);
}

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
