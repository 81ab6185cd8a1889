// SPDX-License-Identifier: MIT
#include "exif/edit/picture_replacement.h"

#include <algorithm>
#include <span>
#include <vector>

#include "exif/edit/entry_list.h"
#include "exif/edit/layout_check.h"
#include "exif/edit/trailer_references.h"
#include "exif/makernote/maker_note_layout.h"
#include "exif/model/tag_table.h"
#include "imaging/picture_files.h"
#include "platform/clock.h"
#include "platform/temp_files.h"
#include "plugin/file_kind.h"
#include "plugin/operations.h"

namespace lf::edit {

namespace {

using exif::TagNumber;

constexpr uint16_t kTagXResolution = TagNumber("XResolution");
constexpr uint16_t kTagYResolution = TagNumber("YResolution");
constexpr uint16_t kTagPixelXDimension = TagNumber("PixelXDimension");
constexpr uint16_t kTagPixelYDimension = TagNumber("PixelYDimension");
// The maker note's print-matching entry: settings for printing the picture as it was taken.
constexpr uint16_t kTagMakerNotePrintMatching = 0x0E00;

// IFD0 entries of the old main image that describe its pixel data: planar layout, an embedded
// JPEG stream, YCbCr coding, extra and typed samples, prediction, tiles, a palette, the tone
// response. Left beside the new picture's own entries they would misdescribe its pixels; those the
// new picture has come back with its values.
const std::vector<uint16_t> kOldImageTags{exif::kTagPlanarConfiguration,
                                          exif::kTagJpegInterchangeFormat,
                                          exif::kTagJpegInterchangeFormatLength,
                                          TagNumber("YCbCrCoefficients"),
                                          TagNumber("YCbCrSubSampling"),
                                          TagNumber("YCbCrPositioning"),
                                          TagNumber("ReferenceBlackWhite"),
                                          TagNumber("ExtraSamples"),
                                          TagNumber("SampleFormat"),
                                          TagNumber("Predictor"),
                                          TagNumber("FillOrder"),
                                          TagNumber("ColorMap"),
                                          TagNumber("TileWidth"),
                                          TagNumber("TileLength"),
                                          TagNumber("TileOffsets"),
                                          TagNumber("TileByteCounts"),
                                          TagNumber("TransferFunction"),
                                          TagNumber("GrayResponseUnit"),
                                          TagNumber("GrayResponseCurve")};

// Values of entries taken from another file, read through its reader and stored in the output's
// byte order.
class EntryValuesOf : public ValueProvider {
 public:
  explicit EntryValuesOf(exif::ExifReader& reader) : reader_(reader) {}
  uint32_t ValueSize(const IfdEntry& e) override { return ValueBytes(e.type, e.count); }
  uint32_t DeliverValue(const IfdEntry& e, MutableByteView dest) override {
    const uint32_t bytes = ValueBytes(e.type, e.count);
    if (bytes == 0 || dest.size() < bytes) return 0;
    const uint32_t values = reader_.ReadEntryValue(e, dest.data(), bytes);
    if (values == 0) return 0;
    const std::span<uint8_t> area(dest.data(), bytes);
    return exif::EncodeValueArray(area, e.type, dest.order(), area) != 0 ? values : 0;
  }

