#include "imaging/formats/pnm.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "imaging/formats/format_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

namespace pg {

namespace {

const formats::TFormatErrors<EPGPxMFileFormatReader> kErrors{"PBM, PGM, PPM: "};
constexpr int32_t kMaxVal = 65535;
// Plain files keep their lines at most this long.
constexpr size_t kPlainLineLength = 70;

using TReader = formats::TByteReader<EPGPxMFileFormatReader>;

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Skips white space and comments ("#" up to the end of the line).
void SkipSeparators(TReader& in) {
  for (;;) {
    const int c = in.Peek();
    if (c == '#') {
      int d;
      do d = in.Get();
      while (d != -1 && d != '\n' && d != '\r');
    } else if (IsSpace(c)) {
      in.Get();
    } else {
      return;
    }
  }
}

// A decimal number after separators; `what` names the field in the error.
uint32_t ReadNumber(TReader& in, const char* what, uint32_t limit) {
  SkipSeparators(in);
  int c = in.Peek();
  if (c == -1) in.Fail();
  if (c < '0' || c > '9') kErrors.Raise(MessageText(7, what));
  uint64_t value = 0;
  while (c >= '0' && c <= '9') {
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > limit) kErrors.Raise(MessageText(41, what));
    in.Get();
    c = in.Peek();
  }
  return static_cast<uint32_t>(value);
}

struct THeader {
  char kind = 0;  // '1' .. '6'
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t maxVal = 1;
  bool Raw() const { return kind >= '4'; }
  int Channels() const { return (kind == '3' || kind == '6') ? 3 : 1; }
  bool Bitmap() const { return kind == '1' || kind == '4'; }
};

THeader ReadHeader(TReader& in) {
  THeader h;
  const int p = in.Get();
  const int k = in.Get();
  if (p != 'P' || k < '1' || k > '6') kErrors.Raise(MessageText(34, "PBM, PGM or PPM"));
  h.kind = static_cast<char>(k);
  h.width = ReadNumber(in, "Width", INT32_MAX);
  h.height = ReadNumber(in, "Height", INT32_MAX);
  if (!h.Bitmap()) {
    h.maxVal = ReadNumber(in, "MaxVal", kMaxVal);
    if (h.maxVal == 0) kErrors.Raise(MessageText(7, "MaxVal"));
  }
  // Exactly one white-space character separates the header from raw data.
  const int sep = in.Get();
  if (sep == -1) {
    if (h.Raw()) in.Fail();
  } else if (!IsSpace(sep) && sep != '#') {
    kErrors.Raise(MessageText(7, "Header"));
  } else if (sep == '#') {
    int d;
    do d = in.Get();
    while (d != -1 && d != '\n' && d != '\r');
  }
  return h;
}

TBitCount BitCountOf(const THeader& h) {
  return h.Bitmap() ? bc1Bit : h.Channels() == 3 ? bc24Bit : bc8Bit;
}

// Scales samples of 0..maxVal to 0..255 through a table (one entry per possible sample).
std::vector<uint8_t> ScaleTable(uint32_t maxVal) {
  std::vector<uint8_t> table(static_cast<size_t>(maxVal) + 1);
  for (uint32_t v = 0; v <= maxVal; ++v)
    table[v] = static_cast<uint8_t>((uint64_t{v} * 255 + maxVal / 2) / maxVal);
  return table;
}

}  // namespace

TPxMFileFormatReader::TPxMFileFormatReader() {
  HasSignature = true;
}

TPBMFileFormatReader::TPBMFileFormatReader() {
  Extension = "pbm";
  kinds_ = "14";
  Description = "Portable Bitmap";
}

TPGMFileFormatReader::TPGMFileFormatReader() {
  Extension = "pgm";
  kinds_ = "25";
  Description = "Portable Graymap";
}

TPPMFileFormatReader::TPPMFileFormatReader() {
  Extension = "ppm";
  kinds_ = "36";
  Description = "Portable Pixelmap";
}

bool TPxMFileFormatReader::IsFormat(const uint8_t* header) const {
  if (!kinds_.empty() && kinds_.find(static_cast<char>(header[1])) == std::string::npos) return false;
  return header[0] == 'P' && header[1] >= '1' && header[1] <= '6' && (IsSpace(header[2]) || header[2] == '#');
}

namespace {

// The rows of a file past its header, in file order (top down).
class TPxMRowDecoder : public TRowDecoder {
 public:
  // `blackIsZero`: bit 1 of a PBM file (black) is stored as index 0.
  TPxMRowDecoder(TReader in, const THeader& h, bool blackIsZero)
      : TRowDecoder(static_cast<int32_t>(h.height)),
        in_(std::move(in)),
        h_(h),
        width_(h.width),
        channels_(h.Channels()),
        samplesPerRow_(width_ * channels_),
        sampleBytes_(h.maxVal > 255 ? 2 : 1),
        blackIsZero_(blackIsZero) {
    if (!h.Bitmap()) {
      scale_ = ScaleTable(h.maxVal);
      for (uint32_t v = 0; v < 256; ++v) byteScale_[v] = scale_[std::min(v, h.maxVal)];
    }
    raw_.resize(static_cast<size_t>(RawRowBytes(h)));
  }

