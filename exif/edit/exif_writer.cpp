// SPDX-License-Identifier: MIT
#include "exif/edit/exif_writer.h"

#include <cstring>

namespace lf::edit {

ExifWriter::ExifWriter(const char* sourcePath, bool loadBlock)
    : exif::ExifReader(sourcePath, loadBlock) {}

int ExifWriter::CopyBlockForEdit(bool keepThumbnail, bool removeInterop) {
  // The source block stays loaded: the finished output is checked against it before it is written.
  if (!LoadBlock()) return 0;
  EditSource source;
  source.block = &SourceStructure();
  source.isTiff = IsTiffSource();
  source.isJpeg = app1Length() > 0;
  // An unparsed directory leaves an empty summary, which the copy accepts.
  (void)GetDirectoryDescriptor(exif::kIfd0, &source.ifd0);
  (void)GetDirectoryDescriptor(exif::kIfd1, &source.ifd1);
  const int result = out_.CopyBlockForEdit(source, keepThumbnail, removeInterop);
  // A pinned TIFF keeps its main image only when the block holds it: bytes of the file behind
  // the strips may be referenced from where the editor cannot see, and would not be written.
  if (result == 1 && out_.pinned() && out_.isTiff() && !out_.imageInBlock()) {
    out_.Reset();
    return 0;
  }
  copiedFromSource_ = result == 1;
  return result;
}

const exif::BlockStructure& ExifWriter::SourceStructure() {
  static const exif::BlockStructure kNone;
  if (!HasBlock()) return kNone;
  if (!sourceLocated_) {
    source_ = exif::Locate(Block());
    sourceLocated_ = true;
  }
  return source_;
}

int ExifWriter::RewriteDirectory(DirectoryId id, const std::vector<uint16_t>* tagsToRemove,
                                 const IfdEntryList* entriesToAdd, ValueProvider* values) {
  return out_.RewriteDirectory(id, tagsToRemove, entriesToAdd, values);
}

exif::Lookup ExifWriter::PatchEntry(DirectoryId id, const IfdEntry& entry) {
  IfdLocation where;
  if (LocateDirectory(id, &where) != 1) return exif::kCannotLocate;
  if (where.offset == 0 || where.entryCount == 0) return exif::kAbsent;
  RawDirectory dir;
  if (!LocateRawDirectory(Block(), where.offset, &dir)) return exif::kAbsent;
  return exif::PatchRawEntry(MutableBlock(), dir, entry) == exif::kTagAbsent ? exif::kAbsent
                                                                             : exif::kFound;
}

uint32_t SetInlineValue(IfdEntry* entry, uint32_t byteCount, const void* source,
                        uint32_t sourceSize) {
  if (!entry || !source || byteCount > 4) return 0;
  const auto* src = static_cast<const uint8_t*>(source);
  const uint32_t n = byteCount < sourceSize ? byteCount : sourceSize;
  switch (entry->type) {
    case exif::kTypeByte:
    case exif::kTypeUndefined:
    case exif::kTypeAscii: {
      if (n == 0) return 0;
      // A text cut to the entry ends in a NUL; one that fits is kept whole.
      const bool cut = entry->type == exif::kTypeAscii && sourceSize > byteCount;
      const uint32_t copied = cut ? n - 1 : n;
      entry->value = 0;
      for (uint32_t i = 0; i < copied; ++i)
        entry->value |= static_cast<uint32_t>(src[i]) << (8 * i);
      entry->count = n;
      return n;
    }
    case exif::kTypeShort: {
      uint16_t v[2] = {};
      if (entry->count == 1 && sourceSize >= 2) {
        std::memcpy(v, src, 2);
        entry->value = v[0];
        return 1;
      }
      if (entry->count == 2 && sourceSize >= 4) {
        std::memcpy(v, src, 4);
        entry->value = (static_cast<uint32_t>(v[0]) << 16) | v[1];
        return 2;
      }
      return 0;
    }
    case exif::kTypeLong:
    case exif::kTypeSLong:
      if (sourceSize < 4) return 0;
      std::memcpy(&entry->value, src, 4);
      entry->count = 1;
      return 1;
    default: return 0;
  }
}

int ExifWriter::PatchEntryValue(DirectoryId id, const IfdEntry& entry, const void* source,
                                uint32_t sourceSize) {
  const uint32_t size = exif::FieldTypeSize(entry.type);
  if (!source || entry.type == 0 || entry.count == 0 || size == 0 || sourceSize < size) return 0;
  const uint32_t bytes = ValueBytes(entry.type, entry.count);
  if (bytes == 0) return 0;
  if (bytes > 4) {
    const std::span<const uint8_t> src(static_cast<const uint8_t*>(source), sourceSize);
    uint8_t* dest = MutableBlock().Pointer(entry.value, bytes);
    if (!dest) return 0;
    return static_cast<int>(exif::EncodeValueArray({dest, bytes}, entry.type, byteOrder(), src));
  }
  IfdEntry updated = entry;
  if (SetInlineValue(&updated, bytes, source, sourceSize) == 0) return 0;
  return PatchEntry(id, updated);
}

int InitExifWriteParams(ExifWriteParams* params) {
  if (!params || params->exifVersion != LF_EXIF_VERSION_0210) return 0;
  // The strings belong to the caller: they are emptied, not freed.
  params->imageDescription.text = nullptr;
  params->make.text = nullptr;
  params->model.text = nullptr;
  params->software.text = nullptr;
  params->dateTimeOriginal = {};
  return 1;
}

int ExifWriter::DropThumbnail(bool removeInterop) {
  const bool tiff = IsTiffSource();
  if ((!tiff && !IsJpegImage()) || !IsBuilt() || !HasOutputThumbnail()) return 0;
  // Only an IFD1 this writer laid last can be cut off the end: one copied from the source may
  // have other values behind it.
  if (copiedFromSource_ && !out_.edits().thumbnailAttached) return 0;
  out_.ClearThumbnail();
  IfdEntry pointer{exif::kTagInteropIfdPointer};
  const bool interop = out_.FindOutputEntry(exif::kExifIfd, &pointer) == exif::kFound;

  const uint32_t ifd1 = out_.outIfd1().location.offset;
  if (!out_.SetDirectoryPointer(exif::kIfd1, 0)) return 0;
  out_.ForgetDirectory(exif::kIfd1);
  if (!out_.TruncateTo(ifd1)) return 0;
  out_.RecordThumbnailEdit(ThumbnailEdit::kAttached, false);
  if (copiedFromSource_) out_.RecordThumbnailEdit(ThumbnailEdit::kDropped);
  if (removeInterop && interop) {
    out_.RemoveOutputEntries(exif::kExifIfd, exif::kTagInteropIfdPointer);
    out_.ForgetDirectory(exif::kInteropIfd);
  }
  if (tiff && !out_.imageInBlock()) {
    if (out_.MeasureMainImage() && out_.mainImageSize() != 0) {
      uint32_t at = out_.outLength();
      if (!out_.RelocateImageData(exif::kIfd0, &at)) return 0;
    }
  }
  return 1;
}

}  // namespace lf::edit
