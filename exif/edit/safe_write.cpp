// SPDX-License-Identifier: MIT
#include "exif/edit/safe_write.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/temp_files.h"

namespace lf::edit {

namespace {

using platform::Access;
using platform::Disposition;
using platform::File;
using platform::FileAttributes;
using platform::Share;

// Temporary names are made by a service limited to the Windows path length: the directory, its
// separator and room for a name of the form "CHKFFFF.TMP" with its terminator.
constexpr size_t kMaxPath = 260;
constexpr size_t kTempNameRoom = 12;
constexpr uint32_t kMaxProbeNames = 0x10000;
constexpr size_t kCopyChunk = 1 << 20;

HRESULT ResultFrom(uint32_t error) { return HRESULT_FROM_WIN32(static_cast<int64_t>(error)); }

// The directory of `path` for the temporary-file service: "" names the working directory.
std::string DirectoryForTemp(const std::string& path) { return platform::DirectoryOf(path); }

// Opens the file that new content goes into, beside the destination so that it can be renamed
// over it: an unnamed one where the file system makes them (a killed edit then leaves nothing
// behind; it is named once complete), else a named "PIC" temporary file. 0 or the error.
uint32_t OpenNewFile(const std::string& dir, platform::ScopedTempFile* temp, File* out,
                     bool* unnamed) {
  *unnamed = temp->CreateUnnamed(dir, out);
  if (*unnamed) return 0;
  if (platform::LastError() != platform::kErrorNotSupported) return platform::LastError();
  if (!temp->Create(dir, "PIC")) return platform::LastError();
  *out = File::Open(temp->path(), Access::Write, Disposition::CreateAlways, Share::DenyWrite);
  return *out ? 0 : platform::LastError();
}

// Puts a read-only attribute that was lifted back; tries twice, since a file left writable is a
// quiet change the user did not ask for.
bool RestoreAttributes(const std::string& path, const FileAttributes& attributes) {
  return platform::SetFileAttributes(path, attributes) ||
         platform::SetFileAttributes(path, attributes);
}

// Overwrites the range of an open file; on a failed write the old bytes are put back.
uint32_t OverwriteRange(File& file, uint64_t fileOffset, const uint8_t* bytes, size_t length,
                        std::vector<uint8_t>* oldBytes) {
  uint64_t fileLength = 0;
  if (!file.Length(&fileLength)) return platform::LastError();
  if (fileOffset > fileLength || length > fileLength - fileOffset)
    return platform::kErrorInvalidData;
  oldBytes->resize(length);
  if (!file.Seek(fileOffset) || !file.ReadExact(oldBytes->data(), length)) {
    return platform::LastError();
  }
  if (!file.Seek(fileOffset)) return platform::LastError();
  if (!file.Write(bytes, length)) {
    const uint32_t error = platform::LastError();
    // Best effort to put the old bytes back; the write's own error is the one reported.
    if (file.Seek(fileOffset)) (void)file.Write(oldBytes->data(), length);
    return error;
  }
  return 0;
}

// Writes the old bytes back after a patch that must be undone.
void UndoPatch(const std::string& path, uint64_t fileOffset, const std::vector<uint8_t>& oldBytes) {
  File file = File::Open(path, Access::Write, Disposition::OpenExisting, Share::DenyWrite);
  // Best effort: the caller reports the failure that made the undo necessary.
  if (file && file.Seek(fileOffset)) (void)file.Write(oldBytes.data(), oldBytes.size());
  (void)file.Close();
}

// Patches a file that is known to exist and be writable by us (attributes already handled).
uint32_t PatchOpenFile(const std::string& path, uint64_t fileOffset, const uint8_t* bytes,
                       size_t length, std::vector<uint8_t>* oldBytes) {
  File file = File::Open(path, Access::ReadWrite, Disposition::OpenExisting, Share::DenyWrite);
  if (!file) return platform::LastError();
  uint32_t error = OverwriteRange(file, fileOffset, bytes, length, oldBytes);
  // The patch is on the disk before the edit reports it done; one that cannot be flushed is undone.
  if (error == 0 && !file.FlushData()) {
    error = platform::LastError();
    if (file.Seek(fileOffset)) (void)file.Write(oldBytes->data(), length);  // best effort, as above
  }
  if (!file.Close() && error == 0) {
    error = platform::LastError();
    UndoPatch(path, fileOffset, *oldBytes);
  }
  return error;
}

// Moves a complete temporary file over the destination, lifting a read-only destination for the
// rename and restoring it when the rename fails.
uint32_t CommitOver(platform::ScopedTempFile& temp, const std::string& destPath, bool destExists,
                    const FileAttributes& destAttributes) {
  const bool readOnly = destExists && (destAttributes.flags & platform::kAttributeReadOnly);
  if (readOnly && !platform::SetFileAttributesNormal(destPath)) return platform::LastError();
  if (!platform::MoveFileOver(temp.path(), destPath)) {
    const uint32_t error = platform::LastError();
    if (readOnly) RestoreAttributes(destPath, destAttributes);
    return error;
  }
  temp.Release();
  return 0;
}

// The destination's attributes, and whether it may be replaced: an existing read-only file only
// when it is the file being edited, whose attribute the edit lifts for the moment. Someone else's
// read-only file is not the edit's to replace, whatever the writer. 0 or the refusal's error.
uint32_t ExamineDestination(const std::string& destPath, const std::string& editedPath,
                            bool* exists, FileAttributes* attributes) {
  *exists = platform::GetFileAttributes(destPath, attributes);
  if (!*exists) return platform::FileExists(destPath) ? platform::LastError() : 0;
  const bool readOnly = (attributes->flags & platform::kAttributeReadOnly) != 0;
  return readOnly && !platform::IsSameFile(destPath, editedPath) ? platform::kErrorAccessDenied : 0;
}

// A copy of a whole file with one byte range replaced (none when the range is empty).
class PatchedCopy : public ImageFileStream {
 public:
  PatchedCopy(std::string source, uint64_t offset, const uint8_t* bytes, size_t length)
      : source_(std::move(source)), offset_(offset), bytes_(bytes), length_(length) {}
  std::string ImageSourcePath() const override { return source_; }
  uint32_t WriteImageFile(File& out, File& in) override {
    platform::HeapPtr<uint8_t> chunk(static_cast<uint8_t*>(platform::HeapAlloc(kCopyChunk)));
    if (!chunk) return platform::kErrorNotEnoughMemory;
    uint64_t length = 0, copied = 0;
    if (!in.Length(&length) || !out.CopyFrom(in, 0, length, chunk.get(), kCopyChunk, &copied)) {
      return platform::LastError();
    }
    if (offset_ > copied || length_ > copied - offset_) return platform::kErrorInvalidData;
    if (length_ == 0) return 0;
    return out.Seek(offset_) && out.Write(bytes_, length_) ? 0 : platform::LastError();
  }

