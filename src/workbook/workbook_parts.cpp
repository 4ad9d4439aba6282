#include "workbook/workbook_parts.h"

#include <charconv>
#include <map>
#include <stdexcept>

#include "workbook/xml_stream.h"
#include "workbook/zip_archive.h"

namespace efi::workbook {
namespace {

constexpr char kWorkbookPart[] = "xl/workbook.xml";
constexpr char kWorkbookRels[] = "xl/_rels/workbook.xml.rels";

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

long long to_number(const char* text, long long fallback) {
  if (text == nullptr) return fallback;
  long long v = 0;
  std::string_view s(text);
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return (r.ec == std::errc() && r.ptr == s.data() + s.size()) ? v : fallback;
}

bool to_bool(const char* text) {
  return text != nullptr && (std::string_view(text) == "1" || std::string_view(text) == "true");
}

// A relationship target, relative to the xl/ folder unless it starts with "/",
// with "." and ".." segments resolved.
std::string resolve_target(std::string_view target) {
  std::string joined = target.starts_with('/') ? std::string(target.substr(1)) : "xl/" + std::string(target);
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t slash = joined.find('/', start);
    if (slash == std::string::npos) slash = joined.size();
    std::string seg = joined.substr(start, slash - start);
    if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segments.push_back(seg);
    }
    start = slash + 1;
  }
  std::string out;
  for (const auto& s : segments) out += (out.empty() ? "" : "/") + s;
  return out;
}

struct WorkbookHandler : XmlHandler {
  struct Sheet {
    std::string name, rel_id;
  };
  std::vector<Sheet> sheets;  // in workbook order
  long long active_tab = -1;  // from the first workbookView
  bool date1904 = false;

  void start(std::string_view name, const char** attrs) override {
    if (name == "sheet") {
      const char* id = namespaced_attribute(attrs, "id");
      const char* sheet_name = attribute(attrs, "name");
      sheets.push_back({sheet_name ? sheet_name : "", id ? id : ""});
    } else if (name == "workbookView" && active_tab < 0) {
      active_tab = to_number(attribute(attrs, "activeTab"), 0);
    } else if (name == "workbookPr") {
      date1904 = to_bool(attribute(attrs, "date1904"));
    }
  }
  void end(std::string_view) override {}
};

struct RelsHandler : XmlHandler {
  struct Rel {
    std::string type, target;
  };
  std::map<std::string, Rel> rels;  // by Id

  void start(std::string_view name, const char** attrs) override {
    if (name != "Relationship") return;
    const char* id = attribute(attrs, "Id");
    const char* target = attribute(attrs, "Target");
    const char* type = attribute(attrs, "Type");
    const char* mode = attribute(attrs, "TargetMode");
    if (id && target && !(mode && std::string_view(mode) == "External"))
      rels[id] = {type ? type : "", target};
  }
  void end(std::string_view) override {}
};

struct SharedStringsHandler : XmlHandler {
  SharedStrings& table;
  std::uint64_t max_entries;
  std::string current;  // text of the entry being read
  std::string raw;      // text of the <t> being read, escapes not yet undone
  int si_depth = 0, phonetic_depth = 0;
  bool in_text = false;

  SharedStringsHandler(SharedStrings& t, std::uint64_t max) : table(t), max_entries(max) {}
  void start(std::string_view name, const char**) override {
    if (name == "si") {
      if (table.size() >= max_entries)
        throw std::runtime_error("more than " + std::to_string(max_entries) + " shared strings");
      ++si_depth;
      current.clear();
    } else if (si_depth > 0 && (name == "rPh" || name == "phoneticPr")) {
      ++phonetic_depth;
    } else if (si_depth > 0 && phonetic_depth == 0 && name == "t") {
      in_text = true;
      raw.clear();
    }
  }
  void end(std::string_view name) override {
    if (name == "si" && si_depth > 0) {
      --si_depth;
      table.add(current);
    } else if (si_depth > 0 && (name == "rPh" || name == "phoneticPr")) {
      --phonetic_depth;
    } else if (in_text && name == "t") {
      in_text = false;
      append_unescaped(current, raw);
    }
  }
  void text(std::string_view data) override {
    if (in_text) raw += data;
  }
};

