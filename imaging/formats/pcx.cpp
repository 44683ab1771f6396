#include "imaging/formats/pcx.h"

#include <algorithm>
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

// File layout: a 128-byte little-endian header, then every scan line as its planes one after the
// other (bytesPerLine bytes each), run-length encoded: a byte with the top two bits set carries a
// count in its low six bits and is followed by the value; any other byte is a literal. 8-bit
// single-plane files end with 0x0C and a 768-byte palette.
constexpr size_t kPCXHeaderSize = 128;
constexpr uint8_t kManufacturer = 0x0A;
constexpr uint8_t kPaletteMarker = 0x0C;
constexpr int64_t kPaletteTrailerSize = 769;
constexpr int64_t kMaxRun = 63;

const formats::TFormatErrors<EPGPCXFileFormatReader> kErrors{"PCX: "};

using TReader = formats::TByteReader<EPGPCXFileFormatReader>;

// The colours of 16-colour files that carry no palette of their own.
constexpr std::array<TColor, 16> kEGAPalette = {
    RGBColor(0x00, 0x00, 0x00), RGBColor(0x00, 0x00, 0xAA), RGBColor(0x00, 0xAA, 0x00),
    RGBColor(0x00, 0xAA, 0xAA), RGBColor(0xAA, 0x00, 0x00), RGBColor(0xAA, 0x00, 0xAA),
    RGBColor(0xAA, 0x55, 0x00), RGBColor(0xAA, 0xAA, 0xAA), RGBColor(0x55, 0x55, 0x55),
    RGBColor(0x55, 0x55, 0xFF), RGBColor(0x55, 0xFF, 0x55), RGBColor(0x55, 0xFF, 0xFF),
    RGBColor(0xFF, 0x55, 0x55), RGBColor(0xFF, 0x55, 0xFF), RGBColor(0xFF, 0xFF, 0x55),
    RGBColor(0xFF, 0xFF, 0xFF),
};

struct THeader {
  uint8_t version = 0;
  uint8_t encoding = 0;
  uint8_t bitsPerPixel = 0;  // per plane
  int32_t width = 0;
  int32_t height = 0;
  uint8_t planes = 0;
  uint16_t bytesPerLine = 0;  // per plane
  std::array<uint8_t, 48> palette16{};

  int32_t TotalBits() const { return bitsPerPixel * planes; }
};

THeader ReadHeader(TReader& in) {
  std::array<uint8_t, kPCXHeaderSize> b{};
  in.Bytes(b.data(), b.size());
  if (b[0] != kManufacturer || b[1] > 5 || b[1] == 1) kErrors.Raise(MessageText(34, "PCX"));
  THeader h;
  h.version = b[1];
  h.encoding = b[2];
  h.bitsPerPixel = b[3];
  const int32_t xMin = GetLE16(&b[4]), yMin = GetLE16(&b[6]), xMax = GetLE16(&b[8]), yMax = GetLE16(&b[10]);
  std::copy_n(&b[16], 48, h.palette16.begin());
  h.planes = b[65];
  h.bytesPerLine = GetLE16(&b[66]);
  if (h.encoding > 1) kErrors.Raise(MessageText(39));
  h.width = xMax - xMin + 1;
  h.height = yMax - yMin + 1;
  if (xMax < xMin) kErrors.Raise(MessageText(22));
  if (yMax < yMin) kErrors.Raise(MessageText(21));
  const uint8_t bpp = h.bitsPerPixel;
  const bool supported = (bpp == 1 && h.planes >= 1 && h.planes <= 4) ||
                         ((bpp == 2 || bpp == 4) && h.planes == 1) ||
                         (bpp == 8 && (h.planes == 1 || h.planes == 3 || h.planes == 4));
  if (!supported) kErrors.Raise(MessageText(30));
  if (int64_t{h.bytesPerLine} * 8 < int64_t{h.width} * bpp) kErrors.Raise(MessageText(7, "BytesPerLine"));
  return h;
}

TBitCount BitCountOf(const THeader& h) {
  if (h.TotalBits() == 1) return bc1Bit;
  if (h.TotalBits() <= 4) return bc4Bit;
  return h.planes == 1 ? bc8Bit : bc24Bit;
}