 private:
  exif::ExifReader& reader_;
};

// Sets a dimension entry of the Exif IFD where it exists (SHORT or LONG, as its value needs).
[[nodiscard]] bool UpdateDimension(OutputLayout& out, uint16_t tag, uint32_t value) {
  IfdEntry e{tag};
  if (out.FindOutputEntry(exif::kExifIfd, &e) != exif::kFound) return true;
  const bool shortFits = e.type == exif::kTypeShort && value <= 0xFFFF;
  return out.UpdateOutputEntry(exif::kExifIfd, {tag, shortFits ? exif::kTypeShort : exif::kTypeLong,
                                                1, value}) == exif::kFound;
}

// The new picture's strips behind the block (and the thumbnail held apart).
[[nodiscard]] bool PlaceNewStrips(OutputLayout& out) {
  if (!out.MeasureMainImage() || out.mainImageSize() == 0) return false;
  uint32_t at = out.outLength() + out.thumbnailData().length();
  return out.RelocateImageData(exif::kIfd0, &at);
}

// What both replacement exports learn from the source once the destination has been probed:
// the output format and the parameters of the thumbnail directory.
struct Replacement {
  HRESULT result = S_OK;
  uint32_t format = 0;  // LF_ENC_JPEG or LF_ENC_TIFF
  ExifWriteParams params{};
};

HRESULT CheckArguments(const std::string& destPath, const std::string& srcPath, LF_HGLOBAL image,
                       int32_t quality) {
  if (destPath.empty() || srcPath.empty() || !image || quality < 1 || quality > 100)
    return E_INVALIDARG;
  const FileKind kind = GetFileKind(srcPath.c_str());
  return kind == KIND_JPEG || kind == KIND_TIFF ? S_OK : E_FAIL;
}

Replacement Prepare(ExifWriter& writer) {
  Replacement r;
  if (!writer.IsExif()) {
    r.result = E_NO_EXIF;
    return r;
  }
  r.format = writer.IsExifJpeg() ? LF_ENC_JPEG : LF_ENC_TIFF;
  r.params.exifVersion = LF_EXIF_VERSION_0210;
  // The version was just set to "0210", which always succeeds.
  (void)InitExifWriteParams(&r.params);
  if (!platform::LocalTime(&r.params.dateTimeOriginal)) r.result = E_FAIL;
  return r;
}

// A "THM" or "PRM" file in the user's temporary directory; the creation error on failure.
HRESULT CreatePictureFile(platform::ScopedTempFile* file, const char* prefix) {
  return file->Create(platform::TempDirectory(), prefix) ? S_OK : ResultFromLastError();
}

// Renders the host's image as the thumbnail once and saves it at `quality` in the output's format.
HRESULT MakeThumbnail(imaging::ScopedBitmap* thumbnail, const Replacement& r,
                      const std::string& thm, LF_HGLOBAL image, int32_t quality) {
  const HRESULT made = imaging::RenderThumbnail(image, thumbnail->get());
  if (Failed(made)) return made;
  return imaging::SaveThumbnailFile(thm.c_str(), r.format, thumbnail->get(), quality);
}

// Attaches the thumbnail file behind the copied block; while the block is too large for a JPEG,
// the same rendered pixels are saved again at a lower quality.
HRESULT AttachThumbnailFile(ExifWriter& writer, const Replacement& r, const std::string& thm,
                            const imaging::ToolkitBitmap* thumbnail, int32_t quality) {
  ThumbnailSteps steps;
  steps.make = [&](int32_t q) {
    return imaging::SaveThumbnailFile(thm.c_str(), LF_ENC_JPEG, thumbnail, q);
  };
  steps.attach = [&] { return writer.AttachThumbnail(thm, r.params) == 1; };
  steps.drop = [&] { return writer.DropThumbnail(false) == 1; };
  steps.payload = [&] { return writer.OutputPayloadSize(); };
  return AttachThumbnailWithinSegment(steps, r.format == LF_ENC_JPEG, quality);
}

HRESULT StampAndWrite(ExifWriter& writer, const std::string& destPath, const ImageSource* image) {
  // A file whose pointers would name bytes it does not hold, or whose parts overlap, is never
  // written.
  if (!writer.IsBuilt()) return E_FAIL;
  // Stamping the date changes a value, not the structure located here.
  const exif::BlockStructure written = exif::Locate(writer.output().View());
  if (!CheckWrittenLayout(writer.output(), written).empty()) return E_FAIL;
  writer.output().StampDateTime();
  return WriteToFile(writer, destPath, Probe::kAlreadyDone, image, &written);
}

}  // namespace

int ReplaceMainImageInOutput(ExifWriter& writer, const std::string& newImagePath,
                             bool removeInterop, ImageSource* image) {
  if (newImagePath.empty() || !image) return 0;
  *image = ImageSource{};
  exif::ExifReader picture(newImagePath.c_str(), true);
  if (!picture.IsJpegImage() && !picture.IsTiffImage()) return 0;
  // The image data is copied the way the source's kind is written: a scan or strips.
  const bool tiff = !picture.IsJpegImage();
  if (tiff != writer.IsTiffSource()) return 0;
  IfdEntryList entries;
  if (tiff) {
    if (picture.CollectEntries(exif::kIfd0, &entries) <= 0) return 0;
    DropPagingTags(&entries);
  }
  if (writer.CopyBlockForEdit(false, removeInterop) != 1) return 0;
  OutputLayout& out = writer.output();
  if (!tiff) {
    // The old stream goes, and with it whatever a maker appended behind it (a preview): a word of
    // the block that may name it would then point outside the new file, so the edit is refused.
    JpegTrailer trailer;
    std::vector<JpegSegmentBytes> kept;
    const bool read =
        KeptMetadataSegments(writer.path(), newImagePath, out.pinned(), &kept, &trailer);
    if (!read || (trailer.start != 0 &&
                  !FindTrailerReferences(writer.SourceStructure(), writer.SourceStructure(),
                                         writer.TiffOffsetToFile(0), trailer.start, trailer.end)
                       .empty())) {
      return 0;
    }
    writer.KeepSegments(std::move(kept));
  }
  image->path = newImagePath;
  uint32_t width = picture.sofWidth(), height = picture.sofHeight();
  if (tiff) {
    image->firstStrip = picture.TiffOffsetToFile(picture.ifd0().firstStripOffset);
    width = picture.ifd0().imageWidth;
    height = picture.ifd0().imageLength;
    // The photo's resolution and orientation are facts the edit keeps, as it keeps every other
    // EXIF entry; the picture file's own values describe only how it was saved.
    for (uint16_t kept : {kTagXResolution, kTagYResolution, exif::kTagOrientation}) {
      IfdEntry e{kept};
      if (out.FindOutputEntry(exif::kIfd0, &e) != exif::kFound) continue;
      entries.erase(std::remove_if(entries.begin(), entries.end(),
                                   [&](const IfdEntry& x) { return x.tag == kept; }),
                    entries.end());
    }
    // The old strips are not moved with the re-laid directory: the new ones are placed below,
    // once their entries are counted by the new file's own summary.
    out.DetachMainImage();
    EntryValuesOf values(picture);
    bool failed = true;
    out.RewriteDirectory(exif::kIfd0, &kOldImageTags, &entries, &values, &failed);
    if (failed) return 0;
    out.SetStripSource(exif::kIfd0, picture.ifd0());
    if (!PlaceNewStrips(out)) return 0;
  }
  // The Exif IFD's own record of the picture's size follows the new picture.
  if (!UpdateDimension(out, kTagPixelXDimension, width) ||
      !UpdateDimension(out, kTagPixelYDimension, height)) {
    return 0;
  }
  return 1;
}

int DropPrintMatching(ExifWriter& writer) {
  OutputLayout& out = writer.output();
  if (!out.IsBuilt()) return 0;
  int result = 1;
  IfdEntry printIm{exif::kTagPrintIm};
  if (out.FindOutputEntry(exif::kIfd0, &printIm) == exif::kFound) {
    const std::vector<uint16_t> remove{exif::kTagPrintIm};
    if (out.RewriteDirectory(exif::kIfd0, &remove, nullptr, nullptr) >= 0) result = 0;
  }
  IfdEntry note{exif::kTagMakerNote};
  IfdEntry matching{kTagMakerNotePrintMatching};
  // Only a maker note of the dialect the module reads is edited; another maker's entry 0x0E00 may
  // mean something else, and its directory is not the module's to rewrite.
  if (out.FindOutputEntry(exif::kExifIfd, &note) == exif::kFound &&
      exif::MeasureMakerNote(
          out.View().Sub(note.value, exif::StoredByteCount(note.type, note.count)))
          .IsKestrelon() &&
      out.FindOutputEntry(exif::kMakerNoteIfd, &matching) == exif::kFound &&
      matching.type == exif::kTypeUndefined && matching.count != 0 && matching.value != 0 &&
      out.RemoveOutputEntries(exif::kMakerNoteIfd, kTagMakerNotePrintMatching) <= 0) {
    result = 0;
  }
  return result;
}

HRESULT AttachThumbnailWithinSegment(const ThumbnailSteps& steps, bool jpeg, int32_t quality) {
  if (!steps.attach()) return E_FAIL;
  while (jpeg && steps.payload() > kMaxApp1Payload) {
    if (!steps.drop() || quality - kThumbnailQualityStep < 1) return E_FAIL;
    quality -= kThumbnailQualityStep;
    if (const HRESULT r = steps.make(quality); Failed(r)) return r;
    if (!steps.attach()) return E_FAIL;
  }
  return S_OK;
}

HRESULT ReplaceThumbImage(const std::string& destPath, const std::string& srcPath, LF_HGLOBAL image,
                          int32_t quality) {
  if (const HRESULT r = CheckArguments(destPath, srcPath, image, quality); r != S_OK) return r;
  // The destination is probed before the source is even parsed.
  if (const HRESULT writable = CheckDestinationWritable(destPath); writable != S_OK)
    return writable;
  ExifWriter writer(srcPath.c_str(), false);
  const Replacement r = Prepare(writer);
  if (r.result != S_OK) return r.result;
  platform::ScopedTempFile thm;
  if (const HRESULT made = CreatePictureFile(&thm, "THM"); Failed(made)) return made;
  imaging::ScopedBitmap thumbnail;
  if (const HRESULT made = MakeThumbnail(&thumbnail, r, thm.path(), image, quality); Failed(made))
    return made;
  if (writer.CopyBlockForEdit(false, false) != 1) return E_FAIL;
  if (const HRESULT fit = AttachThumbnailFile(writer, r, thm.path(), thumbnail.get(), quality);
      Failed(fit)) {
    return fit;
  }
  return StampAndWrite(writer, destPath, nullptr);
}

HRESULT ReplaceExifImage(const std::string& destPath, const std::string& srcPath, LF_HGLOBAL image,
                         int32_t quality) {
  if (const HRESULT r = CheckArguments(destPath, srcPath, image, quality); r != S_OK) return r;
  // The destination is probed before the source is even parsed.
  if (const HRESULT writable = CheckDestinationWritable(destPath); writable != S_OK)
    return writable;
  ExifWriter writer(srcPath.c_str(), false);
  const Replacement r = Prepare(writer);
  if (r.result != S_OK) return r.result;
  platform::ScopedTempFile prm, thm;
  if (const HRESULT made = CreatePictureFile(&prm, "PRM"); Failed(made)) return made;
  if (const HRESULT made = CreatePictureFile(&thm, "THM"); Failed(made)) return made;
  if (const HRESULT made = imaging::SaveMainImage(prm.path().c_str(), r.format, image, quality);
      Failed(made)) {
    return made;
  }
  imaging::ScopedBitmap thumbnail;
  if (const HRESULT made = MakeThumbnail(&thumbnail, r, thm.path(), image, quality); Failed(made))
    return made;
  ImageSource source;
  if (ReplaceMainImageInOutput(writer, prm.path(), false, &source) != 1) return E_FAIL;
  // Print-matching data that cannot be removed stays, as it always has.
  (void)DropPrintMatching(writer);
  if (const HRESULT fit = AttachThumbnailFile(writer, r, thm.path(), thumbnail.get(), quality);
      Failed(fit)) {
    return fit;
  }
  return StampAndWrite(writer, destPath, &source);
}

HRESULT EncodeWithExif(const std::string& destPath, uint32_t formatFlags, LF_HGLOBAL image,
                       int32_t quality, void* extra) {
  if ((formatFlags & LF_ENC_NEW_EXIF_FILE) == 0 || destPath.empty() || !image) return E_INVALIDARG;
  const ExifWriteParams* given = nullptr;
  GpsRecord* gps = nullptr;
  if ((formatFlags & LF_ENC_PARAMS_PAIR) != 0) {
    if (const auto* pair = static_cast<const LfExifWriteParamsPair*>(extra)) {
      given = pair->params;
      gps = pair->gps;
    }
  } else {
    given = static_cast<const ExifWriteParams*>(extra);
  }

  platform::ScopedTempFile prm, thm;
  if (const HRESULT made = CreatePictureFile(&prm, "PRM"); Failed(made)) return made;
  if (const HRESULT made = CreatePictureFile(&thm, "THM"); Failed(made)) return made;
  if (const HRESULT made = imaging::SaveMainImage(prm.path().c_str(), formatFlags, image, quality);
      Failed(made)) {
    return made;
  }
  if (const HRESULT made =
          imaging::MakeThumbnailFile(thm.path().c_str(), formatFlags, image, quality);
      Failed(made)) {
    return made;
  }

  ExifWriteParams params{};
  if (!given || given->exifVersion < LF_EXIF_VERSION_0210) {
    params.exifVersion = LF_EXIF_VERSION_0210;
    // The version was just set to "0210", which always succeeds.
    (void)InitExifWriteParams(&params);
  } else {
    params = *given;  // the strings stay the host's; nothing here frees them
  }
  if (params.dateTimeOriginal.year == 0 && !platform::LocalTime(&params.dateTimeOriginal))
    return E_FAIL;

  // The picture just written is read whole: a failed read must fail the build, not leave a tag out.
  ExifWriter writer(prm.path().c_str(), true);
  if (writer.BuildExifBlock(thm.path(), params, gps) != 1 || !writer.IsBuilt()) return E_FAIL;
  const exif::BlockStructure written = exif::Locate(writer.output().View());
  if (!CheckWrittenLayout(writer.output(), written).empty()) return E_FAIL;
  // Encode proved the destination's directory writable before it called.
  return WriteToFile(writer, destPath, Probe::kAlreadyDone, nullptr, &written);
}

}  // namespace lf::edit

namespace lf::ops {

HRESULT ReplaceThumbImage(const char* destination, const char* source, LF_HGLOBAL image,
                          int32_t quality) {
  if (!destination || !source) return E_INVALIDARG;
  return edit::ReplaceThumbImage(destination, source, image, quality);
}

HRESULT ReplaceExifImage(const char* destination, const char* source, LF_HGLOBAL image,
                         int32_t quality) {
  if (!destination || !source) return E_INVALIDARG;
  return edit::ReplaceExifImage(destination, source, image, quality);
}

HRESULT EncodeWithExif(const char* destination, uint32_t flags, LF_HGLOBAL image, int32_t quality,
                       void* extra) {
  if (!destination) return E_INVALIDARG;
  return edit::EncodeWithExif(destination, flags, image, quality, extra);
}

}  // namespace lf::ops
