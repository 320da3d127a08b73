// Child processes: the descriptors a child inherits, the start errors, and the reaping of
// children nobody waits for.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "platform/process.h"

namespace xol::platform {
namespace {

// The descriptors of this process that a child started now would inherit.
std::set<int> inheritable_descriptors() {
  std::set<int> fds;
  DIR* dir = opendir("/proc/self/fd");
  const int listing = dirfd(dir);
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const int fd = std::stoi(entry->d_name);
    if (fd != listing && !(fcntl(fd, F_GETFD) & FD_CLOEXEC)) fds.insert(fd);
  }
  closedir(dir);
  return fds;
}

// Runs the command with the given input, capturing both outputs; answers the exit status.
int run(std::initializer_list<const char*> command, std::string_view input, std::string* output,
        std::string* error) {
  std::vector<const char*> argv(command);
  argv.push_back(nullptr);
  const StreamSpec pipes[3] = {{STREAM_PIPE}, {STREAM_PIPE}, {STREAM_PIPE}};
  Child child;
  EXPECT_EQ(spawn(argv.data(), pipes, &child), SPAWN_OK);
  exchange(&child, input, output, error);
  return wait_child(child.pid);
}

// The runtime's ends of the pipes carry close-on-exec, so the child holds its three streams
// and what this process itself inherited, nothing else.
TEST(Spawn, TheChildInheritsOnlyItsStreams) {
  std::set<int> expected = inheritable_descriptors();
  expected.insert({0, 1, 2});
  std::string output, error;
  // The shell lists its descriptors that are still open once the listing is made (the glob's
  // own directory descriptor is closed by then).
  ASSERT_EQ(run({"/bin/sh", "-c",
                 "for f in /proc/$$/fd/*; do readlink $f >/dev/null && echo ${f##*/}; done; true"},
                "", &output, &error),
            0)
      << error;
  std::set<int> seen;
  std::istringstream words(output);
  for (int fd; words >> fd;) seen.insert(fd);
  EXPECT_EQ(seen, expected) << output;
}

TEST(Spawn, StartErrorsSayWhatFailed) {
  const StreamSpec plain[3] = {};
  Child child;
  const char* missing[] = {"no-such-program-for-spawn", nullptr};
  EXPECT_EQ(spawn(missing, plain, &child), SPAWN_NOT_FOUND);
  const char* folder[] = {"/tmp", nullptr};
  EXPECT_EQ(spawn(folder, plain, &child), SPAWN_NOT_FOUND);
  const char* cat[] = {"cat", nullptr};
  const StreamSpec bad_input[3] = {{STREAM_FILE, "/no/such/input"}, {}, {}};
  EXPECT_EQ(spawn(cat, bad_input, &child), SPAWN_FILE_INPUT);
  const StreamSpec bad_error[3] = {{}, {STREAM_NULL}, {STREAM_FILE, "/no/such/dir/err"}};
  EXPECT_EQ(spawn(cat, bad_error, &child), SPAWN_FILE_ERROR);
}

TEST(Spawn, ExitStatusOrSignalNumberPlus128) {
  std::string output, error;
  EXPECT_EQ(run({"/bin/sh", "-c", "exit 42"}, "", &output, &error), 42);
  EXPECT_EQ(run({"/bin/sh", "-c", "kill -15 $$"}, "", &output, &error), 128 + SIGTERM);
}

// The runtime ignores SIGPIPE, and an ignored signal survives exec; the child gets the default
// back, so a writer into a pipe nobody reads ends by the signal, as from a shell.
TEST(Spawn, TheChildGetsTheDefaultSigpipe) {
  struct sigaction old_action;
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old_action);
  const char* argv[] = {"yes", nullptr};
  const StreamSpec output_pipe[3] = {{STREAM_NULL}, {STREAM_PIPE}, {STREAM_NULL}};
  Child child;
  ASSERT_EQ(spawn(argv, output_pipe, &child), SPAWN_OK);
  close(child.output);
  EXPECT_EQ(wait_child(child.pid), 128 + SIGPIPE);
  sigaction(SIGPIPE, &old_action, nullptr);
}

TEST(Spawn, ABackgroundChildIsReapedWhenItEnds) {
  const char* argv[] = {"true", nullptr};
  const StreamSpec plain[3] = {};
  Child child;
  ASSERT_EQ(spawn(argv, plain, &child), SPAWN_OK);
  reap_when_done(child.pid);
  // A zombie still answers kill(pid, 0); a reaped child is gone.
  bool gone = false;
  for (int tries = 0; tries < 200 && !gone; ++tries) {
    gone = kill(child.pid, 0) != 0 && errno == ESRCH;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace xol::platform