// Decodes whole scan lines; a run may continue into the next line.
class TRLEDecoder {
 public:
  TRLEDecoder(TReader& in, bool encoded) : in_(in), encoded_(encoded) {}
  void DecodeLine(uint8_t* dst, size_t count) {
    if (!encoded_) {
      in_.Bytes(dst, count);
      return;
    }
    size_t x = 0;
    while (x < count) {
      if (left_ == 0) {
        const uint8_t c = in_.Byte();
        if ((c & 0xC0) == 0xC0) {
          left_ = c & 0x3F;
          value_ = in_.Byte();
        } else {
          left_ = 1;
          value_ = c;
        }
        continue;
      }
      const size_t n = std::min(left_, count - x);
      std::fill_n(dst + x, n, value_);
      x += n;
      left_ -= n;
    }
  }

 private:
  TReader& in_;
  bool encoded_;
  size_t left_ = 0;
  uint8_t value_ = 0;
};

}  // namespace

TPCXFileFormatReader::TPCXFileFormatReader() {
  Extension = "pcx";
  Description = "Paintbrush";
  HasSignature = true;
}

bool TPCXFileFormatReader::IsFormat(const uint8_t* header) const {
  const uint8_t bpp = header[3];
  return header[0] == kManufacturer && header[1] <= 5 && header[1] != 1 && header[2] <= 1 &&
         (bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8);
}

namespace {

// The scan lines of a file past its header, in file order (top down), as image rows.
class TPCXRowDecoder : public TRowDecoder {
 public:
  TPCXRowDecoder(TStream& stream, const THeader& h)
      : TRowDecoder(h.height),
        h_(h),
        data_(stream, kErrors),
        rle_(data_, h.encoding == 1),
        line_(static_cast<size_t>(h.planes) * h.bytesPerLine) {}

