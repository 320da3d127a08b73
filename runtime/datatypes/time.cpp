// time!: fields, printed form, construction and the time! actions over the float core.
#include "runtime/datatypes/time.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/io/number_converters.h"
#include "runtime/text/number_text.h"

namespace xol::time {
namespace {
int32_t field_of_word(const Cell* word);

// Room for "-" , 20 hour digits, ":mm:" and the seconds text of at most 31 characters.
constexpr int kTextSize = 64;
char time_text[kTextSize];

constexpr const char* kFieldWords[kFieldCount] = {"hour", "minute", "second"};
// Unit in seconds of each item of a time block: hours, minutes, seconds.
constexpr double kItemUnits[kFieldCount] = {kSecondsPerHour, kSecondsPerMinute, 1.0};

// Hours beyond 64 bits print as the largest count; no clock reaches them.
uint64_t whole_hours(double magnitude) {
  double hours = std::floor(magnitude / kSecondsPerHour);
  constexpr double kLimit = double(std::numeric_limits<uint64_t>::max());
  return hours < kLimit ? uint64_t(hours) : std::numeric_limits<uint64_t>::max();
}

int32_t field_index(const Cell* element) {
  return element->is(TYPE_INTEGER) ? integer::get(element) : field_of_word(element);
}

bool is_field(int32_t index) { return index >= 1 && index <= kFieldCount; }

// The hours, with the value's sign (truncated toward zero), within 32 bits; 0 for a NaN.
int32_t hours(double seconds) {
  double hours = std::trunc(seconds / kSecondsPerHour);
  if (std::isnan(hours)) return 0;
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  return int32_t(std::fmax(-kMax, std::fmin(kMax, hours)));
}

// The minutes of the magnitude, 0-59; 0 for an infinity or NaN.
int32_t minutes(double seconds) {
  double within_hour = std::fmod(std::fabs(seconds), kSecondsPerHour);
  return std::isnan(within_hour) ? 0 : int32_t(std::floor(within_hour / kSecondsPerMinute));
}
}  // namespace

Cell get_field(double seconds, Field field) {
  switch (field) {
    case FIELD_HOUR: return integer::make(hours(seconds));
    case FIELD_MINUTE: return integer::make(minutes(seconds));
    default: return floating::make(std::fmod(seconds, kSecondsPerMinute));
  }
}

double set_field(double seconds, Field field, const Cell* value) {
  bool integral = value->is(TYPE_INTEGER);
  if (!integral && !(field == FIELD_SECOND && value->is(TYPE_FLOAT)))
    number::raise_invalid_arg(value);
  double given = floating::to_double(value);
  // Each field is replaced through the decomposition that reads it, so a field written back
  // as read changes nothing.
  switch (field) {
    case FIELD_HOUR:
      return seconds - (hours(seconds) - given) * kSecondsPerHour;
    case FIELD_MINUTE:
      return seconds - std::copysign(1.0, seconds) * (minutes(seconds) - given) *
                           kSecondsPerMinute;
    default:
      return seconds - (std::fmod(seconds, kSecondsPerMinute) - given);
  }
}

namespace {
// The field named by a word (`hour`, `minute`, `second`, any letter case), or 0 for
// another value.
int32_t field_of_word(const Cell* word) {
  return number::word_index(word, kFieldWords, kFieldCount);
}
}  // namespace

double printed_seconds(double seconds) {
  if (!std::isfinite(seconds)) return seconds;
  double magnitude = std::fabs(seconds);
  double rest = std::fmod(magnitude, kSecondsPerMinute);
  if (rest < kSecondsThreshold ||
      std::strcmp(float_text::to_text(rest, float_text::KIND_TIME_SECONDS), "60") != 0)
    return seconds;
  return std::copysign(magnitude - rest + kSecondsPerMinute, seconds);
}

const char* text_of(double seconds) {
  if (!std::isfinite(seconds)) return float_text::to_text(seconds, float_text::KIND_FLOAT);
  double magnitude = std::fabs(printed_seconds(seconds));
  double rest = std::fmod(magnitude, kSecondsPerMinute);
  const char* second_text =
      rest < kSecondsThreshold ? "00" : float_text::to_text(rest, float_text::KIND_TIME_SECONDS);
  bool pad = second_text[1] == '\0' || second_text[1] == '.';
  // The noise of a computed zero prints as 0:00:00, without a sign.
  bool negative = seconds < 0 && magnitude >= kSecondsThreshold;
  std::snprintf(time_text, kTextSize, "%s%llu:%02d:%s%s", negative ? "-" : "",
                static_cast<unsigned long long>(whole_hours(magnitude)), minutes(magnitude),
                pad ? "0" : "", second_text);
  return time_text;
}

namespace {
// Appends the printed form; answers the part limit less the characters written.
int32_t to_text(double seconds, Cell* buffer, int32_t part) {
  return text::append_counted(buffer, text_of(seconds), part);
}

// The seconds of a time block: one to three integer! items (hours, minutes, seconds; the
// seconds may be a float!), only the first of which may be negative. `spec` is named by the
// error.
double from_items(const Cell* items, uint32_t count, const Cell* spec) {
  if (count < 1 || count > uint32_t(kFieldCount)) number::raise_bad_to_arg(TYPE_TIME, spec);
  double total = 0;
  bool negative = false;
  for (uint32_t i = 0; i < count; ++i) {
    const Cell* item = &items[i];
    bool seconds_item = i == uint32_t(FIELD_SECOND - 1);
    if (!item->is(TYPE_INTEGER) && !(seconds_item && item->is(TYPE_FLOAT)))
      number::raise_bad_to_arg(TYPE_TIME, spec);
    double value = floating::to_double(item);
    if (value < 0) {
      // Only the leading item carries a sign, and it applies to the whole time.
      if (i != 0) number::raise_bad_to_arg(TYPE_TIME, spec);
      negative = true;
      value = -value;
    }
    total += value * kItemUnits[i];
  }
  return negative ? -total : total;
}

// A text is loaded as a time! literal.
double from_text(const Cell* text) {
  if (!string::is_text_type(text->type())) number::raise_bad_to_arg(TYPE_TIME, text);
  Cell loaded;
  value::load_from_string(text, &loaded);
  if (!loaded.is(TYPE_TIME)) number::raise_bad_to_arg(TYPE_TIME, text);
  return floating::to_double(&loaded);
}
}  // namespace

// ---- actions ----

void make(const Cell*, const Cell* spec, TypeId, Cell* result) {
  double seconds;
  switch (spec->type()) {
    case TYPE_TIME:
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      seconds = floating::to_double(spec);
      break;
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
      seconds = from_items(block::head(spec), block::length(spec), spec);
      break;
    default:
      seconds = from_text(spec);
      break;
  }
  floating::make_at(result, seconds, TYPE_TIME);
}

namespace {
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
  return to_text(get(value), buffer, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part,
             int32_t) {
  return to_text(get(value), buffer, part);
}

void eval_path(const PathStep& step, Cell* result) {
  int32_t index = field_index(step.element);
  if (!is_field(index)) number::raise_invalid_path(step);
  Field field = Field(index);
  if (!step.value) {
    *result = get_field(get(step.parent), field);
    return;
  }
  Cell old = *step.parent;
  floating::make_at(step.parent, set_field(get(step.parent), field, step.value), TYPE_TIME);
  compound::notify_path_set(step, old);
  copy_cell(step.value, result);
}

void pick(Cell* value, int32_t, const Cell* index_cell, Cell* result) {
  int32_t index = field_index(index_cell);
  if (!is_field(index)) number::raise_out_of_range(index_cell);
  *result = get_field(get(value), Field(index));
}

void add(Cell* value1, Cell* value2, Cell* result) {
  if (value2->is(TYPE_DATE)) {
    date::add_seconds(value2, get(value1), result);
    return;
  }
  floating::do_math(OP_ADD, value1, value2, result);
}

void subtract(Cell* value1, Cell* value2, Cell* result) {
  if (value2->is(TYPE_DATE)) number::raise_not_related(ACT_SUBTRACT, TYPE_TIME);
  floating::do_math(OP_SUBTRACT, value1, value2, result);
}

void multiply(Cell* value1, Cell* value2, Cell* result) {
  if (value2->is(TYPE_TIME)) number::raise_not_related(ACT_MULTIPLY, TYPE_TIME);
  floating::do_math(OP_MULTIPLY, value1, value2, result);
}

void divide(Cell* value1, Cell* value2, Cell* result) {
  bool ratio = value2->is(TYPE_TIME);
  floating::do_math(OP_DIVIDE, value1, value2, result);
  if (ratio) cell::set_type(result, TYPE_FLOAT);
}

void round(Cell* value, const RoundOptions& options, Cell* result) {
  const Cell* scale = options.to;
  if (scale && scale->is(TYPE_MONEY)) number::raise_not_related(ACT_ROUND, TYPE_MONEY);
  double step = scale ? std::fabs(floating::to_double(scale)) : 1.0;
  floating::make_at(result, floating::round_to_step(get(value), step, options), TYPE_TIME);
}
}  // namespace

// Parity of the whole seconds within the minute, the value first moved off a boundary that
// arithmetic may have missed by a hair.
bool odd(const Cell* value) {
  double seconds = get(value);
  double moved = seconds + std::copysign(kSecondsThreshold, seconds);
  double within = std::trunc(std::fmod(moved, kSecondsPerMinute));
  return std::isfinite(within) && std::fmod(within, 2.0) != 0.0;
}
bool even(const Cell* value) { return !odd(value); }

void init() {
  using actions::own;
  datatype::register_type(TYPE_TIME, TYPE_FLOAT, "time!",
                          actions::ActionList()
                              .own(own<ACT_MAKE>(make))
                              .own(own<ACT_TO>(make))
                              .own(own<ACT_FORM>(form))
                              .own(own<ACT_MOLD>(mold))
                              .own(own<ACT_EVAL_PATH>(eval_path))
                              .own(own<ACT_ADD>(add))
                              .own(own<ACT_DIVIDE>(divide))
                              .own(own<ACT_MULTIPLY>(multiply))
                              .own(own<ACT_ROUND>(round))
                              .own(own<ACT_SUBTRACT>(subtract))
                              .own(own<ACT_EVEN>(even))
                              .own(own<ACT_ODD>(odd))
                              .own(own<ACT_PICK>(pick))
                              .inherit({ACT_RANDOM, ACT_COMPARE, ACT_ABSOLUTE, ACT_NEGATE,
                                        ACT_REMAINDER}));
}

}  // namespace xol::time
