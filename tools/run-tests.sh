#!/usr/bin/env bash
# The whole test run, from a fresh Debian 12 machine: installs what is
# missing, builds, and runs every test suite; then every suite again built
# with AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target
# for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
fuzz_seconds=60

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOZMIRA_SANITIZE=ON -DOZMIRA_BUILD_BENCHMARKS=OFF
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

# libFuzzer needs clang; the seeds are cut from the clips the first run made.
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DOZMIRA_SANITIZE=ON \
  -DOZMIRA_FUZZ=ON -DOZMIRA_BUILD_TESTS=OFF -DOZMIRA_BUILD_BENCHMARKS=OFF
cmake --build build-fuzz -j"$jobs" --target fuzz_targets
fuzz/run_fuzzers.sh build-fuzz build/clips "$fuzz_seconds"
