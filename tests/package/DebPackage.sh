#!/usr/bin/env bash
# Builds the Debian package of a build tree with CPack, checks its contents and dependencies,
# unpacks it into a scratch root and runs the lumeo tool from there.
#   DebPackage.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
fail() { echo "deb test: $*" >&2; exit 1; }

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$work"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $work"
deb=${debs[0]}

control=$(dpkg-deb --field "$deb")
echo "$control"
depends=$(dpkg-deb --field "$deb" Depends)
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for p in libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0 libpng16-16 libc6 libstdc++6; do
  grep -qxF -- "$p" <<<"$names" || fail "Depends lacks $p: $depends"
done
# Listed first: grep -q stops reading at the match, and tar's broken pipe would fail the pipeline.
control_files=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
grep -qx './shlibs' <<<"$control_files" || fail "no shlibs control file"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for f in ./usr/lib/libbarcode_lumeo.so.0 ./usr/lib/libbarcode_lumeo.so ./usr/include/barcode_lumeo.h \
         ./usr/lib/pkgconfig/barcode_lumeo.pc ./usr/lib/cmake/barcode_lumeo/barcode_lumeoConfig.cmake \
         ./usr/lib/cmake/barcode_lumeo/barcode_lumeoTargets.cmake ./usr/bin/lumeo \
         ./usr/share/barcode_lumeo/fonts/Roboto-Regular.ttf ./usr/share/man/man1/lumeo.1.gz \
         ./usr/share/doc/barcode-lumeo/copyright; do
  grep -qx -- "$f" <<<"$contents" || fail "package lacks $f"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
soname=$(objdump -p "$root/usr/lib/libbarcode_lumeo.so.0" | awk '/SONAME/ {print $2}')
[ "$soname" = "libbarcode_lumeo.so.0" ] || fail "soname is '$soname'"

# The manual page reads, and the copyright file names the licences of everything shipped.
zcat "$root/usr/share/man/man1/lumeo.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "lumeo.1.gz is no manual page"
if command -v man >/dev/null; then
  page=$(MANWIDTH=80 man -l "$root/usr/share/man/man1/lumeo.1.gz" 2>&1)
  grep -q 'lumeo batch FILE.csv DIR' <<<"$page" || fail "man -l lumeo.1.gz: $page"
fi
copyright=$root/usr/share/doc/barcode-lumeo/copyright
for licence in 'License: MIT' 'License: Apache-2.0'; do
  grep -qx "$licence" "$copyright" || fail "copyright lacks '$licence'"
done

# pkg-config with nothing but the package's own file on its path: no SDL2 development files needed.
if command -v pkg-config >/dev/null; then
  flags=$(PKG_CONFIG_LIBDIR=$root/usr/lib/pkgconfig PKG_CONFIG_PATH= pkg-config --cflags --libs barcode_lumeo) \
    || fail "pkg-config cannot use barcode_lumeo.pc on its own"
  grep -q -- "-lbarcode_lumeo" <<<"$flags" || fail "pkg-config flags: $flags"
fi

# The tool from the scratch root, against the library of the scratch root.
export LD_LIBRARY_PATH=$root/usr/lib
# (Outputs are taken whole before grep -q reads them: grep stopping early would end the writer
# with SIGPIPE, which pipefail turns into a failure.)
loaded=$(LD_TRACE_LOADED_OBJECTS=1 "$root/usr/bin/lumeo")
grep -q "$root/usr/lib/libbarcode_lumeo.so.0" <<<"$loaded" || fail "the unpacked tool does not load the unpacked library"
"$root/usr/bin/lumeo" code128 DEB-2024 -o "$work/deb.png"
"$root/usr/bin/lumeo" qr "from the package" --draw 2d --width 120 --format svg -o - >"$work/deb.svg"
[ "$(head -c 8 "$work/deb.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || fail "deb.png is no PNG"
grep -q '<svg' "$work/deb.svg" || fail "deb.svg is no SVG"
grep -q 'qr - QR Code' <<<"$("$root/usr/bin/lumeo" --list)" || fail "lumeo --list"
if command -v zbarimg >/dev/null; then
  [ "$(zbarimg -q --raw "$work/deb.png" 2>/dev/null)" = "DEB-2024" ] || fail "deb.png does not read as DEB-2024"
fi

# lumeo serve, when built in: the systemd unit is shipped (not enabled: no maintainer script
# enables it) and runs the packaged tool.
if grep -q 'lumeo serve' <<<"$("$root/usr/bin/lumeo" --help)"; then
  unit=$root/usr/lib/systemd/system/lumeo-serve.service
  [ -f "$unit" ] || fail "package lacks /usr/lib/systemd/system/lumeo-serve.service"
  grep -q '^ExecStart=/usr/bin/lumeo serve ' "$unit" || fail "lumeo-serve.service does not start lumeo serve"
  control_dir=$work/control
  mkdir -p "$control_dir"
  dpkg-deb --control "$deb" "$control_dir"
  if grep -qsE 'systemctl|deb-systemd' "$control_dir"/postinst; then
    fail "the postinst enables or starts a service: lumeo-serve must stay off until enabled"
  fi
fi

# The dependencies can be met on this system (a simulated install changes nothing).
if command -v apt-get >/dev/null && ! apt-get install --simulate -qq "$deb" >"$work/simulate.log" 2>&1; then
  cat "$work/simulate.log" >&2
  fail "apt-get cannot install $(basename "$deb") here"
fi
echo "deb test: $(basename "$deb") passed"
