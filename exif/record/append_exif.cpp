// SPDX-License-Identifier: MIT
#include "exif/record/append_exif.h"

#include <string>
#include <vector>

#include "exif/edit/safe_write.h"
#include "exif/model/exif_reader.h"
#include "exif/model/jpeg_segments.h"
#include "exif/record/record_list.h"
#include "exif/record/record_merge.h"
#include "exif/record/record_reader.h"
#include "exif/record/record_writer.h"
#include "imaging/jpeg_writer.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/temp_files.h"
#include "plugin/file_kind.h"
#include "plugin/operations.h"

namespace lf::record {
namespace {

// A new JPEG file made of byte ranges held in memory, streamed by the safe rewrite.
class SplicedFile : public edit::ImageFileStream {
 public:
  explicit SplicedFile(std::string sourcePath) : sourcePath_(std::move(sourcePath)) {}
  void Add(const uint8_t* bytes, size_t n) { pieces_.push_back({bytes, n}); }
  std::string ImageSourcePath() const override { return sourcePath_; }
  uint32_t WriteImageFile(platform::File& destination, platform::File&) override {
    for (const Piece& p : pieces_) {
      if (p.size != 0 && !destination.Write(p.data, p.size)) {
        error_ = platform::LastError();
        if (error_ == 0) error_ = platform::kErrorWriteFault;
        return error_;
      }
    }
    return 0;
  }
  // The error a write of the new file met (0: none).
  uint32_t writeError() const { return error_; }

 private:
  struct Piece {
    const uint8_t* data;
    size_t size;
  };
  std::string sourcePath_;
  std::vector<Piece> pieces_;
  uint32_t error_ = 0;
};

// The writers report the errors of writing the new file with the module's own codes.
HRESULT Commit(SplicedFile& file, const char* destPath, edit::Probe probe) {
  const HRESULT result = edit::WriteToFile(file, destPath, probe);
  return Failed(result) && file.writeError() != 0 ? ModuleCodeFromWin32(file.writeError()) : result;
}

// Where the image data of a JPEG written by the JPEG writer begins: its first marker that is not
// an application or comment segment (0xFFE0 and above). -1 when the data ends first.
int64_t FirstImageMarker(exif::ByteView jpeg) {
  exif::MemorySource source(jpeg);
  exif::JpegSegmentScanner scan(source, {.start = 2, .standaloneSoi = true});
  exif::JpegSegment s;
  while (scan.Next(&s)) {
    if ((s.marker & 0xFFE0) != 0xFFE0) return static_cast<int64_t>(s.offset);
  }
  return -1;
}

}  // namespace

HRESULT AppendExif(const char* destPath, const char* srcPath, const LfExifRecord* records,
                   int32_t requireExif) {
  if (!srcPath || GetFileKind(srcPath) != KIND_JPEG) return E_FAIL;
  if (!destPath || !*destPath) return E_INVALIDARG;
  RecordSet set;
  if (CollectRecords(records, &set) != S_OK) return E_INVALIDARG;
  const HRESULT writable = edit::CheckDestinationWritable(destPath);
  if (writable != S_OK) return writable;
  if (requireExif) {
    uint32_t isExif = 0;
    const HRESULT probed = exif::ProbeExif(srcPath, &isExif);
    if (Failed(probed)) return probed;
    if (!isExif) return E_NO_EXIF;
  }
  std::vector<uint8_t> file;
  if (!platform::ReadWholeFile(srcPath, &file, kMaxWholeFile)) return E_FAIL;
  const exif::ByteView view(file.data(), file.size(), exif::kBigEndian);
  const int64_t at = FindJpegMarker(exif::kJpegApp1, view);
  if (at < 0) return E_FAIL;
  ExifDateTime now{};
  const bool clock = platform::LocalTime(&now);
  MergedSegment merged;
  if (!MergeRecordIntoApp1(view, static_cast<uint64_t>(at), set, clock ? &now : nullptr, &merged)) {
    return E_FAIL;
  }
  // Everything before the old segment, the new segment, everything after the old one.
  const size_t before = static_cast<size_t>(at);
  const size_t after = before + 2 + merged.oldLength;
  SplicedFile out(srcPath);
  out.Add(file.data(), before);
  out.Add(merged.bytes.data(), merged.bytes.size());
  out.Add(file.data() + after, file.size() - after);
  return Commit(out, destPath, edit::Probe::kAlreadyDone);
}

HRESULT EncodeJpegWithExif(LF_HGLOBAL image, const char* destPath, int32_t quality,
                           const LfExifRecord* records) {
  if (!image || !destPath || !*destPath) return E_INVALIDARG;
  RecordSet set;
  if (CollectRecords(records, &set) != S_OK) return E_INVALIDARG;
  // The fixed names of the image and thumbnail files live in a directory of this call's own.
  platform::ScopedTempDir scratch;
  if (!scratch.Create("LFR")) return edit::ResultFromLastError();
  const std::string saved = scratch.File("__TMP__.003");
  const int32_t written = imaging::SaveJpeg(image, saved.c_str(), quality, imaging::kJpegModeExif);
  if (written < 0) return written;
  std::vector<uint8_t> jpeg;
  if (!platform::ReadWholeFile(saved, &jpeg, kMaxWholeFile)) return E_FAIL;
  const std::vector<uint8_t> segment = BuildExifApp1(image, set, scratch.path());
  if (segment.empty()) return E_FAIL;
  const int64_t body = FirstImageMarker(exif::ByteView(jpeg.data(), jpeg.size(), exif::kBigEndian));
  if (body < 0) return E_FAIL;

  // SOI, the new segment, then the writer's image from its first marker that is not an APPn.
  SplicedFile out(saved);
  out.Add(jpeg.data(), 2);
  out.Add(segment.data(), segment.size());
  out.Add(jpeg.data() + body, jpeg.size() - static_cast<size_t>(body));
  return Commit(out, destPath, edit::Probe::kAlreadyDone);
}

}  // namespace lf::record

namespace lf::ops {

HRESULT AppendExif(const char* destination, const char* source, LfExifRecord* records,
                   int32_t requireExif) {
  return record::AppendExif(destination, source, records, requireExif);
}

HRESULT EncodeJpegWithExif(LF_HGLOBAL image, const char* destination, int32_t quality,
                           LfExifRecord* records) {
  return record::EncodeJpegWithExif(image, destination, quality, records);
}

}  // namespace lf::ops
