#!/usr/bin/env bash
# Builds the Debian package: a Release build of the library and the lumeo tool alone (the tests
# are not configured, so neither GoogleTest nor any test tool is needed), then cpack.
#   scripts/package.sh [BUILD_DIR]     (default build-deb; the .deb is written there)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBARCODE_BUILD_TESTS=OFF -DBARCODE_BUILD_TOOLS=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/*.deb
