#include "exif/edit/safe_write.h"

#include <cstdio>
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

HRESULT ResultFrom(uint32_t error) { return HRESULT_FROM_WIN32(static_cast<int64_t>(error)); }

// The directory of `path` for the temporary-file service: "" names the working directory.
std::string DirectoryForTemp(const std::string& path) { return platform::DirectoryOf(path); }

// A temporary file beside the destination, so the finished file can be renamed over it.
bool CreateSiblingTemp(const std::string& destPath, platform::ScopedTempFile* temp) {
  return temp->Create(DirectoryForTemp(destPath), "PIC");
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
  if (fileOffset > fileLength || length > fileLength - fileOffset) return platform::kErrorInvalidData;
  oldBytes->resize(length);
  if (!file.Seek(fileOffset) || !file.ReadExact(oldBytes->data(), length)) {
    return platform::LastError();
  }
  if (!file.Seek(fileOffset)) return platform::LastError();
  if (!file.Write(bytes, length)) {
    const uint32_t error = platform::LastError();
    if (file.Seek(fileOffset)) file.Write(oldBytes->data(), length);
    return error;
  }
  return 0;
}

// Writes the old bytes back after a patch that must be undone.
void UndoPatch(const std::string& path, uint64_t fileOffset, const std::vector<uint8_t>& oldBytes) {
  File file = File::Open(path, Access::Write, Disposition::OpenExisting, Share::DenyWrite);
  if (file && file.Seek(fileOffset)) file.Write(oldBytes.data(), oldBytes.size());
  file.Close();
}

// Patches a file that is known to exist and be writable by us (attributes already handled).
uint32_t PatchOpenFile(const std::string& path, uint64_t fileOffset, const uint8_t* bytes,
                       size_t length, std::vector<uint8_t>* oldBytes) {
  File file = File::Open(path, Access::ReadWrite, Disposition::OpenExisting, Share::DenyWrite);
  if (!file) return platform::LastError();
  uint32_t error = OverwriteRange(file, fileOffset, bytes, length, oldBytes);
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

// The destination's attributes; false with an error when it exists but cannot be examined.
bool ExamineDestination(const std::string& destPath, bool* exists, FileAttributes* attributes,
                        uint32_t* error) {
  *exists = platform::GetFileAttributes(destPath, attributes);
  if (!*exists && platform::FileExists(destPath)) {
    *error = platform::LastError();
    return false;
  }
  return true;
}

}  // namespace

HRESULT ResultFromLastError() { return ResultFrom(platform::LastError()); }

HRESULT CheckDestinationWritable(const std::string& destPath) {
  const std::string dir = DirectoryForTemp(destPath);
  if (dir.size() + kTempNameRoom <= kMaxPath) {
    std::string probe;
    if (!platform::CreateTempFile(dir, "CHK", &probe)) return ResultFromLastError();
    if (!platform::DeleteFile(probe)) platform::DeleteFile(probe);
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
    probe.Close();
    if (!platform::DeleteFile(name)) platform::DeleteFile(name);
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

HRESULT CopyAndPatch(const std::string& sourcePath, const std::string& destination,
                     uint64_t fileOffset, const uint8_t* bytes, size_t length) {
  const std::string destPath = platform::FollowLinks(destination);
  bool exists = false;
  FileAttributes destAttributes;
  uint32_t error = 0;
  if (!ExamineDestination(destPath, &exists, &destAttributes, &error)) return ResultFrom(error);
  FileAttributes finalAttributes = destAttributes;
  if (!exists && !platform::GetFileAttributes(sourcePath, &finalAttributes)) {
    return ResultFromLastError();
  }

  platform::ScopedTempFile temp;
  if (!CreateSiblingTemp(destPath, &temp)) return ResultFromLastError();
  if (!platform::CopyFileOver(sourcePath, temp.path())) return ResultFromLastError();
  // The copy carries the source's permissions; it must be writable to be patched.
  if (!platform::SetFileAttributesNormal(temp.path())) return ResultFromLastError();
  std::vector<uint8_t> oldBytes;
  error = PatchOpenFile(temp.path(), fileOffset, bytes, length, &oldBytes);
  if (error != 0) return ResultFrom(error);
  if (!platform::SetFileAttributes(temp.path(), finalAttributes)) return ResultFromLastError();
  error = CommitOver(temp, destPath, exists, destAttributes);
  return error == 0 ? S_OK : ResultFrom(error);
}

HRESULT WriteToFile(ImageFileStream& stream, const std::string& destination, Probe probe) {
  const std::string destPath = platform::FollowLinks(destination);
  if (probe == Probe::kDestination) {
    const HRESULT writable = CheckDestinationWritable(destPath);
    if (writable != S_OK) return writable;
  }
  bool exists = false;
  FileAttributes destAttributes;
  uint32_t error = 0;
  if (!ExamineDestination(destPath, &exists, &destAttributes, &error)) return ResultFrom(error);

  // The new file is streamed beside the destination; the destination, which may also be the
  // image source, stays untouched until the new file is complete.
  platform::ScopedTempFile temp;
  if (!CreateSiblingTemp(destPath, &temp)) return ResultFromLastError();
  {
    File out = File::Open(temp.path(), Access::Write, Disposition::CreateAlways, Share::DenyWrite);
    if (!out) return ResultFromLastError();
    File in = File::Open(stream.ImageSourcePath(), Access::Read, Disposition::OpenExisting);
    if (!in) return ResultFromLastError();
    error = stream.WriteImageFile(out, in);
    in.Close();
    if (!out.Close() && error == 0) error = platform::LastError();
    if (error != 0) return ResultFrom(error);
  }
  if (exists && !platform::SetFileAttributes(temp.path(), destAttributes)) {
    return ResultFromLastError();
  }
  error = CommitOver(temp, destPath, exists, destAttributes);
  return error == 0 ? S_OK : ResultFrom(error);
}

}  // namespace lf::edit
