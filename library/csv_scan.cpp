// The CSV decoder's record reader. A record is its fields separated by the delimiter, ended
// by CR LF, LF, CR or the end of the text. A field is quoted (the quote, any characters with
// the quote doubled, the quote) or plain (everything up to the delimiter or a line end, quotes
// included); a quote that is never closed makes the field plain. A record whose quoted field
// is followed by anything but the delimiter or a line end is malformed.
#include "library/csv_scan.h"

#include <vector>

#include "library/codec_text.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_storage.h"

namespace xol::library::csv_scan {
namespace {

using codec_text::make_text;

constexpr int32_t kCharsPerRecordGuess = 80;

bool is_line_end(uint32_t c) { return c == '\r' || c == '\n'; }
bool is_blank(uint32_t c) { return c == ' ' || c == '\t'; }

// What a scan ends with, beside the rows.
enum Outcome { OUTCOME_DONE, OUTCOME_MALFORMED, OUTCOME_MISALIGNED };

template <typename Unit>
class Reader {
 public:
  Reader(const Unit* first, const Unit* end, const std::vector<uint32_t>& delimiter,
         uint32_t quote, bool trim)
      : first_(first), at_(first), end_(end), delimiter_(delimiter), quote_(quote),
        trim_(trim) {}

  // Reads the fields of one record into `row` and its line end; false when it is malformed.
  bool record(Cell* row) {
    const Unit* start = at_;
    for (;;) {
      Cell value;
      field(&value);
      block::append_cell(row, &value);
      if (!at_delimiter()) break;
      at_ += delimiter_.size();
    }
    if (at_ == end_) return true;
    if (*at_ == '\r') {
      ++at_;
      if (at_ < end_ && *at_ == '\n') ++at_;
      return true;
    }
    if (*at_ == '\n') {
      ++at_;
      return true;
    }
    at_ = start;
    return false;
  }

  // Whether nothing but line ends, one at least, is left.
  bool only_line_ends_left() {
    if (at_ == end_ || !is_line_end(*at_)) return false;
    if (at_ < blank_run_end_) return false;
    const Unit* p = at_;
    while (p < end_ && is_line_end(*p)) ++p;
    blank_run_end_ = p;
    return p == end_;
  }

  bool at_end() const { return at_ == end_; }

  // The line of the read position, counting CR LF, LF and CR each as one line end.
  int32_t line() const {
    int32_t count = 1;
    for (const Unit* p = first_; p < at_; ++p) {
      if (*p == '\n' || (*p == '\r' && !(p + 1 < at_ && p[1] == '\n'))) ++count;
    }
    return count;
  }

 private:
  bool at_delimiter() const {
    if (size_t(end_ - at_) < delimiter_.size()) return false;
    for (size_t i = 0; i < delimiter_.size(); ++i)
      if (uint32_t(at_[i]) != delimiter_[i]) return false;
    return true;
  }

  void field(Cell* value) {
    if (!quoted(value)) plain(value);
  }

  // A quoted field, with the blanks around it under `trim`; false (nothing read) when the
  // field does not start with the quote or the quote is not closed.
  bool quoted(Cell* value) {
    const Unit* p = at_;
    if (trim_)
      while (p < end_ && is_blank(*p)) ++p;
    if (p == end_ || *p != quote_) return false;
    const Unit* start = ++p;
    bool doubled = false;
    for (;;) {
      while (p < end_ && *p != quote_) ++p;
      if (p == end_) return false;
      if (p + 1 < end_ && p[1] == quote_) {
        doubled = true;
        p += 2;
        continue;
      }
      break;
    }
    const Unit* close = p++;
    if (doubled) {
      chars_.clear();
      for (const Unit* q = start; q < close; ++q) {
        chars_.push_back(*q);
        if (*q == quote_) ++q;
      }
      make_text(chars_.data(), chars_.size(), value);
    } else {
      make_text(start, close, value);
    }
    if (trim_) {
      while (p < end_ && is_blank(*p)) ++p;
      trimmed(value);
    }
    at_ = p;
    return true;
  }

