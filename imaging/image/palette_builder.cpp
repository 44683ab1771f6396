// Palette building in three steps:
//  1. a histogram of the image on a 64 x 64 x 64 cell grid (6 bits per channel), keeping per cell the
//     pixel count, the channel sums and the sum of squares, so cell means are exact;
//  2. Wu's variance-minimising box splitting on the cumulative moments of the same data gathered
//     into a 32 x 32 x 32 grid, which gives a good first palette in a fixed, small amount of work;
//  3. a few weighted k-means (Lloyd) passes over the non-empty cells, in which the fixed system
//     colours take part as unmovable centres, so the free colours settle where the fixed ones do
//     not already serve the image.
// Images with few colours skip all that and get their exact colours.
#include "imaging/image/palette_builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <unordered_map>

#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/standard_palettes.h"

namespace pg {

namespace {

constexpr int kCellBits = 6;
constexpr int kSide = 1 << kCellBits;  // cells per channel
constexpr int kCellShift = 8 - kCellBits;
constexpr int kCellCount = kSide * kSide * kSide;
// Wu's splitting runs on a coarser grid; the refinement then works on the finer cells.
constexpr int kWuBits = 5;
constexpr int kWuSide = 1 << kWuBits;
constexpr int kRefinePasses = 16;
constexpr double kRefineMinGain = 0.001;  // stop refining when a pass lowers the error by less

constexpr int CellIndex(int r, int g, int b) {
  return ((r >> kCellShift) << (2 * kCellBits)) | ((g >> kCellShift) << kCellBits) | (b >> kCellShift);
}

constexpr uint32_t kColorSeen = 1u << 24;
constexpr uint32_t kColorMixed = 1u << 25;
constexpr uint32_t kColorMask = 0xFFFFFF;

struct TCell {
  uint64_t count;
  uint64_t sumR, sumG, sumB;
  uint64_t sumSq;  // sum of r^2 + g^2 + b^2 over the cell's pixels
  uint32_t color;  // first colour seen | kColorSeen; kColorMixed once another one came
};

// Calls add(colour, n) for the colours of the image: 24-bit rows by runs of equal pixels, palette
// formats once per palette index with its pixel count. Indices beyond the palette show entry 0,
// as the colour table of the image does.
template <typename Add>
void ForEachColor(const TPixelGraphic& image, Add&& add) {
  if (image.Empty() || image.Width() <= 0 || image.Height() <= 0) return;
  const int32_t width = image.Width();
  if (image.BitCount() == bc24Bit) {
    for (int32_t y = 0; y < image.Height(); ++y) {
      const uint8_t* p = image.ScanLine(y);
      TColor run = RGBColor(p[2], p[1], p[0]);
      uint64_t n = 1;
      for (int32_t x = 1; x < width; ++x) {
        p += 3;
        const TColor c = RGBColor(p[2], p[1], p[0]);
        if (c == run) {
          ++n;
        } else {
          add(run, n);
          run = c;
          n = 1;
        }
      }
      add(run, n);
    }
    return;
  }
  std::array<uint64_t, 256> counts{};
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* p = image.ScanLine(y);
    switch (image.BitCount()) {
      case bc8Bit:
        for (int32_t x = 0; x < width; ++x) ++counts[p[x]];
        break;
      case bc4Bit:
        for (int32_t x = 0; x < width; ++x) ++counts[(p[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
        break;
      default:
        for (int32_t x = 0; x < width; ++x) ++counts[(p[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    }
  }
  const std::vector<TColor>& palette = image.PaletteData();
  for (size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] == 0) continue;
    const TColor c = i < palette.size() ? palette[i] : palette.empty() ? 0 : palette[0];
    add(c & kColorMask, counts[i]);
  }
}

class THistogram {
 public:
  THistogram() : cells_(kCellCount, TCell{}) {}

  void Add(TColor c, uint64_t n) {
    const uint32_t r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    TCell& cell = cells_[CellIndex(r, g, b)];
    cell.count += n;
    cell.sumR += r * n;
    cell.sumG += g * n;
    cell.sumB += b * n;
    cell.sumSq += (r * r + g * g + b * b) * n;
    if (!(cell.color & kColorSeen)) {
      cell.color = c | kColorSeen;
    } else if ((cell.color & kColorMask) != c) {
      cell.color |= kColorMixed;
    }
  }
  const std::vector<TCell>& Cells() const { return cells_; }

 private:
  std::vector<TCell> cells_;
};

using TVec = std::array<double, 3>;

double Distance(const TVec& a, const TVec& b) {
  const double dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
  return dr * dr + dg * dg + db * db;
}

TVec ToVec(TColor c) {
  return {double(GetRValue(c)), double(GetGValue(c)), double(GetBValue(c))};
}

// A weighted sample: a histogram cell (its mean) or one exact colour.
struct TPoint {
  TVec mean;
  double count;
  TVec sum;
};

// ---- Wu's box splitting ----------------------------------------------------------------------

class TWuQuantizer {
 public:
  // Cumulative moments of the cells; coordinate 0 of every axis is the empty border.
  explicit TWuQuantizer(const std::vector<TCell>& cells)
      : w_(kMomentCount), r_(kMomentCount), g_(kMomentCount), b_(kMomentCount), m2_(kMomentCount) {
    constexpr int kShift = kCellBits - kWuBits;
    for (int ri = 0; ri < kSide; ++ri) {
      for (int gi = 0; gi < kSide; ++gi) {
        for (int bi = 0; bi < kSide; ++bi) {
          const TCell& cell = cells[(ri << (2 * kCellBits)) | (gi << kCellBits) | bi];
          if (cell.count == 0) continue;
          const size_t m = Index((ri >> kShift) + 1, (gi >> kShift) + 1, (bi >> kShift) + 1);
          w_[m] += static_cast<double>(cell.count);
          r_[m] += static_cast<double>(cell.sumR);
          g_[m] += static_cast<double>(cell.sumG);
          b_[m] += static_cast<double>(cell.sumB);
          m2_[m] += static_cast<double>(cell.sumSq);
        }
      }
    }
    for (std::vector<double>* moment : {&w_, &r_, &g_, &b_, &m2_}) Accumulate(*moment);
  }

  // Up to `count` box centroids; fewer when the occupied cells cannot be split further.
  std::vector<TVec> Centroids(int count) {
    std::vector<TBox> boxes(1, TBox{0, kWuSide, 0, kWuSide, 0, kWuSide});
    std::vector<double> variance(1, 0.0);
    if (count <= 0 || Volume(boxes[0], w_) <= 0) return {};
    variance[0] = Variance(boxes[0]);
    while (static_cast<int>(boxes.size()) < count) {
      const size_t next = std::max_element(variance.begin(), variance.end()) - variance.begin();
      if (variance[next] <= 0.0) break;
      TBox second{};
      if (!Cut(boxes[next], second)) {
        variance[next] = 0.0;  // cannot be split: only one occupied cell along every axis
        continue;
      }
      boxes.push_back(second);
      variance[next] = Variance(boxes[next]);
      variance.push_back(Variance(second));
    }
    std::vector<TVec> result;
    result.reserve(boxes.size());
    for (const TBox& box : boxes) {
      const double weight = Volume(box, w_);
      if (weight <= 0) continue;
      result.push_back({Volume(box, r_) / weight, Volume(box, g_) / weight, Volume(box, b_) / weight});
    }
    return result;
  }

 private:
  static constexpr int kEdge = kWuSide + 1;
  static constexpr size_t kMomentCount = size_t{kEdge} * kEdge * kEdge;

  // The box (r0, r1] x (g0, g1] x (b0, b1] in moment coordinates.
  struct TBox {
    int r0, r1, g0, g1, b0, b1;
  };

  static size_t Index(int r, int g, int b) { return (size_t(r) * kEdge + g) * kEdge + b; }

  // Turns per-cell moments into sums over the box from the origin to each point.
  static void Accumulate(std::vector<double>& m) {
    for (int r = 1; r < kEdge; ++r)
      for (int g = 1; g < kEdge; ++g)
        for (int b = 1; b < kEdge; ++b) m[Index(r, g, b)] += m[Index(r, g, b - 1)];
    for (int r = 1; r < kEdge; ++r)
      for (int g = 1; g < kEdge; ++g)
        for (int b = 1; b < kEdge; ++b) m[Index(r, g, b)] += m[Index(r, g - 1, b)];
    for (int r = 1; r < kEdge; ++r)
      for (int g = 1; g < kEdge; ++g)
        for (int b = 1; b < kEdge; ++b) m[Index(r, g, b)] += m[Index(r - 1, g, b)];
  }

  // Sum of a moment over the box's cross-section at `pos` on axis `axis` (0 red, 1 green, 2 blue),
  // cumulative along that axis: the box part up to pos is Slab(pos) - Slab(lower bound).
  static double Slab(const TBox& box, int axis, int pos, const std::vector<double>& m) {
    switch (axis) {
      case 0:
        return m[Index(pos, box.g1, box.b1)] - m[Index(pos, box.g1, box.b0)] - m[Index(pos, box.g0, box.b1)] +
               m[Index(pos, box.g0, box.b0)];
      case 1:
        return m[Index(box.r1, pos, box.b1)] - m[Index(box.r1, pos, box.b0)] - m[Index(box.r0, pos, box.b1)] +
               m[Index(box.r0, pos, box.b0)];
      default:
        return m[Index(box.r1, box.g1, pos)] - m[Index(box.r1, box.g0, pos)] - m[Index(box.r0, box.g1, pos)] +
               m[Index(box.r0, box.g0, pos)];
    }
  }

  static double Volume(const TBox& box, const std::vector<double>& m) {
    return Slab(box, 0, box.r1, m) - Slab(box, 0, box.r0, m);
  }

  double Variance(const TBox& box) const {
    const double w = Volume(box, w_);
    if (w <= 0) return 0.0;
    const double r = Volume(box, r_), g = Volume(box, g_), b = Volume(box, b_);
    return std::max(0.0, Volume(box, m2_) - (r * r + g * g + b * b) / w);
  }

  static int Lower(const TBox& box, int axis) { return axis == 0 ? box.r0 : axis == 1 ? box.g0 : box.b0; }
  static int Upper(const TBox& box, int axis) { return axis == 0 ? box.r1 : axis == 1 ? box.g1 : box.b1; }

  // Splits `box` where the sum of the two halves' squared mean lengths weighted by count is largest
  // (which minimises the summed variance); `second` gets the upper part.
  bool Cut(TBox& box, TBox& second) const {
    const double wholeW = Volume(box, w_), wholeR = Volume(box, r_), wholeG = Volume(box, g_),
                 wholeB = Volume(box, b_);
    double best = -1.0;
    int bestAxis = -1, bestPos = 0;
    for (int axis = 0; axis < 3; ++axis) {
      const int lo = Lower(box, axis), hi = Upper(box, axis);
      const double baseW = Slab(box, axis, lo, w_), baseR = Slab(box, axis, lo, r_),
                   baseG = Slab(box, axis, lo, g_), baseB = Slab(box, axis, lo, b_);
      for (int pos = lo + 1; pos < hi; ++pos) {
        const double halfW = Slab(box, axis, pos, w_) - baseW;
        const double otherW = wholeW - halfW;
        if (halfW <= 0 || otherW <= 0) continue;
        const double halfR = Slab(box, axis, pos, r_) - baseR, halfG = Slab(box, axis, pos, g_) - baseG,
                     halfB = Slab(box, axis, pos, b_) - baseB;
        const double otherR = wholeR - halfR, otherG = wholeG - halfG, otherB = wholeB - halfB;
        const double score = (halfR * halfR + halfG * halfG + halfB * halfB) / halfW +
                             (otherR * otherR + otherG * otherG + otherB * otherB) / otherW;
        if (score > best) {
          best = score;
          bestAxis = axis;
          bestPos = pos;
        }
      }
    }
    if (bestAxis < 0) return false;
    second = box;
    switch (bestAxis) {
      case 0:
        box.r1 = second.r0 = bestPos;
        break;
      case 1:
        box.g1 = second.g0 = bestPos;
        break;
      default:
        box.b1 = second.b0 = bestPos;
        break;
    }
    return true;
  }

  std::vector<double> w_, r_, g_, b_, m2_;
};

// ---- Nearest centre and k-means refinement ---------------------------------------------------

// Nearest-centre search. Centres are sorted by r + g + b: a centre whose sum differs by d from the
// point's is at least d^2 / 3 away, so the search walks outwards from the point's sum and stops
// on each side once that bound exceeds the best distance found. A hint (the point's centre of the
// previous pass) gives a tight bound from the start.
class TNearestCentre {
 public:
  explicit TNearestCentre(const std::vector<TVec>& centres) : alone_(centres.size()) {
    // A point within half the distance from its centre to the next centre is nearest to it.
    for (size_t i = 0; i < centres.size(); ++i) {
      double nearest = std::numeric_limits<double>::infinity();
      for (size_t j = 0; j < centres.size(); ++j)
        if (j != i) nearest = std::min(nearest, Distance(centres[i], centres[j]));
      alone_[i] = nearest / 4.0;
    }
    sorted_.reserve(centres.size());
    for (size_t i = 0; i < centres.size(); ++i) {
      const TVec& c = centres[i];
      sorted_.push_back({c[0] + c[1] + c[2], c, static_cast<int>(i)});
    }
    std::sort(sorted_.begin(), sorted_.end(), [](const TEntry& a, const TEntry& b) {
      return a.sum != b.sum ? a.sum < b.sum : a.index < b.index;
    });
  }

  // Index of the nearest centre and its squared distance; `hint` is a centre index to start from,
  // or -1. Among equally near centres the lower index wins, except that the hint is kept when it
  // is strictly nearest by the half-distance rule.
  int Find(const TVec& p, int hint, const std::vector<TVec>& centres, double& distance) const {
    const double s = p[0] + p[1] + p[2];
    int best = hint;
    double bestDistance = hint >= 0 ? Distance(p, centres[hint]) : std::numeric_limits<double>::infinity();
    if (hint >= 0 && bestDistance < alone_[hint]) {
      distance = bestDistance;
      return hint;
    }
    const auto start = std::lower_bound(sorted_.begin(), sorted_.end(), s,
                                        [](const TEntry& e, double value) { return e.sum < value; });
    auto consider = [&](const TEntry& e) {
      if (e.index == hint) return;
      const double d = Distance(p, e.centre);
      if (d < bestDistance || (d == bestDistance && e.index < best)) {
        bestDistance = d;
        best = e.index;
      }
    };
    for (auto up = start; up != sorted_.end(); ++up) {
      const double ds = up->sum - s;
      if (ds * ds > 3.0 * bestDistance) break;
      consider(*up);
    }
    for (auto down = start; down != sorted_.begin();) {
      --down;
      const double ds = s - down->sum;
      if (ds * ds > 3.0 * bestDistance) break;
      consider(*down);
    }
    distance = bestDistance;
    return best;
  }

 private:
  struct TEntry {
    double sum;
    TVec centre;
    int index;
  };
  std::vector<TEntry> sorted_;
  std::vector<double> alone_;  // per centre: a quarter of the squared distance to its nearest other
};

// Adds free centres at the points farthest from every centre until there are `freeCount` of them
// or every point is matched exactly. `centres` holds the free centres first, then the fixed ones.
void FillFarthest(const std::vector<TPoint>& points, std::vector<TVec>& centres, int freeCount,
                  int& haveFree) {
  if (haveFree >= freeCount || points.empty()) return;
  std::vector<double> nearest(points.size(), std::numeric_limits<double>::infinity());
  for (const TVec& c : centres)
    for (size_t i = 0; i < points.size(); ++i) nearest[i] = std::min(nearest[i], Distance(points[i].mean, c));
  while (haveFree < freeCount) {
    const size_t far = std::max_element(nearest.begin(), nearest.end()) - nearest.begin();
    if (!(nearest[far] > 0.0)) break;
    const TVec c = points[far].mean;
    centres.insert(centres.begin() + haveFree, c);
    ++haveFree;
    for (size_t i = 0; i < points.size(); ++i) nearest[i] = std::min(nearest[i], Distance(points[i].mean, c));
  }
}

// Lloyd passes: each point goes to its nearest centre, each free centre moves to the weighted mean
// of its points. A free centre left without points jumps to the point with the largest weighted
// error, which takes error off the palette rather than leaving an entry unused.
void Refine(const std::vector<TPoint>& points, std::vector<TVec>& centres, int freeCount) {
  if (freeCount <= 0 || points.empty()) return;
  std::vector<TVec> sums(freeCount);
  std::vector<double> weights(freeCount);
  std::vector<int> assigned(points.size(), -1);
  double previousError = std::numeric_limits<double>::infinity();
  for (int pass = 0; pass < kRefinePasses; ++pass) {
    std::fill(sums.begin(), sums.end(), TVec{0, 0, 0});
    std::fill(weights.begin(), weights.end(), 0.0);
    double error = 0.0, worstError = 0.0;
    size_t worstPoint = 0;
    {
      const TNearestCentre search(centres);
      for (size_t i = 0; i < points.size(); ++i) {
        const TPoint& p = points[i];
        double d = 0.0;
        const int j = search.Find(p.mean, assigned[i], centres, d);
        assigned[i] = j;
        if (j < freeCount) {
          weights[j] += p.count;
          for (int k = 0; k < 3; ++k) sums[j][k] += p.sum[k];
        }
        error += d * p.count;
        if (d * p.count > worstError) {
          worstError = d * p.count;
          worstPoint = i;
        }
      }
    }
    bool reseeded = false;
    for (int j = 0; j < freeCount; ++j) {
      if (weights[j] > 0) {
        centres[j] = {sums[j][0] / weights[j], sums[j][1] / weights[j], sums[j][2] / weights[j]};
      } else if (!reseeded && worstError > 0.0) {
        centres[j] = points[worstPoint].mean;
        reseeded = true;
      }
    }
    // Later passes gain little once the error hardly falls.
    if (!reseeded && error > previousError * (1.0 - kRefineMinGain)) break;
    previousError = error;
  }
}

uint8_t ToChannel(double v) {
  const double r = std::nearbyint(v);
  return r <= 0 ? 0 : r >= 255 ? 255 : static_cast<uint8_t>(r);
}

}  // namespace

std::vector<TColor> BuildPalette(const TPixelGraphic& source, int32_t colorCount, bool addSystemColors) {
  const int32_t fixedCount = addSystemColors ? kSystemColorCount : 0;
  if (colorCount < 1 + fixedCount || colorCount > 256) throw EPixelGraphic(MessageText(20, "ColorCount"));
  const int freeCount = colorCount - fixedCount;

  std::vector<TColor> fixed;
  if (addSystemColors) {
    const std::span<const TColor> sys = StandardPalette(pSys16);
    fixed.assign(sys.begin(), sys.end());
  }
  auto isFixed = [&fixed](TColor c) { return std::find(fixed.begin(), fixed.end(), c) != fixed.end(); };
  auto finish = [&](std::vector<TColor> chosen) {
    chosen.resize(freeCount, 0);
    chosen.insert(chosen.end(), fixed.begin(), fixed.end());
    return chosen;
  };

  THistogram histogram;
  ForEachColor(source, [&histogram](TColor c, uint64_t n) { histogram.Add(c, n); });
  const std::vector<TCell>& cells = histogram.Cells();

  // Few occupied cells: the image may have no more colours than free entries.
  int occupied = 0;
  bool mixed = false;
  for (const TCell& cell : cells) {
    if (cell.count == 0) continue;
    if (!(cell.color & kColorMixed) && isFixed(cell.color & kColorMask)) continue;
    ++occupied;
    mixed = mixed || (cell.color & kColorMixed);
  }
  std::vector<TPoint> points;
  if (occupied <= freeCount) {
    std::vector<TColor> exact;
    if (!mixed) {
      for (const TCell& cell : cells)
        if (cell.count != 0 && !isFixed(cell.color & kColorMask)) exact.push_back(cell.color & kColorMask);
      return finish(std::move(exact));
    }
    // At most 64 colours per cell, so this map stays small.
    std::unordered_map<TColor, uint64_t> colors;
    ForEachColor(source, [&colors](TColor c, uint64_t n) { colors[c] += n; });
    for (const auto& [c, n] : colors)
      if (!isFixed(c)) exact.push_back(c);
    if (static_cast<int>(exact.size()) <= freeCount) {
      std::sort(exact.begin(), exact.end(), [](TColor a, TColor b) {
        const int ca = CellIndex(GetRValue(a), GetGValue(a), GetBValue(a));
        const int cb = CellIndex(GetRValue(b), GetGValue(b), GetBValue(b));
        return ca != cb ? ca < cb : a < b;
      });
      return finish(std::move(exact));
    }
    // More colours than entries within few cells: refine on the exact colours instead of cells.
    points.reserve(colors.size());
    for (const auto& [c, n] : colors) {
      const TVec v = ToVec(c);
      const double w = static_cast<double>(n);
      points.push_back({v, w, {v[0] * w, v[1] * w, v[2] * w}});
    }
    std::sort(points.begin(), points.end(), [](const TPoint& a, const TPoint& b) { return a.mean < b.mean; });
  } else {
    for (const TCell& cell : cells) {
      if (cell.count == 0) continue;
      const double w = static_cast<double>(cell.count);
      const TVec sum{double(cell.sumR), double(cell.sumG), double(cell.sumB)};
      points.push_back({{sum[0] / w, sum[1] / w, sum[2] / w}, w, sum});
    }
  }

  std::vector<TVec> centres = TWuQuantizer(cells).Centroids(freeCount);
  int haveFree = static_cast<int>(centres.size());
  for (TColor c : fixed) centres.push_back(ToVec(c));
  FillFarthest(points, centres, freeCount, haveFree);
  Refine(points, centres, haveFree);

  std::vector<TColor> chosen;
  chosen.reserve(freeCount);
  for (int j = 0; j < haveFree; ++j)
    chosen.push_back(RGBColor(ToChannel(centres[j][0]), ToChannel(centres[j][1]), ToChannel(centres[j][2])));
  return finish(std::move(chosen));
}

// ---- Reduction to an indexed copy -----------------------------------------------------------------

namespace {

// The distinct colours of an image, up to `limit` of them; stops at limit + 1. Runs of one colour
// cost one comparison.
std::vector<TColor> DistinctColors(const TPixelGraphic& image, size_t limit) {
  std::unordered_map<TColor, bool> seen;
  seen.reserve(limit * 2 + 2);
  std::vector<TColor> colors;
  ForEachColor(image, [&](TColor c, uint64_t) {
    if (colors.size() > limit) return;
    if (seen.emplace(c, true).second) colors.push_back(c);
  });
  return colors;
}

// Brightness first, then the colour value: a fixed order for a set of colours.
void SortByBrightness(std::vector<TColor>& palette) {
  std::sort(palette.begin(), palette.end(), [](TColor a, TColor b) {
    const int32_t ga = Gray3(a, true), gb = Gray3(b, true);
    return ga != gb ? ga < gb : a < b;
  });
}

}  // namespace

void ReduceToPalette(const TPixelGraphic& source, int32_t maxColors, bool dither, TPixelGraphic& target) {
  if (maxColors < 2 || maxColors > 256) throw EPixelGraphic(MessageText(20, "ColorCount"));
  target.OnProgressStart = source.OnProgressStart;
  target.OnProgress = source.OnProgress;
  target.OnProgressEnd = source.OnProgressEnd;
  target.SetGamma(source.Gamma());
  target.SetRGBWeighting(source.RGBWeighting());
  target.SetDither(dither);

  const int32_t width = source.Width();
  const int32_t height = source.Height();
  std::vector<TColor> palette = DistinctColors(source, static_cast<size_t>(maxColors));
  const bool exact = palette.size() <= static_cast<size_t>(maxColors);
  if (!exact) palette = BuildPalette(source, maxColors, false);
  SortByBrightness(palette);
  const size_t count = std::max<size_t>(palette.size(), 1);
  const TBitCount bitCount = count <= 2 ? bc1Bit : count <= 16 ? bc4Bit : bc8Bit;

  const TUpdateScope update(target);
  target.NewImage(width, height, bitCount);
  target.SetPaletteCount(static_cast<int32_t>(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) target.SetPaletteEntries(static_cast<int32_t>(i), palette[i]);
  if (width <= 0 || height <= 0 || source.Empty()) return;
  if (!exact) {
    target.CopyRect(0, 0, width, height, 0, 0, source);
    return;
  }
  // Every colour has its own entry: each pixel takes its index, with no matching and no error.
  std::unordered_map<TColor, uint32_t> index;
  for (size_t i = 0; i < palette.size(); ++i) index.emplace(palette[i], static_cast<uint32_t>(i));
  const int bits = BitCountNum(bitCount);
  const bool direct = source.BitCount() == bc24Bit;
  TColor last = source.Colors(0, 0);
  uint32_t lastIndex = index.at(last);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* in = source.ScanLine(y);
    uint8_t* out = target.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      const TColor c = direct ? RGBColor(in[3 * x + 2], in[3 * x + 1], in[3 * x]) : source.Colors(x, y);
      if (c != last) {
        last = c;
        lastIndex = index.at(c);
      }
      if (bits == 8) {
        out[x] = static_cast<uint8_t>(lastIndex);
      } else {
        // NewImage zeroed the row, so the index only needs to be or-ed into its place.
        const int perByte = 8 / bits;
        const int shift = bits * (perByte - 1 - x % perByte);
        out[x / perByte] |= static_cast<uint8_t>(lastIndex << shift);
      }
    }
  }
}

}  // namespace pg
