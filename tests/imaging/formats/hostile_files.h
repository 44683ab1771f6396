// Small files that claim large pictures, made in memory for the readers' resource tests and the
// benchmark that measures them: each holds a few bytes (or a few megabytes of highly compressible
// data) and declares tens of thousands of pixels a side. Next to each, where it matters, the same
// kind of file made honestly, whose data really covers every pixel.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace pg::hostile {

using TBytes = std::vector<uint8_t>;

inline void PutBE16(TBytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
inline void PutBE32(TBytes& out, uint32_t v) {
  PutBE16(out, v >> 16);
  PutBE16(out, v & 0xFFFF);
}
inline void PutLE16(TBytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutLE32(TBytes& out, uint32_t v) {
  PutLE16(out, v & 0xFFFF);
  PutLE16(out, v >> 16);
}

// ---- zlib streams of zeros -----------------------------------------------------------------------

// A zlib stream holding `count` zero bytes, built from one compressed megabyte repeated (each ends
// with a full flush, so the copies are identical and independent): fast even for gigabytes. Level
// 9 compresses about 1000 to 1, level 1 about 230 to 1.
inline TBytes ZeroZlibStream(uint64_t count, int level = 9) {
  constexpr uint32_t kChunk = 1u << 20;
  const std::vector<uint8_t> zeros(kChunk, 0);
  auto raw = [&](uint32_t size, int flush) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("zlib");
    TBytes out(compressBound(size) + 64);
    z.next_in = const_cast<Bytef*>(zeros.data());
    z.avail_in = size;
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, flush);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
  };
  TBytes out = {0x78, 0xDA};
  const TBytes chunk = raw(kChunk, Z_FULL_FLUSH);
  for (uint64_t i = 0; i < count / kChunk; ++i) out.insert(out.end(), chunk.begin(), chunk.end());
  const TBytes tail = raw(static_cast<uint32_t>(count % kChunk), Z_FINISH);
  out.insert(out.end(), tail.begin(), tail.end());
  // Adler-32 of zeros: the low sum stays 1, the high sum grows by 1 a byte.
  PutBE32(out, (static_cast<uint32_t>(count % 65521) << 16) | 1);
  return out;
}

// ---- TIFF ----------------------------------------------------------------------------------------

struct TTiffEntry {
  uint16_t Tag;
  uint16_t Type;  // 3 SHORT, 4 LONG
  std::vector<uint32_t> Values;
};

// A little-endian TIFF of one directory whose pixel data is `strip`, in one strip (or one tile).
inline TBytes TiffFile(std::vector<TTiffEntry> entries, const TBytes& strip) {
  TBytes out = {'I', 'I', 42, 0};
  PutLE32(out, 8);
  const uint32_t directoryBytes = 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  uint32_t extra = 8 + directoryBytes;  // arrays too long for the entry follow the directory
  TBytes arrays;
  for (TTiffEntry& e : entries) {
    if (e.Tag == 273 || e.Tag == 324) e.Values = {0};  // patched below
    if (e.Tag == 279 || e.Tag == 325) e.Values = {static_cast<uint32_t>(strip.size())};
  }
  TBytes directory;
  PutLE16(directory, static_cast<uint32_t>(entries.size()));
  size_t stripOffsetAt = 0;
  for (const TTiffEntry& e : entries) {
    PutLE16(directory, e.Tag);
    PutLE16(directory, e.Type);
    PutLE32(directory, static_cast<uint32_t>(e.Values.size()));
    const size_t bytes = e.Values.size() * (e.Type == 3 ? 2 : 4);
    if (bytes <= 4) {
      if (e.Tag == 273 || e.Tag == 324) stripOffsetAt = directory.size();
      TBytes value;
      for (uint32_t v : e.Values) e.Type == 3 ? PutLE16(value, v) : PutLE32(value, v);
      value.resize(4, 0);
      directory.insert(directory.end(), value.begin(), value.end());
    } else {
      PutLE32(directory, extra + static_cast<uint32_t>(arrays.size()));
      for (uint32_t v : e.Values) e.Type == 3 ? PutLE16(arrays, v) : PutLE32(arrays, v);
    }
  }
  PutLE32(directory, 0);
  const uint32_t stripOffset = extra + static_cast<uint32_t>(arrays.size());
  for (int i = 0; i < 4; ++i) directory[stripOffsetAt + i] = static_cast<uint8_t>(stripOffset >> (8 * i));
  out.insert(out.end(), directory.begin(), directory.end());
  out.insert(out.end(), arrays.begin(), arrays.end());
  out.insert(out.end(), strip.begin(), strip.end());
  return out;
}

