// Interpreter speed: a recursive fib (calls, either, infix operators, return-free bodies), a
// function that ends by `return`, a counting loop, the while loop of bench/programs/loop.xol,
// calls with a refinement and with locals, and a path; prints the time per call or iteration.
// Arguments: a divisor of every count (for runs under callgrind), and the label of the one case
// to run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/eval/interpreter.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/process/process.h"
#include "runtime/runtime.h"

using namespace xol;

namespace {

constexpr int kFibArgument = 24;
constexpr int kScaledFibArgument = 17;   // when the counts are divided
constexpr int kCallCount = 1000000;
constexpr int kLoopCount = 10000000;
constexpr int kWhileCount = 3000000;

int divisor = 1;
const char* only = nullptr;

Cell run(const std::string& source) {
  const Cell code = lexer::load(source);
  interpreter::eval_block(&code, false);
  return *--stack::top;
}

struct Case {
  const char* label;
  const char* unit;
  int count;      // evaluations of the unit the program makes; 0 for fib
  const char* program;   // %d is replaced by the count (fib: its argument)
};

constexpr Case kCases[] = {
    {"fib", "call", 0, "fib %d"},
    {"function ending by return", "call", kCallCount, "loop %d [ret 1]"},
    {"function with a refinement", "call", kCallCount, "loop %d [refined/twice 1]"},
    {"function with locals", "call", kCallCount, "loop %d [with-locals 1]"},
    {"counting loop", "iteration", kLoopCount, "n: 0 loop %d [n: n + 1]"},
    {"while loop with arithmetic", "iteration", kWhileCount,
     "sum: 0 i: 0 while [i < %d] [sum: sum + (i % 7) i: i + 1]"},
    {"path get", "iteration", kLoopCount, "loop %d [b/2]"},
};

// fib n makes 2 * fib(n + 1) - 1 calls.
int fib_calls(int n) {
  int a = 0, b = 1;
  for (int i = 0; i < n + 1; ++i) {
    const int next = a + b;
    a = b;
    b = next;
  }
  return 2 * a - 1;
}

void time(const Case& c) {
  const int argument = divisor > 1 ? kScaledFibArgument : kFibArgument;
  const int count = c.count ? c.count / divisor : fib_calls(argument);
  char program[128];
  std::snprintf(program, sizeof program, c.program, c.count ? count : argument);
  const auto start = std::chrono::steady_clock::now();
  run(program);
  const double ns = std::chrono::duration<double, std::nano>(
                        std::chrono::steady_clock::now() - start).count();
  std::printf("%-28s %8.1f ns per %s\n", c.count ? c.label : program, ns / count, c.unit);
}

void bench() {
  runtime::init();
  run("fib: func [n][either n < 2 [n][(fib n - 1) + fib n - 2]]"
      " ret: func [n][either n < 0 [return 0][return n]]"
      " refined: func [n /twice][either twice [n + n][n]]"
      " with-locals: func [n /local a b][a: n b: a]"
      " b: [1 2 3]");
  for (const Case& c : kCases)
    if (!only || std::string(only) == c.label) time(c);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) divisor = std::max(1, std::atoi(argv[1]));
  if (argc > 2) only = argv[2];
  rt::run_runtime_thread(bench);
}
