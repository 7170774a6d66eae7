#!/usr/bin/env bash
# The whole test run, from a fresh Debian 12 machine: installs what is
# missing, checks the layout, builds, and runs every test suite; then every
# suite again built with AddressSanitizer and UndefinedBehaviorSanitizer, the
# suites that decode on several threads built with ThreadSanitizer, and each
# fuzz target for a minute. Under CI (CI=true) warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
fuzz_seconds=60
werror=OFF
[[ "${CI:-}" == true ]] && werror=ON

tools/install-deps.sh
tools/check-format.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOZMIRA_WERROR="$werror"
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOZMIRA_SANITIZE=ON -DOZMIRA_BUILD_BENCHMARKS=OFF \
  -DOZMIRA_WERROR="$werror"
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

# The decode threads under ThreadSanitizer: every format on a clip of 2-4-8
# blocks and on a damaged one, changing thread counts, overlapping calls, fork;
# and the export's reads ahead.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOZMIRA_TSAN=ON -DOZMIRA_BUILD_BENCHMARKS=OFF \
  -DOZMIRA_WERROR="$werror"
cmake --build build-tsan -j"$jobs" --target decoding_tests dvlib_tests export_tests
TSAN_OPTIONS="halt_on_error=1 die_after_fork=0" ctest --test-dir build-tsan --output-on-failure --no-tests=error -j"$jobs" \
  -R '^(Clips/EveryClip.*/(pal420_248|damaged_middle)|Threads\.|FrameBlock\.|DvFile\.|Export\.FramesReadAhead)'

# libFuzzer needs clang; the seeds are cut from the clips the first run made.
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DOZMIRA_SANITIZE=ON \
  -DOZMIRA_FUZZ=ON -DOZMIRA_BUILD_TESTS=OFF -DOZMIRA_BUILD_BENCHMARKS=OFF -DOZMIRA_WERROR="$werror"
cmake --build build-fuzz -j"$jobs" --target fuzz_targets
fuzz/run_fuzzers.sh build-fuzz build/clips "$fuzz_seconds"
