#!/usr/bin/env bash
# Installs what is missing, then builds and runs every check the project has:
#   1. formatting against .clang-format;
#   2. the test suite (ctest) in build-test/;
#   3. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/;
#   4. the Windows cross builds (i686 and x86_64) and the x86_64 build's run under Wine;
#   5. the web build (build-web/) in headless Chromium, against the test build's native tools.
# Set FLIMREVO_SKIP_WINDOWS=1 to leave out step 4, FLIMREVO_SKIP_WEB=1 step 5.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

scripts/install-deps.sh --test

step() { printf '\n== %s ==\n' "$*"; }

step "Formatting"
mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tools tests bench -name '*.cpp' -o -name '*.h')
clang-format --dry-run -Werror "${sources[@]}"

step "Tests"
cmake -S . -B build-test -G Ninja >/dev/null
cmake --build build-test -j"$jobs"
ctest --test-dir build-test -j"$jobs" --output-on-failure

step "Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DFLIMREVO_SANITIZE=ON -DFLIMREVO_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
# Mesa's and the X libraries' own allocations live until exit; leaks in our code still fail.
ASAN_OPTIONS=abort_on_error=0:detect_leaks=1 \
LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 900

if [ "${FLIMREVO_SKIP_WINDOWS:-0}" != 1 ]; then
  step "Windows builds"
  scripts/windows/check.sh
fi
if [ "${FLIMREVO_SKIP_WEB:-0}" != 1 ]; then
  step "Web build in headless Chromium"
  export NODE_PATH=/usr/share/nodejs  # where Debian's emscripten keeps its JavaScript modules
  emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DFLIMREVO_SOUNDTRACK="$root/build-test/bin/brumlevo.mp3" >/dev/null
  cmake --build build-web -j"$jobs"
  /usr/bin/python3 tests/web/web_test.py build-web/bin build-test/bin
fi
echo
echo "All checks passed."
