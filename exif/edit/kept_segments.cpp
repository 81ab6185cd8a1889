// SPDX-License-Identifier: MIT
#include "exif/edit/kept_segments.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "exif/edit/exif_writer.h"
#include "exif/model/jpeg_segments.h"
#include "platform/file.h"

namespace lf::edit {

namespace {

// Enough of a payload to tell its writer: "ICC_PROFILE", "Photoshop 3.0", "FPXR", "MPF", "Adobe".
constexpr size_t kIdentifierBytes = 16;

// A segment's kind: its marker and the identifier text its payload opens with (up to a NUL).
struct Kind {
  uint16_t marker = 0;
  std::string id;
  bool operator==(const Kind&) const = default;
};

bool IsMetadataMarker(uint16_t marker) {
  return (marker >= exif::kJpegApp2 && marker <= exif::kJpegApp15) || marker == exif::kJpegCom;
}

bool ReadKind(exif::ByteSource& source, const exif::JpegSegment& s, Kind* kind) {
  uint8_t head[kIdentifierBytes] = {};
  size_t got = 0;
  const size_t want = std::min<size_t>(kIdentifierBytes, s.length >= 2 ? s.length - 2u : 0);
  if (!source.ReadUpTo(s.offset + 4, head, want, &got)) return false;
  const auto* text = reinterpret_cast<const char*>(head);
  kind->marker = s.marker;
  kind->id = s.marker == exif::kJpegCom ? std::string() : std::string(text, strnlen(text, got));
  return true;
}

// Segments describing the old picture rather than the photo.
bool DescribesOldPicture(const Kind& k) {
  return (k.marker == exif::kJpegApp2 && k.id == "MPF") ||
         (k.marker == exif::kJpegApp14 && k.id.rfind("Adobe", 0) == 0);
}

// Walks the segments in front of the first scan of an open JPEG; `visit` returns false to stop.
template <typename Visit>
bool WalkSegments(platform::File& file, Visit visit) {
  uint64_t length = 0;
  if (!file.Length(&length)) return false;
  exif::FileSource source(file, length);
  exif::JpegSegmentScanner scan(source,
                                {.standaloneSoi = true, .maxSegments = exif::kMaxJpegSegments});
  exif::JpegSegment s;
  while (scan.Next(&s)) {
    if (s.marker == exif::kJpegSoi) continue;
    if (!visit(source, s)) return false;
    if (s.marker == exif::kJpegSos || s.marker == exif::kJpegEoi) return true;
  }
  return scan.end() != exif::JpegScanEnd::kReadError &&
         scan.end() != exif::JpegScanEnd::kSegmentCap;
}

platform::File OpenForReading(const std::string& path) {
  return platform::File::Open(path, platform::Access::Read, platform::Disposition::OpenExisting);
}

// The photo's segment `s`, read whole into *kept unless it describes the old picture or the new
// picture brings one of its kind. False on a read error, or for a segment that cannot be carried:
// an APP1 other than the EXIF one that is made anew (it would be lost).
bool KeepSegment(exif::ByteSource& source, const exif::JpegSegment& s,
                 const std::vector<Kind>& brought, std::vector<JpegSegmentBytes>* kept) {
  if (s.marker == exif::kJpegApp1) {
    uint8_t id[5] = {};
    size_t got = 0;
    return source.ReadUpTo(s.offset + 4, id, sizeof id, &got) && got == sizeof id &&
           std::memcmp(id, "Exif", sizeof id) == 0;
  }
  if (!IsMetadataMarker(s.marker) || !s.hasLength) return true;
  Kind k;
  if (s.length < 2 || !ReadKind(source, s, &k)) return false;
  if (DescribesOldPicture(k) || std::find(brought.begin(), brought.end(), k) != brought.end()) {
    return true;
  }
  JpegSegmentBytes bytes(2u + s.length);
  size_t got = 0;
  if (!source.ReadUpTo(s.offset, bytes.data(), bytes.size(), &got) || got != bytes.size()) {
    return false;
  }
  kept->push_back(std::move(bytes));
  return true;
}

}  // namespace

bool KeptMetadataSegments(const std::string& photoPath, const std::string& picturePath,
                          bool needTrailer, std::vector<JpegSegmentBytes>* kept,
                          JpegTrailer* trailer) {
  kept->clear();
  *trailer = {};
  std::vector<Kind> brought;
  platform::File picture = OpenForReading(picturePath);
  const bool pictureRead =
      picture && WalkSegments(picture, [&](exif::ByteSource& source, const exif::JpegSegment& s) {
        Kind k;
        if (!IsMetadataMarker(s.marker) || !s.hasLength) return true;
        if (!ReadKind(source, s, &k)) return false;
        brought.push_back(k);
        return true;
      });
  if (!pictureRead) return false;

  platform::File photo = OpenForReading(photoPath);
  return photo && WalkSegments(photo, [&](exif::ByteSource& source, const exif::JpegSegment& s) {
           if (s.marker != exif::kJpegSos) return KeepSegment(source, s, brought, kept);
           return !needTrailer || !s.hasLength || ReadJpegTrailer(photo, s.offset + 4, trailer);
         });
}

}  // namespace lf::edit
