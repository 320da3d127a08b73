// The low-level printer: system-level code prints diagnostics and plain numbers through it
// without building language values, for instance a fatal report or the tracked-heap dump.
//
// A call such as `rt::print_line("size: ", n, '\t', ptr)` turns each argument into a tagged
// item (logic, integer, byte, floats, C string, raw word, pointer) and prints the items in
// order. Numbers take fixed printf formats, written into the console's format scratch and
// passed on with `console::print_scratch`, so the text printers see every number as ASCII.
// Integers are kept at 64 bits, so sizes and counts print whole; pointers print as sixteen
// hexadecimal digits.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace xol::rt {

enum PrintItemType : uint32_t {
  PRINT_LOGIC = 1,
  PRINT_INTEGER = 2,
  PRINT_BYTE = 3,
  PRINT_FLOAT32 = 4,
  PRINT_FLOAT64 = 5,
  PRINT_CSTR = 6,
  PRINT_WORD = 8,      // a raw 32-bit word, printed as eight hexadecimal digits
  PRINT_POINTER = 9,   // a machine address, printed as sixteen hexadecimal digits
};

// A raw 32-bit word to print in hexadecimal rather than as a number.
struct Hex {
  uint32_t word;
};

struct PrintItem {
  PrintItemType type;
  union {
    bool logic;
    int64_t integer;
    char byte;
    float float32;
    double float64;
    const char* text;
    uint32_t word;
    const void* pointer;
  };

  PrintItem(bool value) : type(PRINT_LOGIC), logic(value) {}
  PrintItem(char value) : type(PRINT_BYTE), byte(value) {}
  template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>)
  PrintItem(T value) : type(PRINT_INTEGER), integer(static_cast<int64_t>(value)) {}
  template <class T>
    requires std::is_enum_v<T>
  PrintItem(T value) : type(PRINT_INTEGER), integer(static_cast<int64_t>(value)) {}
  PrintItem(float value) : type(PRINT_FLOAT32), float32(value) {}
  PrintItem(double value) : type(PRINT_FLOAT64), float64(value) {}
  PrintItem(const char* value) : type(PRINT_CSTR), text(value) {}
  PrintItem(Hex value) : type(PRINT_WORD), word(value.word) {}
  PrintItem(const void* value) : type(PRINT_POINTER), pointer(value) {}
};

// Prints the items in order. With `spaced`, a space follows every item but the last, unless the
// item already ends in a space, LF, CR or tab. Ends by flushing the C streams.
void print_values(const PrintItem* items, size_t count, bool spaced);

template <class... Args>
void print(const Args&... args) {
  if constexpr (sizeof...(Args) > 0) {
    const PrintItem items[] = {PrintItem(args)...};
    print_values(items, sizeof...(Args), false);
  }
}

// `print`, then a line end.
template <class... Args>
void print_line(const Args&... args) {
  print(args...);
  print('\n');
}

// Each printer answers its argument.
char print_char(char byte);
// Prints at most `limit` bytes of a zero-terminated text.
const char* print_cstr_part(const char* text, size_t limit);
// Prints the byte as a character literal: #"A", #"^A", #"^(E9)".
uint8_t print_char_literal(uint8_t byte);
int64_t print_int(int64_t value);           // "%i"
int32_t print_hex2(int32_t value);          // "%02X"
int32_t print_hex8(int32_t value);          // "%08X"
const void* print_pointer(const void* pointer);  // "%016X" of the address
double print_float(double value);           // "%.16g"
float print_float32(float value);           // "%.7g" of the value widened to 64 bits

}  // namespace xol::rt
