// SPDX-License-Identifier: MIT
// lumenframe records FILE... [--json]: the flat directory records GetStillImageInfo delivers for
// IFD0, the Exif IFD (with its Interoperability record), the GPS IFD and IFD1: every field whose
// presence bit is set, by its tag name.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "exif/record/record_table.h"

namespace lf::cli {
namespace {

using record::FieldAt;
using record::FieldKind;
using record::RecordField;

std::string Hex(const uint8_t* data, size_t size) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(b, sizeof b, "%02x", data[i]);
    out += b;
  }
  return out;
}

// Every value of a field, as text and as JSON: numbers as numbers (a list when the field holds
// several), rationals as [numerator, denominator], texts as strings, byte arrays in hexadecimal.
struct Value {
  std::string text;
  Json json;
};

Value ValueOf(const RecordField& f, const void* r) {
  Value v;
  Json list = Json::array();
  auto add = [&](const std::string& text, Json json) {
    v.text += (v.text.empty() ? "" : " ") + text;
    list.push_back(std::move(json));
  };
  switch (f.kind) {
    case FieldKind::kU8: {
      const uint8_t n = FieldAt<uint8_t>(r, f.offset);
      return {std::to_string(n), n};
    }
    case FieldKind::kU32:
    case FieldKind::kShortOrLong: {
      const uint32_t n = FieldAt<uint32_t>(r, f.offset);
      return {std::to_string(n), n};
    }
    case FieldKind::kU16:
      for (int i = 0; i < int{f.count}; ++i) {
        const uint16_t n = FieldAt<uint16_t>(r, f.offset, i);
        add(std::to_string(n), n);
      }
      break;
    case FieldKind::kRational:
      for (int i = 0; i < int{f.count}; ++i) {
        const uint32_t n = FieldAt<uint32_t>(r, f.offset, 2 * i),
                       d = FieldAt<uint32_t>(r, f.offset, 2 * i + 1);
        add(std::to_string(n) + "/" + std::to_string(d), {n, d});
      }
      break;
    case FieldKind::kSRational:
      for (int i = 0; i < int{f.count}; ++i) {
        const int32_t n = FieldAt<int32_t>(r, f.offset, 2 * i),
                      d = FieldAt<int32_t>(r, f.offset, 2 * i + 1);
        add(std::to_string(n) + "/" + std::to_string(d), {n, d});
      }
      break;
    case FieldKind::kRaw4: {
      const auto raw = FieldAt<std::array<uint8_t, 4>>(r, f.offset);
      bool printable = true;
      for (uint8_t c : raw) printable = printable && c >= 0x20 && c < 0x7F;
      v.text = printable ? std::string(raw.begin(), raw.end()) : Hex(raw.data(), raw.size());
      return {v.text, v.text};
    }
    case FieldKind::kText: {
      const auto s = FieldAt<LfString>(r, f.offset);
      v.text = s.text ? s.text : "";
      return {v.text, v.text};
    }
    case FieldKind::kBytes: {
      const auto b = FieldAt<LfByteArray>(r, f.offset);
      const size_t n = b.data && b.size > 0 ? static_cast<size_t>(b.size) : 0;
      v.text = std::to_string(n) + " bytes";
      if (n) v.text += ": " + Hex(b.data, std::min<size_t>(n, 16)) + (n > 16 ? "..." : "");
      return {v.text, n ? Hex(b.data, n) : std::string()};
    }
    case FieldKind::kU16List: {
      const auto l = FieldAt<LfU16List>(r, f.offset);
      for (int32_t i = 0; l.data && i < l.size; ++i) add(std::to_string(l.data[i]), l.data[i]);
      break;
    }
    case FieldKind::kU32List: {
      const auto l = FieldAt<LfU32List>(r, f.offset);
      for (int32_t i = 0; l.data && i < l.size; ++i) add(std::to_string(l.data[i]), l.data[i]);
      break;
    }
    case FieldKind::kSubDirectory: break;  // its fields are printed under their own names
  }
  v.json = list.size() == 1 ? list[0] : list;
  return v;
}

