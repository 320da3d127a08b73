// The system natives: waiting, the environment, the clock, the collector and its statistics,
// and the launching of processes and of the desktop's handler for a URL.
#include <string>

#include "runtime/memory/collector.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/eval/call.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/natives/natives.h"
#include "runtime/eval/stack.h"
#include "runtime/io/os_info.h"
#include "runtime/io/process.h"
#include "runtime/process/os.h"
#include "runtime/process/tracked_heap.h"
#include "runtime/text/utf8.h"

namespace xol::natives {
namespace {

using stack::arguments;

constexpr const char* kBrowser = "xdg-open";
constexpr const char* kShowMemoryStats = "show-memory-stats";
constexpr int32_t kSecondsPerMinute = 60;
constexpr uint64_t kLargestInteger = 0x7FFFFFFF;

void result(const Cell& value) {
  stack::set_last(&value);
  stack::keep();
}

void result_unset() {
  unset::box(arguments);
  stack::keep();
}

// The UTF-8 name of an environment variable given as text or as a word.
std::string variable_name(const Cell* var) {
  Cell text = *var;
  if (!string::is_text_type(text.type())) values::form_value(var, kNoPartLimit, &text);
  return os_info::os_text(&text);
}

// A byte count as the statistics give it: an integer! when it fits, else a float!.
Cell count_cell(uint64_t count) {
  return count <= kLargestInteger ? integer::make(int32_t(count)) : floating::make(double(count));
}

// The detailed statistics: a block of node frames and one of series frames (free, used and
// total each, one frame a line), a block of the big frames' sizes, the bytes of every frame and
// of the tracked heap together, and the tracked heap's bytes alone.
void detailed_stats(Cell* result) {
  const collector::MemoryStats stats = collector::memory_stats();
  block::make_at(result, 5);
  for (const auto* frames : {&stats.node_frames, &stats.series_frames}) {
    Cell list;
    block::make_at(&list, int32_t(frames->size()));
    block::append_cell(result, &list);
    for (const collector::FrameUse& use : *frames) {
      Cell entry;
      block::make_at(&entry, 3);
      entry.header |= kNewLineFlag;
      for (uint64_t figure : {use.free, use.used, use.capacity}) {
        const Cell number = count_cell(figure);
        block::append_cell(&entry, &number);
      }
      block::append_cell(&list, &entry);
    }
  }
  Cell big;
  block::make_at(&big, int32_t(stats.big_frames.size()));
  block::append_cell(result, &big);
  for (uint64_t size : stats.big_frames) {
    Cell number = count_cell(size);
    number.header |= kNewLineFlag;
    block::append_cell(&big, &number);
  }
  const uint64_t heap = rt::heap_bytes();
  for (uint64_t figure : {stats.frame_bytes + heap, heap}) {
    const Cell number = count_cell(figure);
    block::append_cell(result, &number);
  }
}

Cell memory_in_use() { return count_cell(collector::memory_stats().used_bytes); }

enum NowRefinement {
  NOW_YEAR, NOW_MONTH, NOW_DAY, NOW_TIME, NOW_ZONE, NOW_DATE, NOW_WEEKDAY, NOW_YEARDAY,
  NOW_PRECISE, NOW_UTC, NOW_FIELDS = NOW_UTC,
};

// The date field that each field refinement answers.
constexpr date::Field kNowFields[] = {
    date::FIELD_YEAR, date::FIELD_MONTH, date::FIELD_DAY, date::FIELD_TIME, date::FIELD_ZONE,
    date::FIELD_DATE, date::FIELD_WEEKDAY, date::FIELD_YEARDAY,
};

}  // namespace

void wait(bool, const int32_t*) {
  const Cell* value = arguments;
  if (!value->is(TYPE_INTEGER) && !value->is(TYPE_FLOAT) && !value->is(TYPE_TIME))
    error::raise(error::CAT_SCRIPT, "invalid-arg", value);
  rt::sleep(value->is(TYPE_INTEGER) ? double(integer::get(value)) : value->float_value());
  result(none::value);
}

void set_env(bool, const int32_t*) {
  const std::string name = variable_name(arguments);
  const Cell* value = arguments + 1;
  const std::string text = value->is(TYPE_NONE) ? std::string() : os_info::os_text(value);
  if (!os::set_env(name.c_str(), value->is(TYPE_NONE) ? nullptr : text.c_str()))
    error::raise(error::CAT_SCRIPT, "invalid-arg", arguments);
  result(*value);
}

void get_env(bool, const int32_t*) {
  const std::string name = variable_name(arguments);
  const int32_t size = os::get_env(name.c_str(), nullptr, 0);
  if (size == 0) return result(none::value);
  std::string value(size_t(size), '\0');
  const int32_t length = os::get_env(name.c_str(), value.data(), size);
  Cell text;
  string::make_at(&text, uint32_t(length));
  utf8::load_os_text(reinterpret_cast<const uint8_t*>(value.data()), size_t(length), text.node());
  result(text);
}

void list_env(bool, const int32_t*) {
  Cell map;
  os_info::environment(&map);
  result(map);
}

void now(bool, const int32_t* refinements) {
  int32_t asked = -1, count = 0;
  for (int32_t k = 0; k < NOW_FIELDS; ++k) {
    if (refinements[k] < 0) continue;
    ++count;
    if (k != NOW_PRECISE) asked = k;
  }
  const bool precise = refinements[NOW_PRECISE] >= 0;
  if (count > 1 && !(count == 2 && asked == NOW_TIME && precise))
    error::raise(error::CAT_SCRIPT, "bad-refines");
  const os::Moment moment = os::now(refinements[NOW_UTC] >= 0, precise);
  const Cell today = date::make(moment.year, moment.month, moment.day, moment.seconds,
                                moment.utc_offset / kSecondsPerMinute);
  result(asked < 0 ? today : date::get_field(&today, kNowFields[asked]));
}

void recycle(bool, const int32_t* refinements) {
  enum { REF_ON, REF_OFF };
  if (refinements[REF_ON] >= 0 || refinements[REF_OFF] >= 0) {
    collector::active = refinements[REF_ON] >= 0;
    return result_unset();
  }
  collector::collect();
  result(memory_in_use());
}

void stats(bool, const int32_t* refinements) {
  enum { REF_SHOW, REF_INFO };
  if (refinements[REF_SHOW] < 0 && refinements[REF_INFO] < 0) return result(memory_in_use());
  Cell* detailed = stack::push_slot();
  detailed_stats(detailed);
  if (refinements[REF_SHOW] < 0) return result(*detailed);
  const Cell name = word::load(kShowMemoryStats);
  const Cell* show = context::global_slot_of(symbol::make(kShowMemoryStats));
  if (!show || !(show->is(TYPE_FUNCTION) || show->is(TYPE_ROUTINE)))
    error::raise(error::CAT_SCRIPT, "no-value", &name);
  Cell shown;
  call::value(show, &name, detailed, 1, &shown);
  result_unset();
}

void call(bool, const int32_t* refinements) {
  enum { REF_WAIT, REF_SHOW, REF_CONSOLE, REF_SHELL, REF_INPUT, REF_OUTPUT, REF_ERROR };
  if (refinements[REF_CONSOLE] >= 0) error::raise(error::CAT_INTERNAL, "not-done");
  auto given = [&](int32_t k) {
    return refinements[k] >= 0 ? arguments + refinements[k] : nullptr;
  };
  process::CallOptions options;
  options.wait = refinements[REF_WAIT] >= 0;
  options.shell = refinements[REF_SHELL] >= 0;
  options.input = given(REF_INPUT);
  options.output = given(REF_OUTPUT);
  options.error = given(REF_ERROR);
  result(integer::make(process::call(arguments, options)));
}

void browse(bool, const int32_t*) {
  process::launch_detached(kBrowser, arguments);
  result_unset();
}

}  // namespace xol::natives
