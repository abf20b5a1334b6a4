#!/usr/bin/env bash
# Installs the Python package with pip (offline, no build isolation) into a fresh virtual
# environment, runs its tests against the built library, then checks that a copy of the library
# placed beside the installed package is found without the environment variable.
#   PythonPackage.sh PYTHON PACKAGE_SOURCE LIBRARY WORK_DIR
set -euo pipefail
python=$1
source=$2
library=$3
work=$4
rm -rf "$work"
mkdir -p "$work"
# pip builds in the source folder; build a copy so the checkout stays clean.
cp -r "$source" "$work/source"
rm -rf "$work/source/build" "$work/source"/*.egg-info "$work/source/tests"
"$python" -m venv --without-pip --system-site-packages "$work/venv"
venv=$work/venv/bin/python
"$venv" -m pip install --quiet --no-build-isolation --no-deps --no-index "$work/source"
cd "$work"
installed=$("$venv" -c 'import barcode_lumeo, os; print(os.path.dirname(barcode_lumeo.__file__))')
case "$installed" in "$work/venv/"*) ;; *) echo "imported $installed, not the installed package" >&2; exit 1 ;; esac

BARCODE_LUMEO_LIBRARY=$library "$venv" -m pytest -q -p no:cacheprovider "$source/tests"

cp "$library" "$installed/"
env -u BARCODE_LUMEO_LIBRARY "$venv" -c '
import barcode_lumeo, barcode_lumeo._library as lib, os
beside = lib.candidates()[0]
assert os.path.dirname(beside) == os.path.dirname(barcode_lumeo.__file__), beside
with barcode_lumeo.Barcode("code128") as b:
    assert b.png("BESIDE", 300, 80)[:4] == b"\x89PNG"
print("library found beside the package:", os.path.basename(beside))
'
