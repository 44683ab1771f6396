#include "imaging/formats/tga.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/formats/format_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

namespace pg {

namespace {

// File layout: an 18-byte little-endian header, the image ID, the colour map, then the pixels
// (raw, or run-length packets: a count byte with bit 7 for a run, then one pixel or count pixels).
constexpr size_t kTGAHeaderSize = 18;
constexpr uint8_t kTypeMapped = 1;
constexpr uint8_t kTypeTrueColor = 2;
constexpr uint8_t kTypeGray = 3;
constexpr uint8_t kTypeRLEFlag = 8;
constexpr uint8_t kDescriptorTopDown = 0x20;
constexpr uint8_t kDescriptorRightToLeft = 0x10;
constexpr int32_t kMaxPacket = 128;

const formats::TFormatErrors<EPGTGAFileFormatReader> kErrors{"TGA: "};

using TReader = formats::TByteReader<EPGTGAFileFormatReader>;

struct THeader {
  uint8_t idLength = 0;
  uint8_t colorMapType = 0;
  uint8_t imageType = 0;
  uint16_t mapFirst = 0;
  uint16_t mapLength = 0;
  uint8_t mapEntrySize = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t pixelDepth = 0;
  uint8_t descriptor = 0;

  uint8_t BaseType() const { return imageType & ~kTypeRLEFlag; }
  bool RLE() const { return (imageType & kTypeRLEFlag) != 0; }
  int BytesPerPixel() const { return (pixelDepth + 7) / 8; }
};

THeader ReadHeader(TReader& in) {
  std::array<uint8_t, kTGAHeaderSize> b{};
  in.Bytes(b.data(), b.size());
  THeader h;
  h.idLength = b[0];
  h.colorMapType = b[1];
  h.imageType = b[2];
  h.mapFirst = GetLE16(&b[3]);
  h.mapLength = GetLE16(&b[5]);
  h.mapEntrySize = b[7];
  h.width = GetLE16(&b[12]);
  h.height = GetLE16(&b[14]);
  h.pixelDepth = b[16];
  h.descriptor = b[17];

  if (h.colorMapType > 1) kErrors.Raise(MessageText(7, "ColorMapType"));
  const uint8_t type = h.BaseType();
  if ((h.imageType & ~(kTypeRLEFlag | 3)) != 0 || type == 0) kErrors.Raise(MessageText(30));
  if (h.colorMapType == 1) {
    if (h.mapEntrySize != 15 && h.mapEntrySize != 16 && h.mapEntrySize != 24 && h.mapEntrySize != 32) {
      kErrors.Raise(MessageText(7, "ColorMapEntrySize"));
    }
  }
  switch (type) {
    case kTypeMapped:
      if (h.colorMapType != 1 || h.mapLength == 0) kErrors.Raise(MessageText(7, "ColorMapType"));
      if (h.pixelDepth != 8 && h.pixelDepth != 16) kErrors.Raise(MessageText(7, "PixelDepth"));
      break;
    case kTypeTrueColor:
      if (h.pixelDepth != 15 && h.pixelDepth != 16 && h.pixelDepth != 24 && h.pixelDepth != 32) {
        kErrors.Raise(MessageText(7, "PixelDepth"));
      }
      break;
    case kTypeGray:
      if (h.pixelDepth != 8 && h.pixelDepth != 16) kErrors.Raise(MessageText(7, "PixelDepth"));
      break;
    default:
      kErrors.Raise(MessageText(30));
  }
  return h;
}

// A 15/16-bit pixel (x R5 G5 B5, little-endian) as a colour.
TColor Color16(const uint8_t* p) {
  const uint32_t v = GetLE16(p);
  auto c = [](uint32_t five) { return static_cast<uint8_t>((five << 3) | (five >> 2)); };
  return RGBColor(c((v >> 10) & 31), c((v >> 5) & 31), c(v & 31));
}

TColor PixelColor(const uint8_t* p, int bytes) {
  if (bytes == 2) return Color16(p);
  return RGBColor(p[2], p[1], p[0]);  // B, G, R (and alpha, not kept)
}

// Keeps the state of a run-length packet across rows, since packets may span row ends.
class TRLEDecoder {
 public:
  TRLEDecoder(TReader& in, int bytesPerPixel) : in_(in), bpp_(bytesPerPixel) {}
  void DecodeRow(uint8_t* dst, int32_t width) {
    int32_t x = 0;
    while (x < width) {
      if (left_ == 0) {
        const uint8_t head = in_.Byte();
        left_ = (head & 0x7F) + 1;
        run_ = (head & 0x80) != 0;
        if (run_) in_.Bytes(pixel_.data(), static_cast<size_t>(bpp_));
      }
      const int32_t n = std::min(left_, width - x);
      if (run_ && bpp_ == 1) {
        std::fill_n(dst + x, n, pixel_[0]);
      } else if (run_) {
        for (int32_t i = 0; i < n; ++i)
          std::copy_n(pixel_.data(), bpp_, dst + static_cast<size_t>(x + i) * bpp_);
      } else {
        in_.Bytes(dst + static_cast<size_t>(x) * bpp_, static_cast<size_t>(n) * bpp_);
      }
      x += n;
      left_ -= n;
    }
  }

