// Interpreter speed: a recursive fib (calls, either, infix operators, return-free bodies), a
// function that ends by `return`, and a counting loop; prints the time per call or iteration.
#include <chrono>
#include <cstdio>
#include <string>

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/stack.h"
#include "runtime/io/lexer.h"
#include "runtime/process.h"
#include "runtime/runtime.h"

using namespace xol;

namespace {

constexpr int kFibArgument = 24;
// fib 24 makes 2 * fib(25) - 1 calls.
constexpr int kFibCalls = 2 * 75025 - 1;
constexpr int kReturnCalls = 1000000;
constexpr int kLoopCount = 10000000;

Cell run(const std::string& source) {
  const Cell code = lexer::load(source);
  interpreter::eval_block(&code, false);
  return *--stack::top;
}

void time(const char* label, const std::string& source, int count) {
  const auto start = std::chrono::steady_clock::now();
  run(source);
  const double ns = std::chrono::duration<double, std::nano>(
                        std::chrono::steady_clock::now() - start).count();
  std::printf("%-28s %8.1f ns per %s\n", label, ns / count,
              count == kLoopCount ? "iteration" : "call");
}

void bench() {
  runtime::init();
  const char* const operators[][2] = {{"+", "add"}, {"-", "subtract"}, {"<", "lesser?"}};
  for (const auto& pair : operators) {
    const Cell op = run(std::string("make op! :") + pair[1]);
    context::set_global(symbol::make(pair[0]), &op);
  }
  run("fib: func [n][either n < 2 [n][(fib n - 1) + fib n - 2]]"
      " ret: func [n][either n < 0 [return 0][return n]]");
  time("fib 24", "fib " + std::to_string(kFibArgument), kFibCalls);
  time("function ending by return", "loop " + std::to_string(kReturnCalls) + " [ret 1]",
       kReturnCalls);
  time("counting loop", "n: 0 loop " + std::to_string(kLoopCount) + " [n: n + 1]", kLoopCount);
}

}  // namespace

int main() { rt::run_runtime_thread(bench); }
