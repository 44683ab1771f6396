#include "imaging/formats/bmp.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "imaging/formats/format_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

namespace pg {

namespace {

using formats::PaddedRowBytes;

const formats::TFormatErrors<EPGBMPFileFormatReader> kErrors{"BMP: "};

// On-disk layout.
constexpr size_t kFileHeaderSize = 14;  // "BM", file size, 2 reserved words, offset of the pixels
constexpr size_t kCoreHeaderSize = 12;  // size, width, height (16 bits each), planes, bit count
constexpr size_t kInfoHeaderSize = 40;  // the first 40 bytes of every later header (V4, V5, OS/2 2.x)
constexpr size_t kMaskBytes = 12;       // red, green, blue masks after an info header with bit fields
constexpr uint32_t kBiRGB = 0;
constexpr uint32_t kBiRLE8 = 1;
constexpr uint32_t kBiRLE4 = 2;
constexpr uint32_t kBiBitFields = 3;
// Uncompressed data shorter than this is read at once, longer data in tenths with progress.
constexpr int64_t kTenthsThreshold = 101;

struct TDIBHeader {
  bool Core = false;
  uint32_t Size = 0;
  int32_t Width = 0;
  int32_t Height = 0;  // absolute value
  bool TopDown = false;
  uint16_t BitCount = 0;
  uint32_t Compression = kBiRGB;
  uint32_t SizeImage = 0;
  uint32_t ColorsUsed = 0;
  uint32_t Masks[3] = {0, 0, 0};  // red, green, blue
};

// 16 and 32-bit pixels are read into 24 bits.
TBitCount ImageBitCount(uint16_t bitCount) {
  return bitCount <= 8 ? BitCountFromNum(bitCount) : bc24Bit;
}

// Reads and checks the header at the stream's position (and the masks of a bit-field bitmap);
// leaves the stream at the colour table.
TDIBHeader ReadHeader(TStream& stream, bool coreHeader) {
  TDIBHeader header;
  header.Core = coreHeader;
  if (coreHeader) {
    uint8_t raw[kCoreHeaderSize];
    kErrors.Read(stream, raw, sizeof(raw));
    header.Size = GetLE32(raw);
    header.Width = GetLE16(raw + 4);
    header.Height = GetLE16(raw + 6);
    if (GetLE16(raw + 8) != 1) kErrors.Invalid("BitmapCoreHeader.bcPlanes");
    header.BitCount = GetLE16(raw + 10);
    if (header.BitCount != 1 && header.BitCount != 4 && header.BitCount != 8 && header.BitCount != 24) {
      kErrors.Invalid("BitmapCoreHeader.bcBitCount");
    }
    if (header.Size > kCoreHeaderSize) kErrors.Skip(stream, header.Size - kCoreHeaderSize);
    return header;
  }

  uint8_t raw[kInfoHeaderSize];
  kErrors.Read(stream, raw, sizeof(raw));
  header.Size = GetLE32(raw);
  if (header.Size < kInfoHeaderSize) kErrors.Invalid("BitmapInfoHeader.biSize");
  const int32_t width = GetLE32Signed(raw + 4);
  const int32_t height = GetLE32Signed(raw + 8);
  if (GetLE16(raw + 12) != 1) kErrors.Invalid("BitmapInfoHeader.biPlanes");
  header.BitCount = GetLE16(raw + 14);
  const uint16_t bc = header.BitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32)
    kErrors.Invalid("BitmapInfoHeader.biBitCount");
  header.Compression = GetLE32(raw + 16);
  const uint32_t c = header.Compression;
  const bool compressionOK = c == kBiRGB || (c == kBiBitFields && (bc == 16 || bc == 32)) ||
                             (c == kBiRLE4 && bc == 4 && height >= 0) ||
                             (c == kBiRLE8 && bc == 8 && height >= 0);
  if (!compressionOK) kErrors.Invalid("BitmapInfoHeader.biCompression");
  if (width < 0) kErrors.Invalid("BitmapInfoHeader.biWidth");
  if (height == std::numeric_limits<int32_t>::min()) kErrors.Invalid("BitmapInfoHeader.biHeight");
  header.Width = width;
  header.TopDown = height < 0;
  header.Height = height < 0 ? -height : height;
  header.SizeImage = GetLE32(raw + 20);
  header.ColorsUsed = GetLE32(raw + 32);