 private:
  TReader& in_;
  int bpp_;
  int32_t left_ = 0;
  bool run_ = false;
  std::array<uint8_t, 4> pixel_{};
};

enum class TRowKind { Index, Mapped, Color };

// Turns one row of file pixels into image pixels: indices (colour-mapped into the palette, or
// grey, whose second byte is alpha), colours looked up in the map, or B, G, R colours.
void StoreRow(const uint8_t* src, uint8_t* dst, int32_t width, int bpp, TRowKind kind, int64_t mapEnd,
              uint16_t mapFirst, const std::vector<TColor>& map) {
  switch (kind) {
    case TRowKind::Index:
      if (bpp == 2) {
        for (int32_t x = 0; x < width; ++x) dst[x] = src[2 * x];
      } else if (mapEnd > 0 && mapEnd < 256) {
        for (int32_t x = 0; x < width; ++x) dst[x] = src[x] < mapEnd ? src[x] : 0;
      } else {
        std::copy_n(src, width, dst);
      }
      break;
    case TRowKind::Mapped:
      for (int32_t x = 0; x < width; ++x) {
        const int64_t v = bpp == 2 ? GetLE16(src + 2 * x) : src[x];
        const TColor c = v >= mapFirst && v < mapEnd ? map[static_cast<size_t>(v - mapFirst)] : 0;
        dst[3 * x] = GetBValue(c);
        dst[3 * x + 1] = GetGValue(c);
        dst[3 * x + 2] = GetRValue(c);
      }
      break;
    case TRowKind::Color:
      if (bpp == 3) {
        std::copy_n(src, static_cast<size_t>(width) * 3, dst);  // B, G, R as the image keeps them
      } else if (bpp == 4) {
        for (int32_t x = 0; x < width; ++x) std::copy_n(src + 4 * x, 3, dst + 3 * x);
      } else {
        for (int32_t x = 0; x < width; ++x) {
          const TColor c = Color16(src + 2 * x);
          dst[3 * x] = GetBValue(c);
          dst[3 * x + 1] = GetGValue(c);
          dst[3 * x + 2] = GetRValue(c);
        }
      }
      break;
  }
}

void MirrorRow(uint8_t* row, int32_t width, int bytes) {
  for (int32_t a = 0, b = width - 1; a < b; ++a, --b) {
    std::swap_ranges(row + a * bytes, row + (a + 1) * bytes, row + b * bytes);
  }
}

}  // namespace

TTGAFileFormatReader::TTGAFileFormatReader() {
  Extension = "tga";
  Description = "Truevision Targa";
  HasSignature = false;
}

namespace {

// The rows of a picture past its colour map. Raw data comes from the top down whichever way the
// file stores it (a bottom-up file is read from its end a block at a time); run-length data comes
// in file order, which is from the top down only in a top-down file.
class TTGARowDecoder : public TRowDecoder {
 public:
  TTGARowDecoder(TReader in, const THeader& h, std::vector<TColor> map, TRowKind kind)
      : TRowDecoder(h.height),
        in_(std::move(in)),
        h_(h),
        map_(std::move(map)),
        kind_(kind),
        mapEnd_(h.BaseType() == kTypeGray ? 0 : int64_t{h.mapFirst} + h.mapLength),
        row_(static_cast<size_t>(h.width) * h.BytesPerPixel()),
        rle_(in_, h.BytesPerPixel()) {
    if (!h.RLE()) {
      raw_.emplace(in_.Stream(), kErrors, in_.Position(), static_cast<int64_t>(row_.size()), h.height,
                   (h.descriptor & kDescriptorTopDown) != 0);
    }
  }

  const THeader& Header() const { return h_; }

  void ReadRow(uint8_t* dst) override {
    const uint8_t* src = row_.data();
    if (raw_) {
      src = raw_->Next();
    } else {
      rle_.DecodeRow(row_.data(), h_.width);
    }
    StoreRow(src, dst, h_.width, h_.BytesPerPixel(), kind_, mapEnd_, h_.mapFirst, map_);
    if ((h_.descriptor & kDescriptorRightToLeft) != 0)
      MirrorRow(dst, h_.width, kind_ == TRowKind::Index ? 1 : 3);
  }

