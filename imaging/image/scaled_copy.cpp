// The scaled copy of an image onto another of a different size (TPixelGraphic::CopyFrom).
//
// Each axis is resampled on its own from a precomputed table of source pixels and integer weights
// per destination coordinate: smFast takes the nearest pixel; smMedium and smPrecise interpolate
// linearly between the two nearest pixel centres when the axis grows and average the covered box
// of source pixels (partial pixels by their share) when it shrinks. Rows are resampled across
// first and each source row at most once in a row; the destination rows are then combined from
// those, built as B, G, R rows and either stored (24 bit) or turned into palette indices.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/image/pixel_graphic.h"
#include "imaging/image/pixel_graphic_internal.h"

namespace pg {

namespace {

constexpr int kWeightBits = 12;
constexpr int32_t kWeightOne = 1 << kWeightBits;
// Row values after the horizontal pass carry 8 fraction bits.
constexpr int kRowFractionBits = 8;

// For every destination coordinate, the source pixels that make it and their weights, which
// always add up to kWeightOne (so a constant image stays exactly constant).
struct TAxisTable {
  std::vector<int32_t> first;   // first contributing source coordinate
  std::vector<int32_t> count;   // number of consecutive contributing source coordinates
  std::vector<int32_t> offset;  // start of the weights in `weights`
  std::vector<int32_t> weights;
  int32_t maxCount = 1;

  void Add(int32_t firstSource, std::initializer_list<int32_t> w) { Add(firstSource, w.begin(), w.size()); }
  void Add(int32_t firstSource, const int32_t* w, size_t n) {
    first.push_back(firstSource);
    count.push_back(static_cast<int32_t>(n));
    offset.push_back(static_cast<int32_t>(weights.size()));
    weights.insert(weights.end(), w, w + n);
    maxCount = std::max(maxCount, static_cast<int32_t>(n));
  }
};

// The source coordinate whose pixel contains the centre of destination coordinate d.
int32_t NearestSource(int64_t d, int64_t srcSize, int64_t dstSize) {
  return static_cast<int32_t>(std::min((2 * d + 1) * srcSize / (2 * dstSize), srcSize - 1));
}

TAxisTable BuildAxis(int32_t srcSize, int32_t dstSize, TStretchMode mode) {
  TAxisTable table;
  table.first.reserve(dstSize);
  table.count.reserve(dstSize);
  table.offset.reserve(dstSize);
  const int64_t src = srcSize, dst = dstSize;
  for (int64_t d = 0; d < dst; ++d) {
    if (mode == smFast || src == dst) {
      table.Add(NearestSource(d, src, dst), {kWeightOne});
    } else if (dst > src) {
      // Linear between the pixel centres around the destination centre, which sits at
      // ((2d + 1) * src - dst) / (2 * dst) in source pixel units; clamped at both edges.
      const int64_t numerator = (2 * d + 1) * src - dst, denominator = 2 * dst;
      if (numerator <= 0) {
        table.Add(0, {kWeightOne});
        continue;
      }
      const int64_t left = numerator / denominator;
      if (left >= src - 1) {
        table.Add(static_cast<int32_t>(src - 1), {kWeightOne});
        continue;
      }
      const int32_t right =
          static_cast<int32_t>((numerator % denominator * kWeightOne + denominator / 2) / denominator);
      if (right == 0) {
        table.Add(static_cast<int32_t>(left), {kWeightOne});
      } else if (right == kWeightOne) {
        table.Add(static_cast<int32_t>(left + 1), {kWeightOne});
      } else {
        table.Add(static_cast<int32_t>(left), {kWeightOne - right, right});
      }
    } else {
      // Destination pixel d covers [d * src, (d + 1) * src) in units of 1 / dst; source pixel i
      // covers [i * dst, (i + 1) * dst). Weights follow the overlaps, rounded on the running sum
      // so they add up to kWeightOne exactly.
      const int64_t begin = d * src, end = (d + 1) * src;
      const int64_t firstSource = begin / dst, lastSource = (end - 1) / dst;
      int32_t w[64];
      std::vector<int32_t> wide;
      int32_t* weights = w;
      const int64_t n = lastSource - firstSource + 1;
      if (n > 64) {
        wide.resize(static_cast<size_t>(n));
        weights = wide.data();
      }
      int64_t covered = 0;
      int32_t given = 0;
      for (int64_t i = firstSource; i <= lastSource; ++i) {
        covered += std::min((i + 1) * dst, end) - std::max(i * dst, begin);
        const int32_t total = static_cast<int32_t>((covered * kWeightOne + src / 2) / src);
        weights[i - firstSource] = total - given;
        given = total;
      }
      table.Add(static_cast<int32_t>(firstSource), weights, static_cast<size_t>(n));
    }
  }
  return table;
}

// Hands out source rows as B, G, R bytes: 24-bit rows as they are, palette rows decoded through
// the palette into one of two buffers (the two most recently requested rows are kept).
class TSourceRows {
 public:
  explicit TSourceRows(const TPixelGraphic& source) : source_(source) {
    if (source.BitCount() == bc24Bit) return;
    const std::vector<TColor>& palette = source.PaletteData();
    for (size_t i = 0; i < lookup_.size(); ++i) {
      const TColor c = i < palette.size() ? palette[i] : palette.empty() ? 0 : palette[0];
      lookup_[i] = {GetBValue(c), GetGValue(c), GetRValue(c)};
    }
    for (auto& buffer : buffers_) buffer.resize(3 * static_cast<size_t>(source.Width()));
  }