  // The masks follow a 40-byte header; later headers carry them in the same place, bytes 40 to 51.
  int64_t consumed = kInfoHeaderSize;
  if (c == kBiBitFields) {
    uint8_t masks[kMaskBytes];
    kErrors.Read(stream, masks, sizeof(masks));
    for (int i = 0; i < 3; ++i) header.Masks[i] = GetLE32(masks + 4 * i);
    consumed += kMaskBytes;
  } else if (bc == 16) {
    header.Masks[0] = 0x7C00;
    header.Masks[1] = 0x03E0;
    header.Masks[2] = 0x001F;
  } else if (bc == 32) {
    header.Masks[0] = 0xFF0000;
    header.Masks[1] = 0xFF00;
    header.Masks[2] = 0xFF;
  }
  kErrors.Skip(stream, static_cast<int64_t>(header.Size) - consumed);
  return header;
}

// A channel mask as shift and maximum, to scale the extracted value to 0 .. 255; narrow channels
// (the usual 5 and 6 bits) go through a table instead of a division per pixel.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint64_t Max = 0;
  std::vector<uint8_t> Table;

  explicit TChannel(uint32_t mask) : Mask(mask) {
    if (mask == 0) return;
    while (((mask >> Shift) & 1) == 0) ++Shift;
    Max = mask >> Shift;
    if (Max < 4096) {
      Table.resize(Max + 1);
      for (uint64_t v = 0; v <= Max; ++v) Table[v] = Scaled(v);
    }
  }
  uint8_t Scaled(uint64_t v) const {
    return static_cast<uint8_t>(std::min<uint64_t>(255, (v * 255 + Max / 2) / Max));
  }
  uint8_t Value(uint32_t pixel) const {
    if (Max == 0) return 0;
    const uint64_t v = (pixel & Mask) >> Shift;
    if (!Table.empty()) return Table[v];
    return Max == 255 ? static_cast<uint8_t>(v) : Scaled(v);
  }
};

void SwapRows(TPixelGraphic& graphic) {
  const int32_t height = graphic.Height();
  const size_t bytes = static_cast<size_t>(graphic.BytesPerRow());
  for (int32_t y = 0; y < height / 2; ++y)
    std::swap_ranges(graphic.ScanLine(y), graphic.ScanLine(y) + bytes, graphic.ScanLine(height - 1 - y));
}

// Uncompressed 1, 4, 8 and 24-bit pixels go straight into the pixel memory, in tenths.
void ReadPlainPixels(TStream& stream, TPixelGraphic& graphic, const TProgressScope& progress) {
  uint8_t* bits = graphic.Bits();
  const int64_t total = graphic.ImageSize();
  if (bits == nullptr || total <= 0) return;
  if (total < kTenthsThreshold) {
    kErrors.Read(stream, bits, static_cast<size_t>(total));
    progress.Step(10, 10);
    return;
  }
  const int64_t tenth = total / 10;
  int64_t done = 0;
  for (int32_t step = 1; step <= 10; ++step) {
    const int64_t count = step < 10 ? tenth : total - done;
    kErrors.Read(stream, bits + done, static_cast<size_t>(count));
    done += count;
    if (progress.Step(step, 10)) return;
  }
}

// The channels of 16 and 32-bit pixels.
struct TChannels {
  TChannel Red, Green, Blue;
  explicit TChannels(const TDIBHeader& header)
      : Red(header.Masks[0]), Green(header.Masks[1]), Blue(header.Masks[2]) {}
};

