#include "workspace/output_formats.h"

#include <array>

#include "imaging/image/ascii.h"

namespace tessel {

namespace {

constexpr std::array<TSliceFormat, 4> kFormats = {{
    {"jpg", ".jpg", "JPEG", "image/jpeg"},
    {"bmp", ".bmp", "BMP", "image/bmp"},
    {"tif", ".tif", "TIFF", "image/tiff"},
    {"png", ".png", "PNG", "image/png"},
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
