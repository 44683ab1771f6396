// Files made by other programs (cwebp, avifenc, ImageMagick's convert) for the real-file tests of
// the WebP and AVIF readers, and the picture measures the lossy round trips are held to.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/image/pixel_graphic.h"
#include "tests/imaging/formats/png_test_writer.h"

namespace pg::formattest {

// Whether a program is on the PATH.
inline bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command with its output kept out of the test's; true when it exits with 0.
inline bool RunQuietly(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Quotes a path for the shell.
inline std::string Quoted(const std::filesystem::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Peak signal-to-noise ratio of two pictures of the same size over R, G and B, in dB (99 when
// they are equal).
inline double Psnr(const TPixelGraphic& a, const TPixelGraphic& b) {
  double sum = 0;
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      const TColor ca = a.Colors(x, y), cb = b.Colors(x, y);
      for (int shift : {0, 8, 16}) {
        const double d =
            static_cast<double>((ca >> shift) & 0xFF) - static_cast<double>((cb >> shift) & 0xFF);
        sum += d * d;
      }
    }
  }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// An RGBA PNG description of `width` x `height`: red across, green down, blue from both, alpha
// from 0 on the top row to 255 on the bottom one, so every alpha value meets several colours.
inline TPngSpec RgbaRamps(uint32_t width, uint32_t height) {
  TPngSpec spec;
  spec.Width = width;
  spec.Height = height;
  spec.ColorType = PNG_COLOR_TYPE_RGBA;
  for (uint32_t y = 0; y < height; ++y) {
    std::vector<uint8_t> row;
    for (uint32_t x = 0; x < width; ++x) {
      row.insert(row.end(),
                 {static_cast<uint8_t>(x * 6), static_cast<uint8_t>(255 - y * 5),
                  static_cast<uint8_t>((x + y) * 3), static_cast<uint8_t>(y * 255 / (height - 1))});
    }
    spec.Rows.push_back(row);
  }
  return spec;
}

// A smooth picture with some detail, as lossy codecs are made for: gradients, a soft disc and a
// few hard edges.
inline void MakePhotoLike(TPixelGraphic& image, int32_t width, int32_t height) {
  image.NewImage(width, height, bc24Bit);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const double dx = x - width * 0.4, dy = y - height * 0.5;
      const double disc = std::exp(-(dx * dx + dy * dy) / (0.05 * width * width));
      const auto r = static_cast<uint8_t>(40 + 150.0 * x / width + 60 * disc);
      const auto g = static_cast<uint8_t>(60 + 120.0 * y / height + 40 * disc);
      const auto b = static_cast<uint8_t>(x > width * 3 / 4 ? 200 : 90 + 50 * disc);
      image.SetColors(x, y, RGBColor(r, g, b));
    }
  }
}

}  // namespace pg::formattest
