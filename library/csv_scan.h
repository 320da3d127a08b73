// The CSV decoder's record reader: one pass over the text that builds the rows of `load-csv`.
#pragma once

#include "runtime/cell.h"

namespace xol::library::csv_scan {

// Reads the records of the CSV text from its head, fields separated by `delimiter` (a char! or
// a non-empty string!) and quoted by `quote`; with `trim`, blanks around quoted fields and
// white space around every field go. Answers:
//   - a block of rows, each a block of fields (with `flat`, the fields of all rows in one
//     block); with `header`, the fields of the first line come first, as a block;
//   - none when `header` is asked and there is no line after the first one;
//   - an integer!, the line (from 1) of a record that is not well formed;
//   - false when a record has not as many fields as the first one.
// Trailing empty lines are no records.
Cell* read_csv_records(Cell* text, Cell* delimiter, Cell* quote, bool trim, bool flat,
                       bool header);

}  // namespace xol::library::csv_scan
