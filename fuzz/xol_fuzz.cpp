// The libFuzzer targets of the runtime, one source built four times.
//
// xol_fuzz_load reads the input through the lexer, as the script runner loads a file, and molds
// what it made. xol_fuzz_eval also evaluates the loaded block. xol_fuzz_parse runs random rules
// over random input: the first byte picks the kind of input (text, binary, block), the bytes up
// to the first line feed are the input, the rest is loaded as the rule block; a trace callback
// stops each parse after kParseEvents events, since a `while` whose rule matches without moving
// loops for ever by design. xol_fuzz_diff evaluates the loaded block plainly, under a trace
// whose callback asks for no event (the evaluator then takes none of its shortcuts), and
// plainly again, each on a fresh copy; when the plain runs agree (the code did not change the
// world it reads), the traced one must agree too: the same value, or an error of the same type,
// id, arguments, near and where. A stack overflow is left out, since a traced call takes more
// stack. A language error (or any thrown
// code) is the runtime answering bad input and ends the run quietly; a crash, a sanitizer report,
// an escaping C++ exception or the process ending is a fault.
//
// The runtime starts once per process and every input runs in it, so an input could break the
// next ones by rebinding the standard words: before each evaluation the global values that
// start-up made are put back and words added since are unset. Inputs that name a native of the
// outside world (files, processes, waiting) or the endless loop are refused, so the fuzzer
// stays in the language itself; any other endless loop is left to libFuzzer's -timeout.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/guarded_run.h"
#include "runtime/memory/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/call.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/process/process.h"
#include "runtime/runtime.h"

#ifndef XOL_FUZZ_EVAL
#error "XOL_FUZZ_EVAL must be 0 (load only) or 1 (load and evaluate)"
#endif
#ifndef XOL_FUZZ_PARSE
#define XOL_FUZZ_PARSE 0
#endif
#ifndef XOL_FUZZ_DIFF
#define XOL_FUZZ_DIFF 0
#endif

namespace xol::fuzz {
namespace {

// Substrings (compared in lower case) that refuse an input in the evaluating target. Plain
// substrings also catch refinements, get-words and lit-words of these names.
constexpr std::string_view kRefusedWords[] = {
    "call",  "browse", "wait",  "read",   "write",   "delete", "rename", "create",
    "open",  "close",  "modify", "query", "update",  "set-env", "forever", "quit", "halt",
};
// And, in the differential target, words whose answers differ from run to run by design.
constexpr std::string_view kUnrepeatableWords[] = {
    "random", "now", "trace", "debug", "profile", "stats", "recycle", "delta", "checksum/secure",
};

// The global values as start-up left them, a collector root while the process lives.
std::vector<Cell> startup_globals;
Cell* startup_first = nullptr;
Cell* startup_end = nullptr;

// The parse target's trace callback counts the events down from the budget, then stops.
constexpr int32_t kParseEvents = 20000;
constexpr std::string_view kParseSetup =
    "fuzz-budget: 0 fuzz-callback: func [event match? rule input stack] "
    "[0 < fuzz-budget: fuzz-budget - 1]";

// `q`, quit's short name, is too short to refuse by substring: it holds no value in the
// evaluating targets.
constexpr std::string_view kEvalSetup = "unset 'q";

// The differential target's runs and their comparison; fuzz-agrees answers false on a fault.
constexpr std::string_view kDiffSetup = R"(
fuzz-quiet: func [event code offset value ref frame] [[no-such-event]]
fuzz-outcome: func [code [block!] traced [logic!] /local result] [
	code: copy/deep code
	set/any 'result either traced [try [do/trace code :fuzz-quiet]] [try [do code]]
	mold/all either error? :result [
		either result/id = 'stack-overflow ['overflow] [reduce [
			result/type result/id :result/arg1 :result/arg2 :result/arg3 result/near result/where
		]]
	] [:result]
]
fuzz-agrees: func [code [block!] /local plain traced again] [
	plain: fuzz-outcome code false
	traced: fuzz-outcome code true
	again: fuzz-outcome code false
	any [
		plain <> again  find plain "overflow"  find traced "overflow"  traced == plain
		(print ["*** plain:" plain "^/*** traced:" traced] false)
	]
]
)";

