// SPDX-License-Identifier: MIT
#include "tests/support/maker_note_fixtures.h"

#include <map>

namespace lf::test {

namespace {

// The maker note laid out for the TIFF offset `at`.
Bytes LayNote(const MakerNoteRecipe& r, uint32_t at, std::map<uint16_t, uint32_t>* entryOffsets) {
  if (r.rawNote) return r.rawNote(at);
  const auto& entries = r.note.entries;
  const uint32_t start = static_cast<uint32_t>(r.header.size() + 3);
  uint32_t valueAt = start + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  ByteWriter w(r.order);
  Bytes values;
  w.Text(r.header).U8(0).U8(0x4B).U8(0x4E).U16(static_cast<uint16_t>(entries.size()));
  for (const Ifd::Entry& e : entries) {
    (*entryOffsets)[e.tag] = at + static_cast<uint32_t>(w.size());
    const Bytes v = ValueBytes(e, r.order);
    w.U16(e.tag).U16(e.type).U32(e.count);
    if (e.hasFixedField) {
      w.U32(e.fixedField);
    } else if (v.size() <= 4) {
      Bytes field = v;
      field.resize(4, 0);
      w.Raw(field);
    } else {
      w.U32(at + valueAt + static_cast<uint32_t>(values.size()));
      values.insert(values.end(), v.begin(), v.end());
      if (values.size() % 2) values.push_back(0);
    }
  }
  w.U32(0).Raw(values);
  return w.Take();
}

Bytes BuildTiff(const MakerNoteRecipe& r, uint32_t noteAt, TiffLayout* layout,
                std::map<uint16_t, uint32_t>* entryOffsets, int* exifIndex) {
  TiffBuilder t(r.order);
  const int exif = t.AddDirectory();
  *exifIndex = exif;
  Ifd& ifd0 = t.Ifd0();
  ifd0.Ascii(0x010F, "Kestrelon").Ascii(0x0110, "KX-100 Test");
  if (r.fullExif) ifd0.Short(0x0112, {6});
  ifd0.Ascii(0x0132, "2021:07:14 10:00:00").Pointer(0x8769, exif);
  const int gps = r.withGps ? t.AddDirectory() : -1;
  if (r.withGps) ifd0.Pointer(0x8825, gps);
  if (r.fullExif) ifd0.Ascii(0xC6D2, "Harbour at dawn");
  Ifd& ex = t.Dir(exif);
  if (r.fullExif) {
    ex.Rational(0x829A, {{1, 250}}).Rational(0x829D, {{28, 10}}).Short(0x8827, {400, 800});
  }
  ex.Undefined(0x9000, {'0', '2', '2', '1'}).Ascii(0x9003, r.dateTimeOriginal);
  if (r.fullExif) {
    ex.Values(0x9201, kSRational, {7965, 1000}).Rational(0x9202, {{2971, 1000}});
    ex.Values(0x9204, kSRational, {static_cast<uint32_t>(-2), 3}).Short(0x9207, {5});
    ex.Short(0x9209, {0x19}).Rational(0x920A, {{128, 10}});
  }
  ex.Undefined(0x927C, LayNote(r, noteAt, entryOffsets));
  if (r.fullExif) {
    ex.Short(0xA402, {1}).Short(0xA403, {0}).Rational(0xA404, {{3, 2}}).Short(0xA405, {70});
    ex.Short(0xA406, {2}).Short(0xA40C, {3});
  }
  ex.entries.insert(ex.entries.end(), r.extraExif.entries.begin(), r.extraExif.entries.end());
  if (r.withGps) {
    Bytes method = {'A', 'S', 'C', 'I', 'I', 0, 0, 0};
    for (char c : std::string("GPS-FIX-12")) method.push_back(static_cast<uint8_t>(c));
    method.resize(20, '!');
    // clang-format off
    t.Dir(gps).Data(0x0000, kByte, {2, 2, 0, 0}).Ascii(0x0001, "N")
        .Rational(0x0002, {{48, 1}, {51, 1}, {2400, 100}}).Ascii(0x0003, "W")
        .Rational(0x0004, {{2, 1}, {21, 1}, {900, 100}}).Data(0x0005, kByte, {1})
        .Rational(0x0006, {{355, 10}}).Rational(0x0007, {{9, 1}, {26, 1}, {53, 1}})
        .Ascii(0x0012, "WGS-84").Undefined(0x001B, method)
        .Undefined(0x001C, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'Q', 'u', 'a', 'y'})
        .Ascii(0x001D, "2021:07:14");
    // clang-format on
  }
  return t.Build(layout);
}

}  // namespace

MakerNoteFile MakeMakerNoteFile(const MakerNoteRecipe& recipe) {
  MakerNoteFile out;
  TiffLayout layout;
  int exif = 0;
  // A first build tells where the note lands; the second addresses its values from there.
  BuildTiff(recipe, 0, &layout, &out.entryOffsets, &exif);
  out.noteOffset = layout.valueOffsets.at({exif, 0x927C});
  out.entryOffsets.clear();
  const Bytes tiff = BuildTiff(recipe, out.noteOffset, &layout, &out.entryOffsets, &exif);
  out.dateTimeOffset = layout.valueOffsets.at({0, 0x0132});
  JpegBuilder j;
  j.Soi();
  if (recipe.withJfif) j.App0Jfif();
  j.App1Exif(tiff).BodyOf(EncodeJpeg(16, 16, 75));
  out.file = j.Build();
  out.tiffBase = (recipe.withJfif ? 2 + 18 : 2) + 4 + 6;
  return out;
}

Ifd FullKestrelonNote() {
  Bytes settings(16), table(148);
  for (size_t i = 0; i < settings.size(); ++i) settings[i] = static_cast<uint8_t>(0xC0 + i);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 7);
  Ifd note;
  note.Short(0x0001, {2}).Long(0x0002, {0x00C0FFEE}).Short(0x0003, {1}).Short(0x0007, {4});
  note.Short(0x000F, {0x100}).Short(0x001A, {3}).Short(0x001F, {8}).Short(0x0020, {9});
  note.Undefined(0x0021, {1, 2, 3, 4, 5, 6});
  note.Long(0x0026, {0x12345678}).Short(0x002A, {42}).Long(0x002B, {70000});
  note.Ascii(0x0033, "2021:07:14 09:26:53").Short(0x0036, {11}).Short(0x003D, {12});
  note.Short(0x0043, {13}).Undefined(0x004D, settings).Ascii(0x0051, "Lens 18-55");
  note.Ascii(0x0053, "Body 0042").Undefined(0x0061, table).Rational(0x0062, {{5, 4}, {7, 8}});
  note.Undefined(0x0E00, {'P', 'r', 'i', 'n', 't', 'I', 'M', 0});
  return note;
}

}  // namespace lf::test
