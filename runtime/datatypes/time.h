// time!: a duration or time of day, held as a double number of seconds (negative for a negative
// time). A child of float!: its compare, absolute, negate and remainder are float!'s, and its
// arithmetic runs through the float core, which makes any operation with a time! operand a
// time!.
//
// A time reads as sign, hours, minutes and seconds: -1:30:00 has the hour -1, the minute 30
// and the second -0.0. The fields are taken from the magnitude and given the value's sign where
// they carry one (hour and second), and a field written is put back through the same
// decomposition, so writing back a field just read leaves any time, negative ones too,
// unchanged.
//
// Printed form: "-" for a negative time (unless it prints as zero), then hours, two-digit minutes and seconds with at
// most six significant digits; seconds that round up to 60 carry into the minutes, so every
// printed time reads back.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"

namespace xol::time {

constexpr double kSecondsPerHour = 3600.0;
constexpr double kSecondsPerMinute = 60.0;
// Seconds below this print as "00", and parity moves the seconds this far from zero first, so
// the noise of a computed time never shows.
constexpr double kSecondsThreshold = 1e-06;

inline double get(const Cell* value) { return value->float_value(); }
inline Cell make(double seconds) { return floating::make(seconds, TYPE_TIME); }
inline Cell make(int32_t hours, int32_t minutes, double seconds) {
  return make(hours * kSecondsPerHour + minutes * kSecondsPerMinute + seconds);
}

// The field numbers of path access and `pick`.
enum Field : int32_t { FIELD_HOUR = 1, FIELD_MINUTE, FIELD_SECOND };
constexpr int32_t kFieldCount = 3;

// The field's value: hour and minute as integer!, second as float! with the value's sign.
Cell get_field(double seconds, Field field);
// The seconds with one field replaced; hour and minute take an integer!, second an integer! or
// float!, anything else raises script `invalid-arg`.
double set_field(double seconds, Field field, const Cell* value);

// The seconds as the printed form shows them: when the seconds of the minute round up to 60
// at six significant digits, the next whole minute (with the value's sign); else unchanged.
double printed_seconds(double seconds);
// The printed form in a static buffer, valid until the next call.
const char* text_of(double seconds);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);
bool even(const Cell* value);
bool odd(const Cell* value);

// Registers time! (id 43), after float!.
void init();

}  // namespace xol::time
