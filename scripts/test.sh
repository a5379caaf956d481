#!/usr/bin/env bash
# Sets up the machine, builds and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMERE_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
ctest --test-dir "$build" --output-on-failure --parallel 2

# A short run of every fuzzer, built with clang and the address and undefined-behaviour sanitizers.
fuzz=${QUILLMERE_FUZZ_BUILD_DIR:-$root/build-fuzz}
cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DQUILLMERE_FUZZ=ON
cmake --build "$fuzz"
ctest --test-dir "$fuzz" --output-on-failure --parallel 2
