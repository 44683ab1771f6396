// Case changes of ASCII letters only (file extensions, HTML tag names). Independent of the C
// locale, which a toolkit may have set to the user's: other bytes stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace pg {

inline std::string ToLower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

inline std::string ToUpper(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

}  // namespace pg
