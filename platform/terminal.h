// Raw standard output: the bytes the console layer has already encoded go out through write(2)
// here, and this is where the runtime learns whether standard output is a terminal.
//
// Errors are swallowed on purpose: the lowest printer has nowhere to report that its own output
// failed, and text written to a closed pipe or a missing stdout is simply lost.
#pragma once

#include <cstddef>

namespace xol::platform {

constexpr int kStdoutFd = 1;

// Writes all `size` bytes, retrying partial writes and interruptions; stops silently on error.
void write_bytes(int fd, const void* bytes, size_t size);
bool is_terminal(int fd);
// Makes writes to a pipe whose reader has gone fail with EPIPE instead of killing the process.
void ignore_broken_pipe();

}  // namespace xol::platform
