// Raw standard output: the bytes the console layer has already encoded go out through write(2)
// here, and this is where the runtime learns whether standard output is a terminal.
//
// A failed write is answered with its errno; the runtime decides what it means for the process.
#pragma once

#include <cstddef>

namespace xol::platform {

constexpr int kStdoutFd = 1;

// Writes all `size` bytes, retrying partial writes and interruptions; answers 0, or the errno
// of the write that failed (the rest is not written).
int write_bytes(int fd, const void* bytes, size_t size);
// True for the error of a write to a pipe whose reader has gone.
bool is_broken_pipe(int error);
// The exit status of a process that a broken pipe ended: 128 + SIGPIPE.
int broken_pipe_status();
// The exit status of a process that the interrupt key ended: 128 + SIGINT.
int interrupt_status();
// The system's text for an errno.
const char* error_text(int error);
bool is_terminal(int fd);
// Makes writes to a pipe whose reader has gone fail with EPIPE instead of killing the process.
void ignore_broken_pipe();

}  // namespace xol::platform