 private:
  TReader in_;
  THeader h_;
  std::vector<TColor> map_;
  TRowKind kind_;
  int64_t mapEnd_;
  std::vector<uint8_t> row_;
  TRLEDecoder rle_;  // reads in_
  std::optional<formats::TRowBlocks<EPGTGAFileFormatReader>> raw_;
};

// Reads and checks the header and colour map and gives `graphic` the picture's width, pixel format
// and palette with `rows` rows (the whole height, or none for a decoder of rows).
std::unique_ptr<TTGARowDecoder> OpenPicture(TStream& stream, TPixelGraphic& graphic,
                                            const TLoadOptions& options, bool allRows) {
  graphic.SetGamma(options.DefaultGamma);

  TReader in(stream, kErrors);
  const THeader h = ReadHeader(in);
  kErrors.CheckImageSize(h.width, h.height, options.MaxPixels);
  in.Skip(h.idLength);

  // The colour map, indexed from mapFirst.
  std::vector<TColor> map;
  if (h.colorMapType == 1) {
    const int entryBytes = (h.mapEntrySize + 7) / 8;
    std::vector<uint8_t> raw(static_cast<size_t>(h.mapLength) * entryBytes);
    in.Bytes(raw.data(), raw.size());
    map.resize(h.mapLength);
    for (size_t i = 0; i < map.size(); ++i) map[i] = PixelColor(&raw[i * entryBytes], entryBytes);
  }

  const int32_t width = h.width;
  const int32_t height = allRows ? h.height : 0;
  const int bpp = h.BytesPerPixel();
  const int64_t pixels = int64_t{h.width} * h.height;
  const int64_t needed = h.RLE() ? (pixels + kMaxPacket - 1) / kMaxPacket * (1 + bpp) : pixels * bpp;
  if (needed > in.Remaining()) in.Fail();

  const uint8_t type = h.BaseType();
  const int64_t mapEnd = int64_t{h.mapFirst} + h.mapLength;
  const bool indexed = type == kTypeMapped && h.pixelDepth == 8 && mapEnd <= 256;
  if (indexed) {
    graphic.NewImage(width, height, bc8Bit);
    graphic.SetPaletteCount(static_cast<int32_t>(mapEnd));
    for (int32_t i = 0; i < static_cast<int32_t>(mapEnd); ++i) {
      graphic.SetPaletteEntries(i, i < h.mapFirst ? 0 : map[i - h.mapFirst]);
    }
  } else if (type == kTypeGray) {
    graphic.NewImage(width, height, bc8Bit);
    graphic.SetPaletteIdent(pGray256);
  } else {
    graphic.NewImage(width, height, bc24Bit);
  }

  const TRowKind kind = indexed || type == kTypeGray ? TRowKind::Index
                        : type == kTypeMapped        ? TRowKind::Mapped
                                                     : TRowKind::Color;
  return std::make_unique<TTGARowDecoder>(std::move(in), h, std::move(map), kind);
}

bool TopDown(const THeader& h) {
  return (h.descriptor & kDescriptorTopDown) != 0;
}

}  // namespace

void TTGAFileFormatReader::ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                          const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  const auto decoder = OpenPicture(stream, graphic, options, true);
  const THeader& h = decoder->Header();
  if (TopDown(h) || !h.RLE()) {
    ReadRowsInto(*decoder, graphic, this);
    return;
  }
  // Bottom-up run-length data: the rows in file order, from the bottom.
  const int32_t height = h.height;
  const TProgressScope progress(graphic, this);
  for (int32_t r = 0; r < height; ++r) {
    decoder->ReadRow(graphic.ScanLine(height - 1 - r));
    if (progress.Step(r, height)) break;
  }
}

std::unique_ptr<TRowDecoder> TTGAFileFormatReader::OpenRows(TStream& stream, TPixelGraphic& graphic,
                                                            int32_t index,
                                                            const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  auto decoder = OpenPicture(stream, graphic, options, false);
  // Bottom-up run-length data cannot be found row by row from the top without decoding it all.
  if (!TopDown(decoder->Header()) && decoder->Header().RLE()) return nullptr;
  return decoder;
}

void TTGAFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText,
                                   const TLoadOptions& options) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText, options);
  kErrors.CheckIndex(index, true);
  TReader in(stream, kErrors, kTGAHeaderSize);
  const THeader h = ReadHeader(in);
  width = h.width;
  height = h.height;
  bitsPerPixel = h.pixelDepth;
  const uint8_t type = h.BaseType();
  if (type == kTypeMapped && h.pixelDepth == 8) {
    colorsText = std::to_string(std::min<int32_t>(h.mapLength, 256));
  } else {
    colorsText = formats::ColorsTextOf(type == kTypeGray ? 8 : h.pixelDepth >= 24 ? 24 : h.pixelDepth);
  }
  subFormatText = type == kTypeMapped ? "colour-mapped" : type == kTypeGray ? "grey" : "true colour";
  if (h.RLE()) infoText = "RLE compressed";
}

