// The text types that differ from string! mainly in how they are written back as source:
// file! (child of url!), tag!, email! and ref! (children of string!).
//
// file! holds a path in the language's own form, which on this system is the native POSIX
// form: "/" separates the parts, and there are no drive letters, so the conversions to and
// from native paths change only the encoding. tag! holds the text between "<" and ">", email!
// an address user "@" host, ref! the text after "@".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol::file {

// Appends the native form of the path to the target string: the path itself, after the
// current directory and a "/" when `full` is set and the path is relative.
void to_local_path_into(const Cell* path, Cell* target, bool full);
// The native form for OS calls, as UTF-8 (text that came from the OS as stray bytes goes back
// as those bytes).
std::string to_os_path(const Cell* path);
// The current directory as a new string!, ending in "/".
Cell current_dir();

// Registers file! (id 8, parent url!).
void init();

}  // namespace xol::file

namespace xol::text_construct {
// The UTF-8 bytes of a text from its head.
std::string utf8_of(const Cell* text);
// Whether `plain`, the literal form mold would write for `value` (a text type), reads back
// through the lexer as one value of the same type with the same text, letter case included.
bool reads_back(const Cell* value, std::string_view plain);
// Writes `value` as the construction #(type! "text") (at most `part` characters of the text
// with `argument`); answers `part` less the characters written.
int32_t mold(const Cell* value, Cell* buffer, bool all, const Cell* argument, int32_t part);
}  // namespace xol::text_construct

namespace xol::tag {
// form: "<", the text, ">". mold: the same when that reads back as the tag, else the
// construction #(tag! "text").
int32_t form(const Cell* value, Cell* buffer, const Cell* argument, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
             const Cell* argument, int32_t part, int32_t indent);
// Registers tag! (id 44, parent string!).
void init();
}  // namespace xol::tag

namespace xol::email {
// Registers email! (id 45, parent string!).
void init();
}  // namespace xol::email

namespace xol::ref {
// Registers ref! (id 50, parent string!).
void init();
}  // namespace xol::ref
