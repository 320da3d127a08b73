#!/usr/bin/env python3
"""The console in a real terminal: keys typed through a pseudo-terminal, the screen's text read
back. Each case types its keys, waits for the text it expects, and fails on a timeout; the
terminal must be back in line mode with its echo on when the console has ended.
Usage: tests/console/terminal.py BINARY [CASE...]; prints "N passed, N failed"."""
import fcntl
import os
import pty
import re
import select
import struct
import sys
import tempfile
import termios
import time

# Only bounds a failing case: a loaded two-core machine can be slow to start the console.
TIMEOUT = 30.0
SIZE = (80, 25)


def set_size(fd, columns, rows):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))


class Session:
    def __init__(self, binary, folder, args=()):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(folder)
            set_size(0, *SIZE)
            env = dict(os.environ, XDG_CACHE_HOME=os.path.join(folder, ".cache"), TERM="xterm")
            os.execve(binary, [binary, *args], env)
        self.seen = ""

    def expect(self, text):
        """Reads until `text` (a regular expression) shows; answers the output up to there."""
        end = time.time() + TIMEOUT
        while time.time() < end:
            found = re.search(text, self.seen)
            if found:
                before, self.seen = self.seen[: found.end()], self.seen[found.end():]
                return before
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if ready:
                try:
                    data = os.read(self.fd, 4096)
                except OSError:
                    break
                if not data:
                    break
                self.seen += data.decode(errors="replace")
        raise AssertionError("never saw %r; the screen ends with %r" % (text, self.seen[-300:]))

    def type(self, keys):
        os.write(self.fd, keys.encode())

    def resize(self, columns, rows):
        set_size(self.fd, columns, rows)

    def line_mode(self):
        """True when the terminal reads lines and echoes them, as a shell leaves it."""
        lflag = termios.tcgetattr(self.fd)[3]
        return bool(lflag & termios.ICANON) and bool(lflag & termios.ECHO)

    def finish(self, expected=0):
        """Waits for the end, with the expected exit status and the terminal in line mode."""
        status = self.status()
        assert status == expected, "exit status %d, expected %d" % (status, expected)
        assert self.line_mode(), "the terminal was left without line mode or echo"

    def status(self):
        end = time.time() + TIMEOUT
        while time.time() < end:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return os.waitstatus_to_exitcode(status)
            time.sleep(0.05)
        os.kill(self.pid, 9)
        os.waitpid(self.pid, 0)
        raise AssertionError("the console did not end")


UP = "\x1b[A"
LEFT = "\x1b[D"
HOME = "\x1bOH"
END = "\x1bOF"
ESC = "\x1b"
CTRL_C = "\x03"
CTRL_D = "\x04"
CTRL_U = "\x15"
BACKSPACE = "\x7f"
PROMPT = r">> $"


def at_prompt(case):
    """A case typed at the prompt of `xol` alone, ended by Ctrl+D (the end of input quits)."""
    def session(start):
        s = start()
        s.expect(PROMPT)
        case(s)
        s.type(CTRL_D)
        s.finish(0)
    session.__name__ = case.__name__
    return session


@at_prompt
def history_and_editing(s):
    s.type("1 + 2\r")
    s.expect(r"== 3\r\n>> ")
    s.type("10 * 3\r")
    s.expect(r"== 30\r\n>> ")
    # Two entries back, then the caret moved left into the line: "1 + 2" becomes "1 + 52".
    s.type(UP + UP + LEFT + "5\r")
    s.expect(r"== 53\r\n>> ")
    # Ctrl+A, Ctrl+K empty a line; the empty line evaluates nothing.
    s.type("junk\x01\x0b\r")
    s.expect(r"\r\n>> ")
    s.type("7\r")
    s.expect(r"== 7\r\n>> ")


@at_prompt
def interrupt_halts_a_loop(s):
    s.type("x: 0 forever [x: x + 1]\r")
    time.sleep(0.3)
    s.type("\x03")
    s.expect(r"\(halted\)\r\n>> ")
    s.type("x > 0\r")
    s.expect(r"== true\r\n>> ")


@at_prompt
def interrupt_drops_the_line(s):
    s.type("print 12345")
    s.expect("12345")
    s.type("\x03")
    s.expect(PROMPT)
    s.type("1\r")
    out = s.expect(r"== 1\r\n>> ")
    assert "12345\r\n" not in out, out


@at_prompt
def multi_line_cue(s):
    s.type("[\r")
    s.expect(r"\[    ")
    s.type("1 2\r")
    s.expect(r"\[    ")
    s.type("]\r")
    s.expect(r"== \[\r\n    1 2\r\n\]\r\n>> ")


@at_prompt
def tab_completes(s):
    # A word: one candidate completes in place.
    s.type("zzqa1: 1 zzqa2: 2 zzqb9: 9\r")
    s.expect(r"== 9\r\n>> ")
    s.type("zzqb\t + 1\r")
    s.expect(r"== 10\r\n>> ")
    # Several candidates: listed under the line, which keeps their common prefix.
    s.type("zzqa\t")
    s.expect(r"zzqa1  zzqa2")
    s.type("2\r")
    s.expect(r"== 2\r\n>> ")
    # A path into a function's refinements, with the caret moved back into the line.
    s.type("x: append/on [] [1]" + LEFT * 7 + "\t\r")
    s.expect(r"== \[\[1\]\]\r\n>> ")
    # A file name inside a folder.
    s.type('write %sub-zz/only-one.txt "" \r')
    s.expect(PROMPT)
    s.type("%sub-zz/on\t\r")
    s.expect(r"== %sub-zz/only-one.txt\r\n>> ")