  void ReadRow(uint8_t* dst) override {
    rle_.DecodeLine(line_.data(), line_.size());
    const int32_t width = h_.width;
    const size_t plane = h_.bytesPerLine;
    const std::vector<uint8_t>& line = line_;
    if (h_.planes == 1 && (h_.bitsPerPixel == 1 || h_.bitsPerPixel == 4 || h_.bitsPerPixel == 8)) {
      // Same layout as the image row.
      std::copy_n(line.data(), (static_cast<size_t>(width) * h_.bitsPerPixel + 7) / 8, dst);
    } else if (h_.planes == 1 && h_.bitsPerPixel == 2) {
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t v = (line[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        dst[x >> 1] = static_cast<uint8_t>((x & 1) ? (dst[x >> 1] | v) : (v << 4));
      }
    } else if (h_.bitsPerPixel == 1) {
      // Bit planes: plane p gives bit p of the colour index.
      for (int32_t x = 0; x < width; ++x) {
        uint8_t v = 0;
        for (int p = 0; p < h_.planes; ++p)
          v |= static_cast<uint8_t>(((line[p * plane + (x >> 3)] >> (7 - (x & 7))) & 1) << p);
        dst[x >> 1] = static_cast<uint8_t>((x & 1) ? (dst[x >> 1] | v) : (v << 4));
      }
    } else {
      // 8-bit planes R, G, B (and a fourth, alpha, which is not kept).
      for (int32_t x = 0; x < width; ++x) {
        dst[3 * x] = line[2 * plane + x];
        dst[3 * x + 1] = line[plane + x];
        dst[3 * x + 2] = line[x];
      }
    }
  }

 private:
  THeader h_;
  TReader data_;
  TRLEDecoder rle_;  // reads data_
  std::vector<uint8_t> line_;
};

// Reads and checks the header (and the palette at the end of the file) and gives `graphic` the
// picture's width, pixel format and palette with `rows` rows (the whole height, or none for a
// decoder of rows). Leaves the stream at the pixel data.
std::unique_ptr<TPCXRowDecoder> OpenPicture(TStream& stream, TPixelGraphic& graphic,
                                            const TLoadOptions& options, bool allRows) {
  graphic.SetGamma(options.DefaultGamma);

  const int64_t start = stream.Position();
  TReader in(stream, kErrors, kPCXHeaderSize);
  const THeader h = ReadHeader(in);
  kErrors.CheckImageSize(h.width, h.height, options.MaxPixels);
  const TBitCount bitCount = BitCountOf(h);
  const size_t lineBytes = static_cast<size_t>(h.planes) * h.bytesPerLine;

  // The 256-colour palette sits at the end of the file, after the pixel data.
  std::array<uint8_t, kPaletteTrailerSize> trailer{};
  bool hasTrailer = false;
  int64_t dataEnd = stream.Size();
  if (bitCount == bc8Bit && dataEnd - (start + int64_t{kPCXHeaderSize}) >= kPaletteTrailerSize) {
    stream.SetPosition(dataEnd - kPaletteTrailerSize);
    if (stream.ReadExact(trailer.data(), trailer.size()) && trailer[0] == kPaletteMarker) {
      hasTrailer = true;
      dataEnd -= kPaletteTrailerSize;
    }
  }
  stream.SetPosition(start + int64_t{kPCXHeaderSize});
  const int64_t available = std::max<int64_t>(dataEnd - (start + int64_t{kPCXHeaderSize}), 0);
  const int64_t lineTotal = static_cast<int64_t>(lineBytes) * h.height;
  // Each encoded byte pair yields at most 63 bytes, so the file must be big enough for the image.
  if ((h.encoding ? (lineTotal + kMaxRun - 1) / kMaxRun : lineTotal) > available) kErrors.EndOfFile();

  graphic.NewImage(h.width, allRows ? h.height : 0, bitCount);
  if (bitCount == bc1Bit) {
    graphic.SetPaletteIdent(pBlackWhite);
  } else if (bitCount == bc4Bit) {
    const int32_t count = 1 << h.TotalBits();
    const bool headerPalette = h.version != 3 && std::any_of(h.palette16.begin(), h.palette16.end(),
                                                             [](uint8_t v) { return v != 0; });
    graphic.SetPaletteCount(16);
    for (int32_t i = 0; i < 16; ++i) {
      TColor c = kEGAPalette[i];
      if (headerPalette && i < count)
        c = RGBColor(h.palette16[3 * i], h.palette16[3 * i + 1], h.palette16[3 * i + 2]);
      graphic.SetPaletteEntries(i, c);
    }
    if (count < 16) graphic.SetPaletteCount(count);
  } else if (bitCount == bc8Bit) {
    if (hasTrailer) {
      graphic.SetPaletteCount(256);
      for (int32_t i = 0; i < 256; ++i) {
        graphic.SetPaletteEntries(i, RGBColor(trailer[1 + 3 * i], trailer[2 + 3 * i], trailer[3 + 3 * i]));
      }
    } else {
      graphic.SetPaletteIdent(pGray256);
    }
  }

  return std::make_unique<TPCXRowDecoder>(stream, h);
}

}  // namespace

void TPCXFileFormatReader::ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                          const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  const std::unique_ptr<TPCXRowDecoder> decoder = OpenPicture(stream, graphic, options, true);
  ReadRowsInto(*decoder, graphic, this);
}

std::unique_ptr<TRowDecoder> TPCXFileFormatReader::OpenRows(TStream& stream, TPixelGraphic& graphic,
                                                            int32_t index,
                                                            const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  return OpenPicture(stream, graphic, options, false);
}

void TPCXFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText,
                                   const TLoadOptions& options) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText, options);
  kErrors.CheckIndex(index, true);
  TReader in(stream, kErrors, kPCXHeaderSize);
  const THeader h = ReadHeader(in);
  width = h.width;
  height = h.height;
  bitsPerPixel = h.bitsPerPixel == 8 && h.planes >= 3 ? 24 : h.TotalBits();
  colorsText = formats::ColorsTextOf(bitsPerPixel);
  subFormatText = "Version " + std::to_string(h.version);
  if (h.encoding == 1) infoText = "RLE compressed";
}

}  // namespace pg
