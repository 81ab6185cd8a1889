// SPDX-License-Identifier: MIT
// The maker-note exports: GetMakerNoteValue lists entries with their raw value fields,
// GetExifMakerValue delivers one entry's value, SetMakerNote re-encodes one existing entry and
// saves the file. Each reads the file once with its EXIF block loaded, and first makes sure that
// the caller and the file speak of the same maker-note dialect (the header text).
#include <strings.h>

#include <string>

#include "exif/edit/exif_writer.h"
#include "exif/makernote/host_containers.h"
#include "exif/makernote/maker_note_reader.h"
#include "exif/model/metadata_queries.h"
#include "platform/file.h"
#include "plugin/file_kind.h"
#include "plugin/operations.h"

namespace lf::ops {

using exif::IfdEntry;
using exif::IfdEntryList;
using exif::MakerNoteReader;

HRESULT GetMakerNoteValue(const char* path, LfString* header, LfU16List* tags, LfU32List* values) {
  exif::EmptyList(values);
  const FileKind kind = GetFileKind(path);
  if (kind != KIND_JPEG && kind != KIND_TIFF) return E_FAIL;
  MakerNoteReader reader(path, /*loadBlock=*/true);
  if (!reader.IsExif()) return E_NO_EXIF;
  if (!reader.HasMakerNote()) return E_FAIL;
  const std::string fileHeader = reader.GetMakerNoteHeader();
  const bool asked = !exif::TextOf(*header).empty();
  const bool mismatch = asked && exif::TextOf(*header) != fileHeader;
  // Either way the caller learns the file's dialect.
  exif::SetText(header, fileHeader);
  if (mismatch) {
    exif::EmptyList(tags);
    return E_ABORT;
  }
  IfdEntryList entries = exif::RequestFrom(*tags);
  exif::EmptyList(tags);
  if (reader.CollectMakerNoteEntries(&entries) <= 0) return S_OK;
  for (const IfdEntry& e : entries) {
    // The value field as stored: an inline value itself, else the value's TIFF offset.
    exif::Append(tags, e.tag);
    exif::Append(values, e.value);
  }
  return S_OK;
}

HRESULT GetExifMakerValue(const char* path, const char* header, uint16_t tag, void* buffer,
                          uint32_t* size, uint16_t* type, uint32_t* count) {
  MakerNoteReader reader(path, /*loadBlock=*/true);
  if (!reader.IsExif()) {
    *size = 0;
    return E_NO_EXIF;
  }
  if (header && reader.GetMakerNoteHeader() != header) {
    *size = 0;
    return E_FAIL;
  }
  IfdEntry entry{tag};
  uint32_t delivered = 0;
  if (reader.FindMakerNoteEntry(&entry) == 1) {
    delivered = reader.ReadMakerNoteValue(entry, buffer, *size);
  } else {
    entry.type = 0;
  }
  return exif::ReportDelivery(entry.type, delivered, size, type, count);
}

HRESULT SetMakerNote(const char* destination, const char* source, const char* header, uint16_t tag,
                     uint16_t type, uint32_t count, uint32_t value) {
  if (!destination || !*destination) return E_INVALIDARG;
  MakerNoteReader reader(source, /*loadBlock=*/true);
  if (!reader.IsExif()) return E_NO_EXIF;
  if (!reader.HasMakerNote()) return E_FAIL;
  // The dialect's name is compared without regard to letter case here.
  if (::strcasecmp(reader.GetMakerNoteHeader().c_str(), header ? header : "") != 0) return E_ABORT;
  // The entry is re-encoded where it stands; nothing is added, and value bytes stored elsewhere
  // stay as they are (a longer value takes the caller's value as its new offset).
  // A maker note whose directory does not read as one is refused rather than rewritten blindly.
  if (reader.makerEntryCount() == 0) return E_FAIL;
  const int updated = reader.UpdateMakerNoteEntry(IfdEntry{tag, type, count, value});
  if (updated == MakerNoteReader::kEntryRefused) return E_FAIL;
  if (updated != 1) return S_OK;
  const std::string destPath = destination;
  return platform::IsSameFile(destPath, reader.path())
             ? edit::PatchInPlace(reader, reader.MutableBlock(), edit::Probe::kDestination)
             : edit::CopyAndPatch(reader, reader.MutableBlock(), destPath);
}

}  // namespace lf::ops
