#!/usr/bin/env python3
"""The console in a real terminal: keys typed through a pseudo-terminal, the screen's text read
back. Each case types its keys, waits for the text it expects, and fails on a timeout.
Usage: tests/console/terminal.py BINARY; prints "N passed, N failed"."""
import os
import pty
import re
import select
import sys
import tempfile
import time

TIMEOUT = 10.0


class Session:
    def __init__(self, binary, folder):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(folder)
            env = dict(os.environ, XDG_CACHE_HOME=os.path.join(folder, ".cache"), TERM="xterm")
            os.execve(binary, [binary], env)
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
PROMPT = r">> $"


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


def interrupt_halts_a_loop(s):
    s.type("x: 0 forever [x: x + 1]\r")
    time.sleep(0.3)
    s.type("\x03")
    s.expect(r"\(halted\)\r\n>> ")
    s.type("x > 0\r")
    s.expect(r"== true\r\n>> ")


def interrupt_drops_the_line(s):
    s.type("print 12345")
    s.expect("12345")
    s.type("\x03")
    s.expect(PROMPT)
    s.type("1\r")
    out = s.expect(r"== 1\r\n>> ")
    assert "12345\r\n" not in out, out


def multi_line_cue(s):
    s.type("[\r")
    s.expect(r"\[    ")
    s.type("1 2\r")
    s.expect(r"\[    ")
    s.type("]\r")
    s.expect(r"== \[\r\n    1 2\r\n\]\r\n>> ")


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


CASES = [tab_completes, history_and_editing, interrupt_halts_a_loop, interrupt_drops_the_line, multi_line_cue]


def main():
    binary = os.path.realpath(sys.argv[1])
    passed = failed = 0
    for case in CASES:
        with tempfile.TemporaryDirectory() as folder:
            os.mkdir(os.path.join(folder, "sub-zz"))
            s = Session(binary, folder)
            try:
                s.expect(PROMPT)
                case(s)
                s.type("\x04")  # Ctrl+D: the end of input quits with status 0
                status = s.status()
                assert status == 0, "exit status %d" % status
                passed += 1
            except AssertionError as fault:
                failed += 1
                print("FAIL terminal/%s: %s" % (case.__name__, fault))
                try:
                    os.kill(s.pid, 9)
                    os.waitpid(s.pid, 0)
                except OSError:
                    pass
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
