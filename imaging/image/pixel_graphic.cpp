#include "imaging/image/pixel_graphic.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "imaging/image/byte_order.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic_internal.h"
#include "imaging/image/standard_palettes.h"

namespace pg {

namespace {

// Larger pixel blocks are refused before the allocator is asked: no machine this runs on holds
// them, and some allocators (the sanitizers') abort instead of failing on such requests.
constexpr int64_t kMaxImageSize = int64_t{1} << 40;

int64_t RowBytes(TBitCount bitCount, int32_t width) {
  return ((static_cast<int64_t>(pg::BitCountNum(bitCount)) * width + 31) / 32) * 4;
}

}  // namespace

TPixelGraphic::TPixelGraphic() = default;

TPixelGraphic::~TPixelGraphic() = default;

// ---- Storage ---------------------------------------------------------------------------------

void TPixelGraphic::FreePixels() {
  pixelMemory_.reset();
  bits_ = nullptr;
  bitmapInfo_.clear();
}

void TPixelGraphic::BuildBitmapInfo() {
  const int32_t colorCount = ColorCount();
  bitmapInfo_.assign(40 + 4 * static_cast<size_t>(colorCount), 0);
  uint8_t* h = bitmapInfo_.data();
  PutLE32(h + 0, 40);
  PutLE32(h + 4, static_cast<uint32_t>(width_));
  PutLE32(h + 8, static_cast<uint32_t>(height_));
  PutLE16(h + 12, 1);
  PutLE16(h + 14, static_cast<uint16_t>(BitCountNum()));
  PutLE32(h + 16, 0);
  // The size field holds 32 bits; 0 is the valid value for uncompressed pixels of any size.
  const int64_t size = ImageSize();
  PutLE32(h + 20, size <= std::numeric_limits<uint32_t>::max() ? static_cast<uint32_t>(size) : 0);
  PutLE32(h + 32, static_cast<uint32_t>(colorCount));
  for (int32_t i = 0; i < colorCount; ++i) {
    TColor c = 0;
    if (i < PaletteCount())
      c = palette_[i];
    else if (!palette_.empty())
      c = palette_[0];
    WriteColorTableEntry(i, c);
  }
}

void TPixelGraphic::WriteColorTableEntry(int32_t index, TColor color) {
  if (bitmapInfo_.empty() || index < 0 || index >= ColorCount()) return;
  uint8_t* e = bitmapInfo_.data() + 40 + 4 * index;
  e[0] = GetBValue(color);
  e[1] = GetGValue(color);
  e[2] = GetRValue(color);
  e[3] = 0;
}

void TPixelGraphic::NewImage(int32_t width, int32_t height, TBitCount bitCount) {
  if (width < 0) throw EPGInvalidSize(MessageText(22));
  if (height < 0) throw EPGInvalidSize(MessageText(21));
  if (bitCount > bc24Bit) throw EPGInvalidBitCountNum(MessageText(20, "BitCountNum"));
  const int64_t rowBytes = RowBytes(bitCount, width);
  // Beyond kMaxImageSize the product could overflow even 64 bits; it is refused below anyway.
  const bool tooLarge = height > 0 && (rowBytes > std::numeric_limits<int32_t>::max() ||
                                       (rowBytes > 0 && height > kMaxImageSize / rowBytes));
  const int64_t size = tooLarge ? kMaxImageSize + 1 : rowBytes * height;
  // An image whose allocation failed has its size but no memory: asking again allocates.
  if (width == width_ && height == height_ && bitCount == bitCount_ && (bits_ != nullptr || size == 0)) {
    Clear();
    return;
  }
  width_ = width;
  height_ = height;
  bitCount_ = bitCount;
  FreePixels();
  bytesPerRow_ = rowBytes <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(rowBytes) : 0;
  if (size > 0) {
    const std::string failure = MessageText(31, "CreateDIBSection");
    if (tooLarge) {
      bytesPerRow_ = 0;
      throw EPixelGraphic(failure);
    }
    const int32_t colorCount = ColorCount();
    if (PaletteCount() > colorCount) SetPaletteCount(colorCount);
    if (bitCount == bc24Bit) SetPaletteIdent(pTrueColor);
    try {
      BuildBitmapInfo();
      pixelMemory_.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1)));
    } catch (const std::bad_alloc&) {
      pixelMemory_.reset();
    }
    if (!pixelMemory_) {
      bitmapInfo_.clear();
      bytesPerRow_ = 0;
      throw EPixelGraphic(failure);
    }
    bits_ = pixelMemory_.get();
  }
  Changed();
}

void TPixelGraphic::SetWidth(int32_t width) {
  if (width != width_) NewImage(width, height_, bitCount_);
}

