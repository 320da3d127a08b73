// The libFuzzer targets of the text codecs written in the library, one source built once per
// codec: xol_fuzz_json (load-json) and xol_fuzz_csv (load-csv).
//
// The input bytes are made a string (bytes that are not UTF-8 stop there, with a language
// error) and decoded. A language error is the codec refusing bad input and ends the run quietly;
// a crash, a sanitizer report, an escaping C++ exception or a hang is a fault. What decodes is
// encoded again and decoded once more: JSON must then give the same text a second time (the
// encoder writes only what the decoder reads back as the same values), CSV rows must encode.
// For CSV the first byte picks the options: delimiter, quote character and output form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz/guarded_run.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/call.h"
#include "runtime/eval/interpreter.h"
#include "runtime/io/lexer.h"
#include "runtime/runtime.h"

#ifndef XOL_FUZZ_TEXT_CODEC
#error "XOL_FUZZ_TEXT_CODEC must name the codec: 0 json, 1 csv"
#endif

namespace xol::fuzz {
namespace {

// fuzz-one bytes: false when the codec broke its own promise.
constexpr std::string_view kSetup[] = {
    R"(fuzz-one: func [bytes /local data text] [
      data: load-json to string! bytes
      if error? :data [return true]
      text: to-json data
      data: load-json text
      all [not error? :data  text == to-json data]
    ])",
    R"(fuzz-one: func [bytes /local options text data] [
      options: either empty? bytes [0] [first bytes]
      text: to string! next bytes
      data: do compose [
        (to path! compose [load-csv with quote (pick [[] [trim] [flat] [as-records]
          [header] [header as-records] [as-columns] []] 1 + (options and 7))])
        text (select reduce [0 #"," 8 #";" 16 tab 24 "||"] options and 24)
        (either zero? options and 32 [#"^""] [#"'"])
      ]
      if any [error? :data  map? :data  not block? first data] [return true]
      string? to-csv data
    ])",
};

void start_runtime() {
  runtime::init();
  const Cell setup = lexer::load(kSetup[XOL_FUZZ_TEXT_CODEC]);
  interpreter::eval_block(&setup, false);
}

void run(std::string_view bytes) {
  guarded_run([&] {
    const Cell name = word::load("fuzz-one");
    const Cell function = *call::get_value(&name);
    Cell argument = binary::load(bytes);
    Cell result;
    call::value(&function, &name, &argument, 1, &result, {});
    if (logic::counts_false(&result)) std::abort();
  });
}

}  // namespace
}  // namespace xol::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace xol::fuzz;
  run(started_input(data, size, start_runtime));
  return 0;
}