enum class TTiffKind { CMYK, YCbCr, RGB };

// One Deflate strip of `width` x `height` 8-bit samples in the given layout.
inline TBytes TiffDeflateStrip(TTiffKind kind, uint32_t width, uint32_t height, const TBytes& strip) {
  const uint32_t samples = kind == TTiffKind::CMYK ? 4 : 3;
  std::vector<TTiffEntry> entries = {
      {256, 4, {width}},
      {257, 4, {height}},
      {258, 3, std::vector<uint32_t>(samples, 8)},
      {259, 3, {8}},
      {262,
       3,
       {kind == TTiffKind::CMYK    ? 5u
        : kind == TTiffKind::YCbCr ? 6u
                                   : 2u}},
      {273, 4, {0}},
      {277, 3, {samples}},
      {278, 4, {height}},
      {279, 4, {0}},
      {284, 3, {1}},
  };
  if (kind == TTiffKind::YCbCr) entries.push_back({530, 3, {2, 2}});
  return TiffFile(entries, strip);
}

// Bytes of the decoded strip: YCbCr 4:2:0 packs 2 x 2 luma and two chroma samples per block.
inline uint64_t TiffStripBytes(TTiffKind kind, uint32_t width, uint32_t height) {
  if (kind == TTiffKind::YCbCr) return uint64_t{(width + 1) / 2} * ((height + 1) / 2) * 6;
  return uint64_t{width} * height * (kind == TTiffKind::CMYK ? 4 : 3);
}

// A strip of a few bytes of Deflate data where the picture needs gigabytes.
inline TBytes TiffTinyStrip(TTiffKind kind, uint32_t width, uint32_t height) {
  const uint8_t zeros[16] = {};
  TBytes strip(compressBound(sizeof(zeros)));
  uLongf size = strip.size();
  compress2(strip.data(), &size, zeros, sizeof(zeros), 9);
  strip.resize(size);
  return TiffDeflateStrip(kind, width, height, strip);
}

// Every pixel really present, all zero: the most a Deflate strip can be compressed.
inline TBytes TiffDeflateBomb(TTiffKind kind, uint32_t width, uint32_t height) {
  return TiffDeflateStrip(kind, width, height, ZeroZlibStream(TiffStripBytes(kind, width, height)));
}

// The same as one tile that covers the picture (tile sides are multiples of 16), compressed less,
// since libtiff takes a tile compressed 1000 to 1 for a damaged one.
inline TBytes TiffDeflateOneTile(TTiffKind kind, uint32_t width, uint32_t height) {
  const uint32_t tileWidth = (width + 15) / 16 * 16, tileLength = (height + 15) / 16 * 16;
  const uint32_t samples = kind == TTiffKind::CMYK ? 4 : 3;
  return TiffFile({{256, 4, {width}},
                   {257, 4, {height}},
                   {258, 3, std::vector<uint32_t>(samples, 8)},
                   {259, 3, {8}},
                   {262, 3, {kind == TTiffKind::CMYK ? 5u : 2u}},
                   {277, 3, {samples}},
                   {284, 3, {1}},
                   {322, 4, {tileWidth}},
                   {323, 4, {tileLength}},
                   {324, 4, {0}},
                   {325, 4, {0}}},
                  ZeroZlibStream(uint64_t{tileWidth} * tileLength * samples, 1));
}

// ---- PNG -----------------------------------------------------------------------------------------