void TPixelGraphic::SetHeight(int32_t height) {
  if (height != height_) NewImage(width_, height, bitCount_);
}

void TPixelGraphic::SetBitCount(TBitCount bitCount) {
  if (bitCount != bitCount_) NewImage(width_, height_, bitCount);
}

// ---- Pixels ----------------------------------------------------------------------------------

void TPixelGraphic::OutOfRange() const {
  if (raiseOnOutOfRange_) throw EPGXYIndexOutOfRange(MessageText(1));
}

uint32_t TPixelGraphic::Pixels(int32_t x, int32_t y) const {
  if (!Inside(x, y)) {
    OutOfRange();
    return backgroundValue_;
  }
  return RawPixel(ScanLine(y), x);
}

void TPixelGraphic::SetPixels(int32_t x, int32_t y, uint32_t value) {
  if (!Inside(x, y)) {
    OutOfRange();
    return;
  }
  SetRawPixel(ScanLine(y), x, value);
}

TColor TPixelGraphic::Colors(int32_t x, int32_t y) const {
  const uint32_t value = Pixels(x, y);
  return bitCount_ == bc24Bit ? value : PaletteEntries(static_cast<int32_t>(value));
}

void TPixelGraphic::SetColors(int32_t x, int32_t y, TColor color) {
  SetPixels(x, y, bitCount_ == bc24Bit ? color : ColorToIndex(color));
}

TColor TPixelGraphic::BackgroundColor() const {
  return bitCount_ == bc24Bit ? backgroundValue_ : PaletteEntries(static_cast<int32_t>(backgroundValue_));
}

void TPixelGraphic::SetBackgroundColor(TColor color) {
  backgroundValue_ = bitCount_ == bc24Bit ? color : ColorToIndex(color);
}

void TPixelGraphic::Clear() {
  if (bits_ == nullptr || width_ <= 0 || height_ <= 0) return;
  if (backgroundValue_ == 0) {
    std::memset(bits_, 0, static_cast<size_t>(ImageSize()));
  } else if (bitCount_ == bc8Bit) {
    for (int32_t y = 0; y < height_; ++y)
      std::memset(ScanLine(y), static_cast<uint8_t>(backgroundValue_), static_cast<size_t>(width_));
  } else if (bitCount_ == bc24Bit) {
    uint8_t* first = ScanLine(0);
    for (int32_t x = 0; x < width_; ++x) SetRawPixel(first, x, backgroundValue_);
    for (int32_t y = 1; y < height_; ++y) std::memcpy(ScanLine(y), first, 3 * static_cast<size_t>(width_));
  } else {
    for (int32_t y = 0; y < height_; ++y) {
      uint8_t* row = ScanLine(y);
      for (int32_t x = 0; x < width_; ++x) SetRawPixel(row, x, backgroundValue_);
    }
  }
  Changed();
}

// ---- Palette ---------------------------------------------------------------------------------

void TPixelGraphic::SetPaletteCount(int32_t count) {
  if (count < 0 || count > 256) throw EPGInvalidPaletteIndex(MessageText(3));
  if (count != PaletteCount()) {
    palette_.resize(static_cast<size_t>(count), 0);
    paletteIdent_ = count > 0 ? pUnknown : pNone;
    lastLookupValid_ = false;
    if (!bitmapInfo_.empty())
      PutLE32(bitmapInfo_.data() + 32, static_cast<uint32_t>(std::min(count, ColorCount())));
  }
  colorMap_.reset();
}

TColor TPixelGraphic::PaletteEntries(int32_t index) const {
  if (paletteIdent_ == pTrueColor) return static_cast<TColor>(index);
  if (index < 0 || index >= PaletteCount()) throw EPGInvalidPaletteIndex(MessageText(3));
  return palette_[index];
}

void TPixelGraphic::SetPaletteEntries(int32_t index, TColor color) {
  if (paletteIdent_ == pNone || paletteIdent_ == pTrueColor) throw EPGNoPalette(MessageText(2));
  if (index < 0 || index >= PaletteCount()) throw EPGInvalidPaletteIndex(MessageText(3));
  color &= 0x00FFFFFFu;
  WriteColorTableEntry(index, color);
  palette_[index] = color;
  paletteIdent_ = pUnknown;
  InvalidateLookups();
}

void TPixelGraphic::InvalidateLookups() {
  lastLookupValid_ = false;
  colorMap_.reset();
}

void TPixelGraphic::SetPaletteIdent(TPaletteIdent ident) {
  if (ident == paletteIdent_) return;
  // Requests for a palette built from an image are answered by the palette builder; they never
  // become the state of a palette.
  if (ident == pOptimized252Sys16 || ident == pSource || ident > pSource) return;
  if (ident == pNone || ident == pTrueColor) {
    SetPaletteCount(0);
  } else if (ident != pUnknown) {
    const std::span<const TColor> entries = StandardPalette(ident);
    SetPaletteCount(static_cast<int32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      WriteColorTableEntry(static_cast<int32_t>(i), entries[i]);
      palette_[i] = entries[i];
    }
  }
  paletteIdent_ = ident;
  InvalidateLookups();
}

