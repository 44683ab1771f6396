// TPixelGraphic: the one in-memory raster image. Pixels are kept as a device-independent bitmap:
// 1, 4, 8 or 24 bits per pixel, rows bottom-up and padded to 4 bytes, 24-bit pixels as B, G, R,
// with a 40-byte bitmap-info header and colour table kept beside the pixel memory.
// Colour matching, standard palettes and dithering live here too (pixel format conversion).
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/image/types.h"

namespace pg {

class TStream;
class TPGFilter;
class TDitherer;

class TPixelGraphic {
 public:
  TPixelGraphic();
  ~TPixelGraphic();
  TPixelGraphic(const TPixelGraphic&) = delete;
  TPixelGraphic& operator=(const TPixelGraphic&) = delete;

  // ---- Size and format -------------------------------------------------------------------
  // New size and format with zeroed pixels; same size and format only clears (and fires OnChange).
  void NewImage(int32_t width, int32_t height, TBitCount bitCount);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  TBitCount BitCount() const { return bitCount_; }
  void SetWidth(int32_t width);  // NewImage with the other two unchanged, only when different
  void SetHeight(int32_t height);
  void SetBitCount(TBitCount bitCount);
  bool Empty() const { return bits_ == nullptr; }
  int32_t ColorCount() const { return pg::ColorCount(bitCount_); }
  int32_t BitCountNum() const { return pg::BitCountNum(bitCount_); }
  int32_t BytesPerRow() const { return bytesPerRow_; }
  int64_t ImageSize() const { return static_cast<int64_t>(bytesPerRow_) * height_; }

  // ---- Pixels ----------------------------------------------------------------------------
  uint8_t* Bits() { return bits_; }
  const uint8_t* Bits() const { return bits_; }
  // Row y counted from the top; no range check; nullptr when empty.
  uint8_t* ScanLine(int32_t y) {
    return bits_ ? bits_ + static_cast<int64_t>(bytesPerRow_) * (height_ - 1 - y) : nullptr;
  }
  const uint8_t* ScanLine(int32_t y) const {
    return bits_ ? bits_ + static_cast<int64_t>(bytesPerRow_) * (height_ - 1 - y) : nullptr;
  }
  uint32_t Pixels(int32_t x, int32_t y) const;
  void SetPixels(int32_t x, int32_t y, uint32_t value);
  TColor Colors(int32_t x, int32_t y) const;
  void SetColors(int32_t x, int32_t y, TColor color);
  uint32_t BackgroundValue() const { return backgroundValue_; }
  void SetBackgroundValue(uint32_t value) { backgroundValue_ = value; }
  TColor BackgroundColor() const;
  void SetBackgroundColor(TColor color);
  void Clear();

  // The 40-byte bitmap-info header followed by ColorCount colour table entries (B, G, R, 0);
  // empty while the image has no pixel memory.
  const std::vector<uint8_t>& BitmapInfo() const { return bitmapInfo_; }

  // ---- Palette ---------------------------------------------------------------------------
  int32_t PaletteCount() const { return static_cast<int32_t>(palette_.size()); }
  void SetPaletteCount(int32_t count);
  TColor PaletteEntries(int32_t index) const;
  void SetPaletteEntries(int32_t index, TColor color);
  TPaletteIdent PaletteIdent() const { return paletteIdent_; }
  void SetPaletteIdent(TPaletteIdent ident);  // a standard identity fills its palette
  bool IsGrayPalette() const;
  void AssignPalette(const TPixelGraphic& source);
  void RecognizePalette();
  const std::vector<TColor>& PaletteData() const { return palette_; }
  // The colour resolution of the image (black and white .. 16.7 million colours).
  TColorRes ColorRes() const;

  // ---- Colour matching and dithering -------------------------------------------------------
  uint32_t ColorToIndex(TColor color);
  uint32_t ColorToIndex(uint8_t red, uint8_t green, uint8_t blue) {
    return ColorToIndex(RGBColor(red, green, blue));
  }
  void DitherBegin();
  void DitherNextRow();
  void DitherPixel(int32_t x, int32_t y, int32_t red, int32_t green, int32_t blue);
  void DitherEnd();
  // The error transfer table of the running dithering for e in -255 .. 255 (e itself when none runs).
  int32_t DitherTransfer(int32_t e) const;

