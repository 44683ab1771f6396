#!/bin/sh
# Side-by-side figures of our colour reduction and ImageMagick's on the photo-like pictures that
# reduce_bench makes. ImageMagick is only measured here; nothing in the product or the tests uses it.
# Usage: bench/compare_imagemagick.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR: a Release build configured with -DTESSEL_BENCH=ON (holds bench/reduce_bench)
set -eu
build=${1:?usage: $0 BUILD_DIR [WORK_DIR]}
work=${2:-$(mktemp -d)}
bench="$build/bench/reduce_bench"
mkdir -p "$work"

echo "== pictures and our palette error (nearest entry, no dithering)"
"$bench" --write-ppm="$work"

for picture in photo_test photo_big; do
  convert "$work/$picture.ppm" +dither -colors 256 "$work/${picture}_im256.ppm"
  printf '%s: ImageMagick -colors 256 (no dithering) MSE ' "$picture"
  "$bench" --mse="$work/$picture.ppm,$work/${picture}_im256.ppm"
done

echo "== ImageMagick run times on photo_big (decode and encode included)"
for args in "-dither FloydSteinberg -colors 256" "-dither FloydSteinberg -monochrome"; do
  start=$(date +%s.%N)
  # shellcheck disable=SC2086
  convert "$work/photo_big.ppm" $args "$work/photo_big_out.ppm"
  end=$(date +%s.%N)
  echo "convert $args: $(echo "$end - $start" | bc) s"
done

echo "== our reduction"
"$bench" --benchmark_filter='Reduce|BuildPalette|DitherCopy|ScaledCopy' --benchmark_min_time=1
