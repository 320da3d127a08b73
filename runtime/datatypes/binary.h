// binary!: a series of bytes, child of string!.
//
// It is what files, HTTP bodies, checksums and the serialiser produce and consume. The cell is
// a text cell (head index, buffer node) whose buffer always has unit 1, so the head counts
// bytes; it inherits the series navigation, find, sort and the rest from string!, and has its
// own conversions, printed form (hexadecimal, 32 bytes to a line once it is long), byte
// comparison, inserting actions and bitwise operations.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"

namespace xol::binary {

// The cell becomes an empty binary! with room for `capacity` bytes.
Cell* make_at(Cell* cell, uint32_t capacity);
// A new binary! holding a copy of the bytes.
Cell load(std::string_view bytes);
// Bytes from the head to the tail.
uint32_t length(const Cell* binary);
// The bytes from the head; valid until the next allocation.
std::string_view bytes(const Cell* binary);
// Appends n bytes at the tail.
void append_bytes(const Cell* binary, const uint8_t* bytes, uint32_t n);

// ---- actions ----
void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
void insert(Cell* series, Cell* value, const InsertOptions& options, bool at_tail, Cell* result);
void change(Cell* series, Cell* value, const InsertOptions& options, Cell* result);
void trim(Cell* series, const TrimOptions& options, Cell* result);
void complement(Cell* value, Cell* result);

// Registers binary! (id 41, parent string!).
void init();

}  // namespace xol::binary
