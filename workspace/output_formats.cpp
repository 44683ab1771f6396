#include "workspace/output_formats.h"

#include <array>

#include "imaging/image/ascii.h"

namespace tessel {

namespace {

void Plain(pg::TSaveSettings& settings) {
  settings.PNGIndexed = false;
  settings.WebPLossless = false;
}

void IndexedPng(pg::TSaveSettings& settings) {
  Plain(settings);
  settings.PNGIndexed = true;
}

void LosslessWebP(pg::TSaveSettings& settings) {
  Plain(settings);
  settings.WebPLossless = true;
}

constexpr std::array<TSliceFormat, 8> kFormats = {{
    {"jpg", ".jpg", "JPEG", "image/jpeg", ".jpg", Plain},
    {"bmp", ".bmp", "BMP", "image/bmp", ".bmp", Plain},
    {"tif", ".tif", "TIFF", "image/tiff", ".tif", Plain},
    {"png", ".png", "PNG", "image/png", ".png", Plain},
    {"png8", ".png", "PNG-8 indexed", "image/png", ".png (8-bit)", IndexedPng},
    {"webp", ".webp", "WebP", "image/webp", ".webp", Plain},
    {"webp-lossless", ".webp", "WebP lossless", "image/webp", ".webp (lossless)", LosslessWebP},
    {"avif", ".avif", "AVIF", "image/avif", ".avif", Plain},
}};

}  // namespace

std::span<const TSliceFormat> SliceFormats() {
  return kFormats;
}

const TSliceFormat& DefaultSliceFormat() {
  return kFormats.front();
}

const TSliceFormat* FindSliceFormat(std::string_view name) {
  if (!name.empty() && name.front() == '.') name.remove_prefix(1);
  const std::string lower = pg::ToLower(name);
  for (const TSliceFormat& format : kFormats) {
    if (format.Name == lower) return &format;
  }
  return nullptr;
}

std::string SliceFormatChoices() {
  std::string text;
  for (size_t i = 0; i < kFormats.size(); ++i) {
    if (i > 0) text += i + 1 == kFormats.size() ? " or " : ", ";
    text += kFormats[i].Name;
  }
  return text;
}

}  // namespace tessel
