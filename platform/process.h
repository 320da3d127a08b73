// Child processes: start a program with its standard streams redirected, feed and drain its
// pipes together, and collect its exit status.
//
// Programs start through posix_spawnp, so a program that cannot be found or run is reported by
// the start itself, never by a child that fails later. The child gets the default disposition
// of SIGPIPE (the runtime ignores it, and an ignored signal would survive exec) and an empty
// signal mask; every descriptor the runtime opens carries O_CLOEXEC, so the child inherits only
// the three it is given. Children that nobody waits for are reaped by a SIGCHLD handler as
// soon as they end, so none lingers as a zombie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace xol::platform {

// Where one standard stream of a child goes.
enum StreamKind : uint8_t {
  STREAM_INHERIT,   // the runtime's own stream
  STREAM_NULL,      // /dev/null
  STREAM_PIPE,      // a pipe to the runtime: input fed from memory, output captured
  STREAM_FILE,      // a file: read from for input, appended to (created when missing) for output
};

struct StreamSpec {
  StreamKind kind = STREAM_INHERIT;
  const char* path = nullptr;   // STREAM_FILE
};

// What a start request failed on.
enum SpawnFailure : uint8_t {
  SPAWN_OK,
  SPAWN_NOT_FOUND,      // the program does not exist or cannot be executed
  SPAWN_FILE_INPUT,     // the input file cannot be opened
  SPAWN_FILE_OUTPUT,    // the output file cannot be opened
  SPAWN_FILE_ERROR,     // the error file cannot be opened
  SPAWN_SYSTEM,         // a pipe or the start itself failed for want of resources
};

struct Child {
  int pid = -1;
  int input = -1;    // the runtime's ends of the pipes, or -1
  int output = -1;
  int error = -1;
};

// Starts `argv[0]` (searched on PATH unless it holds a "/") with the arguments `argv` (ended by
// a null pointer) and the three streams.
SpawnFailure spawn(const char* const* argv, const StreamSpec streams[3], Child* child);

// Writes all of `input` to the child's input pipe while reading its output and error pipes
// into `output` and `error`, all at once so that no pipe can fill up and stall the child;
// closes every pipe of the child. A child that stops reading its input early loses the rest.
void exchange(Child* child, std::string_view input, std::string* output, std::string* error);

// Waits for the child's end: its exit status, or 128 + N when signal N ended it.
int wait_child(int pid);
// Hands a child nobody will wait for to the reaper.
void reap_when_done(int pid);

}  // namespace xol::platform
