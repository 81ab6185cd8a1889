// SPDX-License-Identifier: MIT
// Temporary directory and unique temporary names, in the form Windows gives them:
// a directory, a three-letter prefix, hexadecimal digits and ".TMP".
#pragma once

#include <string>

namespace lf::platform {

class File;

// $TMPDIR when set and non-empty, else /tmp; always ends with '/'.
std::string TempDirectory();

// The directory part of a path with its trailing separator ('/' or '\\'), or "" when the path
// has no directory part.
std::string DirectoryOf(const std::string& path);

// Creates a new, empty file `dir` + `prefix` + hex digits + ".TMP" exclusively with `mode` (less
// the umask) and returns an open descriptor (the caller closes it) with the name in `*path`; -1
// with the last error set when no file can be created there.
[[nodiscard]] int CreateUniqueFile(const std::string& dir, const std::string& prefix,
                                   std::string* path, unsigned mode = 0600);

// The GetTempFileName service: creates the file, closes it and returns true with its name.
[[nodiscard]] bool CreateTempFile(const std::string& dir, const std::string& prefix,
                                  std::string* path);

// A temporary file that exists for one call: created with a unique name, deleted when the owner
// goes out of scope on every path, unless Release() says it has been moved into place.
class ScopedTempFile {
 public:
  ScopedTempFile() = default;
  ~ScopedTempFile();
  ScopedTempFile(const ScopedTempFile&) = delete;
  ScopedTempFile& operator=(const ScopedTempFile&) = delete;

  // Creates the file `dir` + `prefix` + hex digits + ".TMP"; false with the last error set.
  [[nodiscard]] bool Create(const std::string& dir, const std::string& prefix);
  // Opens a new file without a name in `dir` for writing (O_TMPFILE): if the process dies before
  // Name() it vanishes with its descriptor, so a killed edit leaves nothing behind. False with the
  // last error set; error 50 (not supported) where the file system makes no unnamed files, and
  // the caller makes a named one instead. Counts as a Create call for the failure seam.
  [[nodiscard]] bool CreateUnnamed(const std::string& dir, File* file);
  // Gives the unnamed `file` the name `dir` + `prefix` + hex digits + ".TMP", which this owner
  // then deletes like any other; false with the last error set. Counts as a Create call.
  [[nodiscard]] bool Name(const File& file, const std::string& dir, const std::string& prefix);
  const std::string& path() const { return path_; }
  // The file is no longer ours to delete (it was renamed over its destination).
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

// Creates a new private directory `dir` + `prefix` + hex digits + ".TMP" (mode 0700) and returns
// its name with a trailing '/'. Fixed file names used by one call live inside such a directory,
// so no two calls or processes share them.
[[nodiscard]] bool CreateTempDirectory(const std::string& dir, const std::string& prefix,
                                       std::string* path);

// Removes a directory made by CreateTempDirectory together with the files left in it.
[[nodiscard]] bool RemoveTempDirectory(const std::string& path);

// A private directory that exists for one call (made by CreateTempDirectory, removed with its
// files when the owner goes out of scope on every path).
class ScopedTempDir {
 public:
  ScopedTempDir() = default;
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  // Creates the directory under TempDirectory(); false with the last error set.
  [[nodiscard]] bool Create(const std::string& prefix);
  // The directory with its trailing '/'; empty before Create.
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

}  // namespace lf::platform
