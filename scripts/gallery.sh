#!/usr/bin/env bash
# Sets up the machine, builds the library and the lumeo tool, and renders the gallery.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target lumeo
build/lumeo gallery "${1:-gallery}"
echo "Open ${1:-gallery}/index.html to see every symbology side by side."