bool TPixelGraphic::IsGrayPalette() const {
  if (bitCount_ == bc24Bit) return false;
  return std::all_of(palette_.begin(), palette_.end(),
                     [](TColor c) { return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c); });
}

void TPixelGraphic::AssignPalette(const TPixelGraphic& source) {
  if (&source != this) {
    const std::vector<TColor> entries = source.palette_;
    SetPaletteCount(static_cast<int32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      WriteColorTableEntry(static_cast<int32_t>(i), entries[i]);
      palette_[i] = entries[i];
    }
    if (!entries.empty()) paletteIdent_ = pUnknown;
    InvalidateLookups();
  }
  RecognizePalette();
}

void TPixelGraphic::RecognizePalette() {
  auto matches = [this](TPaletteIdent ident) {
    const std::span<const TColor> entries = StandardPalette(ident);
    return palette_.size() == entries.size() && std::equal(entries.begin(), entries.end(), palette_.begin());
  };
  static constexpr TPaletteIdent kOrder[] = {pBlackWhite, pGray4, pSysGray4,   pGray16,     pGray236,
                                             pGray256,    pSys16, pSpecial216, pSpecial125, pSpecial252};
  TPaletteIdent ident = pNone;
  bool found = false;
  // No standard palette is empty: an image without a palette (24 bits) is told without building
  // their tables.
  if (!palette_.empty()) {
    for (TPaletteIdent candidate : kOrder) {
      if (matches(candidate)) {
        ident = candidate;
        found = true;
        break;
      }
    }
  }
  if (!found) {
    if (bitCount_ == bc24Bit && palette_.empty())
      ident = pTrueColor;
    else
      ident = palette_.empty() ? pNone : pUnknown;
  }
  if (ident != paletteIdent_) {
    paletteIdent_ = ident;
    InvalidateLookups();
  }
}

TColorRes TPixelGraphic::ColorRes() const {
  switch (bitCount_) {
    case bc1Bit:
      return paletteIdent_ == pBlackWhite ? crBlackWhite : cr2Colors;
    case bc4Bit:
      return paletteIdent_ == pSys16 ? cr16SysColors : paletteIdent_ == pGray16 ? cr16Gray : cr16Colors;
    case bc8Bit:
      return paletteIdent_ == pGray256 ? cr256Gray : cr256Colors;
    default:
      return cr16MColors;
  }
}

void TPixelGraphic::IndexColors(std::array<TColor, 256>& colors, std::array<bool, 256>& valid) const {
  for (int32_t i = 0; i < 256; ++i) {
    if (paletteIdent_ == pTrueColor) {
      colors[i] = static_cast<TColor>(i);
      valid[i] = true;
    } else {
      valid[i] = i < PaletteCount();
      colors[i] = valid[i] ? palette_[i] : 0;
    }
  }
}

// ---- Settings --------------------------------------------------------------------------------

void TPixelGraphic::SetUseColorCache(bool value) {
  if (value == useColorCache_) return;
  useColorCache_ = value;
  lastLookupValid_ = false;
  Changed();
}

void TPixelGraphic::SetRGBWeighting(bool value) {
  if (value == rgbWeighting_) return;
  rgbWeighting_ = value;
  lastLookupValid_ = false;
}

// ---- Change and progress ---------------------------------------------------------------------

void TPixelGraphic::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  Changed();
}

void TPixelGraphic::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TPixelGraphic::ProgressStart(const void* sender) const {
  if (OnProgressStart) OnProgressStart(sender);
}

bool TPixelGraphic::ProgressStep(const void* sender, int32_t step, int32_t max) const {
  bool abort = false;
  if (OnProgress) OnProgress(sender, step, max, abort);
  return abort;
}

void TPixelGraphic::ProgressEnd(const void* sender) const {
  if (OnProgressEnd) OnProgressEnd(sender);
}

// ---- Copying ---------------------------------------------------------------------------------

