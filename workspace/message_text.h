// Text from a file, made fit to quote in a message: bounded in length and harmless on a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessel {

// The characters quoted from a file's line by default.
inline constexpr size_t kQuotedCharacters = 80;

// `text` with control characters written as escapes (\t, \r, \n, \x1b, \u009b, NUL as \x00), bytes
// that are not UTF-8 as \xNN, and everything after the first `maxCharacters` characters replaced by
// "..."; readable characters, non-ASCII ones included, stay as they are.
std::string QuoteForMessage(std::string_view text, size_t maxCharacters = kQuotedCharacters);

}  // namespace tessel
