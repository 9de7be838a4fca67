#!/usr/bin/env python3
"""Plants faults in the piece and its platform layer, one at a time, and says which the tests catch.

For each fault: the source file gets the fault (an exact text replaced), the build folder is
rebuilt incrementally, and the tests run one by one in their ctest order (fast ones first),
stopping at the first that fails: "caught" names it; "MISSED" means the whole suite passed, and
"missed, equivalent" the same for a fault the table names as changing nothing the program does. The
file is put back as it was after each fault, also when the run is interrupted, so the tree is left
as it was found; files with uncommitted changes are refused. The unchanged tree's suite runs first:
its times set the order, fastest first, and a test that fails there is left out (and said so).

With --web, a fault in a file the browser's build compiles (the platform's core, the audio
contract, the web back end) is also built into that build's platform check and judged in headless
Chromium (tests/web/platform_check.py): a fault in the shared core must be caught through both
back ends. A fault in the page, or in what the page sees of the web back end, is judged by the
whole web test as well (tests/web/web_test.py, against BUILD's native programs).

Usage: scripts/plant-faults.py [-b BUILD] [-k REGEX] [-t TEST_REGEX] [-x TEST_REGEX] [--extra]
                               [--order TEST,...] [--web BUILD_WEB] [--list]
  -b BUILD        a configured build folder (default: build)
  -k REGEX        only the faults whose name matches
  -t TEST_REGEX   only the tests whose name matches
  -x TEST_REGEX   leave out the tests whose name matches (say so when reporting)
  --extra         also the further faults
  --order TESTS   run these tests first, in this order, and the rest in ctest's; no timing run
  --web BUILD_WEB an emscripten build folder (as scripts/test.sh makes build-web)
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

from faults_table import EQUIVALENT, EXTRA_FAULTS, FAULTS  # noqa: E402  (beside this script)

# The files only the browser's build compiles.
WEB_ONLY = ('src/platform/web/', 'src/platform/audio/web/')
# The platform files the browser's build compiles into its platform check.
WEB_BUILT = ('src/platform/core/', 'src/platform/audio/contract.h', 'src/platform/audio/web/',
             'src/platform/web/')


# The files whose faults only the page shows: the page itself and what it sees of the back end.
WEB_PAGE = ('src/platform/web/page/', 'src/platform/web/site.cmake', 'src/platform/audio/web/',
            'src/platform/web/win32.cpp', 'src/platform/web/webgl.cpp',
            'src/platform/web/picture_size.cpp')


def judge_web(build_web, build, page):
    """The browser's platform check with the fault built in, and for a fault of the page's the
    whole web test: caught, MISSED or NOBUILD."""
    built = run(["cmake", "--build", build_web, "-j2"] + ([] if page else ["--target", "platform_check"]),
                capture_output=True, env=dict(os.environ, NODE_PATH="/usr/share/nodejs"))
    if built.returncode != 0:
        return "NOBUILD"
    checked = run(["/usr/bin/python3", "tests/web/platform_check.py", os.path.join(build_web, "bin")],
                  capture_output=True, text=True)
    if checked.returncode == 0 and page:
        checked = run(["/usr/bin/python3", "tests/web/web_test.py", os.path.join(build_web, "bin"),
                       os.path.join(build, "bin"), os.path.join(build_web, "checks")], capture_output=True, text=True)
    return "caught" if checked.returncode != 0 else "MISSED"


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, **kw)


def tests_in_order(build, only, exclude):
    out = run(["ctest", "--test-dir", build, "-N"], capture_output=True, text=True).stdout
    names = re.findall(r"Test\s+#\d+: (\S+)", out)
    return [n for n in names if re.search(only, n) and not (exclude and re.search(exclude, n))]


def run_test(build, name):
    return run(["ctest", "--test-dir", build, "-R", "^" + re.escape(name) + "$", "--timeout", "600"],
               capture_output=True, text=True).returncode == 0


def first_failure(build, tests):
    for name in tests:
        if not run_test(build, name):
            return name
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("-b", "--build", default="build")
    ap.add_argument("-k", "--only", default="")
    ap.add_argument("-t", "--tests", default="")
    ap.add_argument("-x", "--exclude", default="")
    ap.add_argument("--extra", action="store_true")
    ap.add_argument("--order", default="", help="tests to run first, comma-separated; skips timing")
    ap.add_argument("--web", default="", help="an emscripten build folder for the browser's checks")
    ap.add_argument("--list", action="store_true")
    args = ap.parse_args()
    faults = [f for f in FAULTS + (EXTRA_FAULTS if args.extra else []) if re.search(args.only, f[0])]
    if args.list:
        for name, path, _ in faults:
            print(f"{name:34} {path}")
        return 0

    # Each text must be there exactly once, and no file may hold uncommitted changes.
    for name, path, edits in faults:
        text = open(os.path.join(ROOT, path)).read()
        for old, _ in edits:
            if text.count(old) != 1:
                sys.exit(f"{name}: the text to replace is in {path} {text.count(old)} times")
    dirty = run(["git", "status", "--porcelain", "--"] + sorted({f[1] for f in faults}),
                capture_output=True, text=True).stdout.strip()
    if dirty:
        sys.exit("uncommitted changes in:\n" + dirty)

    # An interrupt still reaches the finally below, which puts the file back.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    build = os.path.join(ROOT, args.build)
    if run(["cmake", "--build", build, "-j2"], capture_output=True).returncode != 0:
        sys.exit("the unchanged tree does not build")
    times = {}
    for name in tests_in_order(build, args.tests, args.exclude) if not args.order else []:
        start = time.time()
        if run_test(build, name):
            times[name] = time.time() - start
        else:
            print(f"left out: {name} fails on the unchanged tree", flush=True)
    tests = sorted(times, key=times.get)
    if args.order:
        rest = tests_in_order(build, args.tests, args.exclude)
        first = [n for n in args.order.split(",") if n in rest]
        tests = first + [n for n in rest if n not in first]
    print("order: " + ", ".join(f"{n} {times[n]:.0f} s" if n in times else n for n in tests),
          flush=True)
    print(f"{len(faults)} faults, {len(tests)} tests" +
          (f" (left out: {args.exclude})" if args.exclude else ""), flush=True)
    caught = missed = equivalent = 0
    for name, path, edits in faults:
        full = os.path.join(ROOT, path)
        original = open(full).read()
        start = time.time()
        try:
            mutated = original
            for old, new in edits:
                mutated = mutated.replace(old, new)
            with open(full, "w") as f:
                f.write(mutated)
            built = run(["cmake", "--build", build, "-j2"], capture_output=True)
            if path.startswith(WEB_ONLY):
                result = "not in this build"
            elif built.returncode != 0:
                result = "NOBUILD"
            else:
                failing = first_failure(build, tests)
                result = f"caught by {failing}" if failing else "MISSED"
            if args.web and path.startswith(WEB_BUILT):
                result += "; web: " + judge_web(args.web, args.build, path.startswith(WEB_PAGE))
        finally:
            with open(full, "w") as f:
                f.write(original)
        if result == "MISSED" and name in EQUIVALENT:
            result = "missed, equivalent: " + EQUIVALENT[name]
            equivalent += 1
        caught += result.startswith("caught") or result.endswith("web: caught")
        missed += "MISSED" in result
        print(f"{name:34} {result}  ({time.time() - start:.0f} s)", flush=True)
    run(["cmake", "--build", build, "-j2"], capture_output=True)
    if args.web:
        run(["cmake", "--build", args.web, "-j2"], capture_output=True, env=dict(os.environ, NODE_PATH="/usr/share/nodejs"))
    print(f"caught {caught}, missed {missed}" + (f", equivalent {equivalent}" if equivalent else "") +
          f", of {len(faults)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
