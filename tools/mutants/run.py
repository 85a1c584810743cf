#!/usr/bin/env python3
"""Hand-written mutants of the plug-in and the probe's verdict, each run against the native suites.

usage: tools/mutants/run.py TREE RESULTS.json [NAME ...]

Applies each mutant of mutants.py (or only those named) alone to the checkout TREE, rebuilds its
native preset, runs `ctest --preset native`, and restores the file. A mutant is killed when the
build succeeds and a test fails; "does not build" and "not applicable" (its text is not found
exactly once) are reported as such. RESULTS.json is read first, if it exists, and kept up to
date after each mutant. TREE's files are changed while it runs: use a worktree of its own.
"""
import json
import pathlib
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).parent))
from mutants import MUTANTS  # noqa: E402

PRODUCT_FOLDERS = ("monitor", "platform/windows", "host", "probe")
FAILED_MARKS = ("***Failed", "***Exception", "***Timeout")


def run(tree, command):
    return subprocess.run(command, cwd=tree, shell=True, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True)


def locate(tree, path, text):
    """The file that holds `text` exactly once: the one named, or in an older tree another
    product file the code has since moved from."""
    named = tree / path
    if named.exists() and named.read_text().count(text) == 1:
        return named
    found = [p for folder in PRODUCT_FOLDERS for p in (tree / folder).glob("*.cpp")
             if p.read_text().count(text) == 1]
    return found[0] if len(found) == 1 else None


def failed_tests(output):
    return [line.split(":", 1)[1].split()[0] for line in output.splitlines()
            if any(mark in line for mark in FAILED_MARKS)]


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    tree, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    only = set(sys.argv[3:])
    build = "cmake --build --preset native -j2"
    if run(tree, "cmake --preset native >/dev/null && " + build).returncode != 0:
        sys.exit("run.py: the unmutated tree does not build")
    results = json.loads(out.read_text()) if out.exists() else {}
    for name, path, text, replacement in MUTANTS:
        if only and name not in only:
            continue
        # Before the monitor's platform seam, the clock was read by its Win32 name.
        if not (tree / "monitor/monitor_platform.h").exists():
            text, replacement = (t.replace("read_clock_ms()", "GetTickCount64()")
                                 for t in (text, replacement))
        start = time.time()
        target = locate(tree, path, text)
        if target is None:
            results[name] = "not applicable"
        else:
            original = target.read_text()
            target.write_text(original.replace(text, replacement))
            try:
                if run(tree, build).returncode != 0:
                    results[name] = "does not build"
                else:
                    test = run(tree, "ctest --preset native --stop-on-failure -j2")
                    results[name] = ("killed by " + " ".join(failed_tests(test.stdout))
                                     if test.returncode != 0 else "survived")
            finally:
                target.write_text(original)
        print(f"{name}: {results[name]} ({time.time() - start:.0f} s)", flush=True)
        out.write_text(json.dumps(results, indent=1) + "\n")
    run(tree, build)


if __name__ == "__main__":
    main()