 private:
  std::string source_;
  uint64_t offset_;
  const uint8_t* bytes_;
  size_t length_;
};

// Streams `stream` into a temporary file beside the destination and moves it over the destination
// once it is complete. An existing destination keeps its attributes; a new one takes
// `newFileAttributes` when given.
HRESULT ReplaceDestination(ImageFileStream& stream, const std::string& destination,
                           const FileAttributes* newFileAttributes) {
  const std::string destPath = platform::FollowLinks(destination);
  bool exists = false;
  FileAttributes destAttributes;
  uint32_t error = ExamineDestination(destPath, stream.EditedPath(), &exists, &destAttributes);
  if (error != 0) return ResultFrom(error);

  // The destination, which may also be the image source, stays untouched until the new file is
  // complete.
  const std::string dir = DirectoryForTemp(destPath);
  platform::ScopedTempFile temp;
  File out;
  bool unnamed = false;
  error = OpenNewFile(dir, &temp, &out, &unnamed);
  if (error != 0) return ResultFrom(error);
  {
    File in = File::Open(stream.ImageSourcePath(), Access::Read, Disposition::OpenExisting);
    if (!in) return ResultFromLastError();
    error = stream.WriteImageFile(out, in);
  }
  if (error == 0 && unnamed && !temp.Name(out, dir, "PIC")) error = platform::LastError();
  if (!out.Close() && error == 0) error = platform::LastError();
  if (error != 0) return ResultFrom(error);
  const FileAttributes* attributes = exists ? &destAttributes : newFileAttributes;
  if (attributes && !platform::SetFileAttributes(temp.path(), *attributes)) {
    return ResultFromLastError();
  }
  error = CommitOver(temp, destPath, exists, destAttributes);
  return error == 0 ? S_OK : ResultFrom(error);
}

}  // namespace

HRESULT ResultFromLastError() { return ResultFrom(platform::LastError()); }

HRESULT CheckDestinationWritable(const std::string& destPath) {
  const std::string dir = DirectoryForTemp(destPath);
  {
    // An unnamed file proves the folder writable without ever naming a file in it.
    platform::ScopedTempFile probe;
    File file;
    if (probe.CreateUnnamed(dir, &file)) return S_OK;
    if (platform::LastError() != platform::kErrorNotSupported) return ResultFromLastError();
  }
  if (dir.size() + kTempNameRoom <= kMaxPath) {
    std::string probe;
    if (!platform::CreateTempFile(dir, "CHK", &probe)) return ResultFromLastError();
    // The probe proved the folder writable; a delete refused twice only leaves it behind.
    if (!platform::DeleteFile(probe)) (void)platform::DeleteFile(probe);
    return S_OK;
  }
  // The directory name leaves no room for the temporary-name service: probe plain hexadecimal
  // names instead.
  for (uint32_t i = 0; i < kMaxProbeNames; ++i) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%x", i);
    const std::string name = dir + digits;
    if (platform::FileExists(name)) continue;
    File probe = File::Open(name, Access::Write, Disposition::CreateNew, Share::DenyWrite);
    if (!probe) return ResultFromLastError();
    (void)probe.Close();                                                // nothing was written
    if (!platform::DeleteFile(name)) (void)platform::DeleteFile(name);  // as above
    return S_OK;
  }
  return ResultFrom(platform::kErrorFileExists);
}