// ---- Writer -------------------------------------------------------------------------------------

TTGAFileFormatWriter::TTGAFileFormatWriter() {
  Extension = "tga";
  Description = "Truevision Targa";
  CanWriteResolutions = {cr256Colors, cr16MColors};
}

namespace {

// Appends one row of `count` pixels of `bpp` bytes as run-length packets that stay within the row.
void EncodeRow(const uint8_t* src, int32_t count, int bpp, std::vector<uint8_t>& out) {
  auto same = [&](int32_t a, int32_t b) {
    return std::equal(src + a * bpp, src + (a + 1) * bpp, src + b * bpp);
  };
  int32_t x = 0;
  while (x < count) {
    int32_t run = 1;
    while (x + run < count && run < kMaxPacket && same(x, x + run)) ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), src + x * bpp, src + (x + 1) * bpp);
      x += run;
      continue;
    }
    // Raw packet up to the next pair of equal pixels.
    int32_t n = 1;
    while (x + n < count && n < kMaxPacket && !(x + n + 1 < count && same(x + n, x + n + 1))) ++n;
    out.push_back(static_cast<uint8_t>(n - 1));
    out.insert(out.end(), src + x * bpp, src + (x + n) * bpp);
    x += n;
  }
}

}  // namespace

void TTGAFileFormatWriter::WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions&) const {
  const int32_t width = graphic.Width();
  const int32_t height = graphic.Height();
  if (width > 0xFFFF) kErrors.Raise(MessageText(41, "Width"));
  if (height > 0xFFFF) kErrors.Raise(MessageText(41, "Height"));
  const bool trueColor = graphic.BitCount() == bc24Bit;

  // Palette images are written with 8-bit indices; the map covers every index in use.
  int32_t mapLength = 0;
  std::vector<uint8_t> indices;
  if (!trueColor) {
    mapLength = std::max<int32_t>(graphic.PaletteCount(), 1);
    indices.resize(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* src = graphic.ScanLine(y);
      if (graphic.BitCount() == bc8Bit) {
        mapLength = std::max<int32_t>(mapLength, *std::max_element(src, src + width) + 1);
      }
    }
    if (graphic.BitCount() != bc8Bit) mapLength = std::max(mapLength, graphic.ColorCount());
    mapLength = std::min(mapLength, 256);
  }

  std::vector<uint8_t> out;
  out.reserve(64 * 1024 + 4096);
  std::array<uint8_t, kTGAHeaderSize> h{};
  h[1] = trueColor ? 0 : 1;
  h[2] = static_cast<uint8_t>((trueColor ? kTypeTrueColor : kTypeMapped) | kTypeRLEFlag);
  h[5] = static_cast<uint8_t>(mapLength & 0xFF);
  h[6] = static_cast<uint8_t>(mapLength >> 8);
  h[7] = trueColor ? 0 : 24;
  h[12] = static_cast<uint8_t>(width & 0xFF);
  h[13] = static_cast<uint8_t>(width >> 8);
  h[14] = static_cast<uint8_t>(height & 0xFF);
  h[15] = static_cast<uint8_t>(height >> 8);
  h[16] = trueColor ? 24 : 8;
  h[17] = 0;  // bottom-left origin
  out.insert(out.end(), h.begin(), h.end());
  if (!trueColor) {
    const std::vector<TColor> palette = formats::PaletteTable(graphic);
    for (int32_t i = 0; i < mapLength; ++i) {
      out.push_back(GetBValue(palette[i]));
      out.push_back(GetGValue(palette[i]));
      out.push_back(GetRValue(palette[i]));
    }
  }

  TProgressScope progress(graphic, this);
  for (int32_t r = 0; r < height && width > 0; ++r) {
    const int32_t y = height - 1 - r;
    const uint8_t* src = graphic.ScanLine(y);
    if (trueColor) {
      EncodeRow(src, width, 3, out);
    } else {
      for (int32_t x = 0; x < width; ++x) {
        switch (graphic.BitCount()) {
          case bc1Bit:
            indices[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
            break;
          case bc4Bit:
            indices[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
            break;
          default:
            indices[x] = src[x];
        }
      }
      EncodeRow(indices.data(), width, 1, out);
    }
    if (out.size() >= 64 * 1024) {
      stream.WriteBuffer(out.data(), out.size());
      out.clear();
    }
    if (progress.Step(r, height)) throw EPGAbort(MessageText(29));  // no file cut short
  }
  stream.WriteBuffer(out.data(), out.size());
}

}  // namespace pg