void start_runtime() {
  runtime::init();
  if (XOL_FUZZ_EVAL || XOL_FUZZ_PARSE || XOL_FUZZ_DIFF) {
    const Cell no_quit = lexer::load(kEvalSetup);
    interpreter::eval_block(&no_quit, false);
  }
  if (XOL_FUZZ_PARSE || XOL_FUZZ_DIFF) {
    const Cell setup = lexer::load(XOL_FUZZ_PARSE ? kParseSetup : kDiffSetup);
    interpreter::eval_block(&setup, false);
  }
  const NodeId global = context::global();
  const Cell* values = context::values(global);
  startup_globals.assign(values, values + context::word_count(global));
  startup_first = startup_globals.data();
  startup_end = startup_first + startup_globals.size();
  collector::register_root_cells(&startup_first, &startup_end);
}

void restore_globals() {
  const NodeId global = context::global();
  Cell* values = context::values(global);
  const size_t count = size_t(context::word_count(global));
  std::copy(startup_globals.begin(), startup_globals.end(), values);
  for (size_t i = startup_globals.size(); i < count; ++i) cell::set_unset(&values[i]);
}

bool refused(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  auto in_text = [&](std::string_view word) { return lower.find(word) != std::string::npos; };
  return std::any_of(std::begin(kRefusedWords), std::end(kRefusedWords), in_text) ||
         (XOL_FUZZ_DIFF &&
          std::any_of(std::begin(kUnrepeatableWords), std::end(kUnrepeatableWords), in_text));
}

// fuzz-agrees on the loaded block; a disagreement is a fault.
void run_diff(std::string_view text) {
  const Cell code = lexer::load(text);
  const Cell agrees_word = word::load("fuzz-agrees");
  const Cell agrees = *call::get_value(&agrees_word);
  Cell result;
  call::value(&agrees, &agrees_word, &code, 1, &result);
  if (result.is(TYPE_LOGIC) && !logic::get(&result)) __builtin_trap();
}

// parse/trace input rules :fuzz-callback, with the budget refilled.
void run_parse(std::string_view text) {
  enum InputKind { KIND_TEXT, KIND_BINARY, KIND_BLOCK, kKinds };
  if (text.empty()) return;
  const auto kind = InputKind(uint8_t(text[0]) % kKinds);
  text.remove_prefix(1);
  const size_t split = text.find('\n');
  const std::string_view source = text.substr(0, split);
  const std::string_view rules = split == text.npos ? std::string_view() : text.substr(split + 1);
  Cell args[2];
  switch (kind) {
    case KIND_TEXT: string::load_utf8(&args[0], source); break;
    case KIND_BINARY: args[0] = binary::load(source); break;
    default: args[0] = lexer::load(source); break;
  }
  args[1] = lexer::load(rules);
  Cell budget_word = word::load("fuzz-budget");
  const Cell budget = integer::make(kParseEvents);
  call::set_value(&budget_word, &budget);
  const Cell parse_word = word::load("parse");
  const Cell callback_word = word::load("fuzz-callback");
  const Cell parse = *call::get_value(&parse_word);
  const Cell callback = *call::get_value(&callback_word);
  const Cell trace = word::load("trace", TYPE_REFINEMENT);
  Cell result;
  call::value(&parse, &parse_word, args, 2, &result, {{&trace, &callback, 1}});
}

void run(std::string_view text) {
  guarded_run([&] {
    if (XOL_FUZZ_PARSE) {
      run_parse(text);
    } else if (XOL_FUZZ_DIFF) {
      run_diff(text);
    } else {
      const Cell code = lexer::load(text);
      Cell molded;
      values::mold_value(&code, false, false, false, kNoPartLimit, &molded);
      if (XOL_FUZZ_EVAL) interpreter::eval_block(&code, false);
    }
  });
}

}  // namespace
}  // namespace xol::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace xol::fuzz;
  const std::string_view text = started_input(data, size, start_runtime);
  if (XOL_FUZZ_EVAL || XOL_FUZZ_PARSE || XOL_FUZZ_DIFF) {
    if (refused(text)) return -1;
    restore_globals();
  }
  run(text);
  return 0;
}
