// Console output over raw write(2) on stdout: UTF-8 encoding of unit text into one buffer,
// direct writes of text that is UTF-8 already, and the text-printer notifications.
//
// The format scratch is a static array rather than a tracked-heap block so that numbers can be
// printed before `init` and after the tracked heap has been freed on the way out (a fatal
// report prints its error code then).
#include "runtime/process/console_output.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/terminal.h"
#include "runtime/process/print_hooks.h"
#include "runtime/process/process.h"
#include "runtime/process/tracked_heap.h"
#include "runtime/text/utf8.h"

namespace xol::console {

namespace {

static_assert(std::endian::native == std::endian::little,
              "2- and 4-byte text units are stored little-endian and read as native integers");

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr uint8_t kLineEnd = '\n';

bool stdout_is_terminal = false;
uint8_t* output_buffer = nullptr;
size_t buffered = 0;
char scratch[kFormatScratchSize];
bool line_open = false;

void write_out(const void* bytes, size_t size) {
  if (size == 0) return;
  if (const int error = platform::write_bytes(platform::kStdoutFd, bytes, size))
    rt::output_failed(error);
  line_open = static_cast<const uint8_t*>(bytes)[size - 1] != kLineEnd;
}

void flush() {
  if (buffered == 0) return;
  write_out(output_buffer, buffered);
  buffered = 0;
}

void make_room(size_t bytes) {
  if (buffered + bytes > kOutputBufferSize) flush();
}

// Appends one code point as UTF-8. A value past U+10FFFF (which no string holds) becomes
// U+FFFD rather than raising an error from inside the printer.
void put_code_point(char32_t code_point) {
  make_room(utf8::kMaxSequence);
  if (code_point > utf8::kMaxCodePoint) code_point = kReplacementCharacter;
  buffered += static_cast<size_t>(utf8::encode_char(code_point, output_buffer + buffered));
}

// Units are copied out rather than dereferenced: series data need not be aligned to the unit.
template <class Unit>
void put_units(const uint8_t* text, size_t size_in_bytes) {
  const size_t count = size_in_bytes / sizeof(Unit);
  for (size_t i = 0; i < count; ++i) {
    Unit unit;
    std::memcpy(&unit, text + i * sizeof(Unit), sizeof(Unit));
    put_code_point(unit);
  }
}

}  // namespace

void init() {
  if (output_buffer == nullptr) {
    output_buffer = static_cast<uint8_t*>(rt::allocate(kOutputBufferSize));
  }
  stdout_is_terminal = platform::is_terminal(platform::kStdoutFd);
  platform::ignore_broken_pipe();
}

bool line_is_open() { return line_open; }

void write(const void* text, size_t size_in_bytes, uint32_t unit_size, bool newline) {
  if (output_buffer == nullptr) init();
  const auto* bytes = static_cast<const uint8_t*>(text);
  switch (unit_size) {
    case sizeof(uint8_t): put_units<uint8_t>(bytes, size_in_bytes); break;
    case sizeof(uint16_t): put_units<uint16_t>(bytes, size_in_bytes); break;
    case sizeof(uint32_t): put_units<uint32_t>(bytes, size_in_bytes); break;
    default: break;
  }
  if (newline) {
    make_room(sizeof kLineEnd);
    output_buffer[buffered++] = kLineEnd;
  }
  flush();
}

void write_ucs4(const void* text, size_t size) { write(text, size, sizeof(uint32_t), false); }
void write_ucs4_line(const void* text, size_t size) { write(text, size, sizeof(uint32_t), true); }
void write_utf16(const void* text, size_t size) { write(text, size, sizeof(uint16_t), false); }
void write_utf16_line(const void* text, size_t size) { write(text, size, sizeof(uint16_t), true); }
void write_latin1(const void* text, size_t size) { write(text, size, sizeof(uint8_t), false); }
void write_latin1_line(const void* text, size_t size) { write(text, size, sizeof(uint8_t), true); }

void write_text(const char* utf8, size_t size) {
  write_out(utf8, size);
  dyn_print::call_text_hooks(utf8, static_cast<int>(size), 0);
}

const char* write_cstr(const char* utf8) {
  write_text(utf8, std::strlen(utf8));
  return utf8;
}

char* format_scratch() { return scratch; }

void print_scratch(size_t length) { write_text(scratch, std::min(length, kFormatScratchSize)); }

}  // namespace xol::console

namespace xol::rt {

// The compiler's date: __DATE__ is "Mmm dd yyyy" with the day padded by a space, __TIME__ is
// "hh:mm:ss".
const char* build_date() {
  static char text[sizeof "dd-Mmm-yyyy/hh:mm:ss"];
  if (text[0]) return text;
  const char* date = __DATE__;
  char* out = text;
  if (date[4] != ' ') *out++ = date[4];
  *out++ = date[5];
  *out++ = '-';
  out = std::copy_n(date, 3, out);
  *out++ = '-';
  out = std::copy_n(date + 7, 4, out);
  *out++ = '/';
  std::copy_n(__TIME__, 8, out);
  return text;
}

}  // namespace xol::rt