  // ---- Settings (all copied by Assign) ------------------------------------------------------
  bool RaiseOnOutOfRange() const { return raiseOnOutOfRange_; }
  void SetRaiseOnOutOfRange(bool value) { raiseOnOutOfRange_ = value; }
  bool Dither() const { return dither_; }
  void SetDither(bool value) { dither_ = value; }
  uint8_t DitherErrorLimit() const { return ditherErrorLimit_; }
  void SetDitherErrorLimit(uint8_t value) { ditherErrorLimit_ = value; }
  bool DitherErrorLimitAuto() const { return ditherErrorLimitAuto_; }
  void SetDitherErrorLimitAuto(bool value) { ditherErrorLimitAuto_ = value; }
  bool DitherErrorLimitSoft() const { return ditherErrorLimitSoft_; }
  void SetDitherErrorLimitSoft(bool value) { ditherErrorLimitSoft_ = value; }
  bool UseColorCache() const { return useColorCache_; }
  void SetUseColorCache(bool value);  // invalidates the last lookup and fires OnChange when changed
  bool RGBWeighting() const { return rgbWeighting_; }
  void SetRGBWeighting(bool value);  // invalidates the last lookup when changed
  TStretchMode StretchMode() const { return stretchMode_; }
  void SetStretchMode(TStretchMode value) { stretchMode_ = value; }
  long double Gamma() const { return gamma_; }
  void SetGamma(long double value) { gamma_ = value; }
  TPGWarningAction ReadWarningAction() const { return readWarningAction_; }
  void SetReadWarningAction(TPGWarningAction value) { readWarningAction_ = value; }
  TPGWarningAction SaveColorResWarningAction() const { return saveColorResWarningAction_; }
  void SetSaveColorResWarningAction(TPGWarningAction value) { saveColorResWarningAction_ = value; }
  bool SkipRealizePalette() const { return skipRealizePalette_; }
  void SetSkipRealizePalette(bool value) { skipRealizePalette_ = value; }
  // Lets the JPEG reader use the fast integer DCT (the display copy of the view may want speed).
  bool FastDecoding() const { return fastDecoding_; }
  void SetFastDecoding(bool value) { fastDecoding_ = value; }

  // ---- Change and progress -----------------------------------------------------------------
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  void Changed();
  int32_t UpdateCount() const { return updateCount_; }

  // Fire the progress events if assigned; `sender` is the object doing the work (the image or a
  // reader). ProgressStep returns the handler's Abort answer.
  void ProgressStart(const void* sender) const;
  bool ProgressStep(const void* sender, int32_t step, int32_t max) const;
  void ProgressEnd(const void* sender) const;

  TNotifyEvent OnChange;
  TNotifyEvent OnProgressStart;
  TPGProgressEvent OnProgress;
  TNotifyEvent OnProgressEnd;

  // ---- Copying -----------------------------------------------------------------------------
  // Whole copy of another image (nullptr gives an empty 0 x 0 24-bit image); events are not copied.
  void Assign(const TPixelGraphic* source);
  // Unscaled copy of a rectangle of `source` to (dstX, dstY), converting the pixel format.
  void CopyRect(int32_t dstX, int32_t dstY, int32_t width, int32_t height, int32_t srcX, int32_t srcY,
                const TPixelGraphic& source);
  // Scaled copy of all of `source` onto all of this image (StretchMode decides the resampling).
  void CopyFrom(const TPixelGraphic& source);
  // Runs a colour filter from `source` into this image: pg::ApplyFilter, forwarded inline by
  // imaging/filters/filter.h.
  void ApplyFilter(TPGFilter& filter, const TPixelGraphic& source);

  // ---- Files and streams ----------------------------------------------------------------------
  // pg::LoadImage, pg::SaveImage, ... with the process-wide options, forwarded inline by
  // imaging/formats/image_io.h: include it where these are called.
  void LoadFromFile(const std::string& fileName, int32_t index = 0);
  void LoadFromStream(TStream& stream, const std::string& extension, int32_t index = 0);
  void SaveToFile(const std::string& fileName);
  void SaveToStream(TStream& stream, const std::string& extension);
  void SaveToStream(TStream& stream);  // BMP
  void ReadDIB(TStream& stream, bool coreHeader);
  void WriteDIB(TStream& stream);
  // Embedded in a stream of other data: a 32-bit byte count, then a BMP file.
  void WriteData(TStream& stream);
  void ReadData(TStream& stream);
  int64_t DIBSize() const { return 4 * static_cast<int64_t>(PaletteCount()) + ImageSize() + 58; }

 private:
  struct ColorMap;  // inverse colour map (pUnknown palettes)
  struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
  };

