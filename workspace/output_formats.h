// The formats slices can be written in: the one list the Output Format menu, the Slice panel's
// per-slice choice, the project file and tessel-cli's --format all take their choices from.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "imaging/formats/format_options.h"

namespace tessel {

struct TSliceFormat {
  std::string_view Name;         // "jpg": what the project file and --format say
  std::string_view Extension;    // ".jpg": appended to the slice names; picks the writer
  std::string_view Description;  // "JPEG" for menus
  std::string_view MimeType;     // "image/jpeg": the type a page's <source type=...> names
  std::string_view MenuText;     // ".jpg", ".webp (lossless)": the Output Format menu's entry
  // Sets in the save settings what this choice writes where several share a writer (lossless
  // WebP, an indexed PNG); every other setting stays as given. None for an extension outside the
  // list.
  void (*Configure)(pg::TSaveSettings& settings) = nullptr;

  // The save settings of a slice in this format, from those of the export.
  pg::TSaveOptions OptionsFrom(const pg::TSaveOptions& options) const {
    pg::TSaveOptions own = options;
    if (Configure != nullptr) Configure(own);
    return own;
  }
};

// How slices of the newer formats are encoded, as the window, the project file and tessel-cli keep
// it: WebP and AVIF quality, the AVIF encoder's speed, and the colours and dithering of png8. The
// defaults are the library's.
struct TFormatSettings {
  int32_t WebPQuality = pg::TSaveSettings{}.WebPQuality;  // 0..100
  int32_t AVIFQuality = pg::TSaveSettings{}.AVIFQuality;  // 0..100
  int32_t AVIFSpeed = pg::TSaveSettings{}.AVIFSpeed;      // 0 (smallest files)..10 (fastest)
  int32_t PNGColors = pg::TSaveSettings{}.PNGColors;      // 2..256
  bool PNGDither = pg::TSaveSettings{}.PNGDither;

  // Sets these in `settings`; every other setting stays as given.
  void ApplyTo(pg::TSaveSettings& settings) const {
    settings.WebPQuality = WebPQuality;
    settings.AVIFQuality = AVIFQuality;
    settings.AVIFSpeed = AVIFSpeed;
    settings.PNGColors = PNGColors;
    settings.PNGDither = PNGDither;
  }

  friend bool operator==(const TFormatSettings&, const TFormatSettings&) = default;
};
inline constexpr int32_t kMaxAVIFSpeed = 10;
inline constexpr int32_t kMinPNGColors = 2;
inline constexpr int32_t kMaxPNGColors = 256;

// In the order of the menu; the first is the default.
std::span<const TSliceFormat> SliceFormats();
const TSliceFormat& DefaultSliceFormat();

// The format named `name` ("png", ".png" or "PNG"), or nullptr when there is none.
const TSliceFormat* FindSliceFormat(std::string_view name);

// "jpg, bmp, tif, png, ... or avif", for messages that list the choices.
std::string SliceFormatChoices();

}  // namespace tessel