// One row of 16 or 32-bit pixels: channels extracted with the masks and scaled to 8 bits.
void ConvertMaskedRow(const uint8_t* in, uint8_t* out, int32_t width, int bytesPerPixel,
                      const TChannels& channels) {
  for (int32_t x = 0; x < width; ++x, in += bytesPerPixel, out += 3) {
    const uint32_t pixel = bytesPerPixel == 2 ? GetLE16(in) : GetLE32(in);
    out[0] = channels.Blue.Value(pixel);
    out[1] = channels.Green.Value(pixel);
    out[2] = channels.Red.Value(pixel);
  }
}

// 16 and 32-bit pixels, row by row.
void ReadMaskedPixels(TStream& stream, TPixelGraphic& graphic, const TDIBHeader& header,
                      const TProgressScope& progress) {
  const int32_t width = header.Width;
  const int32_t height = header.Height;
  if (graphic.Empty()) return;
  std::vector<uint8_t> row(static_cast<size_t>(PaddedRowBytes(header.BitCount, width)));
  const TChannels channels(header);
  for (int32_t r = 0; r < height; ++r) {
    kErrors.Read(stream, row.data(), row.size());
    // File row r (from the bottom) is storage row r.
    ConvertMaskedRow(row.data(), graphic.Bits() + static_cast<int64_t>(r) * graphic.BytesPerRow(), width,
                     header.BitCount / 8, channels);
    if (progress.Step(r, height)) return;
  }
}

// RLE8 and RLE4, decoded from the bottom row upward. Runs and literals are clipped to the image.
void DecodeRLE(const std::vector<uint8_t>& data, TPixelGraphic& graphic, bool rle4,
               const TProgressScope& progress) {
  const int64_t width = graphic.Width();
  const int64_t height = graphic.Height();
  if (graphic.Empty()) return;
  const size_t size = data.size();
  int64_t x = 0;
  int64_t row = 0;
  auto put = [&](uint8_t value) {
    if (x < width && row < height) {
      uint8_t* line = graphic.Bits() + row * graphic.BytesPerRow();
      if (rle4) {
        uint8_t& b = line[x / 2];
        b = (x & 1) == 0 ? static_cast<uint8_t>((b & 0x0F) | (value << 4))
                         : static_cast<uint8_t>((b & 0xF0) | (value & 0x0F));
      } else {
        line[x] = value;
      }
    }
    ++x;
  };
  int32_t reported = 0;
  size_t p = 0;
  while (p + 1 < size && row < height) {
    const uint8_t count = data[p];
    const uint8_t value = data[p + 1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count && x < width; ++i)
        put(rle4 ? ((i & 1) == 0 ? value >> 4 : value & 0x0F) : value);
    } else if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (size - (p - 2) < 4) break;
      x += data[p];
      row += data[p + 1];
      p += 2;
    } else {  // literal run of `value` pixels, padded to an even byte count
      const size_t bytes = rle4 ? (value + 1u) / 2 : value;
      const size_t available = std::min(bytes, size - p);
      for (size_t i = 0; i < (rle4 ? std::min<size_t>(value, 2 * available) : available) && x < width; ++i) {
        put(rle4 ? ((i & 1) == 0 ? data[p + i / 2] >> 4 : data[p + i / 2] & 0x0F) : data[p + i]);
      }
      p += bytes + (bytes & 1);
    }
    while (reported < 10 &&
           static_cast<uint64_t>(std::min(p, size)) * 10 >= static_cast<uint64_t>(reported + 1) * size) {
      ++reported;
      if (progress.Step(reported, 10)) return;
    }
  }
}

uint32_t BmpPaletteEntries(const TPixelGraphic& graphic, bool& fromColorTable) {
  fromColorTable = false;
  if (graphic.BitCount() == bc24Bit) return 0;
  const int32_t count = std::min(graphic.PaletteCount(), graphic.ColorCount());
  if (count > 0) return static_cast<uint32_t>(count);
  // A palette image without palette entries still needs a table: colours used 0 would make every
  // reader expect the full table and take the pixels for it.
  fromColorTable = true;
  return static_cast<uint32_t>(graphic.ColorCount());
}

}  // namespace