  void FreePixels();
  void BuildBitmapInfo();
  void WriteColorTableEntry(int32_t index, TColor color);
  void InvalidateLookups();  // last lookup, inverse colour map
  uint32_t ComputeIndex(TColor color);
  uint32_t LookupIndex(TColor color);  // ColorToIndex, inlined where it is hot
  uint32_t ColorMapIndex(TColor color);
  bool Inside(int32_t x, int32_t y) const {
    return bits_ != nullptr && x >= 0 && y >= 0 && x < width_ && y < height_;
  }
  void OutOfRange() const;  // raises when RaiseOnOutOfRange, else returns
  uint32_t RawPixel(const uint8_t* row, int32_t x) const;
  // The colour a palette index stands for; `fallback` for an index outside the palette.
  TColor EntryColor(uint32_t index, TColor fallback) const;
  // Stores colors[0 .. count) as indices into pixels minX .. minX + count - 1 of row y of a palette
  // image: dithered (the error rows advanced first), or each the nearest entry, visited in
  // serpentine order when `serpentine`.
  void StoreColorRow(int32_t y, const TColor* colors, int32_t minX, int32_t count, bool dither,
                     bool serpentine);
  void SetRawPixel(uint8_t* row, int32_t x, uint32_t value);
  // Colours of all 256 possible indices of a palette format (black beyond the palette) and
  // whether each index lies inside the palette.
  void IndexColors(std::array<TColor, 256>& colors, std::array<bool, 256>& valid) const;

  int32_t width_ = 0;
  int32_t height_ = 0;
  TBitCount bitCount_ = bc24Bit;
  int32_t bytesPerRow_ = 0;
  uint8_t* bits_ = nullptr;
  std::unique_ptr<uint8_t, FreeDeleter> pixelMemory_;
  std::vector<uint8_t> bitmapInfo_;

  std::vector<TColor> palette_;
  TPaletteIdent paletteIdent_ = pTrueColor;

  uint32_t backgroundValue_ = 0;
  bool raiseOnOutOfRange_ = false;
  bool dither_ = true;
  uint8_t ditherErrorLimit_ = 32;
  bool ditherErrorLimitAuto_ = true;
  bool ditherErrorLimitSoft_ = true;
  bool useColorCache_ = true;
  bool rgbWeighting_ = true;
  TStretchMode stretchMode_ = smPrecise;
  long double gamma_ = 1.8L;
  TPGWarningAction readWarningAction_ = pgwaOKCancelBox;
  TPGWarningAction saveColorResWarningAction_ = pgwaOKCancelBox;
  bool skipRealizePalette_ = false;
  bool fastDecoding_ = false;

  int32_t updateCount_ = 0;

  bool lastLookupValid_ = false;
  TColor lastColor_ = 0;
  uint32_t lastIndex_ = 0;
  std::unique_ptr<ColorMap> colorMap_;
  std::unique_ptr<TDitherer> ditherer_;
};

// Brackets a change of the image: BeginUpdate now and EndUpdate when the scope ends, so OnChange
// fires once at the end of the outermost bracket, also when the work fails. When the work fails,
// an OnChange handler that throws does not replace the failure.
class TUpdateScope {
 public:
  explicit TUpdateScope(TPixelGraphic& graphic) : graphic_(graphic), failures_(std::uncaught_exceptions()) {
    graphic_.BeginUpdate();
  }
  ~TUpdateScope() noexcept(false) {
    if (std::uncaught_exceptions() == failures_) {
      graphic_.EndUpdate();
      return;
    }
    try {
      graphic_.EndUpdate();
    } catch (...) {
      // The failure already travelling is the one to report.
    }
  }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

 private:
  TPixelGraphic& graphic_;
  int failures_;
};

// Fires the image's progress-start event on construction and progress-end on destruction, so the
// end event follows on every path: success, Abort and failure.
class TProgressScope {
 public:
  TProgressScope(const TPixelGraphic& graphic, const void* sender) : graphic_(graphic), sender_(sender) {
    graphic_.ProgressStart(sender_);
  }
  ~TProgressScope() {
    try {
      graphic_.ProgressEnd(sender_);
    } catch (...) {
      // A handler that throws while an error is already travelling must not end the program.
    }
  }
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;

  // Reports a step; true when the handler asks to abort.
  bool Step(int32_t step, int32_t max) const { return graphic_.ProgressStep(sender_, step, max); }

 private:
  const TPixelGraphic& graphic_;
  const void* sender_;
};

}  // namespace pg
