#!/usr/bin/env bash
# Cuts a 6000 x 4000 photo-like image into a 10 x 10 grid of JPEG (quality 80) and PNG slices with
# tessel-cli, with ImageMagick and, where libvips is installed, with a small one-process libvips
# program; prints the median time of several runs, the ratio tessel/peer and the slices' total bytes.
# The peers are only measured here; nothing in the product or the tests uses them.
# Usage: bench/compare-export.sh [BUILD_DIR [WORK_DIR]]   (RUNS=n sets the run count, default 5)
#   BUILD_DIR: a Release build holding cli/tessel-cli (default build/release, built when missing)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
work=${2:-$(mktemp -d)}
runs=${RUNS:-5}
cli="$build/cli/tessel-cli"
mkdir -p "$work"

if [ ! -x "$cli" ]; then
  echo "== building tessel-cli (Release) in $build"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF >/dev/null
  cmake --build "$build" --target tessel-cli
fi
command -v convert >/dev/null || { echo "ImageMagick's convert is required (bench/install-peers installs the peers)" >&2; exit 1; }

src="$work/photo.png"
if [ ! -f "$src" ]; then
  echo "== making the 6000 x 4000 source (plasma, slight blur, mild noise)"
  # No gAMA/cHRM/sRGB/text chunks: every tool must see the same plain RGB pixels.
  convert -seed 7 -size 6000x4000 plasma:fractal -blur 0x1.2 -attenuate 0.25 +noise Gaussian \
    -depth 8 -type TrueColor -define png:exclude-chunks=all PNG24:"$src"
fi

vips_tool=""
if pkg-config --exists vips 2>/dev/null; then
  vips_tool="$work/vips_cut"
  cat >"$work/vips_cut.c" <<'C'
/* Loads once, then crops and saves each tile of a columns x rows grid: vips_cut IN OUTDIR EXT N */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vips/vips.h>
int main(int argc, char** argv) {
  if (argc != 5 || VIPS_INIT(argv[0])) return 2;
  VipsImage* in = vips_image_new_from_file(argv[1], "access", VIPS_ACCESS_RANDOM, NULL);
  if (!in) vips_error_exit(NULL);
  int n = atoi(argv[4]), w = vips_image_get_width(in), h = vips_image_get_height(in);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      int x0 = c * w / n, y0 = r * h / n, x1 = (c + 1) * w / n, y1 = (r + 1) * h / n;
      VipsImage* tile;
      char name[4096];
      if (vips_crop(in, &tile, x0, y0, x1 - x0, y1 - y0, NULL)) vips_error_exit(NULL);
      snprintf(name, sizeof name, "%s/tile_%d_%d.%s", argv[2], c, r, argv[3]);
      int failed = strcmp(argv[3], "jpg") == 0 ? vips_image_write_to_file(tile, name, "Q", 80, "strip", TRUE, NULL)
                                               : vips_image_write_to_file(tile, name, "strip", TRUE, NULL);
      if (failed) vips_error_exit(NULL);
      g_object_unref(tile);
    }
  g_object_unref(in);
  vips_shutdown();
  return 0;
}
C
  # shellcheck disable=SC2046
  cc -O2 -o "$vips_tool" "$work/vips_cut.c" $(pkg-config --cflags --libs vips) || vips_tool=""
fi
[ -n "$vips_tool" ] || echo "(libvips not installed: its column is skipped)"

# measure OUTDIR COMMAND...: runs the command $runs times into a fresh OUTDIR each time and prints
# the median wall time and the median CPU time (user + system of the command and its threads), in
# seconds. The CPU time tells how much work each tool does even on a busy machine.
measure() {
  local out=$1
  shift
  local walls=() cpus=() line
  for _ in $(seq "$runs"); do
    rm -rf "$out" && mkdir -p "$out"
    line=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | tail -n 1)
    walls+=("$(echo "$line" | awk '{ print $1 }')")
    cpus+=("$(echo "$line" | awk '{ print $2 + $3 }')")
  done
  printf '%s %s\n' "$(printf '%s\n' "${walls[@]}" | median)" "$(printf '%s\n' "${cpus[@]}" | median)"
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

bytes_of() { find "$1" -type f ! -name '*.html' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'; }

ratio() { echo "scale=2; $1 / $2" | bc; }

report() {  # NAME WALL CPU BYTES [PEER_WALL PEER_CPU PEER_BYTES PEER_NAME]
  printf '  %-12s wall %7.3f s  cpu %7.3f s  %11d bytes' "$1" "$2" "$3" "$4"
  if [ $# -gt 4 ]; then
    printf '   tessel/%s: wall %s, cpu %s, bytes %s' "$8" "$(ratio "$5" "$2")" "$(ratio "$6" "$3")" "$(ratio "$7" "$4")"
  fi
  printf '\n'
}

echo "$(nproc) processors; load average now: $(cut -d' ' -f1-3 /proc/loadavg)"
for format in jpg png; do
  echo "== 10 x 10 slices as $format ($runs runs each, medians)"
  read -r w_t c_t < <(measure "$work/tessel_$format" \
    "$cli" export "$src" --html "$work/tessel_$format/page.html" --divide 10x10 --format "$format" --quality 80 --force)
  b_t=$(bytes_of "$work/tessel_$format")
  report tessel-cli "$w_t" "$c_t" "$b_t"
  read -r w_i c_i < <(measure "$work/im_$format" \
    convert "$src" -crop 10x10@ +repage -quality 80 "$work/im_$format/out_%d.$format")
  report ImageMagick "$w_i" "$c_i" "$(bytes_of "$work/im_$format")" "$w_t" "$c_t" "$b_t" ImageMagick
  if [ -n "$vips_tool" ]; then
    read -r w_v c_v < <(measure "$work/vips_$format" "$vips_tool" "$src" "$work/vips_$format" "$format" 10)
    report libvips "$w_v" "$c_v" "$(bytes_of "$work/vips_$format")" "$w_t" "$c_t" "$b_t" libvips
  fi
done
echo "(work files in $work)"
