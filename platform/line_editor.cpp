#include "platform/line_editor.h"

#include <editline/readline.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace xol::platform {
namespace {

constexpr int kStdinFd = 0;
constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 25;

void (*interrupt_hook)() = nullptr;
volatile sig_atomic_t interrupted = 0;

void on_interrupt(int) {
  interrupted = 1;
  if (interrupt_hook) interrupt_hook();
}

void write_all(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (wrote <= 0) return;
    done += size_t(wrote);
  }
}

// A line of standard input without its line end (LF or CR LF); false at the end of input.
bool read_plain(std::string* line) {
  line->clear();
  char byte;
  ssize_t got;
  while ((got = read(kStdinFd, &byte, 1)) == 1) {
    if (byte == '\n') {
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return true;
    }
    line->push_back(byte);
  }
  return got == 0 ? !line->empty() : (errno == EINTR && interrupted ? false : !line->empty());
}

LineRead read_hidden(const std::string& prompt, std::string* line) {
  write_all(prompt);
  termios saved;
  const bool terminal = tcgetattr(kStdinFd, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(kStdinFd, TCSAFLUSH, &quiet);
  }
  interrupted = 0;
  const bool read = read_plain(line);
  if (terminal) tcsetattr(kStdinFd, TCSAFLUSH, &saved);
  write_all("\n");
  if (interrupted) return LineRead::kInterrupted;
  return read ? LineRead::kLine : LineRead::kEnd;
}

}  // namespace

LineRead read_line(const std::string& prompt, bool hide, const std::vector<std::string>& history,
                   std::string* line) {
  if (!isatty(kStdinFd)) {
    write_all(prompt);
    if (!read_plain(line)) {
      write_all("\n");
      return LineRead::kEnd;
    }
    write_all(hide ? "\n" : *line + "\n");
    return LineRead::kLine;
  }
  if (hide) return read_hidden(prompt, line);
  clear_history();
  for (size_t i = history.size(); i-- > 0;) add_history(history[i].c_str());
  interrupted = 0;
  char* got = readline(prompt.c_str());
  if (!got) {
    write_all("\n");
    return interrupted ? LineRead::kInterrupted : LineRead::kEnd;
  }
  line->assign(got);
  free(got);
  return LineRead::kLine;
}

void terminal_size(int* columns, int* rows) {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    *columns = size.ws_col;
    *rows = size.ws_row > 0 ? size.ws_row : kDefaultRows;
    return;
  }
  *columns = kDefaultColumns;
  *rows = kDefaultRows;
}

void catch_interrupt(void (*hook)()) {
  interrupt_hook = hook;
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a read waiting at the prompt returns
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace xol::platform
