// The low-level printer: tagged items to text through the console's writers.
//
// Number text is built with snprintf in the console's format scratch; it is ASCII, so the
// length snprintf reports is both the byte count written and the text printers' size.
#include "runtime/process/low_print.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "runtime/process/console_output.h"

namespace xol::rt {

namespace {

// Formats one number into the scratch and prints it. The format is always one of the literal
// formats below.
template <class... Args>
void print_formatted(const char* format, Args... args) {
  char* scratch = console::format_scratch();
  int length = std::snprintf(scratch, console::kFormatScratchSize, format, args...);
  if (length < 0) return;
  console::print_scratch(std::min(static_cast<size_t>(length), console::kFormatScratchSize - 1));
}

bool ends_in_blank(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Whether a spaced list needs a space after this item: only texts and bytes can end in one.
bool wants_space_after(const PrintItem& item) {
  switch (item.type) {
    case PRINT_BYTE: return !ends_in_blank(item.byte);
    case PRINT_CSTR: {
      size_t length = std::strlen(item.text);
      return length == 0 || !ends_in_blank(item.text[length - 1]);
    }
    default: return true;
  }
}

void print_item(const PrintItem& item) {
  switch (item.type) {
    case PRINT_LOGIC: console::write_cstr(item.logic ? "true" : "false"); break;
    case PRINT_INTEGER: print_int(item.integer); break;
    case PRINT_BYTE: print_char(item.byte); break;
    case PRINT_FLOAT32: print_float32(item.float32); break;
    case PRINT_FLOAT64: print_float(item.float64); break;
    case PRINT_CSTR: console::write_cstr(item.text); break;
    case PRINT_WORD: print_hex8(static_cast<int32_t>(item.word)); break;
    case PRINT_POINTER: print_pointer(item.pointer); break;
  }
}

// Character-literal escapes of the control bytes that have a name of their own.
struct NamedControl {
  uint8_t byte;
  char name;
};
constexpr NamedControl kNamedControls[] = {{0, '@'}, {9, '-'}, {10, '/'}, {27, ']'}};

constexpr uint8_t kFirstPrintable = 32;
constexpr uint8_t kLastAscii = 127;
constexpr uint8_t kControlLetterBase = 64;  // ^A is byte 1: 64 + 1 is 'A'

}  // namespace

void print_values(const PrintItem* items, size_t count, bool spaced) {
  for (size_t i = 0; i < count; ++i) {
    print_item(items[i]);
    if (spaced && i + 1 < count && wants_space_after(items[i])) print_char(' ');
  }
  std::fflush(nullptr);
}

char print_char(char byte) {
  console::write_text(&byte, 1);
  return byte;
}

const char* print_cstr_part(const char* text, size_t limit) {
  console::write_text(text, strnlen(text, limit));
  return text;
}

uint8_t print_char_literal(uint8_t byte) {
  constexpr char kHexDigits[] = "0123456789ABCDEF";
  char literal[sizeof "#\"^(FF)\""];
  size_t length = 0;
  literal[length++] = '#';
  literal[length++] = '"';
  const NamedControl* named =
      std::find_if(std::begin(kNamedControls), std::end(kNamedControls),
                   [byte](const NamedControl& c) { return c.byte == byte; });
  if (named != std::end(kNamedControls)) {
    literal[length++] = '^';
    literal[length++] = named->name;
  } else if (byte < kFirstPrintable) {
    literal[length++] = '^';
    literal[length++] = static_cast<char>(kControlLetterBase + byte);
  } else if (byte <= kLastAscii) {
    literal[length++] = static_cast<char>(byte);
  } else {
    literal[length++] = '^';
    literal[length++] = '(';
    literal[length++] = kHexDigits[byte >> 4];
    literal[length++] = kHexDigits[byte & 0xF];
    literal[length++] = ')';
  }
  literal[length++] = '"';
  console::write_text(literal, length);
  return byte;
}

int64_t print_int(int64_t value) {
  print_formatted("%" PRIi64, value);
  return value;
}

int32_t print_hex2(int32_t value) {
  print_formatted("%02X", static_cast<unsigned>(value));
  return value;
}

int32_t print_hex8(int32_t value) {
  print_formatted("%08X", static_cast<unsigned>(value));
  return value;
}

const void* print_pointer(const void* pointer) {
  print_formatted("%016" PRIXPTR, reinterpret_cast<uintptr_t>(pointer));
  return pointer;
}

double print_float(double value) {
  print_formatted("%.16g", value);
  return value;
}

float print_float32(float value) {
  print_formatted("%.7g", static_cast<double>(value));
  return value;
}

}  // namespace xol::rt