struct StylesHandler : XmlHandler {
  std::uint64_t max_styles;
  std::map<long long, std::string> custom;  // numFmtId → formatCode
  std::vector<long long> xf_format;         // numFmtId of each cellXfs entry
  bool in_cell_xfs = false;
  int xf_depth = 0;

  explicit StylesHandler(std::uint64_t max) : max_styles(max) {}
  void start(std::string_view name, const char** attrs) override {
    if (name == "numFmt") {
      const char* code = attribute(attrs, "formatCode");
      if (code) custom[to_number(attribute(attrs, "numFmtId"), -1)] = code;
    } else if (name == "cellXfs") {
      in_cell_xfs = true;
    } else if (in_cell_xfs && name == "xf") {
      if (xf_format.size() >= max_styles)
        throw std::runtime_error("more than " + std::to_string(max_styles) + " cell formats");
      xf_format.push_back(to_number(attribute(attrs, "numFmtId"), 0));
    }
  }
  void end(std::string_view name) override {
    if (name == "cellXfs") in_cell_xfs = false;
  }
};

}  // namespace

WorkbookLayout read_layout(const ZipArchive& zip) {
  if (!zip.contains(kWorkbookPart))
    zip.fail("the zip archive holds no workbook (xl/workbook.xml is missing)");
  WorkbookHandler workbook;
  parse_part(zip, kWorkbookPart, workbook);
  if (workbook.sheets.empty()) zip.fail("the workbook has no sheets");
  RelsHandler rels;
  if (zip.contains(kWorkbookRels)) parse_part(zip, kWorkbookRels, rels);

  WorkbookLayout layout;
  layout.date1904 = workbook.date1904;
  long long tab = workbook.active_tab;
  if (tab < 0 || tab >= static_cast<long long>(workbook.sheets.size())) tab = 0;
  const auto& sheet = workbook.sheets[static_cast<std::size_t>(tab)];
  layout.sheet_name = sheet.name;
  auto rel = rels.rels.find(sheet.rel_id);
  if (rel == rels.rels.end()) zip.fail("the part of the active sheet \"" + sheet.name + "\" is not listed");
  layout.sheet_part = resolve_target(rel->second.target);
  if (!zip.contains(layout.sheet_part))
    zip.fail("the active sheet \"" + sheet.name + "\" (" + layout.sheet_part + ") is missing");
  for (const auto& [id, r] : rels.rels) {
    if (ends_with(r.type, "/sharedStrings")) layout.shared_strings_part = resolve_target(r.target);
    if (ends_with(r.type, "/styles")) layout.styles_part = resolve_target(r.target);
  }
  if (layout.shared_strings_part.empty() && zip.contains("xl/sharedStrings.xml"))
    layout.shared_strings_part = "xl/sharedStrings.xml";
  if (layout.styles_part.empty() && zip.contains("xl/styles.xml")) layout.styles_part = "xl/styles.xml";
  return layout;
}

void SharedStrings::load(const ZipArchive& zip, const std::string& part, std::uint64_t max_entries) {
  SharedStringsHandler handler(*this, max_entries);
  parse_part(zip, part, handler);
}

void CellStyles::load(const ZipArchive& zip, const std::string& part, std::uint64_t max_styles) {
  StylesHandler handler(max_styles);
  parse_part(zip, part, handler);
  std::map<long long, int> compiled;  // numFmtId → index into formats_, or -1
  xf_date_.reserve(handler.xf_format.size());
  for (long long id : handler.xf_format) {
    auto found = compiled.find(id);
    if (found == compiled.end()) {
      std::string code;
      auto c = handler.custom.find(id);
      if (c != handler.custom.end())
        code = c->second;
      else if (id >= 0 && id < 1000)
        code = std::string(builtin_date_code(static_cast<int>(id)));
      int index = -1;
      if (!code.empty() && DateFormat::is_date_code(code)) {
        formats_.emplace_back(code);
        index = static_cast<int>(formats_.size() - 1);
      }
      found = compiled.emplace(id, index).first;
    }
    xf_date_.push_back(found->second);
  }
}

}  // namespace efi::workbook