  const uint8_t* Row(int32_t y) {
    if (source_.BitCount() == bc24Bit) return source_.ScanLine(y);
    for (int slot = 0; slot < 2; ++slot)
      if (rows_[slot] == y) {
        lastRow_ = y;
        return buffers_[slot].data();
      }
    const int slot = rows_[0] == lastRow_ ? 1 : 0;  // keep the row asked for last
    Decode(y, buffers_[slot].data());
    rows_[slot] = y;
    lastRow_ = y;
    return buffers_[slot].data();
  }

 private:
  void Decode(int32_t y, uint8_t* out) const {
    const uint8_t* p = source_.ScanLine(y);
    const int32_t width = source_.Width();
    for (int32_t x = 0; x < width; ++x, out += 3) {
      uint32_t index;
      switch (source_.BitCount()) {
        case bc8Bit:
          index = p[x];
          break;
        case bc4Bit:
          index = (p[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
          break;
        default:
          index = (p[x >> 3] >> (7 - (x & 7))) & 1;
          break;
      }
      std::memcpy(out, lookup_[index].data(), 3);
    }
  }

  const TPixelGraphic& source_;
  std::array<std::array<uint8_t, 3>, 256> lookup_{};
  std::array<std::vector<uint8_t>, 2> buffers_;
  std::array<int32_t, 2> rows_{-1, -1};
  int32_t lastRow_ = -1;
};

// Source rows resampled across to the destination width, 8 fraction bits per channel; the two
// most recently requested rows are kept, which covers both a row shared by two shrunk
// destination rows and the pair of rows of an enlarged one.
class TResampledRows {
 public:
  TResampledRows(TSourceRows& source, const TAxisTable& xTable, int32_t dstWidth)
      : source_(source), xTable_(xTable), dstWidth_(dstWidth) {
    for (auto& buffer : buffers_) buffer.resize(3 * static_cast<size_t>(dstWidth));
  }

  const uint16_t* Row(int32_t sy) {
    for (int slot = 0; slot < 2; ++slot)
      if (rows_[slot] == sy) {
        lastRow_ = sy;
        return buffers_[slot].data();
      }
    const int slot = rows_[0] == lastRow_ ? 1 : 0;
    Resample(source_.Row(sy), buffers_[slot].data());
    rows_[slot] = sy;
    lastRow_ = sy;
    return buffers_[slot].data();
  }

 private:
  void Resample(const uint8_t* src, uint16_t* out) const {
    constexpr int kShift = kWeightBits - kRowFractionBits;
    constexpr uint32_t kHalf = 1u << (kShift - 1);
    const int32_t* weights = xTable_.weights.data();
    for (int32_t x = 0; x < dstWidth_; ++x, out += 3) {
      const uint8_t* s = src + 3 * static_cast<int64_t>(xTable_.first[x]);
      const int32_t* w = weights + xTable_.offset[x];
      const int32_t n = xTable_.count[x];
      uint32_t b = 0, g = 0, r = 0;
      for (int32_t k = 0; k < n; ++k, s += 3) {
        const uint32_t wk = static_cast<uint32_t>(w[k]);
        b += wk * s[0];
        g += wk * s[1];
        r += wk * s[2];
      }
      out[0] = static_cast<uint16_t>((b + kHalf) >> kShift);
      out[1] = static_cast<uint16_t>((g + kHalf) >> kShift);
      out[2] = static_cast<uint16_t>((r + kHalf) >> kShift);
    }
  }

  TSourceRows& source_;
  const TAxisTable& xTable_;
  int32_t dstWidth_;
  std::array<std::vector<uint16_t>, 2> buffers_;
  std::array<int32_t, 2> rows_{-1, -1};
  int32_t lastRow_ = -1;
};

}  // namespace

void TPixelGraphic::CopyFrom(const TPixelGraphic& source) {
  if (Empty() || source.Empty() || Width() <= 0 || Height() <= 0 || source.Width() <= 0 ||
      source.Height() <= 0)
    return;
  if (Width() == source.Width() && Height() == source.Height()) {
    CopyRect(0, 0, Width(), Height(), 0, 0, source);
    return;
  }

  const int32_t width = Width(), height = Height();
  const bool trueColor = BitCount() == bc24Bit;
  const bool dither = Dither() && !trueColor;
  const TStretchMode mode = StretchMode();
  const TAxisTable xTable = BuildAxis(source.Width(), width, mode);
  const TAxisTable yTable = BuildAxis(source.Height(), height, mode);

  const TUpdateScope update(*this);
  const TDitherRun ditherRun(*this, dither);
  TSourceRows sourceRows(source);
  TResampledRows resampled(sourceRows, xTable, width);
  std::vector<uint8_t> scratch(trueColor ? 0 : 3 * static_cast<size_t>(width));
  std::vector<TColor> colors(trueColor ? 0 : static_cast<size_t>(width));
  std::vector<uint32_t> sums(mode == smFast ? 0 : 3 * static_cast<size_t>(width));
  const TProgressScope progress(*this, this);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* out = trueColor ? ScanLine(y) : scratch.data();
    if (mode == smFast) {
      const uint8_t* src = sourceRows.Row(yTable.first[y]);
      for (int32_t x = 0; x < width; ++x) std::memcpy(out + 3 * x, src + 3 * int64_t{xTable.first[x]}, 3);
    } else {
      const int32_t first = yTable.first[y], n = yTable.count[y];
      const int32_t* w = yTable.weights.data() + yTable.offset[y];
      const size_t channels = 3 * static_cast<size_t>(width);
      if (n == 1) {
        const uint16_t* row = resampled.Row(first);
        constexpr uint32_t kHalf = 1u << (kRowFractionBits - 1);
        for (size_t i = 0; i < channels; ++i)
          out[i] = static_cast<uint8_t>((row[i] + kHalf) >> kRowFractionBits);
      } else {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int32_t k = 0; k < n; ++k) {
          const uint16_t* row = resampled.Row(first + k);
          const uint32_t wk = static_cast<uint32_t>(w[k]);
          if (wk == 0) continue;
          for (size_t i = 0; i < channels; ++i) sums[i] += wk * row[i];
        }
        constexpr int kShift = kRowFractionBits + kWeightBits;
        constexpr uint32_t kHalf = 1u << (kShift - 1);
        for (size_t i = 0; i < channels; ++i) out[i] = static_cast<uint8_t>((sums[i] + kHalf) >> kShift);
      }
    }
    if (!trueColor) {
      for (int32_t x = 0; x < width; ++x) colors[x] = RGBColor(out[3 * x + 2], out[3 * x + 1], out[3 * x]);
      StoreColorRow(y, colors.data(), 0, width, dither, false);
    }
    if (progress.Step(y, height - 1)) break;
  }
}

}  // namespace pg