HRESULT PatchFileRange(const std::string& path, uint64_t fileOffset, const uint8_t* bytes,
                       size_t length, Probe probe) {
  if (probe == Probe::kDestination) {
    const HRESULT writable = CheckDestinationWritable(path);
    if (writable != S_OK) return writable;
  }
  FileAttributes attributes;
  if (!platform::GetFileAttributes(path, &attributes)) {
    return platform::FileExists(path) ? ResultFromLastError() : E_FAIL;
  }
  const bool readOnly = (attributes.flags & platform::kAttributeReadOnly) != 0;
  if (readOnly && !platform::SetFileAttributesNormal(path)) return ResultFromLastError();

  std::vector<uint8_t> oldBytes;
  uint32_t error = PatchOpenFile(path, fileOffset, bytes, length, &oldBytes);
  if (readOnly && !RestoreAttributes(path, attributes)) {
    // The file cannot be made read-only again: leave it as it was in content at least, and
    // report the failure.
    if (error == 0) {
      error = platform::LastError();
      UndoPatch(path, fileOffset, oldBytes);
      RestoreAttributes(path, attributes);
    }
  }
  return error == 0 ? S_OK : ResultFrom(error);
}

HRESULT CopyAndPatch(const std::string& sourcePath, const std::string& destPath,
                     uint64_t fileOffset, const uint8_t* bytes, size_t length) {
  FileAttributes sourceAttributes;
  if (!platform::GetFileAttributes(sourcePath, &sourceAttributes)) return ResultFromLastError();
  PatchedCopy copy(sourcePath, fileOffset, bytes, length);
  return ReplaceDestination(copy, destPath, &sourceAttributes);
}

HRESULT WriteToFile(ImageFileStream& stream, const std::string& destPath, Probe probe) {
  if (probe == Probe::kDestination) {
    const HRESULT writable = CheckDestinationWritable(platform::FollowLinks(destPath));
    if (writable != S_OK) return writable;
  }
  return ReplaceDestination(stream, destPath, nullptr);
}

}  // namespace lf::edit
