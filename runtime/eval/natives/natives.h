// The natives built so far, by family; natives_table.cpp places each at its index.
//
// Every native follows one contract: its arguments stand in the current frame from the base
// cell on, `refinements` holds one entry per refinement of its spec (the stack index of the
// refinement's first argument, or -1 when not used; tested only as >= 0 or < 0), and it leaves
// its result in the base cell. Errors are raised; break, continue, return and exit are left
// pending for the frame that owns them (see stack.h).
#pragma once

#include <cstdint>

namespace xol::natives {

// control.cpp
void if_(bool check, const int32_t* refinements);
void unless(bool check, const int32_t* refinements);
void either(bool check, const int32_t* refinements);
void any(bool check, const int32_t* refinements);
void all(bool check, const int32_t* refinements);
void while_(bool check, const int32_t* refinements);
void until(bool check, const int32_t* refinements);
void loop(bool check, const int32_t* refinements);
void do_(bool check, const int32_t* refinements);
void reduce(bool check, const int32_t* refinements);

// function.cpp
void func(bool check, const int32_t* refinements);
void does(bool check, const int32_t* refinements);

// exceptions.cpp
void try_(bool check, const int32_t* refinements);
void catch_(bool check, const int32_t* refinements);
void throw_(bool check, const int32_t* refinements);
void break_(bool check, const int32_t* refinements);
void continue_(bool check, const int32_t* refinements);
void exit(bool check, const int32_t* refinements);
void return_(bool check, const int32_t* refinements);

// compare.cpp
void equal_q(bool check, const int32_t* refinements);
void not_equal_q(bool check, const int32_t* refinements);
void strict_equal_q(bool check, const int32_t* refinements);
void lesser_q(bool check, const int32_t* refinements);
void greater_q(bool check, const int32_t* refinements);
void lesser_or_equal_q(bool check, const int32_t* refinements);
void greater_or_equal_q(bool check, const int32_t* refinements);
void not_(bool check, const int32_t* refinements);

}  // namespace xol::natives
