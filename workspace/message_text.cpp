#include "workspace/message_text.h"

#include <cstdint>
#include <cstdio>

namespace tessel {

namespace {

// The length of the well-formed UTF-8 sequence at `text[i]` and its code point; 0 when the bytes
// there are not one (stray continuation bytes, overlong forms, surrogates, a cut-off sequence).
size_t Utf8Sequence(std::string_view text, size_t i, uint32_t& codePoint) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  size_t length = 0;
  uint32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1Fu;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0Fu;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07u;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i + k) & 0x3Fu);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

void AppendEscape(std::string& out, const char* format, unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, format, value);
  out += buffer;
}

}  // namespace

std::string QuoteForMessage(std::string_view text, size_t maxCharacters) {
  std::string out;
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++characters) {
    if (characters == maxCharacters) {
      out += "...";
      break;
    }
    const auto c = static_cast<uint8_t>(text[i]);
    if (c < 0x80) {
      if (c == '\t') {
        out += "\\t";
      } else if (c == '\r') {
        out += "\\r";
      } else if (c == '\n') {
        out += "\\n";
      } else if (c < 0x20 || c == 0x7F) {
        AppendEscape(out, "\\x%02x", c);
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    uint32_t codePoint = 0;
    const size_t length = Utf8Sequence(text, i, codePoint);
    if (length == 0) {
      AppendEscape(out, "\\x%02x", c);
      ++i;
    } else if (codePoint <= 0x9F) {
      // C1 controls: some terminals act on them (U+009B starts an escape sequence).
      AppendEscape(out, "\\u%04x", codePoint);
      i += length;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace tessel