// ---- Reading ------------------------------------------------------------------------------------

namespace {

// A bitmap's header and colour table, read and checked, with the stream at its pixels.
struct TDIBLayout {
  TDIBHeader Header;
  std::vector<TColor> Palette;
  TBitCount BitCount = bc24Bit;
};

TDIBLayout ReadDIBLayout(TStream& stream, bool coreHeader, int64_t maxPixels, int64_t pixelOffset) {
  TDIBLayout layout;
  layout.Header = ReadHeader(stream, coreHeader);
  const TDIBHeader& header = layout.Header;
  layout.BitCount = ImageBitCount(header.BitCount);

  // Colour table.
  std::vector<TColor>& palette = layout.Palette;
  if (header.BitCount <= 8) {
    const int64_t colorCount = ColorCount(layout.BitCount);
    if (header.Core) {
      int64_t entries = colorCount;
      if (pixelOffset > stream.Position()) entries = std::min(entries, (pixelOffset - stream.Position()) / 3);
      uint8_t raw[3 * 256];
      kErrors.Read(stream, raw, static_cast<size_t>(3 * entries));
      for (int64_t i = 0; i < entries; ++i)
        palette.push_back(RGBColor(raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]));
    } else {
      const int64_t entries = header.ColorsUsed != 0 ? header.ColorsUsed : colorCount;
      const int64_t kept = std::min(entries, colorCount);
      uint8_t raw[4 * 256];
      kErrors.Read(stream, raw, static_cast<size_t>(4 * kept));
      for (int64_t i = 0; i < kept; ++i)
        palette.push_back(RGBColor(raw[4 * i + 2], raw[4 * i + 1], raw[4 * i]));
      kErrors.Skip(stream, 4 * (entries - kept));
    }
  } else if (!header.Core) {
    kErrors.Skip(stream, 4 * static_cast<int64_t>(header.ColorsUsed));
  }
  if (pixelOffset > stream.Position()) {
    if (pixelOffset > stream.Size()) kErrors.EndOfFile();
    stream.SetPosition(pixelOffset);
  }

  // Everything the pixels need is checked before the image is allocated.
  kErrors.CheckPixelLimit(header.Width, header.Height, maxPixels);
  return layout;
}

bool IsRLE(const TDIBHeader& header) {
  return header.Compression == kBiRLE8 || header.Compression == kBiRLE4;
}

// Uncompressed pixels must all be in the stream.
void CheckPlainSize(TStream& stream, const TDIBHeader& header) {
  if (PaddedRowBytes(header.BitCount, header.Width) * header.Height > stream.Remaining()) kErrors.EndOfFile();
}

void ShapeImage(TPixelGraphic& graphic, const TDIBLayout& layout, int32_t rows) {
  graphic.NewImage(layout.Header.Width, rows, layout.BitCount);
  if (layout.BitCount != bc24Bit) {
    graphic.SetPaletteCount(static_cast<int32_t>(layout.Palette.size()));
    for (size_t i = 0; i < layout.Palette.size(); ++i)
      graphic.SetPaletteEntries(static_cast<int32_t>(i), layout.Palette[i]);
  }
}

// The rows of an uncompressed bitmap from the top down. A bottom-up file (the usual kind) is read
// from its end a block of rows at a time.
class TBMPRowDecoder : public TRowDecoder {
 public:
  TBMPRowDecoder(TStream& stream, const TDIBLayout& layout)
      : TRowDecoder(layout.Header.Height),
        header_(layout.Header),
        channels_(layout.Header),
        fileRowBytes_(PaddedRowBytes(header_.BitCount, header_.Width)),
        rows_(stream, kErrors, stream.Position(), fileRowBytes_, header_.Height, header_.TopDown) {}

  void ReadRow(uint8_t* row) override {
    const uint8_t* in = rows_.Next();
    if (header_.BitCount == 16 || header_.BitCount == 32) {
      ConvertMaskedRow(in, row, header_.Width, header_.BitCount / 8, channels_);
    } else {
      std::copy_n(in, static_cast<size_t>(fileRowBytes_), row);
    }
  }

