// simple-io: the runtime's only file layer, behind the file! actions and `size?`.
//
// Every operation is synchronous and opens and closes its descriptor within the call: a read
// answers the whole content (or a part of it) as one value, a write sends one value. Paths
// are file! values, which on this system hold the POSIX path itself; the caller's value is
// never changed. Text is UTF-8 with LF line ends both ways: reading turns CR LF and a lone CR
// into LF, and text that is not valid UTF-8 raises access `invalid-utf8` rather than being
// cut short. The HTTP client decodes its bodies with the same two text readers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace xol::simple_io {

// read: a folder path lists the folder (sorted names, "/" after folders); otherwise the file's
// content from `seek` (an integer!, or null) for `part` bytes (an integer!, or null for all)
// as a binary!, a block of lines or a string!. Raises access `cannot-open` with the path.
void read(const Cell* path, const Cell* part, const Cell* seek, bool binary, bool lines,
          Cell* result);
// write: the value's bytes (see value_to_bytes), or with `lines` and a block each element
// followed by LF, or with `lines` alone the bytes followed by LF. `append` writes at the end,
// `seek` at that offset without emptying the file; else the file is replaced. A negative part
// writes nothing. Raises access `cannot-open` with the path when the file cannot be opened or
// written, script `invalid-arg` for a part or seek that is not an integer!.
void write(const Cell* path, const Cell* value, const Cell* part, const Cell* seek, bool append,
           bool lines);

// Text decoded from UTF-8: a leading byte order mark skipped, CR LF and lone CR made LF.
// `cut_allowed`: a sequence cut off by the end of the bytes (a read of a part) is dropped;
// otherwise it raises access `invalid-utf8` like any invalid sequence.
Cell string_from_bytes(const uint8_t* bytes, size_t count, bool cut_allowed);
// A block of strings, one per LF-ended line (a CR before the LF dropped, a final LF adding no
// empty line).
Cell split_lines(const uint8_t* bytes, size_t count);

// The modification date in UTC (a date! to the millisecond), or none.
Cell query(const Cell* path);
// rmdir for a folder path, else unlink.
bool delete_(const Cell* path);
// Never replaces an existing target.
bool rename(const Cell* from, const Cell* to);
// The file's size as an integer!, or none when it cannot be opened; math `overflow` when the
// size is beyond the integer range.
Cell size_q(const Cell* path);

}  // namespace xol::simple_io
