#!/usr/bin/env bash
# Every test: the Release build (tests and benchmarks; the benchmarks are built,
# not run), the tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# threaded tests under ThreadSanitizer, and a short libFuzzer run of each fuzz
# target over its corpus. Each sanitizer build compiles only what it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir build -j"$jobs" --output-on-failure

scripts/setup.sh build-asan -DORX_SANITIZE=address -DORX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
  --target orx_tests
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure

# Qt's libraries are not instrumented for ThreadSanitizer, so no Qt test is
# threaded and this build leaves the windowed parts out.
scripts/setup.sh build-tsan -DORX_SANITIZE=thread -DORX_THREADED_TESTS_ONLY=ON -DORX_BUILD_BENCH=OFF \
  -DORX_BUILD_GUI=OFF \
  -DCMAKE_BUILD_TYPE=Debug --target orx_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -L threaded -j"$jobs" --output-on-failure

CC=clang CXX=clang++ scripts/setup.sh build-fuzz -DORX_BUILD_FUZZ=ON -DORX_BUILD_TESTS=OFF \
  -DORX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug --target orx_fuzzers
# 20 seconds per target, as many targets at once as there are cores.
fuzz_one() {
  local target=$1 corpus work
  corpus=fuzz/corpus/$(basename "$target" | sed 's/^fuzz_//')
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/
  if (cd "$work" && "$OLDPWD/$target" -max_total_time=20 -rss_limit_mb=2048 . >/dev/null 2>fuzz.log); then
    rm -rf "$work"
  else
    echo "$target failed:"
    tail -n 40 "$work/fuzz.log"
    return 1
  fi
}
export -f fuzz_one
printf '%s\n' build-fuzz/bin/fuzz_* | xargs -P "$jobs" -I{} bash -c 'fuzz_one {}'
echo "All tests passed."
