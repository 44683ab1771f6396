#include "imaging/formats/image_io.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>

#include "imaging/formats/bmp.h"
#include "imaging/formats/format_io.h"
#include "imaging/image/byte_order.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/safe_file.h"
#include "imaging/image/stream.h"

namespace pg {

namespace {

const formats::TFormatErrors<EPGBMPFileFormatReader> kDataErrors{"BMP: "};

std::string FileExtension(const std::filesystem::path& path) {
  return NormalizeExtension(path.extension().string());
}

// The library's own BMP writer, used by SaveImage without an extension.
const TBMPFileFormatWriter& OwnBMPWriter() {
  static const TBMPFileFormatWriter writer;
  return writer;
}

// `size` bytes of another stream from its position on, as a read-only stream of their own: a
// reader given it cannot read past them.
class TStreamWindow : public TStream {
 public:
  TStreamWindow(TStream& base, int64_t size) : base_(base), start_(base.Position()), size_(size) {}

  size_t Read(void* buffer, size_t count) override {
    if (position_ >= size_) return 0;
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size_ - position_));
    base_.SetPosition(start_ + position_);
    const size_t got = base_.Read(buffer, count);
    position_ += static_cast<int64_t>(got);
    return got;
  }
  size_t Write(const void*, size_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t from = origin == TSeekOrigin::Begin     ? 0
                         : origin == TSeekOrigin::Current ? position_
                                                          : size_;
    position_ = std::max<int64_t>(from + offset, 0);
    return position_;
  }
  int64_t Size() override { return size_; }

 private:
  TStream& base_;
  int64_t start_;
  int64_t size_;
  int64_t position_ = 0;
};

}  // namespace

void LoadImage(TPixelGraphic& graphic, const std::string& fileName, int32_t index,
               const TLoadOptions& options) {
  TFileStream stream(fileName, TFileMode::Read);
  LoadImage(graphic, stream, FileExtension(fileName), index, options);
}

void LoadImage(TPixelGraphic& graphic, TStream& stream, std::string_view extension, int32_t index,
               const TLoadOptions& options) {
  const TUpdateScope update(graphic);
  // The image is finished also when the reader fails: what it produced so far gets its palette
  // identity, and the reader's error is the one that propagates.
  struct TRecognizeAtEnd {
    TPixelGraphic& Graphic;
    ~TRecognizeAtEnd() { Graphic.RecognizePalette(); }
  } recognize{graphic};
  graphic.NewImage(0, 0, bc24Bit);
  graphic.SetGamma(options.DefaultGamma);
  const TFileFormatReader* reader = FindFileFormatReader(stream, std::string(extension));
  if (reader == nullptr) throw EPGUnknownFileFormat(MessageText(6));
  reader->ReadFromStream(stream, graphic, index, options);
  CorrectLoadedGamma(graphic, options);
}

void SaveImage(TPixelGraphic& graphic, const std::string& fileName, const TSaveOptions& options) {
  const std::filesystem::path target(fileName);
  SaveGraphic(
      graphic, FileExtension(target), options, [&](const TFileFormatWriter& writer, TPixelGraphic& image) {
        WriteFileSafely(target, [&](TStream& stream) { writer.WriteToStream(stream, image, options); });
      });
}

void SaveImage(TPixelGraphic& graphic, TStream& stream, std::string_view extension,
               const TSaveOptions& options) {
  SaveGraphic(graphic, extension, options, [&](const TFileFormatWriter& writer, TPixelGraphic& image) {
    writer.WriteToStream(stream, image, options);
  });
}

void SaveImage(TPixelGraphic& graphic, TStream& stream) {
  OwnBMPWriter().WriteToStream(stream, graphic, TSaveOptions());
}

void ReadDIB(TPixelGraphic& graphic, TStream& stream, bool coreHeader, const TLoadOptions& options) {
  const TUpdateScope update(graphic);
  ReadDIBFromStream(stream, graphic, coreHeader, &graphic, options.MaxPixels);
}

void WriteDIB(const TPixelGraphic& graphic, TStream& stream) {
  WriteDIBToStream(stream, graphic);
}

void WriteData(TPixelGraphic& graphic, TStream& stream) {
  const int64_t countAt = stream.Position();
  uint8_t count[4] = {};
  stream.WriteBuffer(count, sizeof(count));
  SaveImage(graphic, stream);
  const int64_t end = stream.Position();
  // The BMP writer refuses files beyond 32 bits, so the count always fits.
  PutLE32(count, static_cast<uint32_t>(end - countAt - 4));
  stream.SetPosition(countAt);
  stream.WriteBuffer(count, sizeof(count));
  stream.SetPosition(end);
}

void ReadData(TPixelGraphic& graphic, TStream& stream, const TLoadOptions& options) {
  uint8_t raw[4];
  kDataErrors.Read(stream, raw, sizeof(raw));
  const int64_t count = GetLE32(raw);
  const int64_t start = stream.Position();
  struct TPositionAtEnd {
    TStream& Stream;
    int64_t End;
    ~TPositionAtEnd() {
      try {
        Stream.SetPosition(End);
      } catch (...) {
        // The load's own error, if any, is the one to report.
      }
    }
  } positionAtEnd{stream, start + count};
  if (count > stream.Remaining()) kDataErrors.EndOfFile();
  TStreamWindow data(stream, count);
  LoadImage(graphic, data, "bmp", 0, options);
}

}  // namespace pg
