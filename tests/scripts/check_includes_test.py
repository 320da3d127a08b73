#!/usr/bin/env python3
"""Tests of scripts/check-includes: the verdict on single includes, then whole trees.

Prints a FAIL line for each case that goes wrong and ends with "N passed, N failed".
"""
import contextlib
import importlib.machinery
import importlib.util
import io
import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "check-includes")
loader = importlib.machinery.SourceFileLoader("check_includes", SCRIPT)
spec = importlib.util.spec_from_loader("check_includes", loader)
check = importlib.util.module_from_spec(spec)
loader.exec_module(check)

ALLOWED = [("runtime/datatypes/*", "runtime/io/lexer.h", "datatypes <-> lexer")]

# (including file, included file, expected: "ok", "allowed" or "fault")
INCLUDE_CASES = [
    ("runtime/eval/call.cpp", "runtime/eval/stack.h", "ok"),               # its own layer
    ("runtime/eval/call.cpp", "runtime/datatypes/word.h", "ok"),           # a lower layer
    ("runtime/eval/natives/math.cpp", "runtime/eval/stack.h", "ok"),       # a subfolder
    ("runtime/process/os.cpp", "platform/os.h", "ok"),
    ("runtime/runtime.cpp", "library/boot.h", "ok"),                       # root above all
    ("library/boot.cpp", "console/terminal.h", "ok"),
    ("view/backend/gtk/window.cpp", "runtime/eval/call.h", "ok"),
    ("runtime/process/os.cpp", "runtime/cell.h", "ok"),                    # open to all
    ("runtime/memory/memory.cpp", "runtime/datatypes/error_raise.h", "ok"),
    ("runtime/eval/natives_table.cpp", "library_sources.inc", "ok"),       # generated
    ("platform/os.cpp", "platform/files.h", "ok"),
    ("runtime/datatypes/block.cpp", "runtime/io/lexer.h", "allowed"),
    ("runtime/datatypes/word.cpp", "runtime/eval/call.h", "fault"),        # one layer up
    ("runtime/memory/collector.cpp", "runtime/tables/hash_table.h", "fault"),
    ("runtime/process/console_output.cpp", "runtime/text/utf8.h", "fault"),
    ("runtime/eval/call.cpp", "runtime/runtime.h", "fault"),               # into the root
    ("console/terminal.cpp", "library/routines.h", "fault"),
    ("runtime/eval/call.cpp", "view/window.h", "fault"),
    ("platform/os.cpp", "runtime/cell.h", "fault"),                        # platform is closed
    ("platform/os.cpp", "runtime/datatypes/error_raise.h", "fault"),
    ("platform/signals.cpp", "runtime/process/process.h", "fault"),
    ("runtime/datatypes/block.cpp", "runtime/io/files.h", "fault"),        # entry names lexer.h
    ("runtime/io/lexer.cpp", "runtime/eval/stack.h", "fault"),             # entry names datatypes
    ("runtime/eval/call.cpp", "tests/unit/fixture.h", "fault"),            # outside the layers
    ("runtime/gadgets/x.cpp", "runtime/cell.h", "fault"),                  # in no layer
]


def verdict(source, target):
    why, entry = check.judge(source, target, ALLOWED)
    return "fault" if why else "allowed" if entry is not None else "ok"


def run_tree(files, allowed):
    """Runs the whole check over a tree of {path: text}; answers (exit code, output lines)."""
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            status = check.main(root, allowed)
    return status, out.getvalue().splitlines()


CLEAN = {
    "runtime/cell.h": "#pragma once\n",
    "runtime/datatypes/block.cpp": '#include "runtime/cell.h"\n#include "runtime/io/lexer.h"\n',
    "runtime/io/lexer.h": '#include <vector>\n#include "runtime/datatypes/block.h"\n',
    "library/notes.xol": '#include "runtime/eval/call.h"\n',   # not C++: not read
}
# (name, files, allow-list, expected exit code, expected output lines)
TREE_CASES = [
    ("a clean tree counts files and used entries", CLEAN, ALLOWED, 0, ["4 passed, 0 failed"]),
    ("an upward include names file, line and layers",
     {**CLEAN, "runtime/memory/memory.cpp": '// top\n  #  include "runtime/eval/stack.h"\n'},
     ALLOWED, 1,
     ["FAIL runtime/memory/memory.cpp:2: memory includes eval, a layer above it: "
      "runtime/eval/stack.h", "4 passed, 1 failed"]),
    ("commented and system includes are not read",
     {**CLEAN, "runtime/memory/memory.cpp": '// #include "runtime/eval/stack.h"\n'
                                              '#include <eval/stack.h>\n'},
     ALLOWED, 0, ["5 passed, 0 failed"]),
    ("an unused allow-list entry fails",
     CLEAN, ALLOWED + [("runtime/io/*", "runtime/eval/stack.h", "gone")], 1,
     ["FAIL allow-list entry matches no include, remove it: runtime/io/* -> "
      "runtime/eval/stack.h", "4 passed, 1 failed"]),
]


def main():
    passed = failed = 0

    def expect(name, got, wanted):
        nonlocal passed, failed
        if got == wanted:
            passed += 1
        else:
            failed += 1
            print(f"FAIL {name}: expected {wanted!r}, got {got!r}")

    for source, target, wanted in INCLUDE_CASES:
        expect(f"{source} -> {target}", verdict(source, target), wanted)
    for name, files, allowed, status, lines in TREE_CASES:
        expect(name, run_tree(files, allowed), (status, lines))
    # Every entry of the real allow-list gives its reason.
    expect("allow-list reasons", [entry for entry in check.ALLOWED if not entry[2].strip()], [])
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
