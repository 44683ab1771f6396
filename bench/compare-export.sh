#!/usr/bin/env bash
# Cuts photo-like pictures into a 10 x 10 grid with tessel-cli export, with ImageMagick and, where
# libvips is installed, with a small one-process libvips program, and prints for each tool the
# median wall time, CPU time (user + system of the process and its threads) and peak resident set,
# the slices' total bytes and the ratios tessel / peer.
#   Sizes: 2000 x 1500, 6000 x 4000 and 12000 x 8000 (so the growth with size shows).
#   Jobs:  PNG to JPEG (quality 80), JPEG (baseline, quality 90, 4:2:0) to JPEG (quality 80),
#          PNG to PNG.
# The runs are interleaved (run 1 of every tool and job, then run 2, ...), so a change of load on a
# shared machine touches every tool alike; CPU time is the steadier figure under load.
# The peers are only measured here; nothing in the product or the tests uses them
# (bench/install-peers installs them).
# Usage: bench/compare-export.sh [BUILD_DIR [WORK_DIR]]
#   RUNS=n      runs of each tool and job (default 5)
#   SIZES="WxH ..."  the sizes (default "2000x1500 6000x4000 12000x8000")
#   JOBS="png-jpg jpg-jpg png-png"  the jobs (default all three)
#   BUILD_DIR: a Release build holding cli/tessel-cli (default build/release, built when missing)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
work=${2:-$(mktemp -d)}
runs=${RUNS:-5}
sizes=${SIZES:-2000x1500 6000x4000 12000x8000}
jobs=${JOBS:-png-jpg jpg-jpg png-png}
cli="$build/cli/tessel-cli"
mkdir -p "$work"

if [ ! -x "$cli" ]; then
  echo "== building tessel-cli (Release) in $build"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF >/dev/null
  cmake --build "$build" --target tessel-cli
fi
command -v convert >/dev/null || { echo "ImageMagick's convert is required (bench/install-peers installs the peers)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "GNU time (/usr/bin/time) is required (bench/install-peers installs it)" >&2; exit 1; }

# ---- Sources -------------------------------------------------------------------------------------
# One 6000 x 4000 photo-like picture (plasma, slight blur, mild noise); the small size is its
# top-left corner, the large one four mirrored copies, so every size has the same statistics.
# No gAMA/cHRM/sRGB/text chunks: every tool must see the same plain RGB pixels.
base="$work/photo_6000x4000.png"
if [ ! -f "$base" ]; then
  echo "== making the 6000 x 4000 source (plasma, slight blur, mild noise)"
  convert -seed 7 -size 6000x4000 plasma:fractal -blur 0x1.2 -attenuate 0.25 +noise Gaussian \
    -depth 8 -type TrueColor -define png:exclude-chunks=all PNG24:"$base"
fi
# ImageMagick's resource policy is too tight to assemble the large one: a few lines of libpng do it.
mirror="$work/mirror4"
if [ ! -x "$mirror" ]; then
  cat >"$mirror.c" <<'C'
/* mirror4 IN.png OUT.png: OUT is IN, IN mirrored left-right, and both mirrored top-bottom below. */
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
int main(int argc, char** argv) {
  png_image in;
  memset(&in, 0, sizeof in);
  in.version = PNG_IMAGE_VERSION;
  if (argc != 3 || !png_image_begin_read_from_file(&in, argv[1])) return 2;
  in.format = PNG_FORMAT_RGB;
  size_t w = in.width, h = in.height;
  png_bytep pixels = malloc(PNG_IMAGE_SIZE(in)), row = malloc(6 * w);
  if (!pixels || !row || !png_image_finish_read(&in, NULL, pixels, 0, NULL)) return 2;
  FILE* f = fopen(argv[2], "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
  png_infop info = png_create_info_struct(png);
  if (!f || !png || !info || setjmp(png_jmpbuf(png))) return 2;
  png_init_io(png, f);
  png_set_IHDR(png, info, 2 * w, 2 * h, 8, PNG_COLOR_TYPE_RGB, 0, 0, 0);
  png_write_info(png, info);
  for (size_t y = 0; y < 2 * h; ++y) {
    const png_byte* src = pixels + 3 * w * (y < h ? y : 2 * h - 1 - y);
    memcpy(row, src, 3 * w);
    for (size_t x = 0; x < w; ++x) memcpy(row + 3 * (2 * w - 1 - x), src + 3 * x, 3);
    png_write_row(png, row);
  }
  png_write_end(png, NULL);
  return fclose(f) != 0;
}
C
  cc -O2 -o "$mirror" "$mirror.c" -lpng
fi
for size in $sizes; do
  png="$work/photo_$size.png"
  if [ ! -f "$png" ]; then
    case $size in
      12000x8000) "$mirror" "$base" "$png" ;;
      *) convert "$base" -crop "$size+0+0" +repage -define png:exclude-chunks=all PNG24:"$png" ;;
    esac
  fi
  # Baseline, quality 90, 4:2:0, with libjpeg-turbo's cjpeg where the policy refuses ImageMagick.
  jpg="$work/photo_$size.jpg"
  [ -f "$jpg" ] || convert "$png" -strip -interlace none -sampling-factor 4:2:0 -quality 90 "$jpg" 2>/dev/null ||
    { "$cli" convert "$png" "$work/photo_$size.ppm" && cjpeg -quality 90 -sample 2x2 -outfile "$jpg" "$work/photo_$size.ppm" &&
        rm "$work/photo_$size.ppm"; }
