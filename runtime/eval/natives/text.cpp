// The text natives: percent and base encodings, case changes, the new-line markers of lists, and
// transcode, the language's door to the lexer.
#include <algorithm>

#include "runtime/text/case_map.h"
#include "runtime/datatypes/base_encoding.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/url.h"
#include "runtime/eval/call.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"

namespace xol::natives {
namespace {

using stack::arguments;

void result(const Cell& value) {
  stack::set_last(&value);
  stack::keep();
}

// dehex and enhex: a new string! as wide as the argument, filled by the percent coder.
template <class Fill>
void percent_coded(Fill fill) {
  memory::SeriesBuffer* buffer = string::buffer_of(arguments);
  Cell made;
  string::make_at_unit(&made, string::length(arguments), buffer->unit());
  fill(&made);
  result(made);
}

// The base of /base (64 without it); another base raises script invalid-arg with it.
base_encoding::Base base_of(const int32_t* refinements) {
  if (refinements[0] < 0) return base_encoding::BASE_64;
  const Cell* base = arguments + refinements[0];
  if (!base_encoding::is_base(integer::get(base)))
    error::raise(error::CAT_SCRIPT, "invalid-arg", base);
  return base_encoding::Base(integer::get(base));
}

void change_case(const int32_t* refinements, case_map::Case to) {
  Cell* value = arguments;
  if (value->is(TYPE_CHAR)) {
    *value = character::make(case_map::change_case(character::get(value), to));
    return stack::keep();
  }
  Cell limit;
  if (refinements[0] >= 0) {
    limit = arguments[refinements[0]];
    if (!string::is_text_type(limit.type()))
      integer::make_at(&limit, call::float_to_integer(&limit));
  }
  const series::Range range = series::copy_range(value, refinements[0] >= 0 ? &limit : nullptr);
  case_map::change_case_units(value->node(), range.start, range.count, to);
  stack::keep();
}

// The new-line marker of the cells from `position`: every `step`-th one to the tail, or only
// the first when `step` is 0.
void mark_new_lines(const Cell* position, bool on, uint32_t step) {
  const uint32_t length = block::length(position);
  Cell* cells = block::head(position);
  for (uint32_t i = 0; i < length; i += step) {
    if (on) cells[i].header |= kNewLineFlag;
    else cell::clear_new_line(cells + i);
    if (step == 0) break;
  }
}

enum TranscodeRefinement {
  REF_NEXT, REF_ONE, REF_PRESCAN, REF_SCAN, REF_PART, REF_INTO, REF_TRACE,
};

// The code points (string!) or bytes (binary!) that /part lets the lexer read: an integer!, or
// a position in the same series; -1 for all.
int32_t transcode_limit(const Cell* source, const int32_t* refinements) {
  if (refinements[REF_PART] < 0) return -1;
  const Cell* part = arguments + refinements[REF_PART];
  int32_t count;
  if (part->is(TYPE_INTEGER)) {
    count = integer::get(part);
  } else {
    if (part->type() != source->type() || part->node() != source->node())
      error::raise(error::CAT_SCRIPT, "not-same-type");
    count = int32_t(series::head_of(part)) - int32_t(series::head_of(source));
  }
  const int32_t length = int32_t(series::get_length(const_cast<Cell*>(source), false));
  return std::clamp(count, 0, length);
}

}  // namespace

void dehex(bool, const int32_t*) {
  percent_coded([](Cell* made) { url::decode_percent(arguments, made); });
}

void enhex(bool, const int32_t*) {
  percent_coded([](Cell* made) { url::encode_percent(arguments, made, url::SELECTOR_URL); });
}

void debase(bool, const int32_t* refinements) {
  const base_encoding::Base base = base_of(refinements);
  Cell decoded;
  if (!base_encoding::decode_value(arguments, base, &decoded)) decoded = none::value;
  result(decoded);
}

void enbase(bool, const int32_t* refinements) {
  result(base_encoding::encode_value(arguments, base_of(refinements)));
}

void uppercase(bool, const int32_t* refinements) { change_case(refinements, case_map::UPPER); }
void lowercase(bool, const int32_t* refinements) { change_case(refinements, case_map::LOWER); }

void new_line(bool, const int32_t* refinements) {
  enum { REF_ALL, REF_SKIP };
  uint32_t step = refinements[REF_ALL] >= 0 ? 1 : 0;
  if (refinements[REF_SKIP] >= 0) {
    const Cell* size = arguments + refinements[REF_SKIP];
    if (integer::get(size) < 1) error::raise(error::CAT_SCRIPT, "out-of-range", size);
    step = uint32_t(integer::get(size));
  }
  mark_new_lines(arguments, logic::cell_true(arguments + 1, false, nullptr), step);
  stack::keep();
}

void new_line_q(bool, const int32_t*) {
  const bool marked = !block::at_tail(arguments) && (block::head(arguments)->header & kNewLineFlag);
  logic::box(arguments, marked);
  stack::keep();
}

void transcode(bool, const int32_t* refinements) {
  const Cell source = arguments[0];
  const bool next = refinements[REF_NEXT] >= 0;
  const bool scan_only = refinements[REF_SCAN] >= 0 || refinements[REF_PRESCAN] >= 0;
  lexer::Mode mode;
  mode.load = !scan_only;
  mode.prescan = refinements[REF_PRESCAN] >= 0;
  mode.one_value = next || scan_only || refinements[REF_ONE] >= 0;
  Cell* into = refinements[REF_INTO] >= 0 ? arguments + refinements[REF_INTO] : nullptr;
  const Cell* callback = refinements[REF_TRACE] >= 0 ? arguments + refinements[REF_TRACE] : nullptr;
  const int32_t limit = transcode_limit(&source, refinements);
  int32_t consumed = 0;
  Cell* out = stack::push_slot();
  *out = none::value;
  int32_t type;
  if (source.is(TYPE_STRING)) {
    type = lexer::scan_string(&source, into, callback, &consumed, mode, limit, out);
  } else {
    const std::string_view bytes = binary::bytes(&source);
    const uint32_t length = limit < 0 ? uint32_t(bytes.size()) : uint32_t(limit);
    type = lexer::scan(into, &source, callback, &consumed, mode, length,
                       reinterpret_cast<const uint8_t*>(bytes.data()), out);
  }
  if (scan_only) {
    result(type == 0 ? none::value : datatype::make(type));
  } else if (next) {
    Cell pair;
    block::make_at(&pair, 2);
    *stack::push_slot() = pair;
    block::append_cell(&pair, out);
    Cell rest = source;
    rest.data1 = source.data1 + uint32_t(consumed);
    block::append_cell(&pair, &rest);
    result(pair);
  } else {
    result(*out);
  }
}

}  // namespace xol::natives
