#!/usr/bin/env bash
# Installs every Debian package needed to build the library, run the command-line tool
# and run the test suite. Idempotent: does nothing (and prints nothing) when all is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  libsdl2-dev libsdl2-image-dev libsdl2-ttf-dev fonts-roboto-unhinted
  libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
  libzxing-dev zbar-tools zint libzint-dev libqrencode-dev libdmtx-dev librsvg2-bin libxml2-dev
  libpng-dev nlohmann-json3-dev dpkg-dev python3 python3-pytest python3-setuptools python3-wheel python3-pip
  python3-zxing-cpp python3-pil libcpp-httplib-dev chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# A reference decoder that cannot be had must not stop the build: try the essentials first,
# then each optional reference on its own.
optional=(libzxing-dev zbar-tools zint libzint-dev libqrencode-dev libdmtx-dev librsvg2-bin python3-zxing-cpp python3-pil chromium)
required=()
for p in "${missing[@]}"; do
  case " ${optional[*]} " in *" $p "*) ;; *) required+=("$p") ;; esac
done
if [ ${#required[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${required[@]}" >/dev/null
fi
for p in "${missing[@]}"; do
  case " ${optional[*]} " in
    *" $p "*) $SUDO apt-get install -y -qq --no-install-recommends "$p" >/dev/null || echo "warning: $p could not be installed; tests that use it will be skipped" ;;
  esac
done
