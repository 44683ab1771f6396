#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a scratch root and uses what it
# installed: the programs' --version and an export of the sample, the desktop entry, the metainfo,
# the icons and the man pages.
# Usage: package_test.sh CPACK BUILD_DIR SOURCE_DIR VERSION GUI(ON|OFF)
# Exit status 77 (a skip for ctest) when the Debian tools are missing.
set -euo pipefail
cpack=$1 build=$2 source=$3 version=$4 gui=$5

for tool in dpkg dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "package test skipped: $tool is not installed (Debian package dpkg-dev)"
    exit 77
  fi
done

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d "$build/package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The package, named tessel_<version>_<arch>.deb.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  exit 1
}
deb="$work/tessel_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$work" >&2; echo "FAIL: no $deb" >&2; exit 1; }

echo "== dpkg-deb -c"
dpkg-deb -c "$deb" | tee "$work/contents"
expected=(usr/bin/tessel-cli usr/share/man/man1/tessel-cli.1.gz)
if [ "$gui" = ON ]; then
  expected+=(usr/bin/tessel usr/share/man/man1/tessel.1.gz usr/share/tessel/readme.txt
             usr/share/applications/tessel.desktop usr/share/metainfo/example.orlenwick.tessel.metainfo.xml
             usr/share/icons/hicolor/scalable/apps/tessel.svg)
  for size in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/tessel.png")
  done
fi
for path in "${expected[@]}"; do
  grep -q " \./$path\$" "$work/contents" || fail "the package lacks /$path"
done
# Nothing from the build folder or the test programs.
if grep -E ' \./usr/(lib|include)/|test' "$work/contents"; then fail "the package holds files it should not"; fi

echo "== control"
dpkg-deb -f "$deb" Package Version Architecture Section Depends | tee "$work/control"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
# Computed from the linked libraries: the C library, libjpeg-turbo, libpng, libtiff, and Qt with the
# desktop program.
for lib in libc6 libjpeg62-turbo libpng16 libtiff; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
if [ "$gui" = ON ] && [[ "$depends" != *libqt6widgets6* ]]; then fail "Depends lacks libqt6widgets6: $depends"; fi

root="$work/root"
dpkg -x "$deb" "$root"
cli="$root/usr/bin/tessel-cli"

echo "== tessel-cli --version"
"$cli" --version | tee "$work/version"
grep -q -- "$version" "$work/version" || fail "tessel-cli --version does not name $version"

echo "== tessel-cli export of the sample"
mkdir "$work/out"
"$cli" export "$source/samples/banner.png" --grid "$source/samples/banner.grd" --html "$work/out/banner.html" \
       --format png || fail "the installed tessel-cli could not export the sample"
slices=$(find "$work/out" -name 'banner_*.png' | wc -l)
[ "$slices" -eq 9 ] || fail "the export wrote $slices slices, not 9"
for slice in "$work"/out/banner_*.png; do
  grep -q "$(basename "$slice")" "$work/out/banner.html" || fail "banner.html does not show $(basename "$slice")"
  "$cli" info "$slice" | grep -q '^format: ' || fail "$(basename "$slice") cannot be read back"
done

# Every option the programs' help names is described in their man page.
check_man() {
  local page=$1 help=$2
  local stderr
  if ! command -v man >/dev/null 2>&1; then
    echo "man page check of $(basename "$page") skipped: man is not installed (Debian package man-db)"
    return
  fi
  stderr=$(man --warnings -l "$page" 2>&1 >/dev/null) || fail "man cannot render $page"
  [ -z "$stderr" ] || fail "man warns about $(basename "$page"): $stderr"
  local text
  text=$(MANWIDTH=200 man -E ascii -l "$page" 2>/dev/null | col -b)
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -q -- "$option\\b" <<<"$text" || fail "$(basename "$page") does not describe $option"
  done
}
echo "== man pages"
cli_help=$("$cli" --help)
for command in $(sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$cli_help"); do
  cli_help+=$'\n'$("$cli" "$command" --help)
done
check_man "$root/usr/share/man/man1/tessel-cli.1.gz" "$cli_help"

if [ "$gui" = ON ]; then
  gui_program="$root/usr/bin/tessel"
  echo "== tessel --version"
  QT_QPA_PLATFORM=offscreen "$gui_program" --version 2>/dev/null | tee "$work/gui-version"
  grep -q -- "$version" "$work/gui-version" || fail "tessel --version does not name $version"
  check_man "$root/usr/share/man/man1/tessel.1.gz" "$(QT_QPA_PLATFORM=offscreen "$gui_program" --help 2>/dev/null)"
  head -n 1 "$root/usr/share/tessel/readme.txt" | grep -q -- " $version " ||
    fail "the installed usage text does not carry version $version"

  echo "== icons"
  for size in 16 22 24 32 48 64 128 256; do
    info=$("$cli" info "$root/usr/share/icons/hicolor/${size}x${size}/apps/tessel.png") ||
      { fail "the ${size}x${size} icon cannot be read"; continue; }
    grep -qx "width: $size" <<<"$info" && grep -qx "height: $size" <<<"$info" ||
      fail "the ${size}x${size} icon has another size: $info"
  done

  echo "== desktop entry"
  desktop="$root/usr/share/applications/tessel.desktop"
  if command -v desktop-file-validate >/dev/null 2>&1; then
    # Hints (such as two main categories, which is meant) pass; errors and warnings do not.
    report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
    if grep -E ': (error|warning):' <<<"$report"; then fail "desktop-file-validate: $report"; fi
  else
    echo "desktop entry validation skipped: desktop-file-validate is not installed (Debian package desktop-file-utils)"
  fi
  grep -qx 'Exec=tessel %f' "$desktop" || fail "the desktop entry does not start tessel with the file"

  echo "== metainfo"
  metainfo="$root/usr/share/metainfo/example.orlenwick.tessel.metainfo.xml"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
  if command -v appstreamcli >/dev/null 2>&1; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
  else
    echo "metainfo validation skipped: appstreamcli is not installed (Debian package appstream)"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "package test: $failures failures" >&2
  exit 1
fi
echo "package test: $(basename "$deb") passed"
