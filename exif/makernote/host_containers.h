// SPDX-License-Identifier: MIT
// The host's containers as the maker-note exports fill them: a tag list read as a request and
// refilled as the result, texts replaced. The storage is the host's malloc()/free() storage, grown
// with the public header's helpers; memory running short is reported as std::bad_alloc, which the
// boundary turns into E_OUTOFMEMORY.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "exif/model/directory.h"
#include "lumenframe/lumenframe.h"

namespace lf::exif {

// The tags of a host list as a request (a list that holds nothing is an empty request).
inline IfdEntryList RequestFrom(const LfU16List& tags) {
  IfdEntryList request;
  if (!tags.data || tags.size <= 0) return request;
  request.reserve(static_cast<size_t>(tags.size));
  for (int32_t i = 0; i < tags.size; ++i) request.push_back(IfdEntry{tags.data[i]});
  return request;
}

// Empties a list, keeping its storage for the result.
inline void EmptyList(LfU16List* list) { list->size = 0; }
inline void EmptyList(LfU32List* list) { list->size = 0; }

inline void Append(LfU16List* list, uint16_t tag) {
  if (!LfU16ListAppend(list, tag)) throw std::bad_alloc();
}
inline void Append(LfU32List* list, uint32_t value) {
  if (!LfU32ListAppend(list, value)) throw std::bad_alloc();
}

inline void SetText(LfString* text, std::string_view value) {
  const std::string copy(value);
  if (!LfStringSet(text, copy.c_str())) throw std::bad_alloc();
}

inline std::string_view TextOf(const LfString& text) {
  return text.text ? std::string_view(text.text) : std::string_view();
}

}  // namespace lf::exif
