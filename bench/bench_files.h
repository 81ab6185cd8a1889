// SPDX-License-Identifier: MIT
// The real files the sweeps run on: the JPEG and TIFF photos of the corpus (../shared/corpus, as
// listed in its MANIFEST.tsv), read in place. Empty when the corpus is absent; the corpus
// benchmarks then skip themselves.
#pragma once

#include <string>
#include <vector>

namespace lf::bench {

enum class CorpusKind { Jpeg, Tiff, JpegAndTiff };

// Paths of the well-formed corpus files of that kind, in manifest order.
const std::vector<std::string>& CorpusPhotos(CorpusKind kind);

// Paths of the well-formed corpus JPEGs a camera made (the manifest names their maker).
const std::vector<std::string>& CorpusCameraJpegs();

// The whole file read as a host would: open, fstat, one read into a fresh buffer, close. Empty
// when it cannot be read.
std::vector<unsigned char> ReadWhole(const std::string& path);

// Open, read up to 64 KiB, close: the least any reader must pay per file.
bool ReadFloor(const std::string& path);

}  // namespace lf::bench
