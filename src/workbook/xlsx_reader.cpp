// XlsxReader: the active sheet of an .xlsx file written as Excel's CSV UTF-8.
//
// The used range is the sheet's dimension element joined with the cells
// actually present. Where the dimension holds every cell (as Excel and most
// writers keep it), the sheet is read once and written as it streams by.
// Otherwise a first pass measures the cells and a second one writes.
#include "workbook/xlsx_reader.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>

#include "workbook/cell_text.h"
#include "workbook/csv_output.h"
#include "workbook/workbook_parts.h"
#include "workbook/xml_stream.h"
#include "workbook/zip_archive.h"

namespace efi::workbook {
namespace {

constexpr std::uint32_t kMaxColumns = 16384;  // column XFD
constexpr std::uint32_t kMaxRows = 1048576;

struct CellRef {
  std::uint32_t col = 0;  // 1 = A; 0 when the reference has no letters
  std::uint32_t row = 0;  // 1-based; 0 when it has no digits
};

// "B3" → column 2, row 3. Throws for references beyond XFD1048576 or malformed.
CellRef parse_ref(std::string_view ref) {
  CellRef r;
  std::size_t i = 0;
  for (; i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z'; ++i) {
    r.col = r.col * 26 + static_cast<std::uint32_t>(ref[i] - 'A' + 1);
    if (r.col > kMaxColumns)
      throw std::runtime_error("cell reference \"" + std::string(ref) + "\" lies beyond column XFD");
  }
  for (; i < ref.size() && ref[i] >= '0' && ref[i] <= '9'; ++i) {
    r.row = r.row * 10 + static_cast<std::uint32_t>(ref[i] - '0');
    if (r.row > kMaxRows)
      throw std::runtime_error("cell reference \"" + std::string(ref) + "\" lies beyond row 1048576");
  }
  if (i != ref.size()) throw std::runtime_error("malformed cell reference \"" + std::string(ref) + "\"");
  return r;
}

struct Range {
  std::uint32_t first_row = kMaxRows + 1, last_row = 0;     // rows of the used range
  std::uint32_t first_col = kMaxColumns + 1, last_col = 0;  // columns of the used range
  bool empty() const { return last_row == 0; }
  void add(std::uint32_t row, std::uint32_t col) {
    first_row = std::min(first_row, row), last_row = std::max(last_row, row);
    first_col = std::min(first_col, col), last_col = std::max(last_col, col);
  }
};

// The dimension element's range, when it reads as one.
std::optional<Range> parse_dimension(std::string_view ref) {
  try {
    std::size_t colon = ref.find(':');
    CellRef a = parse_ref(ref.substr(0, colon));
    CellRef b = colon == std::string_view::npos ? a : parse_ref(ref.substr(colon + 1));
    if (a.col == 0 || a.row == 0 || b.col == 0 || b.row == 0) return std::nullopt;
    Range r;
    r.add(a.row, a.col);
    r.add(b.row, b.col);
    return r;
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

enum class CellType { number, shared, inline_string, boolean, error, string, date };

CellType cell_type(const char* t) {
  if (t == nullptr) return CellType::number;
  std::string_view s(t);
  if (s == "s") return CellType::shared;
  if (s == "inlineStr") return CellType::inline_string;
  if (s == "b") return CellType::boolean;
  if (s == "e") return CellType::error;
  if (s == "str") return CellType::string;
  if (s == "d") return CellType::date;
  return CellType::number;
}

// What both passes need: the tables the cells refer to.
struct SheetContext {
  const SharedStrings& strings;
  const CellStyles& styles;
  bool date1904;
};

// Thrown while writing by the sheet's dimension when it turns out not to hold
// every cell (or is missing): the sheet is then measured first. Not an
// std::exception, so the XML layer passes it through unchanged.
struct DimensionNotEnough {};

class SheetHandler : public XmlHandler {
 public:
  // Measuring when `out` is null, else writing to `out` the rows of `range`,
  // or, when `range` is null, of the sheet's dimension.
  SheetHandler(const SheetContext& context, CsvOutput* out, const Range* range)
      : c_(context), out_(out), trust_dimension_(range == nullptr) {
    if (range != nullptr) range_ = *range;
  }

  const Range& used_range() const { return cells_; }
  const std::optional<Range>& dimension() const { return dimension_; }

  void start(std::string_view name, const char** attrs) override {
    if (name == "c" && in_row_) {
      start_cell(attrs);
    } else if (in_cell_) {
      if (name == "v") {
        in_value_ = true;
      } else if (name == "is") {
        in_inline_ = true;
      } else if (in_inline_ && (name == "rPh" || name == "phoneticPr")) {
        ++phonetic_depth_;
      } else if (in_inline_ && phonetic_depth_ == 0 && name == "t") {
        in_text_ = true;
        raw_text_.clear();
      }
    } else if (name == "row" && in_sheet_data_) {
      start_row(attribute(attrs, "r"));
    } else if (name == "sheetData") {
      if (out_ != nullptr && trust_dimension_) {
        if (!dimension_) throw DimensionNotEnough{};
        range_ = *dimension_;
      }
      in_sheet_data_ = true;
    } else if (name == "dimension") {
      if (const char* ref = attribute(attrs, "ref")) dimension_ = parse_dimension(ref);
    }
  }

  void end(std::string_view name) override {
    if (in_cell_) {
      if (name == "c") {
        end_cell();
      } else if (name == "v") {
        in_value_ = false;
      } else if (name == "is") {
        in_inline_ = false;
      } else if (name == "rPh" || name == "phoneticPr") {
        if (phonetic_depth_ > 0) --phonetic_depth_;
      } else if (in_text_ && name == "t") {
        in_text_ = false;
        append_unescaped(inline_text_, raw_text_);
      }
    } else if (name == "row" && in_row_) {
      end_row();
    } else if (name == "sheetData" && in_sheet_data_) {
      in_sheet_data_ = false;
      if (out_ != nullptr && trust_dimension_ && cells_.empty()) throw DimensionNotEnough{};
      if (out_ != nullptr) write_empty_rows_until(range_.last_row + 1);
    }
  }

  void text(std::string_view data) override {
    if (in_value_) {
      value_ += data;
    } else if (in_text_) {
      raw_text_ += data;
    }
  }

 private:
  void start_row(const char* r) {
    std::uint32_t number = row_ + 1;
    if (r != nullptr) {
      CellRef ref = parse_ref(r);
      if (ref.col != 0 || ref.row == 0)
        throw std::runtime_error("malformed row number \"" + std::string(r) + "\"");
      number = ref.row;
    }
    if (number <= row_)
      throw std::runtime_error("row " + std::to_string(number) + " follows row " + std::to_string(row_));
    if (number > kMaxRows) throw std::runtime_error("a row lies beyond row 1048576");
    row_ = number;
    in_row_ = true;
    col_ = 0;
    writing_row_ = out_ != nullptr && row_ >= range_.first_row && row_ <= range_.last_row;
    if (writing_row_) {
      write_empty_rows_until(row_);
      next_col_ = range_.first_col;
    }
  }

  void end_row() {
    in_row_ = false;
    if (!writing_row_) return;
    std::string& b = out_->buffer();
    for (; next_col_ <= range_.last_col; ++next_col_)
      if (next_col_ > range_.first_col) b += ',';
    b += "\r\n";
    written_row_ = row_;
    out_->flush_if_full();
  }

  // Rows of the used range that the sheet does not list are lines of commas.
  void write_empty_rows_until(std::uint32_t row) {
    if (written_row_ < range_.first_row - 1) written_row_ = range_.first_row - 1;
    for (; written_row_ + 1 < row; ++written_row_) {
      out_->buffer().append(range_.last_col - range_.first_col, ',');
      out_->buffer() += "\r\n";
      out_->flush_if_full();
    }
  }

  void start_cell(const char** attrs) {
    std::uint32_t col = col_ + 1;
    if (const char* r = attribute(attrs, "r")) {
      CellRef ref = parse_ref(r);
      if (ref.col == 0) throw std::runtime_error("cell reference \"" + std::string(r) + "\" names no column");
      col = ref.col;
    }
    if (col <= col_) throw std::runtime_error("cells out of order in row " + std::to_string(row_));
    if (col > kMaxColumns)
      throw std::runtime_error("a cell lies beyond column XFD in row " + std::to_string(row_));
    col_ = col;
    type_ = cell_type(attribute(attrs, "t"));
    style_ = 0;
    if (const char* s = attribute(attrs, "s")) {
      std::string_view sv(s);
      std::from_chars(sv.data(), sv.data() + sv.size(), style_);
    }
    in_cell_ = true;
    value_.clear();
    inline_text_.clear();
    phonetic_depth_ = 0;
  }

  void end_cell() {
    in_cell_ = in_value_ = in_inline_ = in_text_ = false;
    cells_.add(row_, col_);
    field_.clear();
    cell_text(field_);
    if (out_ == nullptr) return;
    if (!writing_row_ || col_ < range_.first_col || col_ > range_.last_col) {
      if (trust_dimension_) throw DimensionNotEnough{};
      throw std::logic_error("a cell lies outside the measured range");
    }
    std::string& b = out_->buffer();
    for (; next_col_ < col_; ++next_col_)
      if (next_col_ > range_.first_col) b += ',';
    if (col_ > range_.first_col) b += ',';
    out_->append_field(field_);
    next_col_ = col_ + 1;
  }

  // The text Excel shows for the cell just read.
  void cell_text(std::string& out) const {
    switch (type_) {
      case CellType::shared: {
        if (value_.empty()) return;
        std::size_t index = 0;
        auto r = std::from_chars(value_.data(), value_.data() + value_.size(), index);
        if (r.ec != std::errc() || r.ptr != value_.data() + value_.size() || index >= c_.strings.size())
          throw std::runtime_error("shared string " + value_ + " does not exist (row " +
                                   std::to_string(row_) + ")");
        out += c_.strings.at(index);
        return;
      }
      case CellType::inline_string: out += inline_text_; return;
      case CellType::boolean: out += value_ == "1" ? "TRUE" : value_ == "0" ? "FALSE" : value_; return;
      case CellType::string: append_unescaped(out, value_); return;
      case CellType::error:
      case CellType::date: out += value_; return;
      case CellType::number: break;
    }
    if (value_.empty()) return;
    if (const DateFormat* date = c_.styles.date_format(style_)) {
      double serial = 0;
      auto r = std::from_chars(value_.data(), value_.data() + value_.size(), serial);
      if (r.ec == std::errc() && r.ptr == value_.data() + value_.size() &&
          date->append(out, serial, c_.date1904))
        return;
    }
    if (!append_number_text(out, value_)) out += value_;
  }

  const SheetContext& c_;
  CsvOutput* out_;                  // null while measuring
  bool trust_dimension_;            // writing the dimension's range, unmeasured
  Range range_;                     // rows and columns written (writing pass)
  Range cells_;                     // bounding box of the cells met
  std::optional<Range> dimension_;  // the sheet's own statement of its used range

  bool in_sheet_data_ = false, in_row_ = false, in_cell_ = false;
  bool in_value_ = false, in_inline_ = false, in_text_ = false;
  int phonetic_depth_ = 0;            // depth inside phonetic runs of an inline string
  std::uint32_t row_ = 0;             // number of the current (or last) row
  std::uint32_t col_ = 0;             // column of the current (or last) cell in the row
  bool writing_row_ = false;          // the current row is written
  std::uint32_t next_col_ = 0;        // next column to write in the current row
  std::uint32_t written_row_ = 0;     // last row written
  CellType type_ = CellType::number;  // of the current cell
  std::size_t style_ = 0;             // cellXfs index of the current cell
  std::string value_;                 // text of <v>
  std::string raw_text_;              // text of an inline <t>, escapes not yet undone
  std::string inline_text_;           // the inline string so far
  std::string field_;                 // the cell's CSV text
};

}  // namespace

void XlsxReader::convert(const std::string& excel_file, const std::string& out_file, int format) {
  if (format != xlCSVUTF8)
    throw ConversionError("converting workbook \"" + excel_file +
                          "\": the built-in reader writes only CSV UTF-8 (62), not " +
                          std::to_string(format));
  ZipArchive zip(excel_file, limits_.max_part_bytes);
  WorkbookLayout layout = read_layout(zip);
  SharedStrings strings;
  if (!layout.shared_strings_part.empty())
    strings.load(zip, layout.shared_strings_part, limits_.max_shared_strings);
  CellStyles styles;
  if (!layout.styles_part.empty()) styles.load(zip, layout.styles_part, limits_.max_styles);
  SheetContext context{strings, styles, layout.date1904};

  {
    CsvOutput out(out_file, limits_.max_output_bytes);
    out.buffer() += "\xEF\xBB\xBF";
    try {
      SheetHandler write(context, &out, nullptr);
      parse_part(zip, layout.sheet_part, write);
      out.commit();
      return;
    } catch (const DimensionNotEnough&) {
      // measured below; `out` removes what it wrote
    }
  }
  SheetHandler measure(context, nullptr, nullptr);
  parse_part(zip, layout.sheet_part, measure);
  Range range = measure.used_range();
  // The dimension widens the range of the cells (formatted empty cells count
  // for Excel too) but makes no rows of a sheet without cells.
  if (const auto& dim = measure.dimension(); dim && !range.empty()) {
    range.add(dim->first_row, dim->first_col);
    range.add(dim->last_row, dim->last_col);
  }

  CsvOutput out(out_file, limits_.max_output_bytes);
  out.buffer() += "\xEF\xBB\xBF";
  if (!range.empty()) {
    SheetHandler write(context, &out, &range);
    parse_part(zip, layout.sheet_part, write);
  }
  out.commit();
}

}  // namespace efi::workbook
