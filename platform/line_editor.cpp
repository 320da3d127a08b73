// libedit behind the terminal console. The history is rebuilt from the console's own block
// before every line, so the block stays the one record that `ask`, the settings file and the
// GUI console share. Keys come through our reader, which polls: the interrupt key then ends
// the wait whether the terminal sends it as a signal or as a character, and an Esc is the Esc
// key itself when no byte follows it soon (a key's escape sequence comes all at once). Hidden
// input does not go through libedit at all: it is read key by key here, so that it can never
// be completed, taken from the history or entered into it.
#include "platform/line_editor.h"

#include <histedit.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/terminal.h"

namespace xol::platform {
namespace {

constexpr int kStdinFd = 0;
constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 25;
constexpr int kPollMilliseconds = 100;
constexpr int kHistorySize = 200;
// Keys as the terminal sends them.
constexpr int kInterruptKey = 3;   // Ctrl+C, when the terminal's mode passes it as a character
constexpr int kEndKey = 4;         // Ctrl+D
constexpr int kBackspaceKey = 8;
constexpr int kEraseLineKey = 21;  // Ctrl+U
constexpr int kEscapeKey = 27;
constexpr int kDeleteKey = 127;    // what most terminals send for Backspace
constexpr int kFirstPrintable = 32;
// The bytes of a key's escape sequence follow its Esc within this time; an Esc with nothing
// after it is the Esc key itself.
constexpr int kLoneEscapeMilliseconds = 50;
// The final byte of a control sequence ("ESC [ ... final") lies in this range.
constexpr int kFirstFinalByte = 0x40;
constexpr int kLastFinalByte = 0x7E;

// The terminal's mode at the start, put back however the process ends.
termios terminal_at_start;
volatile sig_atomic_t kept_terminal_mode = 0;

void restore_terminal() {
  if (kept_terminal_mode) tcsetattr(kStdinFd, TCSANOW, &terminal_at_start);
}

void (*interrupt_hook)() = nullptr;
void (*resize_hook)() = nullptr;
volatile sig_atomic_t interrupted = 0;
// The Esc key ended the line read last.
bool escaped = false;

void on_interrupt(int) {
  interrupted = 1;
  if (interrupt_hook) interrupt_hook();
}

void on_resize(int) {
  if (resize_hook) resize_hook();
}

// `restart`: the calls that the signal cuts short start again, as if it had not come.
void install(int signal, void (*handler)(int), bool restart) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = restart ? SA_RESTART : 0;
  sigaction(signal, &action, nullptr);
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

// One byte of standard input, waiting in short polls so that an interrupt ends the wait however
// the terminal's mode delivers it (a signal or the key's character); -1 then, or at the end.
int read_byte() {
  for (;;) {
    if (interrupted) return -1;
    pollfd wait{kStdinFd, POLLIN, 0};
    if (poll(&wait, 1, kPollMilliseconds) <= 0) continue;
    unsigned char byte;
    const ssize_t got = read(kStdinFd, &byte, 1);
    if (got == 1 && byte == kInterruptKey) interrupted = 1;
    else if (got == 1) return byte;
    else if (got == 0 || errno != EINTR) return -1;
  }
}

// True when a byte of standard input arrives within `milliseconds`: an Esc followed so soon
// began a key's escape sequence.
bool byte_follows(int milliseconds) {
  pollfd wait{kStdinFd, POLLIN, 0};
  int ready;
  while ((ready = poll(&wait, 1, milliseconds)) < 0 && errno == EINTR && !interrupted) {
  }
  return ready > 0;
}

// Reads the rest of a key's escape sequence after its Esc, unused: "ESC [ ... final", "ESC O x"
// or Alt with a key.
void skip_sequence() {
  const int first = read_byte();
  if (first != '[' && first != 'O') return;
  for (int byte = read_byte(); byte >= 0; byte = read_byte())
    if (first == 'O' || (byte >= kFirstFinalByte && byte <= kLastFinalByte)) return;
}

// The terminal without line mode and echo, as the line editor uses it: keys typed as soon as
// the prompt shows then reach us as they are, instead of being held (or taken as the end of
// input) by the terminal's line discipline while it changes modes.
void enter_key_mode() {
  termios mode;
  if (tcgetattr(kStdinFd, &mode) != 0) return;
  mode.c_lflag &= ~tcflag_t(ICANON | ECHO);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  tcsetattr(kStdinFd, TCSANOW, &mode);
}

// Removes the last character (code point) of `line`; false when it is empty.
bool erase_last(std::string* line) {
  if (line->empty()) return false;
  while (!line->empty() && (static_cast<unsigned char>(line->back()) & 0xC0) == 0x80)
    line->pop_back();
  if (!line->empty()) line->pop_back();
  return true;
}

// Hidden input, read key by key with the echo off: a "*" shows for each character. Enter or Esc
// ends the line, Backspace and Ctrl+U edit it, Ctrl+D on an empty line is the end of input;
// Tab, the arrow keys and the other editing keys do nothing, so the line is never completed
// nor taken from the history.
LineRead read_hidden(const std::string& prompt, std::string* line) {
  termios saved;
  const bool terminal = tcgetattr(kStdinFd, &saved) == 0;
  if (terminal) enter_key_mode();   // before the prompt: keys typed at once stay hidden
  write_all(prompt);
  interrupted = 0;
  line->clear();
  LineRead read = LineRead::kLine;
  for (;;) {
    const int byte = read_byte();
    if (byte < 0) {
      read = interrupted ? LineRead::kInterrupted : line->empty() ? LineRead::kEnd : LineRead::kLine;
      break;
    }
    if (byte == '\r' || byte == '\n') break;
    if (byte == kEscapeKey) {
      if (byte_follows(kLoneEscapeMilliseconds)) {
        skip_sequence();
        continue;
      }
      line->push_back(char(kEscapeKey));
      break;
    }
    if (byte == kEndKey && line->empty()) {
      read = LineRead::kEnd;
      break;
    }
    if (byte == kBackspaceKey || byte == kDeleteKey) {
      if (erase_last(line)) write_all("\b \b");
    } else if (byte == kEraseLineKey) {
      while (erase_last(line)) write_all("\b \b");
    } else if (byte >= kFirstPrintable) {
      line->push_back(char(byte));
      if ((byte & 0xC0) != 0x80) write_all("*");
    }
  }
  if (terminal) tcsetattr(kStdinFd, TCSANOW, &saved);
  write_all("\n");
  return read;
}

// libedit's reader of one character, decoded from UTF-8. An interrupt ends the line as Enter
// does, and the caller drops it; so does a lone Esc, and the caller keeps the line with an ESC
// at its end.
int read_key(EditLine*, wchar_t* key) {
  int byte = read_byte();
  if (byte == kEscapeKey && !byte_follows(kLoneEscapeMilliseconds)) {
    escaped = true;   // a lone Esc ends the line, as Enter does
    *key = L'\n';
    return 1;
  }
  if (byte < 0) {
    if (!interrupted) return 0;
    *key = L'\n';
    return 1;
  }
  const int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
  uint32_t code = extra ? uint32_t(byte) & (0x3Fu >> extra) : uint32_t(byte);
  for (int i = 0; i < extra; ++i) {
    byte = read_byte();
    if (byte < 0) return interrupted ? (*key = L'\n', 1) : 0;
    code = (code << 6) | (uint32_t(byte) & 0x3Fu);
  }
  *key = wchar_t(code);
  return 1;
}

Completer completer = nullptr;

size_t code_points(const std::string& text) {
  size_t count = 0;
  for (unsigned char byte : text) count += (byte & 0xC0) != 0x80;
  return count;
}

// The Tab key: the line is replaced by its completion, or the candidates are listed under it.
unsigned char complete_key(EditLine* line, int) {
  if (!completer) return CC_ERROR;
  const LineInfo* info = el_line(line);
  const std::string text(info->buffer, info->lastchar);
  if (text.empty()) return CC_NORM;   // nothing to complete: no list, no bell
  Completion done;
  completer(text, size_t(info->cursor - info->buffer), &done);
  if (done.changed) {
    el_cursor(line, int(info->lastchar - info->cursor));
    el_deletestr(line, int(code_points(text)));
    el_insertstr(line, done.line.c_str());
    el_cursor(line, -int(code_points(done.line.substr(std::min(done.caret, done.line.size())))));
  }
  if (done.candidates.size() > 1) {
    std::string listing = "\n";
    for (const std::string& candidate : done.candidates) listing += candidate + "  ";
    listing += "\n";
    write_all(listing);
    return CC_REDISPLAY;
  }
  return done.changed ? CC_REFRESH : CC_REFRESH_BEEP;
}

std::string shown_prompt;
char* prompt_of(EditLine*) { return shown_prompt.data(); }

struct Editor {
  EditLine* line = nullptr;
  History* history = nullptr;
};

Editor& editor() {
  static Editor made = [] {
    Editor e;
    e.history = history_init();
    HistEvent event;
    history(e.history, &event, H_SETSIZE, kHistorySize);
    e.line = el_init("xol", stdin, stdout, stderr);
    el_set(e.line, EL_EDITOR, "emacs");
    el_set(e.line, EL_PROMPT, prompt_of);
    el_set(e.line, EL_HIST, history, e.history);
    el_set(e.line, EL_GETCFN, read_key);
    el_set(e.line, EL_BIND, "^R", "em-inc-search-prev", nullptr);
    el_set(e.line, EL_ADDFN, "xol-complete", "Complete the word, path or file name", complete_key);
    el_set(e.line, EL_BIND, "^I", "xol-complete", nullptr);
    el_set(e.line, EL_BIND, "^W", "ed-delete-prev-word", nullptr);
    el_source(e.line, nullptr);
    return e;
  }();
  return made;
}

}  // namespace

LineRead read_line(const std::string& prompt, bool hide, const std::vector<std::string>& entries,
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
  Editor& e = editor();
  HistEvent event;
  ::history(e.history, &event, H_CLEAR);
  for (size_t i = entries.size(); i-- > 0;)
    ::history(e.history, &event, H_ENTER, entries[i].c_str());
  shown_prompt = prompt;
  interrupted = 0;
  escaped = false;
  el_resize(e.line);
  enter_key_mode();
  int count = 0;
  const char* got = el_gets(e.line, &count);
  if (interrupted) return LineRead::kInterrupted;
  if (!got || count == 0) {
    write_all("\n");
    return LineRead::kEnd;
  }
  line->assign(got, size_t(count));
  if (!line->empty() && line->back() == '\n') line->pop_back();
  if (escaped) line->push_back(char(kEscapeKey));
  return LineRead::kLine;
}

void set_completer(Completer given) { completer = given; }

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
  install(SIGINT, on_interrupt, false);   // a read waiting at the prompt returns
}

void watch_resize(void (*hook)()) {
  resize_hook = hook;
  // A resize must not make a read, a wait for a process or a network call fail.
  install(SIGWINCH, on_resize, true);
}

void restore_terminal_at_exit() {
  if (tcgetattr(kStdinFd, &terminal_at_start) != 0) return;
  kept_terminal_mode = true;
  std::atexit(restore_terminal);
}

void exit_interrupted() {
  restore_terminal();
  _exit(interrupt_status());
}

}  // namespace xol::platform