void TPixelGraphic::Assign(const TPixelGraphic* source) {
  const TUpdateScope update(*this);
  if (source == nullptr) {
    NewImage(0, 0, bc24Bit);
    SetPaletteIdent(pTrueColor);
    return;
  }
  if (source == this) return;
  NewImage(source->width_, source->height_, source->bitCount_);
  if (bits_ != nullptr && source->bits_ != nullptr)
    std::memcpy(bits_, source->bits_, static_cast<size_t>(ImageSize()));
  SetPaletteIdent(source->paletteIdent_);
  SetPaletteCount(source->PaletteCount());
  backgroundValue_ = source->backgroundValue_;
  dither_ = source->dither_;
  ditherErrorLimit_ = source->ditherErrorLimit_;
  ditherErrorLimitAuto_ = source->ditherErrorLimitAuto_;
  ditherErrorLimitSoft_ = source->ditherErrorLimitSoft_;
  SetUseColorCache(source->useColorCache_);
  gamma_ = source->gamma_;
  SetRGBWeighting(source->rgbWeighting_);
  stretchMode_ = source->stretchMode_;
  readWarningAction_ = source->readWarningAction_;
  raiseOnOutOfRange_ = source->raiseOnOutOfRange_;
  saveColorResWarningAction_ = source->saveColorResWarningAction_;
  for (int32_t i = 0; i < source->PaletteCount(); ++i) SetPaletteEntries(i, source->palette_[i]);
  RecognizePalette();
}

void TPixelGraphic::CopyRect(int32_t dstX, int32_t dstY, int32_t width, int32_t height, int32_t srcX,
                             int32_t srcY, const TPixelGraphic& source) {
  if (width_ <= 0 || height_ <= 0 || source.width_ <= 0 || source.height_ <= 0) return;
  if (bits_ == nullptr || source.bits_ == nullptr) return;

  // 64-bit: the offsets may be anywhere in the 32-bit range.
  const int64_t dx = dstX, dy = dstY, sx0 = srcX, sy0 = srcY;
  const int64_t firstRow = std::max<int64_t>(dy, 0);
  const int64_t lastRow = std::min<int64_t>(dy + height - 1, height_ - 1);
  const int64_t minX = std::max({dx, int64_t{0}, dx - sx0});
  const int64_t maxX = std::min({dx + width - 1, int64_t{width_} - 1, dx - sx0 + source.width_ - 1});

  // OnChange at the end, also when nothing was copied or the copy failed.
  const TUpdateScope update(*this);
  // Only a rectangle without any column inside both images skips the work; one whose rows all lie
  // outside still brackets its (empty) row loop with the progress start and end.
  if (width > 0 && minX <= maxX) {
    const bool both24 = bitCount_ == bc24Bit && source.bitCount_ == bc24Bit;
    const bool dithering = dither_ && bitCount_ != bc24Bit;
    const TDitherRun ditherRun(*this, dithering);

    std::vector<TColor> rowColors(both24 ? 0 : static_cast<size_t>(maxX - minX + 1));
    std::array<TColor, 256> indexColors{};
    std::array<bool, 256> indexValid{};
    if (source.bitCount_ != bc24Bit) source.IndexColors(indexColors, indexValid);

    const TProgressScope progress(*this, this);
    for (int64_t y = firstRow; y <= lastRow; ++y) {
      const int64_t sy = y + sy0 - dy;
      if (sy < 0 || sy >= source.height_) continue;
      const uint8_t* srcRow = source.ScanLine(static_cast<int32_t>(sy));
      uint8_t* dstRow = ScanLine(static_cast<int32_t>(y));
      if (both24) {
        std::memmove(dstRow + 3 * minX, srcRow + 3 * (minX + sx0 - dx),
                     static_cast<size_t>(3 * (maxX - minX + 1)));
        continue;
      }
      // Source colours of the row first (in column order), then one pass over the target.
      const int32_t count = static_cast<int32_t>(maxX - minX + 1);
      const int32_t firstSx = static_cast<int32_t>(minX + sx0 - dx);
      if (source.bitCount_ == bc24Bit) {
        const uint8_t* p = srcRow + 3 * static_cast<int64_t>(firstSx);
        for (int32_t i = 0; i < count; ++i, p += 3) rowColors[i] = RGBColor(p[2], p[1], p[0]);
      } else {
        for (int32_t i = 0; i < count; ++i) {
          const uint32_t index = source.RawPixel(srcRow, firstSx + i);
          if (!indexValid[index]) throw EPGInvalidPaletteIndex(MessageText(3));
          rowColors[i] = indexColors[index];
        }
      }
      const int32_t x0 = static_cast<int32_t>(minX);
      if (bitCount_ == bc24Bit) {
        uint8_t* p = dstRow + 3 * minX;
        for (int32_t i = 0; i < count; ++i, p += 3) {
          p[0] = GetBValue(rowColors[i]);
          p[1] = GetGValue(rowColors[i]);
          p[2] = GetRValue(rowColors[i]);
        }
      } else {
        StoreColorRow(static_cast<int32_t>(y), rowColors.data(), x0, count, dithering, true);
      }
      if (progress.Step(static_cast<int32_t>(y - firstRow), static_cast<int32_t>(lastRow - firstRow))) break;
    }
  }
}

}  // namespace pg
