// The I/O toolkit of the readers and writers: errors with the format's prefix, exact reads and
// skips, the index and image-size checks every reader makes before it allocates, buffered byte
// input, and the colour rows writers take from any image. Private to imaging/formats.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/formats/file_format.h"
#include "imaging/image/byte_order.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

namespace pg::formats {

// "268,435,456": the limit as the user would write it in a setting.
inline std::string GroupedNumber(int64_t value) {
  std::string digits = std::to_string(value);
  const size_t first = digits[0] == '-' ? 1 : 0;
  for (size_t at = digits.size(); at > first + 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

// The text of the pixel-limit error, after the format's prefix.
inline std::string PixelLimitText(int64_t width, int64_t height, int64_t limit) {
  return "Image of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels exceeds the pixel limit of " + GroupedNumber(limit) +
         " (MaxPixels); raise the limit to load it";
}

// Errors of one format: its exception class and its prefix ("BMP: ").
template <class E>
struct TFormatErrors {
  std::string Prefix;

  [[noreturn]] void Raise(const std::string& text) const { throw E(Prefix + text); }
  [[noreturn]] void Invalid(const std::string& what) const { Raise(MessageText(7, what)); }
  [[noreturn]] void EndOfFile() const { Raise(MessageText(32)); }

  // Reads exactly `count` bytes or raises "Unexpected end of file".
  void Read(TStream& stream, void* buffer, size_t count) const {
    if (!stream.ReadExact(buffer, count)) EndOfFile();
  }
  // Skips `count` bytes that must be present in the stream.
  void Skip(TStream& stream, int64_t count) const {
    if (count <= 0) return;
    if (count > stream.Remaining()) EndOfFile();
    stream.Seek(count, TSeekOrigin::Current);
  }
  // Index must be 0 for single-image formats: message 7 when reading, message 20 for GetInfo.
  void CheckIndex(int32_t index, bool info) const {
    if (index != 0) Raise(info ? MessageText(20, "Index") : MessageText(7, "Index"));
  }
  // Refuses an image of more than `maxPixels` pixels, or one the image cannot address, before
  // anything is allocated for it. Images without pixels pass.
  void CheckPixelLimit(int64_t width, int64_t height, int64_t maxPixels) const {
    if (width <= 0 || height <= 0) return;
    if (width > maxPixels || height > maxPixels / width) {
      throw EPGPixelLimitOf<E>(Prefix + PixelLimitText(width, height, maxPixels), width, height, maxPixels);
    }
    if (width > INT32_MAX || height > INT32_MAX) Raise(MessageText(27, "image"));
  }
  // A picture a writer can store: not empty (message 35), and no side longer than the format's.
  void CheckWritableSize(const TPixelGraphic& graphic, int64_t maxSide) const {
    const int64_t width = graphic.Width(), height = graphic.Height();
    if (width <= 0 || height <= 0 || graphic.Empty()) Raise(MessageText(35));
    if (width > maxSide || height > maxSide) {
      Raise("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels exceeds the format's " + std::to_string(maxSide) + " pixels a side");
    }
  }
  // Both dimensions positive (message 35), then the pixel limit.
  void CheckImageSize(int64_t width, int64_t height, int64_t maxPixels) const {
    if (width <= 0 || height <= 0) Raise(MessageText(35));
    CheckPixelLimit(width, height, maxPixels);
  }
};

// Reads a stream through a buffer of its own; the end of the data raises the format's "Unexpected
// end of file". The stream position is left after the buffered bytes; callers that need the exact
// position use Position().
template <class E>
class TByteReader {
 public:
  TByteReader(TStream& stream, const TFormatErrors<E>& errors, size_t bufferSize = 64 * 1024)
      : stream_(stream), errors_(errors), buffer_(bufferSize) {}

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

  [[noreturn]] void Fail() const { errors_.EndOfFile(); }
  TStream& Stream() const { return stream_; }

 private:
  bool Fill() {
    pos_ = 0;
    end_ = stream_.Read(buffer_.data(), buffer_.size());
    return end_ > 0;
  }

  TStream& stream_;
  const TFormatErrors<E>& errors_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

// Rows of a fixed number of bytes stored one after the other from `start`, top row first or
// bottom row first, handed out from the top of the picture down. A block of rows is read at a
// time, with a seek before each, so a bottom-up file is read from its end backwards without
// holding more than one block. Every row must be in the stream (checked by the caller).
template <class E>
class TRowBlocks {
 public:
  TRowBlocks(TStream& stream, const TFormatErrors<E>& errors, int64_t start, int64_t rowBytes, int32_t height,
             bool topDown)
      : stream_(stream),
        errors_(errors),
        start_(start),
        rowBytes_(rowBytes),
        height_(height),
        topDown_(topDown) {
    blockRows_ = static_cast<int32_t>(
        std::clamp<int64_t>(kBlockBytes / std::max<int64_t>(rowBytes_, 1), 1, std::max(height_, 1)));
    block_.resize(static_cast<size_t>(blockRows_ * rowBytes_));
  }

  // The next row from the top.
  const uint8_t* Next() {
    if (next_ >= blockFirst_ + blockCount_) Load();
    const int32_t i = next_++ - blockFirst_;
    return block_.data() + (topDown_ ? i : blockCount_ - 1 - i) * rowBytes_;
  }

 private:
  static constexpr int64_t kBlockBytes = int64_t{256} << 10;

  // Rows next_ .. next_ + blockCount_ - 1 of the picture, in file order.
  void Load() {
    if (next_ >= height_) errors_.EndOfFile();
    blockFirst_ = next_;
    blockCount_ = std::min(blockRows_, height_ - next_);
    const int64_t fileRow = topDown_ ? next_ : height_ - next_ - blockCount_;
    stream_.SetPosition(start_ + fileRow * rowBytes_);
    errors_.Read(stream_, block_.data(), static_cast<size_t>(blockCount_ * rowBytes_));
  }

  TStream& stream_;
  const TFormatErrors<E>& errors_;
  int64_t start_;
  int64_t rowBytes_;
  int32_t height_;
  bool topDown_;
  int32_t blockRows_ = 1;
  std::vector<uint8_t> block_;
  int32_t blockFirst_ = 0;
  int32_t blockCount_ = 0;
  int32_t next_ = 0;
};

// Stream calls for the I/O callbacks of the C codecs, which must never let an exception through
// their frames: a read gives -1 on failure, a write false.
inline int64_t ReadNoThrow(TStream& stream, void* buffer, size_t count) noexcept {
  try {
    return static_cast<int64_t>(stream.Read(buffer, count));
  } catch (...) {
    return -1;
  }
}
inline bool WriteNoThrow(TStream& stream, const void* buffer, size_t count) noexcept {
  try {
    stream.WriteBuffer(buffer, count);
    return true;
  } catch (...) {
    return false;
  }
}

// Bytes of one row of `bitsPerPixel` x `width`, padded to 4 bytes, in 64 bits.
inline int64_t PaddedRowBytes(int64_t bitsPerPixel, int64_t width) {
  return ((bitsPerPixel * width + 31) / 32) * 4;
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

// A colour channel of `alpha` (0 transparent .. 255 opaque) over a background channel, rounded.
constexpr uint8_t BlendOver(uint32_t value, uint32_t alpha, uint32_t background) {
  return static_cast<uint8_t>((value * alpha + background * (255 - alpha) + 127) / 255);
}

// Grey value of a colour with the 299/587/114 weights.
constexpr uint8_t GrayOf(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
}

inline std::string ColorsTextOf(int32_t bitsPerPixel) {
  if (bitsPerPixel >= 24) return "16777216";
  return std::to_string(int64_t{1} << std::max(bitsPerPixel, 0));
}

}  // namespace pg::formats
