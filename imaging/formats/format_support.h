// Helpers shared by the BMP, JPEG and PNG readers and writers: the progress bracket of the reader
// protocol, errors with the format's prefix, exact reads, size limits and little-endian fields.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "imaging/formats/file_format.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

namespace pg::formats {

// Fires the image's progress-start event on construction and progress-end on destruction, so the
// end event follows on every path: success, Abort and failure.
class TProgressScope {
 public:
  TProgressScope(const TPixelGraphic& graphic, const void* sender) : graphic_(graphic), sender_(sender) {
    graphic_.ProgressStart(sender_);
  }
  ~TProgressScope() {
    try {
      graphic_.ProgressEnd(sender_);
    } catch (...) {
      // A handler that throws while an error is already travelling must not end the program.
    }
  }
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;

  // Reports a step; true when the handler asks to abort.
  bool Step(int32_t step, int32_t max) const { return graphic_.ProgressStep(sender_, step, max); }

 private:
  const TPixelGraphic& graphic_;
  const void* sender_;
};

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
  // Refuses images larger than the library-wide pixel limit before anything is allocated.
  void CheckPixelLimit(int64_t width, int64_t height) const {
    const int64_t limit = FormatOptions().MaxPixels;
    if (width > 0 && height > 0 && (width > limit || height > limit / width)) {
      Raise("Image of " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels exceeds the limit of " + std::to_string(limit) + " pixels");
    }
  }
};

inline uint16_t GetLE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t GetLE32Signed(const uint8_t* p) {
  return static_cast<int32_t>(GetLE32(p));
}
inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Bytes of one row of `bitsPerPixel` x `width`, padded to 4 bytes, in 64 bits.
inline int64_t PaddedRowBytes(int64_t bitsPerPixel, int64_t width) {
  return ((bitsPerPixel * width + 31) / 32) * 4;
}

}  // namespace pg::formats