done

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
# Debian's ImageMagick policy caps the pixel cache at 1 GiB of disk, which the 96-megapixel cut
# outgrows part way (it then writes only some of the slices and still succeeds): the runs here
# get limits that let every size finish.
mkdir -p "$work/im-policy"
cat >"$work/im-policy/policy.xml" <<'XML'
<policymap>
  <policy domain="resource" name="memory" value="2GiB"/>
  <policy domain="resource" name="map" value="4GiB"/>
  <policy domain="resource" name="width" value="64KP"/>
  <policy domain="resource" name="height" value="64KP"/>
  <policy domain="resource" name="area" value="1GP"/>
  <policy domain="resource" name="disk" value="8GiB"/>
</policymap>
XML
tools="tessel ImageMagick"
[ -n "$vips_tool" ] && tools="$tools libvips"

# ---- Measuring -----------------------------------------------------------------------------------

# command_for TOOL JOB SIZE OUTDIR: sets `cmd` to the command of one cut into OUTDIR.
command_for() {
  local tool=$1 job=$2 size=$3 out=$4
  local src="$work/photo_$size.${job%%-*}" ext=${job##*-}
  case $tool in
    tessel) cmd=("$cli" export "$src" --html "$out/page.html" --divide 10x10 --format "$ext" --quality 80 --force) ;;
    ImageMagick) cmd=(env MAGICK_CONFIGURE_PATH="$work/im-policy" convert "$src" -crop 10x10@ +repage -quality 80 "$out/out_%d.$ext") ;;
    libvips) cmd=("$vips_tool" "$src" "$out" "$ext" 10) ;;
  esac
}

bytes_of() { find "$1" -type f ! -name '*.html' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'; }

median() {
  sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

results="$work/results.txt"  # lines: SIZE JOB TOOL WALL CPU PEAK_KIB BYTES
: >"$results"
echo "$(nproc) processors; load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
for r in $(seq "$runs"); do
  echo "== run $r of $runs (load $(cut -d' ' -f1 /proc/loadavg))"
  for size in $sizes; do
    for job in $jobs; do
      for tool in $tools; do
        out="$work/out_${tool}_${job}_$size"
        rm -rf "$out" && mkdir -p "$out"
        command_for "$tool" "$job" "$size" "$out"
        if ! /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "${cmd[@]}" >/dev/null 2>"$work/err.txt"; then
          echo "$tool $job $size failed:" >&2
          tail -n 5 "$work/err.txt" >&2
          continue
        fi
        slices=$(find "$out" -type f ! -name '*.html' | wc -l)
        if [ "$slices" -ne 100 ]; then
          echo "$tool $job $size wrote $slices slices instead of 100: not counted" >&2
          continue
        fi
        read -r wall user sys peak <"$work/time.txt"
        echo "$size $job $tool $wall $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $peak $(bytes_of "$out")" >>"$results"
      done
    done
  done
done

# ---- Report --------------------------------------------------------------------------------------

figure() {  # SIZE JOB TOOL COLUMN -> median of that column
  awk -v s="$1" -v j="$2" -v t="$3" -v c="$4" '$1 == s && $2 == j && $3 == t { print $c }' "$results" | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0 && b > 0) printf "%.2f", a / b; else printf "-" }'; }

echo
echo "Medians of $runs interleaved runs; peak = peak resident set; decoded = width x height x 3 bytes."
printf '| size | job | tool | wall s | CPU s | peak MiB | bytes | tessel/tool wall | CPU | peak | bytes |\n'
printf '|---|---|---|---|---|---|---|---|---|---|---|\n'
for size in $sizes; do
  decoded=$(awk -v s="$size" 'BEGIN { split(s, d, "x"); printf "%.0f", d[1] * d[2] * 3 / 1024 }')
  for job in $jobs; do
    tw=$(figure "$size" "$job" tessel 4)
    tc=$(figure "$size" "$job" tessel 5)
    tp=$(figure "$size" "$job" tessel 6)
    tb=$(figure "$size" "$job" tessel 7)
    for tool in $tools; do
      w=$(figure "$size" "$job" "$tool" 4)
      c=$(figure "$size" "$job" "$tool" 5)
      p=$(figure "$size" "$job" "$tool" 6)
      b=$(figure "$size" "$job" "$tool" 7)
      if [ "$tool" = tessel ]; then
        ratios="| | | peak/decoded $(ratio "$tp" "$decoded") |"
      else
        ratios="| $(ratio "$tw" "$w") | $(ratio "$tc" "$c") | $(ratio "$tp" "$p") | $(ratio "$tb" "$b") |"
      fi
      printf '| %s | %s | %s | %s | %s | %.0f | %.0f %s\n' "$size" "$job" "$tool" "$w" "$c" \
        "$(awk -v k="$p" 'BEGIN { print k / 1024 }')" "$b" "$ratios"
    done
  done
done
echo "(work files and raw results in $work)"
