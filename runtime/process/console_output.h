// Console output: the runtime's lowest output layer. Everything the runtime prints reaches
// standard output here, as UTF-8 with LF line ends, whether stdout is a terminal, a file or a
// pipe. Escape sequences pass through unchanged, so a terminal interprets them itself.
//
// Text buffers hold 1-, 2- or 4-byte units (a 2-byte unit is a code point up to U+FFFF, never
// half of a surrogate pair); `write` encodes them to UTF-8 through one output buffer that is
// flushed whenever it fills and always before the call returns, so a text of any length goes
// out whole. 8-bit C strings are taken to be UTF-8 already and are written as they are.
//
// The C-string writer and the number printer built on the format scratch also notify the text
// printers of the print hooks; the unit writers do not. Both work before `init`, which only
// sets up the buffered unit writers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xol::console {

// Bytes of the output buffer (from the tracked heap) that unit text is encoded into.
constexpr size_t kOutputBufferSize = 1024;
// Bytes of the scratch in which the number formats build their text.
constexpr size_t kFormatScratchSize = 64;

// Allocates the output buffer, notes whether stdout is a terminal, and makes a closed pipe on
// stdout lose the output instead of killing the process.
void init();
// True when the last text written did not end its line (`prin` left it open).
bool line_is_open();

// Writes `size_in_bytes` bytes of text in units of `unit_size` (1, 2 or 4) as UTF-8, then a
// line end when `newline` is set.
void write(const void* text, size_t size_in_bytes, uint32_t unit_size, bool newline);
void write_ucs4(const void* text, size_t size_in_bytes);
void write_ucs4_line(const void* text, size_t size_in_bytes);
void write_utf16(const void* text, size_t size_in_bytes);
void write_utf16_line(const void* text, size_t size_in_bytes);
void write_latin1(const void* text, size_t size_in_bytes);
void write_latin1_line(const void* text, size_t size_in_bytes);

// Writes UTF-8 text unchanged and notifies the text printers with (text, size, 0).
void write_text(const char* utf8, size_t size);
// write_text over a zero-terminated text; answers the text.
const char* write_cstr(const char* utf8);

// The scratch that number formats write their ASCII text into, kFormatScratchSize bytes.
char* format_scratch();
// Writes the scratch's first `length` bytes and notifies the text printers with them.
void print_scratch(size_t length);

}  // namespace xol::console

namespace xol::rt {

// The date this build was compiled, as "D-Mon-YYYY/HH:MM:SS" (the day without a leading zero).
const char* build_date();

}  // namespace xol::rt
