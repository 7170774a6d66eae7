#!/usr/bin/env bash
# Installs every Debian package that building, testing, fuzzing, benchmarking and
# packaging ozmira needs. Quick when everything is already there: it asks dpkg
# first and runs apt-get only for what is missing.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config libdv4-dev libsdl1.2-dev libpng-dev libdeflate-dev
  # tests and benchmarks
  googletest libgtest-dev libbenchmark-dev ffmpeg
  # batches of exports, one job per core (bench/batch_export.sh)
  parallel
  # the FFmpeg peer of the benchmarks, decoding in process
  libavcodec-dev libswscale-dev
  # window tests
  xvfb xauth xdotool x11-utils x11-apps imagemagick libx11-dev
  # sanitizers, fuzzing, memory checks, profiles
  clang clang-format libclang-rt-14-dev valgrind linux-perf
  # packaging, and the man page checks
  dpkg-dev file groff-base
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