  // A plain field: up to the delimiter, a line end or the end of the text. Under `trim`, its
  // white space goes, and then a quote at both ends.
  void plain(Cell* value) {
    const Unit* start = at_;
    const uint32_t lead = delimiter_[0];
    while (at_ < end_) {
      const uint32_t c = *at_;
      if (is_line_end(c) || (c == lead && at_delimiter())) break;
      ++at_;
    }
    make_text(start, at_, value);
    if (!trim_) return;
    trimmed(value);
    const uint32_t length = string::length(value);
    if (length > 1 && string::head_char(value) == quote_ &&
        string::abs_at(value, length - 1) == quote_) {
      Cell from = *value;
      from.data1 = string::clamp_head(&from) + 1;
      Cell inner;
      string::make_at(&inner, length - 2);
      string::concatenate(&inner, &from, int32_t(length - 2), 0, false, string::CONCAT_APPEND);
      *value = inner;
    }
  }

  static void trimmed(Cell* value) {
    Cell result;
    string::trim(value, TrimOptions{}, &result);
    *value = result;
  }

  const Unit* first_;
  const Unit* at_;
  const Unit* end_;
  const Unit* blank_run_end_ = nullptr;
  const std::vector<uint32_t>& delimiter_;
  const uint32_t quote_;
  const bool trim_;
  std::vector<uint32_t> chars_;
};

// The routine's result, copied out by its caller at once.
Cell answer;

template <typename Unit>
Cell* read_units(Cell* text, const std::vector<uint32_t>& delimiter, uint32_t quote, bool trim,
                 bool flat, bool header) {
  memory::SeriesBuffer* buffer = string::buffer_of(text);
  const Unit* first = reinterpret_cast<const Unit*>(string::head_address(text, buffer));
  const uint32_t length = string::units_from_head(text, buffer);
  Reader<Unit> reader(first, first + length, delimiter, quote, trim);
  Cell rows;
  block::make_at(&rows, int32_t(length / kCharsPerRecordGuess));
  Cell row;
  if (header) {
    block::make_in(&rows, 8);
    row = *block::head(&rows);
    if (!reader.record(&row) || reader.at_end()) {
      answer = none::value;
      return &answer;
    }
  }
  int32_t width = -1;
  block::make_at(&row, 8);
  while (!reader.at_end() && !reader.only_line_ends_left()) {
    if (!flat) block::make_at(&row, width < 0 ? 8 : width);
    if (!reader.record(&row)) {
      answer = integer::make(reader.line());
      return &answer;
    }
    const int32_t fields = int32_t(block::length(&row));
    if (width < 0) width = fields;
    if (width != fields) {
      answer = logic::make(false);
      return &answer;
    }
    if (flat) {
      block::append_cells_of(&rows, &row);
      block::cut_at(&row, 0);
    } else {
      block::append_cell(&rows, &row);
    }
  }
  answer = rows;
  return &answer;
}

}  // namespace

Cell* read_csv_records(Cell* text, Cell* delimiter, Cell* quote, bool trim, bool flat,
                       bool header) {
  std::vector<uint32_t> separator;
  if (delimiter->is(TYPE_CHAR)) {
    separator.push_back(character::get(delimiter));
  } else if (delimiter->is(TYPE_STRING) && !string::at_tail(delimiter)) {
    const uint32_t head = string::clamp_head(delimiter);
    for (uint32_t i = 0; i < string::length(delimiter); ++i)
      separator.push_back(string::abs_at(delimiter, head + i));
  } else {
    error::raise(error::CAT_SCRIPT, "invalid-arg", delimiter);
  }
  const uint32_t quote_char = character::get(quote);
  string::clamp_head(text);
  switch (string::buffer_of(text)->unit()) {
    case string::UNIT_1: return read_units<uint8_t>(text, separator, quote_char, trim, flat, header);
    case string::UNIT_2: return read_units<uint16_t>(text, separator, quote_char, trim, flat, header);
    default: return read_units<uint32_t>(text, separator, quote_char, trim, flat, header);
  }
}

}  // namespace xol::library::csv_scan
