#include "exif/makernote/maker_note_layout.h"

#include <algorithm>

namespace lf::exif {

namespace {

constexpr uint32_t kCountAfterText = 3;   // the NUL and two bytes not interpreted
constexpr uint32_t kEntriesAfterText = 5;  // ... and the two-byte entry count

}  // namespace

MakerNoteLayout MeasureMakerNote(ByteView note) {
  MakerNoteLayout layout;
  const uint32_t limit = static_cast<uint32_t>(std::min<uint64_t>(kMaxHeaderText, note.size()));
  uint32_t text = 0;
  while (text < limit && note.ReadU8(text) != 0) ++text;
  layout.textLength = text;
  if (text < 2) {
    layout.located = note.size() >= 2;
    return layout;
  }
  layout.header = std::string_view(reinterpret_cast<const char*>(note.data()), text);
  if (uint64_t{text} + kEntriesAfterText < note.size()) {
    layout.directoryStart = text + kCountAfterText;
    layout.located = true;
  }
  return layout;
}

}  // namespace lf::exif
