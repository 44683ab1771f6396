// The formats slices can be written in: the one list the Output Format menu, the Slice panel's
// per-slice choice, the project file and tessel-cli's --format all take their choices from.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tessel {

struct TSliceFormat {
  std::string_view Name;         // "jpg": what the project file and --format say
  std::string_view Extension;    // ".jpg": appended to the slice names; picks the writer
  std::string_view Description;  // "JPEG" for menus
  std::string_view MimeType;     // "image/jpeg": the type a page's <source type=...> names
};

// In the order of the menu; the first is the default.
std::span<const TSliceFormat> SliceFormats();
const TSliceFormat& DefaultSliceFormat();

// The format named `name` ("png", ".png" or "PNG"), or nullptr when there is none.
const TSliceFormat* FindSliceFormat(std::string_view name);

// "jpg, bmp, tif or png", for messages that list the choices.
std::string SliceFormatChoices();

}  // namespace tessel
