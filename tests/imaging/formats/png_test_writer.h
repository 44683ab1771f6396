// Writes PNG files with libpng directly, for tests that need colour types, bit depths and chunks
// our own writer never produces (alpha, 16 bits, 2-bit grey, gAMA, bKGD, tRNS).
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace pg::formattest {

struct TPngSpec {
  uint32_t Width = 1;
  uint32_t Height = 1;
  int ColorType = PNG_COLOR_TYPE_GRAY;
  int BitDepth = 8;
  bool Interlaced = false;
  // Rows of packed samples as PNG stores them (16-bit samples big-endian).
  std::vector<std::vector<uint8_t>> Rows;
  std::vector<png_color> Palette;
  std::vector<uint8_t> TransparentAlpha;  // palette tRNS
  bool HasTransparentColor = false;
  png_color_16 TransparentColor{};
  bool HasBackground = false;
  png_color_16 Background{};
  double FileGamma = 0;  // gAMA value (0: no chunk)
};

inline std::vector<uint8_t> WritePng(const TPngSpec& spec) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("test PNG could not be written");
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t length) {
        auto* target = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        target->insert(target->end(), data, data + length);
      },
      nullptr);
  png_set_IHDR(png, info, spec.Width, spec.Height, spec.BitDepth, spec.ColorType,
               spec.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!spec.Palette.empty()) {
    png_set_PLTE(png, info, const_cast<png_colorp>(spec.Palette.data()),
                 static_cast<int>(spec.Palette.size()));
  }
  if (!spec.TransparentAlpha.empty()) {
    png_set_tRNS(png, info, const_cast<png_bytep>(spec.TransparentAlpha.data()),
                 static_cast<int>(spec.TransparentAlpha.size()), nullptr);
  } else if (spec.HasTransparentColor) {
    png_set_tRNS(png, info, nullptr, 0, const_cast<png_color_16p>(&spec.TransparentColor));
  }
  if (spec.HasBackground) png_set_bKGD(png, info, const_cast<png_color_16p>(&spec.Background));
  if (spec.FileGamma > 0) png_set_gAMA(png, info, spec.FileGamma);
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (const auto& row : spec.Rows) png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace pg::formattest