const char* DirectoryName(uint32_t selector) {
  switch (selector) {
    case LF_SEL_IFD0: return "IFD0";
    case LF_SEL_IFD1: return "IFD1";
    case LF_SEL_EXIF: return "ExifIFD";
    case LF_SEL_GPS: return "GPS";
    default: return "?";
  }
}

// The present fields of one record as (name, value, quote) rows; the Exif record's
// Interoperability fields follow it under their own names.
struct Row {
  std::string name;
  Value value;
};

// In presence-bit order, the order the records declare their fields.
void CollectRows(uint32_t selector, const void* record, std::vector<Row>* rows) {
  const LfPresenceMask* mask = record::PresenceOf(selector, record);
  if (!mask) return;
  std::vector<const RecordField*> fields;
  for (const RecordField& f : record::FieldsOf(selector)) {
    if (f.kind != FieldKind::kSubDirectory && LfPresenceHas(mask, f.bit)) fields.push_back(&f);
  }
  std::sort(fields.begin(), fields.end(),
            [](const RecordField* a, const RecordField* b) { return a->bit < b->bit; });
  for (const RecordField* f : fields) rows->push_back({f->name, ValueOf(*f, record)});
}

std::vector<Row> RowsOf(uint32_t selector, const void* record) {
  std::vector<Row> rows;
  CollectRows(selector, record, &rows);
  if (selector == LF_SEL_EXIF) {
    CollectRows(LF_SEL_INTEROP, &static_cast<const LfExifDirRecord*>(record)->interoperability,
                &rows);
  }
  return rows;
}

struct Entry {
  uint32_t selector;
  const void* record;
};

// The directory records of one file, in the order delivered.
std::vector<Entry> EntriesOf(const LfStillImageOutput& out) {
  std::vector<Entry> entries;
  if (out.list.count >= 2) {
    for (const LfRecordNode* n = out.list.head->next; n != out.list.head; n = n->next) {
      entries.push_back({n->selector, n->record});
    }
  } else if (out.single.record) {
    entries.push_back({static_cast<uint32_t>(out.single.selector), out.single.record});
  }
  return entries;
}

Outcome Records(const Module& m, const std::string& file) {
  LfStillImageOutput records{};
  const LF_RESULT r = m.GetStillImageInfo(file.c_str(), &records,
                                          LF_SEL_IFD0 | LF_SEL_EXIF | LF_SEL_GPS | LF_SEL_IFD1);
  Outcome out;
  out.ok = r == LF_S_OK;
  out.record["result"] = ResultJson(r);
  out.text = file + "\n";
  if (!out.ok) out.error = file + ": " + ResultSentence(r, Action::kRead);
  for (const Entry& e : EntriesOf(records)) {
    const char* name = DirectoryName(e.selector);
    Json fields = Json::object();
    out.text += "  [" + std::string(name) + "]\n";
    char line[64];
    for (const Row& row : RowsOf(e.selector, e.record)) {
      std::snprintf(line, sizeof line, "    %-28s ", row.name.c_str());
      out.text += line + row.value.text + "\n";
      fields[row.name] = row.value.json;
    }
    out.record[name] = fields;
  }
  LfStillImageOutputFree(&records);
  return out;
}

Runner Declare(CLI::App& app) {
  auto files = std::make_shared<std::vector<std::string>>();
  app.add_option("files", *files, "files or folders")->required();
  return [files](const Module& m, const Options& o) {
    return RunBatch(o, ExpandInputs(m, *files, o.recursive),
                    [&](const std::string& f, size_t) { return Records(m, f); });
  };
}

LF_CLI_COMMAND({"records", "the EXIF directory records GetStillImageInfo delivers", Declare});

}  // namespace
}  // namespace lf::cli
