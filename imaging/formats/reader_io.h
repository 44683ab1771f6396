// Small helpers shared by the TIFF, PCX, TGA and PBM/PGM/PPM units: buffered byte input that
// raises the format's "Unexpected end of file", the reader progress bracket, the image size limit
// and colour rows for writers. Private to imaging/formats.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/formats/file_format.h"
#include "imaging/formats/format_support.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

namespace pg::formatio {

// Reads a stream through a buffer of its own. The stream position is left after the buffered
// bytes; callers that need the exact position use Position().
template <class E>
class TByteReader {
 public:
  TByteReader(TStream& stream, std::string prefix, size_t bufferSize = 64 * 1024)
      : stream_(stream), prefix_(std::move(prefix)), buffer_(bufferSize) {}

  // The next byte, or -1 at the end of the data.
  int Get() {
    if (pos_ == end_ && !Fill()) return -1;
    return buffer_[pos_++];
  }
  int Peek() {
    if (pos_ == end_ && !Fill()) return -1;
    return buffer_[pos_];
  }
  uint8_t Byte() {
    if (pos_ == end_ && !Fill()) Fail();
    return buffer_[pos_++];
  }
  void Bytes(uint8_t* dst, size_t count) {
    while (count > 0) {
      if (pos_ == end_ && !Fill()) Fail();
      const size_t n = std::min(count, end_ - pos_);
      std::memcpy(dst, buffer_.data() + pos_, n);
      pos_ += n;
      dst += n;
      count -= n;
    }
  }
  void Skip(int64_t count) {
    const int64_t inBuffer = static_cast<int64_t>(end_ - pos_);
    if (count <= inBuffer) {
      pos_ += static_cast<size_t>(count);
      return;
    }
    count -= inBuffer;
    pos_ = end_ = 0;
    if (count > stream_.Remaining()) Fail();
    stream_.Seek(count, TSeekOrigin::Current);
  }
  // Bytes still available: the buffered ones plus the rest of the stream.
  int64_t Remaining() { return static_cast<int64_t>(end_ - pos_) + stream_.Remaining(); }
  int64_t Position() { return stream_.Position() - static_cast<int64_t>(end_ - pos_); }

  [[noreturn]] void Fail() const { throw E(prefix_ + MessageText(32)); }

 private:
  bool Fill() {
    pos_ = 0;
    end_ = stream_.Read(buffer_.data(), buffer_.size());
    return end_ > 0;
  }

  TStream& stream_;
  std::string prefix_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

// The progress bracket of the reader protocol, shared with the other readers.
using formats::TProgressScope;

// Checks image dimensions before anything is allocated: both positive (message 35) and the pixel
// count within the library-wide limit.
template <class E>
void CheckImageSize(int64_t width, int64_t height, const std::string& prefix) {
  if (width <= 0 || height <= 0) throw E(prefix + MessageText(35));
  if (width > INT32_MAX || height > INT32_MAX || width * height > FormatOptions().MaxPixels) {
    throw E(prefix + MessageText(27, "image"));
  }
}

template <class E>
void CheckIndex(int32_t index, const std::string& prefix, bool inGetInfo) {
  if (index != 0) throw E(prefix + (inGetInfo ? MessageText(20, "Index") : MessageText(7, "Index")));
}

// Palette of a palette-format image as 256 colours (missing entries black).
inline std::vector<TColor> PaletteTable(const TPixelGraphic& graphic) {
  std::vector<TColor> table(256, 0);
  if (graphic.BitCount() == bc24Bit) return table;
  const int32_t n = std::min<int32_t>(graphic.PaletteCount(), 256);
  for (int32_t i = 0; i < n; ++i) table[i] = graphic.PaletteEntries(i);
  return table;
}

// Row y of any image as R, G, B bytes (3 x Width).
inline void RowToRGB(const TPixelGraphic& graphic, const std::vector<TColor>& palette, int32_t y,
                     uint8_t* rgb) {
  const uint8_t* src = graphic.ScanLine(y);
  const int32_t width = graphic.Width();
  auto put = [&](int32_t x, TColor c) {
    rgb[3 * x] = GetRValue(c);
    rgb[3 * x + 1] = GetGValue(c);
    rgb[3 * x + 2] = GetBValue(c);
  };
  switch (graphic.BitCount()) {
    case bc1Bit:
      for (int32_t x = 0; x < width; ++x) put(x, palette[(src[x >> 3] >> (7 - (x & 7))) & 1]);
      break;
    case bc4Bit:
      for (int32_t x = 0; x < width; ++x)
        put(x, palette[(x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4)]);
      break;
    case bc8Bit:
      for (int32_t x = 0; x < width; ++x) put(x, palette[src[x]]);
      break;
    case bc24Bit:
      for (int32_t x = 0; x < width; ++x) {
        rgb[3 * x] = src[3 * x + 2];
        rgb[3 * x + 1] = src[3 * x + 1];
        rgb[3 * x + 2] = src[3 * x];
      }
      break;
  }
}

// Grey value of a colour with the 299/587/114 weights.
constexpr uint8_t GrayOf(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
}

inline std::string ColorsTextOf(int32_t bitsPerPixel) {
  if (bitsPerPixel >= 24) return "16777216";
  return std::to_string(int64_t{1} << std::max(bitsPerPixel, 0));
}

}  // namespace pg::formatio
