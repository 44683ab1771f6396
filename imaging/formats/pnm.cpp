#include "imaging/formats/pnm.h"

#include <array>
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

void TPxMFileFormatReader::ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                          const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  graphic.SetGamma(options.DefaultGamma);

  TReader in(stream, kErrors);
  const THeader h = ReadHeader(in);
  kErrors.CheckImageSize(h.width, h.height, options.MaxPixels);
  const int64_t width = h.width;
  const int64_t height = h.height;
  const int channels = h.Channels();
  const int64_t samplesPerRow = width * channels;
  const int sampleBytes = h.maxVal > 255 ? 2 : 1;
  const int64_t rawRowBytes = h.Bitmap() ? (width + 7) / 8 : samplesPerRow * sampleBytes;
  // Every sample takes at least one byte of the file, so the data must be there before the image
  // is allocated.
  const int64_t needed = h.Raw() ? rawRowBytes * height : (samplesPerRow * height + 1) / 2;
  if (needed > in.Remaining()) in.Fail();

  graphic.NewImage(static_cast<int32_t>(width), static_cast<int32_t>(height), BitCountOf(h));
  if (h.Bitmap()) {
    graphic.SetPaletteIdent(pBlackWhite);
  } else if (channels == 1) {
    graphic.SetPaletteIdent(pGray256);
  }

  const std::vector<uint8_t> scale = h.Bitmap() ? std::vector<uint8_t>() : ScaleTable(h.maxVal);
  std::array<uint8_t, 256> byteScale{};
  for (uint32_t v = 0; v < 256 && !scale.empty(); ++v) byteScale[v] = scale[std::min(v, h.maxVal)];
  // Bit 1 of a PBM file is black; the black-and-white palette has black at index 0.
  const bool blackIsZero = !h.Bitmap() || graphic.PaletteEntries(0) == RGBColor(0, 0, 0);
  std::vector<uint8_t> raw(static_cast<size_t>(rawRowBytes));

  TProgressScope progress(graphic, this);
  const int32_t rows = static_cast<int32_t>(height);
  for (int32_t y = 0; y < rows; ++y) {
    uint8_t* dst = graphic.ScanLine(y);
    if (h.Bitmap()) {
      const size_t bytes = static_cast<size_t>(rawRowBytes);
      if (h.Raw()) {
        in.Bytes(dst, bytes);
      } else {
        std::fill(dst, dst + bytes, 0);
        for (int64_t x = 0; x < width; ++x) {
          SkipSeparators(in);
          const int c = in.Get();
          if (c == -1) in.Fail();
          if (c != '0' && c != '1') kErrors.Raise(MessageText(7, "Pixel"));
          if (c == '1') dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
      }
      if (blackIsZero) {
        for (size_t i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>(~dst[i]);
      }
    } else {
      // One sample at a time, written as grey index or in B, G, R order.
      auto store = [&](int64_t i, uint8_t v) {
        if (channels == 1) {
          dst[i] = v;
        } else {
          dst[(i / 3) * 3 + 2 - (i % 3)] = v;
        }
      };
      if (h.Raw() && sampleBytes == 1) {
        // One byte per sample: straight through the scale table (samples above maxval clamp).
        in.Bytes(raw.data(), raw.size());
        if (channels == 1) {
          for (int64_t x = 0; x < width; ++x) dst[x] = byteScale[raw[x]];
        } else {
          for (int64_t x = 0; x < width; ++x) {
            dst[3 * x] = byteScale[raw[3 * x + 2]];
            dst[3 * x + 1] = byteScale[raw[3 * x + 1]];
            dst[3 * x + 2] = byteScale[raw[3 * x]];
          }
        }
      } else if (h.Raw()) {
        in.Bytes(raw.data(), raw.size());
        for (int64_t i = 0; i < samplesPerRow; ++i) {
          uint32_t v = sampleBytes == 2 ? (uint32_t{raw[2 * i]} << 8) | raw[2 * i + 1] : raw[i];
          if (v > h.maxVal) v = h.maxVal;
          store(i, scale[v]);
        }
      } else {
        for (int64_t i = 0; i < samplesPerRow; ++i) {
          const uint32_t v = ReadNumber(in, "Pixel", kMaxVal);
          store(i, scale[std::min(v, h.maxVal)]);
        }
      }
    }
    if (progress.Step(y, rows)) break;
  }
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
