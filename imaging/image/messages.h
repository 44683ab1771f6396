// The imaging library's message table: every text the library shows or puts into an exception,
// fetched by number, with up to three placeholders "%S1".."%S3" filled by the caller.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace pg {

inline constexpr int kMessageCount = 84;
inline constexpr int kMessageLanguageCount = 6;  // English, German, French, Dutch, Spanish, sixth

struct TMessageEntry {
  uint8_t Number;  // equal to the entry's position, 1-based
  std::array<const char*, kMessageLanguageCount> Texts;
};

// The language slot used for every message; set to 0 (English) at start and never changed. Atomic,
// since readers and writers on worker threads fetch their texts.
extern std::atomic<uint8_t> MessageLanguage;

// The entry of message `number` (1..84), or nullptr outside that range.
const TMessageEntry* MessageEntry(int number);

// The text of message `number` in the current language; empty for an unknown number, an empty slot
// or a language index above 5.
std::string MessageText(int number);
std::string MessageText(int number, std::string_view a1);
std::string MessageText(int number, std::string_view a1, std::string_view a2);
std::string MessageText(int number, std::string_view a1, std::string_view a2, std::string_view a3);

// Replaces the first occurrence of `placeholder` in `text` by `argument`, verbatim; a placeholder
// that does not occur leaves the text as it is.
std::string FillPlaceholder(std::string text, std::string_view placeholder, std::string_view argument);

}  // namespace pg