@at_prompt
def lone_escape(s):
    # Esc alone ends the line: what was pending is dropped.
    s.type("[\r")
    s.expect(r"\[    ")
    s.type("1" + ESC)
    s.expect(r"\(escape\)\r\n>> ")
    s.type("1 + 1\r")
    s.expect(r"== 2\r\n>> ")
    # Keys sent as escape sequences still edit: Left, Home and End.
    s.type("23" + LEFT + "4" + HOME + "1" + END + "5\r")
    s.expect(r"== 12435\r\n>> ")


@at_prompt
def hidden_input(s):
    # Keys typed as soon as the prompt shows are hidden too.
    s.type('x: ask/hide "pw: "\r')
    s.expect(r"\r\npw: ")
    s.type("secret\r")
    out = s.expect(r'== "secret"\r\n>> ')
    assert out.startswith("******\r\n"), repr(out)
    # Backspace and Ctrl+U edit; Tab and the arrow keys do nothing; Esc ends the line.
    s.type('ask/hide "pw: "\r')
    s.expect(r"\r\npw: ")
    s.type("ab" + BACKSPACE + "c\t" + UP + LEFT + CTRL_U + "de\r")
    s.expect(r'== "de"\r\n>> ')
    s.type('ask/hide "pw: "\r')
    s.expect(r"\r\npw: ")
    s.type("f" + ESC)
    s.expect(r'== "f\^\[".*\r\n>> ')
    # Hidden lines never enter the history: Up brings back the last line typed in clear.
    s.type(UP + "\r")
    s.expect(r"\r\npw: ")
    s.type(CTRL_D)   # on an empty hidden line: the end of input answers "quit"
    s.expect(r'== "quit"\r\n>> ')


@at_prompt
def size_at_prompt_and_while_running(s):
    s.type("system/console/size\r")
    s.expect(r"== 80x25\r\n>> ")
    s.resize(100, 30)
    s.type("system/console/size\r")
    s.expect(r"== 100x30\r\n>> ")
    s.type("wait 1 print system/console/size\r")
    time.sleep(0.3)
    s.resize(90, 20)
    s.expect(r"90x20\r\n>> ")


@at_prompt
def interrupt_halts_a_wait(s):
    s.type("wait 600\r")
    time.sleep(0.3)
    s.resize(70, 20)   # a change of size lets the wait go on
    time.sleep(0.3)
    s.type(CTRL_C)
    s.expect(r"\(halted\)\r\n>> ")
    s.type("1\r")
    s.expect(r"== 1\r\n>> ")


@at_prompt
def tab_on_an_empty_line(s):
    s.type("\t")
    time.sleep(0.2)
    s.type("1\r")
    out = s.expect(r"== 1\r\n>> ")
    assert "\x07" not in out and "\n\n" not in out, repr(out)


def write_script(name, text):
    with open(name, "w") as file:
        file.write(text)


def interrupt_in_a_script(start):
    write_script("loop.xol", 'Xol [] x: 42 print "running" forever [x: x + 1]')
    # Kept open by --catch: halted, then the prompt, with no banner; the result prefix is the
    # console's own, whatever the script's last value was.
    s = start("--catch", "loop.xol")
    out = s.expect(r"running\r\n")
    time.sleep(0.3)
    s.type(CTRL_C)
    out = s.expect(r"\(halted\)\r\n>> ")
    s.type("x > 42\r")
    out += s.expect(r"== true\r\n>> ")
    assert "Xol" not in out, out
    s.type(CTRL_D)
    s.finish(0)
    # Without --catch the interrupt key ends the process, as it ends any command.
    s = start("loop.xol")
    s.expect(r"running\r\n")
    time.sleep(0.3)
    s.type(CTRL_C)
    s.finish(130)
    # So it does while the script waits for hidden input; the terminal gets its echo back.
    write_script("ask.xol", 'Xol [] ask/hide "pw: "')
    s = start("ask.xol")
    s.expect("pw: ")
    s.type(CTRL_C)
    s.finish(130)


def end_of_input_at_once(start):
    # Ctrl+D typed as soon as the prompt shows is never lost.
    for _ in range(10):
        s = start()
        s.expect(PROMPT)
        s.type(CTRL_D)
        s.finish(0)


CASES = [
    tab_completes, history_and_editing, interrupt_halts_a_loop, interrupt_drops_the_line,
    multi_line_cue, lone_escape, hidden_input, size_at_prompt_and_while_running,
    interrupt_halts_a_wait, tab_on_an_empty_line, interrupt_in_a_script, end_of_input_at_once,
]


def main():
    binary = os.path.realpath(sys.argv[1])
    chosen = [case for case in CASES if len(sys.argv) < 3 or case.__name__ in sys.argv[2:]]
    passed = failed = 0
    for case in chosen:
        sessions = []
        with tempfile.TemporaryDirectory() as folder:
            os.mkdir(os.path.join(folder, "sub-zz"))
            here = os.getcwd()
            os.chdir(folder)

            def start(*args):
                sessions.append(Session(binary, folder, args))
                return sessions[-1]

            try:
                case(start)
                passed += 1
            except AssertionError as fault:
                failed += 1
                print("FAIL terminal/%s: %s" % (case.__name__, fault))
            finally:
                os.chdir(here)
                for s in sessions:
                    try:
                        os.kill(s.pid, 9)
                        os.waitpid(s.pid, 0)
                    except OSError:
                        pass
                    os.close(s.fd)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