  // Bytes of one row of raw data.
  static int64_t RawRowBytes(const THeader& h) {
    return h.Bitmap() ? (int64_t{h.width} + 7) / 8
                      : int64_t{h.width} * h.Channels() * (h.maxVal > 255 ? 2 : 1);
  }

  void ReadRow(uint8_t* dst) override {
    if (h_.Bitmap()) {
      ReadBitmapRow(dst);
    } else if (h_.Raw() && sampleBytes_ == 1) {
      // One byte per sample: straight through the scale table (samples above maxval clamp).
      in_.Bytes(raw_.data(), raw_.size());
      if (channels_ == 1) {
        for (int64_t x = 0; x < width_; ++x) dst[x] = byteScale_[raw_[x]];
      } else {
        for (int64_t x = 0; x < width_; ++x) {
          dst[3 * x] = byteScale_[raw_[3 * x + 2]];
          dst[3 * x + 1] = byteScale_[raw_[3 * x + 1]];
          dst[3 * x + 2] = byteScale_[raw_[3 * x]];
        }
      }
    } else if (h_.Raw()) {
      in_.Bytes(raw_.data(), raw_.size());
      for (int64_t i = 0; i < samplesPerRow_; ++i) {
        uint32_t v = sampleBytes_ == 2 ? (uint32_t{raw_[2 * i]} << 8) | raw_[2 * i + 1] : raw_[i];
        if (v > h_.maxVal) v = h_.maxVal;
        Store(dst, i, scale_[v]);
      }
    } else {
      for (int64_t i = 0; i < samplesPerRow_; ++i) {
        const uint32_t v = ReadNumber(in_, "Pixel", kMaxVal);
        Store(dst, i, scale_[std::min(v, h_.maxVal)]);
      }
    }
  }

 private:
  void ReadBitmapRow(uint8_t* dst) {
    const size_t bytes = raw_.size();
    if (h_.Raw()) {
      in_.Bytes(dst, bytes);
    } else {
      std::fill(dst, dst + bytes, 0);
      for (int64_t x = 0; x < width_; ++x) {
        SkipSeparators(in_);
        const int c = in_.Get();
        if (c == -1) in_.Fail();
        if (c != '0' && c != '1') kErrors.Raise(MessageText(7, "Pixel"));
        if (c == '1') dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      }
    }
    if (blackIsZero_) {
      for (size_t i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>(~dst[i]);
    }
  }

  // One sample, written as grey index or in B, G, R order.
  void Store(uint8_t* dst, int64_t i, uint8_t v) const {
    if (channels_ == 1) {
      dst[i] = v;
    } else {
      dst[(i / 3) * 3 + 2 - (i % 3)] = v;
    }
  }

  TReader in_;
  THeader h_;
  int64_t width_;
  int channels_;
  int64_t samplesPerRow_;
  int sampleBytes_;
  bool blackIsZero_;
  std::vector<uint8_t> scale_;
  std::array<uint8_t, 256> byteScale_{};
  std::vector<uint8_t> raw_;
};

// Reads and checks the header and gives `graphic` the picture's width, pixel format and palette
// with `rows` rows (the whole height, or none for a decoder of rows).
std::unique_ptr<TPxMRowDecoder> OpenPicture(TStream& stream, TPixelGraphic& graphic,
                                            const TLoadOptions& options, bool allRows) {
  graphic.SetGamma(options.DefaultGamma);
  TReader in(stream, kErrors);
  const THeader h = ReadHeader(in);
  kErrors.CheckImageSize(h.width, h.height, options.MaxPixels);
  // Every sample takes at least one byte of the file, so the data must be there before the image
  // is allocated.
  const int64_t samplesPerRow = int64_t{h.width} * h.Channels();
  const int64_t needed =
      h.Raw() ? TPxMRowDecoder::RawRowBytes(h) * h.height : (samplesPerRow * h.height + 1) / 2;
  if (needed > in.Remaining()) in.Fail();

  graphic.NewImage(static_cast<int32_t>(h.width), allRows ? static_cast<int32_t>(h.height) : 0,
                   BitCountOf(h));
  if (h.Bitmap()) {
    graphic.SetPaletteIdent(pBlackWhite);
  } else if (h.Channels() == 1) {
    graphic.SetPaletteIdent(pGray256);
  }
  // Bit 1 of a PBM file is black; the black-and-white palette has black at index 0.
  const bool blackIsZero = !h.Bitmap() || graphic.PaletteEntries(0) == RGBColor(0, 0, 0);
  return std::make_unique<TPxMRowDecoder>(std::move(in), h, blackIsZero);
}

}  // namespace

void TPxMFileFormatReader::ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                          const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  const std::unique_ptr<TPxMRowDecoder> decoder = OpenPicture(stream, graphic, options, true);
  ReadRowsInto(*decoder, graphic, this);
}

std::unique_ptr<TRowDecoder> TPxMFileFormatReader::OpenRows(TStream& stream, TPixelGraphic& graphic,
                                                            int32_t index,
                                                            const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  return OpenPicture(stream, graphic, options, false);
}

void TPxMFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText,
                                   const TLoadOptions& options) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText, options);
  kErrors.CheckIndex(index, true);
  TReader in(stream, kErrors, 4096);
  const THeader h = ReadHeader(in);
  width = static_cast<int32_t>(h.width);
  height = static_cast<int32_t>(h.height);
  bitsPerPixel = h.Bitmap() ? 1 : h.Channels() == 3 ? 24 : 8;
  colorsText = formats::ColorsTextOf(bitsPerPixel);
  subFormatText = std::string("P") + h.kind + (h.Raw() ? " (raw)" : " (plain)");
  if (!h.Bitmap()) infoText = "MaxVal " + std::to_string(h.maxVal);
}

// ---- Writers ------------------------------------------------------------------------------------

TPXMFileFormatWriter::TPXMFileFormatWriter() = default;

TPBMFileFormatWriter::TPBMFileFormatWriter() {
  Extension = "pbm";
  Description = "Portable Bitmap";
  CanWriteResolutions = {crBlackWhite};
}

TPGMFileFormatWriter::TPGMFileFormatWriter() {
  Extension = "pgm";
  Description = "Portable Graymap";
  CanWriteResolutions = {cr256Gray};
}

TPPMFileFormatWriter::TPPMFileFormatWriter() {
  Extension = "ppm";
  Description = "Portable Pixelmap";
  CanWriteResolutions = {cr16MColors};
}

namespace {

// Collects text output and keeps plain lines within kPlainLineLength.
class TPlainOut {
 public:
  explicit TPlainOut(std::string& out, bool spaced) : out_(out), spaced_(spaced) {}
  void Token(const char* text, size_t length) {
    const size_t sep = (spaced_ && column_ > 0) ? 1 : 0;
    if (column_ + sep + length > kPlainLineLength) {
      out_ += '\n';
      column_ = 0;
    } else if (sep) {
      out_ += ' ';
      ++column_;
    }
    out_.append(text, length);
    column_ += length;
  }
  void EndLine() {
    if (column_ > 0) out_ += '\n';
    column_ = 0;
  }

 private:
  std::string& out_;
  bool spaced_;
  size_t column_ = 0;
};

}  // namespace

void TPXMFileFormatWriter::WriteToStream(TStream& stream, TPixelGraphic& graphic,
                                         const TSaveOptions& options) const {
  const bool binary = options.PNMBinary;
  // The kind follows the table entry; the base class writes a pixelmap.
  char kind = 3;
  if (Extension == "pbm") kind = 1;
  if (Extension == "pgm") kind = 2;
  const int32_t width = graphic.Width();
  const int32_t height = graphic.Height();

  std::string out = "P" + std::to_string(kind + (binary ? 3 : 0)) + "\n" + std::to_string(width) + " " +
                    std::to_string(height) + "\n";
  if (kind != 1) out += "255\n";

  const std::vector<TColor> palette = formats::PaletteTable(graphic);
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * 3);
  // Decimal texts of 0..255, built once per file instead of formatting every sample.
  std::array<std::array<char, 4>, 256> numbers{};
  std::array<uint8_t, 256> lengths{};
  for (int v = 0; v < 256; ++v) {
    const std::string text = std::to_string(v);
    std::copy(text.begin(), text.end(), numbers[v].begin());
    lengths[v] = static_cast<uint8_t>(text.size());
  }

  TProgressScope progress(graphic, this);
  TPlainOut plain(out, kind != 1);
  for (int32_t y = 0; y < height && width > 0; ++y) {
    formats::RowToRGB(graphic, palette, y, rgb.data());
    if (kind == 1) {
      if (binary) {
        const size_t bytes = (static_cast<size_t>(width) + 7) / 8;
        const size_t start = out.size();
        out.append(bytes, '\0');
        for (int32_t x = 0; x < width; ++x) {
          if (formats::GrayOf(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]) < 128) {
            out[start + (x >> 3)] = static_cast<char>(out[start + (x >> 3)] | (0x80 >> (x & 7)));
          }
        }
      } else {
        for (int32_t x = 0; x < width; ++x) {
          const char c = formats::GrayOf(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]) < 128 ? '1' : '0';
          plain.Token(&c, 1);
        }
        plain.EndLine();
      }
    } else if (kind == 2) {
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t g = formats::GrayOf(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]);
        if (binary) {
          out += static_cast<char>(g);
        } else {
          plain.Token(numbers[g].data(), lengths[g]);
        }
      }
      if (!binary) plain.EndLine();
    } else {
      if (binary) {
        out.append(reinterpret_cast<const char*>(rgb.data()), rgb.size());
      } else {
        for (uint8_t v : rgb) plain.Token(numbers[v].data(), lengths[v]);
        plain.EndLine();
      }
    }
    if (out.size() >= 64 * 1024) {
      stream.WriteBuffer(out.data(), out.size());
      out.clear();
    }
    if (progress.Step(y, height)) throw EPGAbort(MessageText(29));  // no file cut short
  }
  stream.WriteBuffer(out.data(), out.size());
}

}  // namespace pg