 private:
  TDIBHeader header_;
  TChannels channels_;
  int64_t fileRowBytes_;
  formats::TRowBlocks<EPGBMPFileFormatReader> rows_;
};

}  // namespace

void ReadDIBFromStream(TStream& stream, TPixelGraphic& graphic, bool coreHeader, const void* sender,
                       int64_t maxPixels, int64_t pixelOffset) {
  const TDIBLayout layout = ReadDIBLayout(stream, coreHeader, maxPixels, pixelOffset);
  const TDIBHeader& header = layout.Header;
  const bool rle = IsRLE(header);
  std::vector<uint8_t> rleData;
  if (rle) {
    const int64_t remaining = stream.Remaining();
    const int64_t size = header.SizeImage != 0 ? header.SizeImage : remaining;
    if (size > remaining) kErrors.EndOfFile();
    rleData.resize(static_cast<size_t>(size));
    kErrors.Read(stream, rleData.data(), rleData.size());
  } else {
    CheckPlainSize(stream, header);
  }

  ShapeImage(graphic, layout, header.Height);
  {
    const TProgressScope progress(graphic, sender);
    if (rle) {
      DecodeRLE(rleData, graphic, header.Compression == kBiRLE4, progress);
    } else if (header.BitCount == 16 || header.BitCount == 32) {
      ReadMaskedPixels(stream, graphic, header, progress);
    } else {
      ReadPlainPixels(stream, graphic, progress);
    }
  }
  if (header.TopDown && !graphic.Empty()) SwapRows(graphic);
}

TBMPFileFormatReader::TBMPFileFormatReader() {
  Extension = "bmp";
  Description = "Bitmap";
  HasSignature = true;
}

TDIBFileFormatReader::TDIBFileFormatReader() {
  Extension = "dib";
}

TRLEFileFormatReader::TRLEFileFormatReader() {
  Extension = "rle";
}

bool TBMPFileFormatReader::IsFormat(const uint8_t* header) const {
  return header[0] == 'B' && header[1] == 'M';
}

namespace {

// The file header; returns the stream position of the pixels and whether a core header follows.
std::pair<int64_t, bool> ReadFileHeader(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t raw[kFileHeaderSize + 4];
  kErrors.Read(stream, raw, sizeof(raw));
  if (raw[0] != 'B' || raw[1] != 'M') kErrors.Raise(MessageText(34, "BMP"));
  stream.Seek(-4, TSeekOrigin::Current);
  return {start + GetLE32(raw + 10), GetLE32(raw + kFileHeaderSize) == kCoreHeaderSize};
}

}  // namespace

void TBMPFileFormatReader::ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                          const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  graphic.SetGamma(options.DefaultGamma);
  const auto [pixelOffset, core] = ReadFileHeader(stream);
  ReadDIBFromStream(stream, graphic, core, this, options.MaxPixels, pixelOffset);
}

std::unique_ptr<TRowDecoder> TBMPFileFormatReader::OpenRows(TStream& stream, TPixelGraphic& graphic,
                                                            int32_t index,
                                                            const TLoadOptions& options) const {
  kErrors.CheckIndex(index, false);
  graphic.SetGamma(options.DefaultGamma);
  const auto [pixelOffset, core] = ReadFileHeader(stream);
  const TDIBLayout layout = ReadDIBLayout(stream, core, options.MaxPixels, pixelOffset);
  // Run-length data ends rows anywhere; it is decoded whole.
  if (IsRLE(layout.Header) || layout.Header.Width <= 0 || layout.Header.Height <= 0) return nullptr;
  CheckPlainSize(stream, layout.Header);
  ShapeImage(graphic, layout, 0);
  return std::make_unique<TBMPRowDecoder>(stream, layout);
}

void TBMPFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText,
                                   const TLoadOptions& options) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText, options);
  kErrors.CheckIndex(index, true);
  const bool core = ReadFileHeader(stream).second;
  const TDIBHeader header = ReadHeader(stream, core);
  bitsPerPixel = header.BitCount;
  width = header.Width;
  height = header.Height;
  if (header.BitCount <= 8) {
    const uint32_t colors = !core && header.ColorsUsed != 0
                                ? std::min<uint32_t>(header.ColorsUsed, 1u << header.BitCount)
                                : 1u << header.BitCount;
    colorsText = std::to_string(colors);
  } else {
    colorsText = ColorResName(cr16MColors);
  }
  switch (header.Compression) {
    case kBiRLE8:
      subFormatText = "RLE8";
      break;
    case kBiRLE4:
      subFormatText = "RLE4";
      break;
    case kBiBitFields:
      subFormatText = "Bit fields";
      break;
    default:
      subFormatText = core ? "OS/2" : "";
  }
}

// ---- Writing ------------------------------------------------------------------------------------

void WriteDIBToStream(TStream& stream, const TPixelGraphic& graphic) {
  bool fromColorTable = false;
  const uint32_t entries = BmpPaletteEntries(graphic, fromColorTable);
  const int64_t imageSize = graphic.ImageSize();
  if (imageSize > std::numeric_limits<uint32_t>::max()) kErrors.Raise(MessageText(27, "image"));

  uint8_t header[kInfoHeaderSize] = {};
  PutLE32(header, kInfoHeaderSize);
  PutLE32(header + 4, static_cast<uint32_t>(graphic.Width()));
  PutLE32(header + 8, static_cast<uint32_t>(graphic.Height()));
  PutLE16(header + 12, 1);
  PutLE16(header + 14, static_cast<uint16_t>(graphic.BitCountNum()));
  PutLE32(header + 20, static_cast<uint32_t>(imageSize));
  PutLE32(header + 32, entries);
  stream.WriteBuffer(header, sizeof(header));

  if (entries > 0) {
    std::vector<uint8_t> table(4 * static_cast<size_t>(entries));
    if (fromColorTable) {
      const std::vector<uint8_t>& info = graphic.BitmapInfo();
      if (info.size() >= kInfoHeaderSize + table.size()) {
        std::copy_n(info.begin() + kInfoHeaderSize, table.size(), table.begin());
      }
    } else {
      for (uint32_t i = 0; i < entries; ++i) {
        const TColor c = graphic.PaletteEntries(static_cast<int32_t>(i));
        table[4 * i] = GetBValue(c);
        table[4 * i + 1] = GetGValue(c);
        table[4 * i + 2] = GetRValue(c);
      }
    }
    stream.WriteBuffer(table.data(), table.size());
  }
  if (imageSize > 0 && graphic.Bits() != nullptr)
    stream.WriteBuffer(graphic.Bits(), static_cast<size_t>(imageSize));
}

TBMPFileFormatWriter::TBMPFileFormatWriter() {
  Extension = "bmp";
  Description = "Bitmap";
  CanWriteResolutions = {crBlackWhite, cr2Colors, cr16Gray,    cr16SysColors,
                         cr16Colors,   cr256Gray, cr256Colors, cr16MColors};
}

TDIBFileFormatWriter::TDIBFileFormatWriter() {
  Extension = "dib";
  ShowInFilter = false;
}

void TBMPFileFormatWriter::WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions&) const {
  bool fromColorTable = false;
  const int64_t offset =
      kFileHeaderSize + kInfoHeaderSize + 4 * int64_t{BmpPaletteEntries(graphic, fromColorTable)};
  const int64_t fileSize = offset + graphic.ImageSize();
  if (fileSize > std::numeric_limits<uint32_t>::max()) kErrors.Raise(MessageText(27, "image"));
  uint8_t header[kFileHeaderSize] = {'B', 'M'};
  PutLE32(header + 2, static_cast<uint32_t>(fileSize));
  PutLE32(header + 10, static_cast<uint32_t>(offset));
  stream.WriteBuffer(header, sizeof(header));
  WriteDIBToStream(stream, graphic);
}

}  // namespace pg
