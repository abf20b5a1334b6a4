#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: once in a normal build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer. Besides the unit tests, ctest runs the lumeo
# tool end to end (pytest), the C, C++ and Python examples, the Python package (pip install +
# pytest), the install consumer and the Debian package (cpack, unpacked and run); the last three
# only in the normal build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBARCODE_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBARCODE_SANITIZE=ON \
  -DBARCODE_WERROR=ON -DBARCODE_BUILD_TOOLS=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# --- ThreadSanitizer: eight threads drawing every type in both outputs on their own handles ---
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBARCODE_TSAN=ON \
  -DBARCODE_WERROR=ON -DBARCODE_BUILD_TOOLS=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target barcode_tsan_tests
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1" BARCODE_LUMEO_QUIET=1 \
  build-tsan/tests/barcode_tsan_tests

# --- Fuzzing: libFuzzer with ASan/UBSan under a memory ceiling: the C interface (all 43 functions)
# for BARCODE_FUZZ_SECONDS, the compact PNG writer, its deflater and the text parsers for
# BARCODE_FUZZ_EACH_SECONDS each, two at a time on two cores (about 6 minutes in all) ---
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBARCODE_FUZZ=ON \
  -DBARCODE_SANITIZE=ON -DBARCODE_WERROR=ON -DBARCODE_BUILD_TESTS=OFF -DBARCODE_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzzers
scripts/fuzz.sh "${BARCODE_FUZZ_SECONDS:-180}" "${BARCODE_FUZZ_EACH_SECONDS:-60}"
