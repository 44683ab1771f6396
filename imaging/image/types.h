// Shared types of the imaging library: pixel formats, colour values, palette identities, colour
// resolutions, warning actions and the event signatures.
#pragma once

#include <cstdint>
#include <functional>

namespace pg {

// A colour value laid out as 0x00BBGGRR (red in the low byte).
using TColor = uint32_t;

constexpr TColor RGBColor(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<TColor>(red) | (static_cast<TColor>(green) << 8) | (static_cast<TColor>(blue) << 16);
}
constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

enum TBitCount : uint8_t { bc1Bit, bc4Bit, bc8Bit, bc24Bit };

constexpr int32_t BitCountNum(TBitCount bc) {
  return bc == bc1Bit ? 1 : bc == bc4Bit ? 4 : bc == bc8Bit ? 8 : 24;
}
constexpr int32_t ColorCount(TBitCount bc) {
  return bc == bc1Bit ? 2 : bc == bc4Bit ? 16 : bc == bc8Bit ? 256 : 0;
}
// 1, 4, 8, 24 to a TBitCount; any other number raises EPGInvalidBitCountNum ("BitCountNum").
TBitCount BitCountFromNum(int32_t bitCountNum);

enum TPaletteIdent : uint8_t {
  pNone,
  pTrueColor,
  pUnknown,
  pBlackWhite,
  pSysGray4,
  pSys16,
  pGray4,
  pGray16,
  pGray236,
  pGray256,
  pSpecial125,
  pSpecial216,
  pSpecial252,
  pOptimized252Sys16,
  pSource,
};

// Colour resolutions, named by messages 8..15 (ColorResName).
enum TColorRes : uint8_t {
  crBlackWhite,
  cr2Colors,
  cr16Gray,
  cr16SysColors,
  cr16Colors,
  cr256Gray,
  cr256Colors,
  cr16MColors,
};

enum TStretchMode : uint8_t { smFast, smMedium, smPrecise };

enum TPGWarningAction : uint8_t { pgwaIgnore, pgwaOKBox, pgwaOKCancelBox, pgwaRaise };

// Sender is the address of the object that fires.
using TNotifyEvent = std::function<void(const void* sender)>;
using TPGProgressEvent = std::function<void(const void* sender, int32_t step, int32_t max, bool& abort)>;

}  // namespace pg
