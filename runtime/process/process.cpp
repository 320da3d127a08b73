// Process start, the outermost guard, thrown codes and the fatal runtime-error report.
//
// The runtime runs on one thread of its own with a large native stack (see platform/thread.h),
// under the outermost guard: a code that no guard caught ends there as report 95, except the
// normal-end code, and a language error that nobody handled ends the process with -2. Processor
// faults arrive as signals; the handler (platform/signals.h) maps them to codes and calls
// `report_fault`, which formats the same report without allocating, writes it and leaves at once,
// since nothing else is safe inside a signal handler. Every other fatal path also frees the
// tracked heap and shows the report in a dialog when the GUI asks for that.
//
// The FPU needs no set-up: on x86-64 doubles use SSE, whose default control state masks every
// floating-point exception and rounds to nearest, which is what the runtime wants (float
// arithmetic gives infinities and NaN, it never traps). Nothing may unmask them.
#include "runtime/process/process.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#include "platform/os.h"
#include "platform/signals.h"
#include "platform/terminal.h"
#include "platform/thread.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/process/tracked_heap.h"

namespace xol::rt {

RuntimeState state;

namespace {

// Wide enough that no single frame can step over it unnoticed.
constexpr size_t kStackGuardSize = size_t(1) << 20;

constexpr int kExitStatusMask = 0xFF;
// The exit status of a failure whose code Linux would cut down to 0.
constexpr int kFailureStatus = 0xFF;
constexpr int kMinAddressDigits = 8;
constexpr const char* kDialogCaption = "Xol App Error";
constexpr const char* kNoDialogsVariable = "XOL_NO_DIALOGS";
constexpr size_t kUncaughtLineCapacity = 256;

struct ErrorText {
  int code;
  const char* text;
};

// The texts are the system's messages as they have always read, the cut "operan" included.
constexpr ErrorText kErrorTexts[] = {
    {1, "access violation"},
    {2, "invalid alignment"},
    {3, "breakpoint"},
    {4, "single step"},
    {5, "bounds exceeded"},
    {6, "float denormal operan"},
    {7, "float divide by zero"},
    {8, "float inexact result"},
    {9, "float invalid operation"},
    {10, "float overflow"},
    {11, "float stack check"},
    {12, "float underflow"},
    {13, "integer divide by zero"},
    {14, "integer overflow"},
    {15, "privileged instruction"},
    {16, "invalid virtual address"},
    {17, "illegal instruction"},
    {18, "non-continuable exception"},
    {19, "stack error or overflow"},
    {20, "invalid disposition"},
    {21, "guard page"},
    {22, "invalid handle"},
    {23, "illegal operand"},
    {24, "illegal addressing mode"},
    {25, "illegal trap"},
    {26, "coprocessor error"},
    {27, "non-existent physical address"},
    {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"},
    {30, "hardware memory error consumed AO"},
    {31, "privileged register"},
    {32, "segmentation fault"},
    {33, "FPU error"},
    {34, "Bus error"},
    {94, "out of memory"},
    {95, "no CATCH for THROW"},
    {98, "assertion failed"},
    {99, "unknown error"},
    {100, "no value matched in CASE"},
    {101, "no value matched in SWITCH"},
};

// The error catalogue's category words, in category order.
constexpr const char* kCategoryNames[] = {
    "throw", "note", "syntax", "script", "math", "access", "reserved1", "reserved2", "user",
    "internal",
};

MessageBoxFn message_box = nullptr;
bool output_lost = false;
constexpr int kOutputLostStatus = 1;

// Bounded text building with no allocation and no library formatting, so that the signal
// handler can use it.
class TextBuffer {
 public:
  TextBuffer(char* out, size_t capacity) : out_(out), capacity_(capacity) { out_[0] = '\0'; }

  void add(const char* text) {
    while (*text) add_char(*text++);
  }

  void add_decimal(int value) {
    char digits[12];
    int count = 0;
    uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
    do {
      digits[count++] = char('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude);
    if (value < 0) add_char('-');
    while (count) add_char(digits[--count]);
  }

  void add_hex(uintptr_t value, int min_digits) {
    char digits[2 * sizeof(uintptr_t)];
    int count = 0;
    do {
      digits[count++] = "0123456789ABCDEF"[value & 0xF];
      value >>= 4;
    } while (value);
    for (int pad = count; pad < min_digits; ++pad) add_char('0');
    while (count) add_char(digits[--count]);
  }

  size_t length() const { return length_; }

 private:
  void add_char(char c) {
    if (length_ + 1 >= capacity_) return;
    out_[length_++] = c;
    out_[length_] = '\0';
  }

  char* out_;
  size_t capacity_;
  size_t length_ = 0;
};

int exit_status(int code) {
  int status = code & kExitStatusMask;
  if (status == 0 && code != 0) return kFailureStatus;
  return status == 0 && output_lost ? kOutputLostStatus : status;
}

[[noreturn]] void end_process(int code) {
  free_all();
  std::exit(exit_status(code));
}

// Called by the fault handler in signal context.
void report_fault(int code, uintptr_t address) {
  if (code != RUNTIME_NORMAL_END) {
    char report[kReportCapacity];
    platform::write_stderr(report, format_report(code, address, report));
  }
  platform::exit_now(exit_status(code));
}

void init_argv(int argc, char** argv) {
  if (!argv) argc = 0;
  auto** list = static_cast<char**>(allocate((size_t(argc) + 1) * sizeof(char*)));
  for (int i = 0; i < argc; ++i) {
    size_t size = strlen(argv[i]) + 1;
    list[i] = static_cast<char*>(allocate(size));
    memcpy(list[i], argv[i], size);
  }
  list[argc] = nullptr;
  state.argc = argc;
  state.argv = list;
}

// The handler of the outermost guard for a thrown code.
[[noreturn]] void check_uncaught_throw(uint32_t code) {
  if (code == THROWN_NORMAL_END) runtime_error(RUNTIME_NORMAL_END, 0);
  runtime_error(RUNTIME_NO_CATCH, reinterpret_cast<uintptr_t>(&check_uncaught_throw));
}

[[noreturn]] void report_uncaught_error(const error::Raised& raised) {
  char line[kUncaughtLineCapacity];
  TextBuffer text(line, sizeof line);
  text.add("*** Uncaught error: ");
  size_t category = size_t(raised.category);
  if (category < std::size(kCategoryNames)) {
    text.add(kCategoryNames[category]);
  } else {
    text.add_decimal(raised.category);
  }
  text.add(" ");
  text.add(raised.id ? raised.id : "");
  text.add("\n");
  platform::write_stderr(line, text.length());
  end_process(kUncaughtErrorExit);
}

[[noreturn]] void run_outermost(void (*body)()) {
  const uintptr_t here = reinterpret_cast<uintptr_t>(&run_outermost);
  try {
    body();
  } catch (const error::Raised& raised) {
    report_uncaught_error(raised);
  } catch (const Thrown& thrown) {
    check_uncaught_throw(thrown.code);
  } catch (const std::bad_alloc&) {
    runtime_error(RUNTIME_OUT_OF_MEMORY, here);
  } catch (...) {
    runtime_error(RUNTIME_UNKNOWN, here);
  }
  runtime_error(RUNTIME_NORMAL_END, 0);
}

void runtime_thread(void* body) {
  // Without its own signal stack the thread still reports faults, only not an overflow.
  platform::install_alternate_signal_stack();
  run_outermost(*static_cast<void (**)()>(body));
}

}  // namespace

void throw_code(uint32_t code) { throw Thrown{code}; }

std::atomic<int> pending_requests{0};
static_assert(std::atomic<int>::is_always_lock_free, "requests are made in signal handlers");

void request(Request what) { pending_requests.fetch_or(what, std::memory_order_relaxed); }

void (*halt_handler)() = nullptr;
void (*resize_handler)() = nullptr;

void answer_requests() {
  const int requests = pending_requests.exchange(0);
  if ((requests & kResizeRequest) && resize_handler) resize_handler();
  if (!(requests & kHaltRequest)) return;
  if (halt_handler) halt_handler();
  throw_code(THROWN_NORMAL_END);
}

const char* runtime_error_text(int code) {
  for (const ErrorText& entry : kErrorTexts)
    if (entry.code == code) return entry.text;
  return "unknown error code!";
}

size_t format_report(int code, uintptr_t address, char* out) {
  TextBuffer text(out, kReportCapacity);
  text.add("*** Runtime Error ");
  text.add_decimal(code);
  text.add(": ");
  text.add(runtime_error_text(code));
  text.add("\n*** at: ");
  text.add_hex(address, kMinAddressDigits);
  text.add("h\n");
  return text.length();
}

void set_message_box(MessageBoxFn show) { message_box = show; }

void output_failed(int error) {
  if (platform::is_broken_pipe(error)) platform::exit_now(platform::broken_pipe_status());
  if (output_lost) return;
  output_lost = true;
  char line[kUncaughtLineCapacity];
  TextBuffer text(line, sizeof line);
  text.add("*** Output Error: cannot write to standard output: ");
  text.add(platform::error_text(error));
  text.add("\n");
  platform::write_stderr(line, text.length());
}

void runtime_error(int code, uintptr_t address) {
  if (code != RUNTIME_NORMAL_END) {
    char report[kReportCapacity];
    size_t length = format_report(code, address, report);
    platform::write_stderr(report, length);
    if (message_box && !platform::get_env(kNoDialogsVariable)) {
      report[length - 1] = '\0';   // the dialog shows the two lines without the final newline
      message_box(kDialogCaption, report);
    }
  }
  end_process(code);
}

void init_process(int argc, char** argv) {
  init_argv(argc, argv);
  platform::install_signal_handlers(report_fault);
}

void run_runtime_thread(void (*body)()) {
  platform::ReservedStack stack;
  if (!platform::reserve_stack(kRuntimeStackSize, kStackGuardSize, &stack))
    runtime_error(RUNTIME_OUT_OF_MEMORY, XOL_CALLER_ADDRESS);
  state.stack_low = stack.usable.low;
  state.stack_high = stack.usable.high;
  platform::watch_stack_guard(stack.guard.low, stack.guard.high);
  // The runtime thread ends the process itself, so coming back means it never started.
  platform::run_thread(stack, runtime_thread, &body);
  runtime_error(RUNTIME_OUT_OF_MEMORY, XOL_CALLER_ADDRESS);
}

}  // namespace xol::rt
