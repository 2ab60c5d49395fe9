#!/usr/bin/env bash
# Every test: the plain build, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and a
# short libFuzzer run of each fuzz target over its corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh build
ctest --test-dir build -j"$jobs" --output-on-failure

scripts/setup.sh build-asan -DORX_SANITIZE=address -DORX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure

scripts/setup.sh build-tsan -DORX_SANITIZE=thread -DORX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -L threaded -j"$jobs" --output-on-failure

CC=clang CXX=clang++ scripts/setup.sh build-fuzz -DORX_BUILD_FUZZ=ON -DORX_BUILD_TESTS=OFF \
  -DORX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
for target in build-fuzz/bin/fuzz_*; do
  corpus=fuzz/corpus/$(basename "$target" | sed 's/^fuzz_//')
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/
  (cd "$work" && "$OLDPWD/$target" -max_total_time=20 -rss_limit_mb=2048 . >/dev/null 2>fuzz.log) \
    || { tail -n 40 "$work/fuzz.log"; exit 1; }
  rm -rf "$work"
done
echo "All tests passed."
