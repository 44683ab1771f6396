#include "imaging/image/messages.h"

namespace pg {

std::atomic<uint8_t> MessageLanguage{0};

namespace {

// Only the English texts are carried; the other language slots stay empty (the language index
// never leaves English).
#define PG_MSG(n, en) \
  TMessageEntry { n, { en, "", "", "", "", "" } }

constexpr std::array<TMessageEntry, kMessageCount> kMessages = {{
    PG_MSG(1, "X, Y index out of range"),
    PG_MSG(2, "No palette"),
    PG_MSG(3, "Invalid palette index"),
    PG_MSG(4, "Unknown clipboard format"),
    PG_MSG(5, "Invalid temporary file"),
    PG_MSG(6, "Unknown file format"),
    PG_MSG(7, "%S1 invalid"),
    PG_MSG(8, "black and white"),
    PG_MSG(9, "2 colors"),
    PG_MSG(10, "16 shades of gray"),
    PG_MSG(11, "16 system colors"),
    PG_MSG(12, "16 colors"),
    PG_MSG(13, "256 shades of gray"),
    PG_MSG(14, "256 colors"),
    PG_MSG(15, "16.7 million colors"),
    PG_MSG(16, "%S1 is empty"),
    PG_MSG(17,
           "The graphic cannot be saved to a %S1 file with the current color resolution (%S2).\r\r"
           "The graphic will be saved with a different color resolution (%S3)."),
    PG_MSG(18, "The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)"),
    PG_MSG(19, "Unknown file extension \"%S1\""),
    PG_MSG(20, "Invalid value for %S1"),
    PG_MSG(21, "Negative height"),
    PG_MSG(22, "Negative width"),
    PG_MSG(23, "Cannot apply this filter to a source that is identical to the target"),
    PG_MSG(24, "bit"),
    PG_MSG(25, "Image files"),
    PG_MSG(26, "All files"),
    PG_MSG(27, "Invalid size of %S1"),
    PG_MSG(28, "Warning"),
    PG_MSG(29, "Operation aborted on user request"),
    PG_MSG(30, "Not supported subformat"),
    PG_MSG(31, "%S1 failed"),
    PG_MSG(32, "Unexpected end of file"),
    PG_MSG(33, "Unknown subformat"),
    PG_MSG(34, "Not a %S1 file"),
    PG_MSG(35, "Width = 0 or Height = 0"),
    PG_MSG(36, "Invalid color resolution"),
    PG_MSG(37, "Unsupported field type %S1"),
    PG_MSG(38, "Invalid count of bytes in row %S1"),
    PG_MSG(39, "Unsupported Compression"),
    PG_MSG(40, "Saturation=0 and Hue defined"),
    PG_MSG(41, "%S1 out of range"),
    PG_MSG(42, "OK"),
    PG_MSG(43, "Cancel"),
    PG_MSG(44, "RGB Filter"),
    PG_MSG(45, "R"),
    PG_MSG(46, "G"),
    PG_MSG(47, "B"),
    PG_MSG(48, "CMY Filter"),
    PG_MSG(49, "C"),
    PG_MSG(50, "M"),
    PG_MSG(51, "Y"),
    PG_MSG(52, "YCbCr Filter"),
    PG_MSG(53, "Y"),
    PG_MSG(54, "Cb"),
    PG_MSG(55, "Cr"),
    PG_MSG(56, "HLS Filter"),
    PG_MSG(57, "H"),
    PG_MSG(58, "L"),
    PG_MSG(59, "S"),
    PG_MSG(60, "HSV Filter"),
    PG_MSG(61, "V"),
    PG_MSG(62, "Negative Filter"),
    PG_MSG(63, "Gamma"),
    PG_MSG(64, "RGB"),
    PG_MSG(65, "Y"),
    PG_MSG(66, "Brightness"),
    PG_MSG(67, "Contrast"),
    PG_MSG(68, "Apply on"),
    PG_MSG(69, "Brightness, Contrast, Gamma Filter"),
    PG_MSG(70, "Grayscale Filter"),
    PG_MSG(71, "RGB weighting"),
    PG_MSG(72, "Std. deviation"),
    PG_MSG(73, "Strength"),
    PG_MSG(74, "Sharpen"),
    PG_MSG(75, "Detail"),
    PG_MSG(76, "Smooth"),
    PG_MSG(77, "Radius"),
    PG_MSG(78, "Blur"),
    PG_MSG(79, "Contour"),
    PG_MSG(80, "White"),
    PG_MSG(81, "Black"),
    PG_MSG(82, "\u00B1"),
    PG_MSG(83, "\u00B0"),
    PG_MSG(84, ""),
}};

#undef PG_MSG

}  // namespace

const TMessageEntry* MessageEntry(int number) {
  if (number < 1 || number > kMessageCount) return nullptr;
  return &kMessages[static_cast<size_t>(number - 1)];
}

std::string MessageText(int number) {
  const TMessageEntry* entry = MessageEntry(number);
  const uint8_t language = MessageLanguage.load(std::memory_order_relaxed);
  if (entry == nullptr || language >= kMessageLanguageCount) return {};
  return entry->Texts[language];
}

std::string FillPlaceholder(std::string text, std::string_view placeholder, std::string_view argument) {
  const size_t at = text.find(placeholder);
  if (at != std::string::npos) text.replace(at, placeholder.size(), argument);
  return text;
}

std::string MessageText(int number, std::string_view a1) {
  return FillPlaceholder(MessageText(number), "%S1", a1);
}

std::string MessageText(int number, std::string_view a1, std::string_view a2) {
  return FillPlaceholder(MessageText(number, a1), "%S2", a2);
}

std::string MessageText(int number, std::string_view a1, std::string_view a2, std::string_view a3) {
  return FillPlaceholder(MessageText(number, a1, a2), "%S3", a3);
}

}  // namespace pg
