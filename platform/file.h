// SPDX-License-Identifier: MIT
// Files as the module uses them: Windows semantics on a POSIX system.
//
// A file without any write permission bit is read-only, as the Windows attribute is: opening it
// for writing, or copying another file over it, fails with error 5 even for root. Every failure
// sets the per-thread last error (platform/errors.h) to a Win32 error number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lf::platform {

enum class Access { Read, Write, ReadWrite };

enum class Disposition {
  OpenExisting,  // fail when the file does not exist
  CreateAlways,  // create, or truncate an existing file
  CreateNew,     // create; fail with error 80 when it exists
  OpenAlways,    // open, creating it when missing, without truncating
};

enum class Share {
  All,        // others may read and write
  DenyWrite,  // others may read; a second writer is refused (error 32)
};

// An open file. Movable, not copyable; closes itself.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path`; on failure the result is closed and the last error says why.
  static File Open(const std::string& path, Access access, Disposition disposition,
                   Share share = Share::All);

  [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }
  explicit operator bool() const { return IsOpen(); }

  // Reads up to `size` bytes at the current position. `*got` receives the count read (0 at the
  // end of the file). False only on an error.
  [[nodiscard]] bool Read(void* buffer, size_t size, size_t* got);
  // Reads exactly `size` bytes; a short read is a failure with error 38 (end of file).
  [[nodiscard]] bool ReadExact(void* buffer, size_t size);
  // Writes all `size` bytes; a short write (a full disk) is a failure with error 112.
  [[nodiscard]] bool Write(const void* buffer, size_t size);
  [[nodiscard]] bool Seek(uint64_t position);
  [[nodiscard]] bool Length(uint64_t* length);
  // Reads exactly `size` bytes at `position`, leaving the file position alone: one system call
  // where Seek and ReadExact take two, which matters when a sweep reads a million headers. A short
  // read is a failure with error 38. Counts as a Seek and a Read for the failure seam.
  [[nodiscard]] bool ReadExactAt(uint64_t position, void* buffer, size_t size);
  // The length the file had when it was opened (the open looked at it already), for files opened
  // only for reading. Counts as a Seek for the failure seam, as Length does.
  [[nodiscard]] bool LengthAtOpen(uint64_t* length) const;
  // Copies `length` bytes of `source`, starting at `position`, to this file's current position
  // (which moves past them) without touching the source's position. Where both positions lie at
  // the same place within a 4 KiB block the kernel copies the blocks, sharing their extents where
  // the file system can; everything else, and all of it when the kernel refuses these two files,
  // goes through `buffer` (`bufferSize` bytes). `*copied` receives the count copied, fewer than
  // `length` only when the source ends first. Each kernel call counts as a CopyRange call for the
  // failure seam; an injected error 50 or 87 is taken as the kernel's refusal, any other as a
  // failure.
  [[nodiscard]] bool CopyFrom(File& source, uint64_t position, uint64_t length, void* buffer,
                              size_t bufferSize, uint64_t* copied);
  // Writes the file's data through to the disk (with the length needed to read it back), so that
  // a change made in place survives a power cut once it is reported done.
  [[nodiscard]] bool FlushData();
  // Closes the file; false when the final flush failed.
  [[nodiscard]] bool Close();

 private:
  friend class ScopedTempFile;  // opens and names unnamed files
  static constexpr uint64_t kLengthUnknown = UINT64_MAX;
  File(int fd, uint64_t length) : fd_(fd), lengthAtOpen_(length) {}
  int fd_ = -1;
  uint64_t lengthAtOpen_ = 0;
};

// Windows attribute bits kept by the module.
inline constexpr uint32_t kAttributeReadOnly = 0x1;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeNormal = 0x80;

// A file's attributes together with the permission bits they stand for, so that restoring them
// puts back exactly the mode the file had.
struct FileAttributes {
  uint32_t flags = 0;  // kAttribute* bits
  uint32_t mode = 0;   // POSIX permission bits
};

// A directory without any write permission bit takes no new files, for every user, root included,
// as a read-only file takes no writers: true (with error 5 set) for such a directory ("" is the
// current one).
[[nodiscard]] bool DirectoryTakesNoNewFiles(const std::string& dir);

// False when the file does not exist or cannot be examined.
[[nodiscard]] bool GetFileAttributes(const std::string& path, FileAttributes* attributes);
// Restores attributes read earlier.
[[nodiscard]] bool SetFileAttributes(const std::string& path, const FileAttributes& attributes);
// Lifts read-only: gives the owner write permission.
[[nodiscard]] bool SetFileAttributesNormal(const std::string& path);
// Sets read-only: removes every write permission bit.
[[nodiscard]] bool SetFileReadOnly(const std::string& path);

// Renames `source` over `destination` in one step, so the destination is at every moment either
// the old file or the new one. Both must lie on one file system (the caller makes `source` beside
// the destination). A read-only destination is refused with error 5. Counts
// as a Copy call for the failure seam. The destination's owner and group go to the replacement
// when the process may set them.
//
// The replacement is flushed to the disk before the rename and the folder after it, so that after
// a power cut the destination is the old file or the complete new one, never an empty one. When
// the folder cannot be flushed the rename is undone (the old destination is put back, or a new one
// removed) and the call fails; on a file system that cannot swap two names an old destination
// cannot be put back, and the failure is reported with the new file in place. Each flush counts as
// a Flush call for the failure seam.
[[nodiscard]] bool MoveFileOver(const std::string& source, const std::string& destination);

[[nodiscard]] bool DeleteFile(const std::string& path);

// The file a path finally names: a symbolic link is followed to its target (so replacing "the
// file" replaces the target, not the link); any other path is returned as it is, also when it
// does not exist.
std::string FollowLinks(const std::string& path);

// True when anything of that name exists.
[[nodiscard]] bool FileExists(const std::string& path);

// True when both paths name the same existing file (same device and inode).
[[nodiscard]] bool IsSameFile(const std::string& a, const std::string& b);

// Reads a whole file into `out`; false with the last error set when it cannot (error 8 for a
// file longer than `maxLength`), `out` then empty.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out,
                                 uint64_t maxLength = UINT64_MAX);

}  // namespace lf::platform
