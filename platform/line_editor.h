// The terminal console's input: one line at a time, edited through libedit when standard
// input is a terminal, read plainly otherwise. A piped line is echoed after its prompt, so the
// transcript of a piped session is what a screen would show.
#pragma once

#include <string>
#include <vector>

namespace xol::platform {

enum class LineRead { kLine, kEnd, kInterrupted };

// Shows `prompt` and reads one line into `line` (without its line end). `hide` reads with the
// echo off, showing "*" for each character, and keeps the line out of the editing history and
// completion. `history` is the history to browse, newest first. A lone Esc ends the line as
// Enter does, with an ESC character added at its end. kInterrupted: the interrupt key was
// pressed at the prompt (the line is dropped).
LineRead read_line(const std::string& prompt, bool hide, const std::vector<std::string>& history,
                   std::string* line);
// What the Tab key makes of a line: the new line and caret (in bytes), or the candidates to
// list when there is more than one.
struct Completion {
  bool changed = false;
  std::string line;
  size_t caret = 0;
  std::vector<std::string> candidates;
};
// Completes `line` at the byte offset `caret`.
using Completer = void (*)(const std::string& line, size_t caret, Completion* out);
void set_completer(Completer completer);

// The terminal's size in characters (columns, rows); 80x25 when stdout is not a terminal.
void terminal_size(int* columns, int* rows);
// Makes the interrupt key call `on_interrupt` instead of ending the process: for an
// interactive console, where it halts the evaluation running.
void catch_interrupt(void (*on_interrupt)());
// Calls `on_resize` (in a signal handler) when the terminal's size changes.
void watch_resize(void (*on_resize)());
// Puts standard input's terminal back in the mode it has now when the process ends, however
// it ends.
void restore_terminal_at_exit();
// Ends the process at once, as the interrupt key ends a command (status 128 + SIGINT), with the
// terminal in its mode of the start; safe in a signal handler.
[[noreturn]] void exit_interrupted();

}  // namespace xol::platform
