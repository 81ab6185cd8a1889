// SPDX-License-Identifier: MIT
// Points $TMPDIR at a scratch directory for one test, so that a temporary file left behind by the
// code under test cannot hide among other files.
#pragma once

#include <cstdlib>
#include <string>

#include "tests/support/fixture_builder.h"

namespace lf::test {

class ScratchTmpdir {
 public:
  ScratchTmpdir() {
    const char* old = std::getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv("TMPDIR", dir_.path().c_str(), 1);
  }
  ~ScratchTmpdir() {
    if (had_)
      ::setenv("TMPDIR", old_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }
  ScratchTmpdir(const ScratchTmpdir&) = delete;
  ScratchTmpdir& operator=(const ScratchTmpdir&) = delete;
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string old_;
  bool had_ = false;
};

}  // namespace lf::test
