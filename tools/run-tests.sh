#!/usr/bin/env bash
# The whole test run, from a fresh Debian 12 machine: installs what is
# missing, builds, and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