inline void PngChunk(TBytes& out, const char* type, const TBytes& data) {
  PutBE32(out, static_cast<uint32_t>(data.size()));
  TBytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutBE32(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// An 8-bit PNG (colour type 2 RGB or 6 RGBA) whose rows are all zero, in one IDAT.
inline TBytes PngDeflateBomb(uint32_t width, uint32_t height, int colorType = 2, bool interlaced = false) {
  const uint32_t channels = colorType == 6 ? 4 : 3;
  uint64_t raw = 0;
  if (!interlaced) {
    raw = uint64_t{height} * (1 + uint64_t{width} * channels);
  } else {
    // The seven passes of Adam7, each a sub-image with its own filter bytes.
    const int xs[7] = {0, 4, 0, 2, 0, 1, 0}, ys[7] = {0, 0, 4, 0, 2, 0, 1};
    const int dx[7] = {8, 8, 4, 4, 2, 2, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
    for (int p = 0; p < 7; ++p) {
      const uint64_t w = width > uint32_t(xs[p]) ? (width - xs[p] + dx[p] - 1) / dx[p] : 0;
      const uint64_t h = height > uint32_t(ys[p]) ? (height - ys[p] + dy[p] - 1) / dy[p] : 0;
      if (w > 0) raw += h * (1 + w * channels);
    }
  }
  TBytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  TBytes header;
  PutBE32(header, width);
  PutBE32(header, height);
  header.insert(header.end(), {8, static_cast<uint8_t>(colorType), 0, 0, static_cast<uint8_t>(interlaced)});
  PngChunk(out, "IHDR", header);
  PngChunk(out, "IDAT", ZeroZlibStream(raw));
  PngChunk(out, "IEND", {});
  return out;
}

// ---- JPEG ----------------------------------------------------------------------------------------

// A JPEG written by hand: quantisation of all ones and Huffman tables of one 1-bit code each (DC
// difference 0; AC end of block), so zero bits are the smallest valid data there is: a grey picture
// of 2 bits a block in a sequential file, 1 bit a block in each progressive scan.
class TJpegBuilder {
 public:
  TJpegBuilder(uint32_t width, uint32_t height, int components, bool progressive) : components_(components) {
    out_ = {0xFF, 0xD8};
    Marker(0xDB, [&](TBytes& b) {
      b.push_back(0);
      b.insert(b.end(), 64, 1);
    });
    Marker(progressive ? 0xC2 : 0xC0, [&](TBytes& b) {
      b.push_back(8);
      PutBE16(b, height);
      PutBE16(b, width);
      b.push_back(static_cast<uint8_t>(components));
      for (int c = 0; c < components; ++c) {
        b.push_back(static_cast<uint8_t>(c + 1));
        b.push_back(c == 0 && components == 3 ? 0x22 : 0x11);  // 4:2:0
        b.push_back(0);
      }
    });
    for (uint8_t table : {0x00, 0x10}) {
      Marker(0xC4, [&](TBytes& b) {
        b.push_back(table);
        b.push_back(1);
        b.insert(b.end(), 15, 0);
        b.push_back(0);
      });
    }
  }
  // A scan over every component (or component `only`, counted from 1) with `dataBytes` zero bytes.
  TJpegBuilder& Scan(int ss, int se, int ah, int al, uint64_t dataBytes, int only = 0) {
    Marker(0xDA, [&](TBytes& b) {
      const int count = only != 0 ? 1 : components_;
      b.push_back(static_cast<uint8_t>(count));
      for (int c = 0; c < count; ++c) {
        b.push_back(static_cast<uint8_t>(only != 0 ? only : c + 1));
        b.push_back(0);
      }
      b.push_back(static_cast<uint8_t>(ss));
      b.push_back(static_cast<uint8_t>(se));
      b.push_back(static_cast<uint8_t>((ah << 4) | al));
    });
    out_.insert(out_.end(), dataBytes, 0);
    return *this;
  }
  TBytes End() {
    out_.push_back(0xFF);
    out_.push_back(0xD9);
    return out_;
  }
  TBytes Cut() const { return out_; }

 private:
  template <class F>
  void Marker(uint8_t code, F body) {
    TBytes b;
    body(b);
    out_.push_back(0xFF);
    out_.push_back(code);
    PutBE16(out_, static_cast<uint32_t>(b.size() + 2));
    out_.insert(out_.end(), b.begin(), b.end());
  }
  int components_;
  TBytes out_;
};

// Blocks of a grey (one component) or 4:2:0 colour picture, counted by whole MCUs.
inline uint64_t JpegBlocks(uint32_t width, uint32_t height, int components) {
  if (components == 1) return uint64_t{(width + 7) / 8} * ((height + 7) / 8);
  return uint64_t{(width + 15) / 16} * ((height + 15) / 16) * 6;
}

// A progressive file of `scans` valid scans holding one byte of data each.
inline TBytes JpegManyScans(uint32_t width, uint32_t height, int scans) {
  TJpegBuilder jpeg(width, height, 1, true);
  int made = 0;
  auto scan = [&](int ss, int se, int ah, int al) {
    if (made++ < scans) jpeg.Scan(ss, se, ah, al, 1);
  };
  // DC at 13 bits below the point, refined bit by bit; then each coefficient on its own the same way.
  scan(0, 0, 0, 13);
  for (int a = 13; a > 0; --a) scan(0, 0, a, a - 1);
  for (int k = 1; k < 64; ++k) {
    scan(k, k, 0, 13);
    for (int a = 13; a > 0; --a) scan(k, k, a, a - 1);
  }
  return jpeg.End();
}

// A grey progressive picture whose two scans carry every block: 1 bit a block each.
inline TBytes JpegProgressiveGrey(uint32_t width, uint32_t height) {
  const uint64_t bytes = (JpegBlocks(width, height, 1) + 7) / 8;
  return TJpegBuilder(width, height, 1, true).Scan(0, 0, 0, 0, bytes).Scan(1, 63, 0, 0, bytes).End();
}

// A sequential colour picture cut after `dataBytes` bytes of its scan, without an end marker.
inline TBytes JpegTruncatedBaseline(uint32_t width, uint32_t height, uint64_t dataBytes, int components = 3) {
  TJpegBuilder jpeg(width, height, components, false);
  jpeg.Scan(0, 63, 0, 0, dataBytes);
  return jpeg.Cut();
}

// The same sequential picture complete: 2 bits for every block.
inline TBytes JpegGreyBaseline(uint32_t width, uint32_t height, int components = 3) {
  const uint64_t bytes = (JpegBlocks(width, height, components) * 2 + 7) / 8;
  return TJpegBuilder(width, height, components, false).Scan(0, 63, 0, 0, bytes).End();
}

// ---- BMP and TGA ---------------------------------------------------------------------------------

// An 8-bit RLE bitmap of a grey palette; `data` is the RLE8 stream.
inline TBytes BmpRle8(int32_t width, int32_t height, const TBytes& data) {
  TBytes out = {'B', 'M'};
  const uint32_t offset = 14 + 40 + 1024;
  PutLE32(out, offset + static_cast<uint32_t>(data.size()));
  PutLE32(out, 0);
  PutLE32(out, offset);
  PutLE32(out, 40);
  PutLE32(out, static_cast<uint32_t>(width));
  PutLE32(out, static_cast<uint32_t>(height));
  PutLE16(out, 1);
  PutLE16(out, 8);
  PutLE32(out, 1);
  PutLE32(out, static_cast<uint32_t>(data.size()));
  for (int i = 0; i < 4; ++i) PutLE32(out, 0);
  for (uint32_t i = 0; i < 256; ++i) PutLE32(out, i * 0x010101);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// Nothing but the end-of-bitmap code.
inline TBytes BmpRle8EndOnly(int32_t width, int32_t height) {
  return BmpRle8(width, height, {0, 1});
}

// Every row coded: runs of 255 and less of a value that changes along the row, an end of line each.
inline TBytes BmpRle8Coded(int32_t width, int32_t height) {
  TBytes data;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width;) {
      const int32_t n = std::min<int32_t>(255, width - x);
      data.push_back(static_cast<uint8_t>(n));
      data.push_back(static_cast<uint8_t>((x / 255 + y) & 0xFF));
      x += n;
    }
    data.push_back(0);
    data.push_back(0);
  }
  data.push_back(0);
  data.push_back(1);
  return BmpRle8(width, height, data);
}

// An 8-bit grey RLE Targa whose packets all repeat one value 128 times.
inline TBytes TgaRleGrey(uint16_t width, uint16_t height) {
  TBytes out(18, 0);
  out[2] = 11;
  out[12] = static_cast<uint8_t>(width);
  out[13] = static_cast<uint8_t>(width >> 8);
  out[14] = static_cast<uint8_t>(height);
  out[15] = static_cast<uint8_t>(height >> 8);
  out[16] = 8;
  const uint64_t pixels = uint64_t{width} * height;
  out.reserve(out.size() + (pixels + 127) / 128 * 2);
  for (uint64_t done = 0; done < pixels; done += 128) {
    const uint64_t n = std::min<uint64_t>(128, pixels - done);
    out.push_back(static_cast<uint8_t>(0x80 | (n - 1)));
    out.push_back(static_cast<uint8_t>((done / 128) & 0xFF));
  }
  return out;
}

}  // namespace pg::hostile
