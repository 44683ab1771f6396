// Integers typed by the user or read from a grid file: optional leading blanks, an optional sign,
// then decimal digits, or "$" and hexadecimal digits. Nothing may follow the digits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

// False for text that is not such an integer or lies outside the 32-bit range ("$" values up to
// $FFFFFFFF wrap into it, so $FFFFFFFF is -1).
bool TryStrToInt(std::string_view text, int32_t& value);

// Raises EConvertError "'<text>' is not a valid integer value" when TryStrToInt fails.
int32_t StrToInt(std::string_view text);

// The message for text that is not an integer.
std::string InvalidIntegerMessage(std::string_view text);

}  // namespace tessel
