// Child processes over posix_spawnp, pipe2, poll and waitpid.
//
// The reaper keeps the ids of the children that nobody waits for in a fixed table; its SIGCHLD
// handler tries each with waitpid(WNOHANG), which is async-signal-safe, and frees the slot of
// every child it reaped. A child that ended before its id reached the table is reaped by the
// try that follows the store. Children that are waited for are never in the table, so the
// handler cannot take their status away.
#include "platform/process.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/signals.h"

extern char** environ;

namespace xol::platform {
namespace {

constexpr int kFirstFreeFd = 3;
constexpr size_t kReadChunk = 65536;
constexpr mode_t kNewFileMode = 0666;   // less the umask
constexpr size_t kReaperSlots = 1024;

std::atomic<int> background[kReaperSlots];
std::atomic<bool> reaper_installed{false};

bool try_reap(std::atomic<int>& slot) {
  int pid = slot.load();
  if (pid <= 0) return false;
  int status;
  if (waitpid(pid, &status, WNOHANG) == 0) return false;
  // Reaped here, or already gone (ECHILD): either way the slot is free.
  slot.compare_exchange_strong(pid, 0);
  return true;
}

void on_child_ended(int) {
  const int saved = errno;
  for (std::atomic<int>& slot : background) try_reap(slot);
  errno = saved;
}

void install_reaper() {
  if (reaper_installed.exchange(true)) return;
  struct sigaction action = {};
  action.sa_handler = on_child_ended;
  action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  sigemptyset(&action.sa_mask);
  sigaction(SIGCHLD, &action, nullptr);
}

// A descriptor at 3 or above: the child's dup2 onto 0, 1 or 2 can then never clobber another
// stream's source, and always clears close-on-exec on its target.
int above_standard(int fd) {
  if (fd < 0 || fd >= kFirstFreeFd) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, kFirstFreeFd);
  close(fd);
  return moved;
}

void close_fd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// Descriptors of one start request: the child's ends, which are closed in the runtime once the
// child holds them, and the runtime's pipe ends.
struct Ends {
  int child[3] = {-1, -1, -1};
  int parent[3] = {-1, -1, -1};

  ~Ends() {
    for (int& fd : child) close_fd(&fd);
    for (int& fd : parent) close_fd(&fd);
  }
};

constexpr SpawnFailure kFileFailures[3] = {SPAWN_FILE_INPUT, SPAWN_FILE_OUTPUT, SPAWN_FILE_ERROR};

SpawnFailure open_stream(int which, const StreamSpec& spec, Ends* ends) {
  const bool input = which == STDIN_FILENO;
  const int write_flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
  switch (spec.kind) {
    case STREAM_INHERIT:
      return SPAWN_OK;
    case STREAM_NULL:
      ends->child[which] =
          above_standard(open("/dev/null", (input ? O_RDONLY : O_WRONLY) | O_CLOEXEC));
      return ends->child[which] < 0 ? SPAWN_SYSTEM : SPAWN_OK;
    case STREAM_FILE:
      ends->child[which] = above_standard(input ? open(spec.path, O_RDONLY | O_CLOEXEC)
                                                : open(spec.path, write_flags, kNewFileMode));
      return ends->child[which] < 0 ? kFileFailures[which] : SPAWN_OK;
    case STREAM_PIPE: {
      int fds[2];
      if (pipe2(fds, O_CLOEXEC) != 0) return SPAWN_SYSTEM;
      ends->child[which] = above_standard(input ? fds[0] : fds[1]);
      ends->parent[which] = input ? fds[1] : fds[0];
      return ends->child[which] < 0 ? SPAWN_SYSTEM : SPAWN_OK;
    }
  }
  return SPAWN_SYSTEM;
}

bool missing_program(int error) {
  return error == ENOENT || error == EACCES || error == ENOEXEC || error == ENOTDIR ||
         error == ELOOP || error == ENAMETOOLONG || error == EISDIR;
}

// One poll entry per open pipe: the input (write side) and the two captures.
struct PipeState {
  int* fd;
  std::string* sink;   // null for the input
};

}  // namespace

SpawnFailure spawn(const char* const* argv, const StreamSpec streams[3], Child* child) {
  Ends ends;
  for (int which = 0; which < 3; ++which) {
    SpawnFailure failure = open_stream(which, streams[which], &ends);
    if (failure != SPAWN_OK) return failure;
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  for (int which = 0; which < 3; ++which)
    if (ends.child[which] >= 0)
      posix_spawn_file_actions_adddup2(&actions, ends.child[which], which);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  sigaddset(&signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid;
  int error = posix_spawnp(&pid, argv[0], &actions, &attributes, const_cast<char* const*>(argv),
                           environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return missing_program(error) ? SPAWN_NOT_FOUND : SPAWN_SYSTEM;
  child->pid = pid;
  child->input = ends.parent[0];
  child->output = ends.parent[1];
  child->error = ends.parent[2];
  for (int& fd : ends.parent) fd = -1;
  return SPAWN_OK;
}

void exchange(Child* child, std::string_view input, std::string* output, std::string* error) {
  if (child->input >= 0) {
    fcntl(child->input, F_SETFL, fcntl(child->input, F_GETFL) | O_NONBLOCK);
    if (input.empty()) close_fd(&child->input);
  }
  PipeState pipes[] = {{&child->input, nullptr}, {&child->output, output}, {&child->error, error}};
  char chunk[kReadChunk];
  for (;;) {
    pollfd polled[3];
    PipeState* owners[3];
    nfds_t count = 0;
    for (PipeState& pipe : pipes) {
      if (*pipe.fd < 0) continue;
      polled[count] = {*pipe.fd, short(pipe.sink ? POLLIN : POLLOUT), 0};
      owners[count++] = &pipe;
    }
    if (count == 0) return;
    if (poll(polled, count, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (nfds_t i = 0; i < count; ++i) {
      if (polled[i].revents == 0) continue;
      PipeState& pipe = *owners[i];
      if (!pipe.sink) {
        ssize_t written = write(*pipe.fd, input.data(), input.size());
        if (written > 0) input.remove_prefix(size_t(written));
        else if (written < 0 && errno != EAGAIN && errno != EINTR) input = {};
        if (input.empty()) close_fd(pipe.fd);
        continue;
      }
      ssize_t got = read(*pipe.fd, chunk, sizeof chunk);
      if (got > 0) pipe.sink->append(chunk, size_t(got));
      else if (got == 0 || (errno != EAGAIN && errno != EINTR)) close_fd(pipe.fd);
    }
  }
  for (PipeState& pipe : pipes) close_fd(pipe.fd);
}

int wait_child(int pid) {
  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (WIFSIGNALED(status)) return kSignalledStatusBase + WTERMSIG(status);
  return WEXITSTATUS(status);
}

void reap_when_done(int pid) {
  install_reaper();
  for (std::atomic<int>& slot : background) try_reap(slot);
  for (std::atomic<int>& slot : background) {
    int empty = 0;
    if (slot.compare_exchange_strong(empty, pid)) {
      try_reap(slot);
      return;
    }
  }
}

}  // namespace xol::platform
