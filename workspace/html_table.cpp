#include "workspace/html_table.h"

#include <algorithm>

#include "imaging/image/ascii.h"

namespace tessel {

namespace {

std::string Padded(int32_t number, int digits) {
  std::string text = std::to_string(number);
  if (static_cast<int>(text.size()) < digits) text.insert(0, static_cast<size_t>(digits) - text.size(), '0');
  return text;
}

int DecimalDigits(int32_t n) {
  int digits = 1;
  while (n >= 10) {
    n /= 10;
    ++digits;
  }
  return digits;
}

// `value` with the characters `escape` picks written as character references.
template <typename TPick>
std::string Escaped(std::string_view value, TPick escape) {
  std::string result;
  result.reserve(value.size());
  for (const char c : value) {
    if (!escape(c)) {
      result += c;
      continue;
    }
    switch (c) {
      case '"':
        result += "&quot;";
        break;
      case '\'':
        result += "&#39;";
        break;
      case '<':
        result += "&lt;";
        break;
      case '&':
        result += "&amp;";
        break;
      default:
        result += c;
        break;
    }
  }
  return result;
}

}  // namespace

std::string THtmlStyle::Word(std::string_view upper) const {
  return UpperCase ? std::string(upper) : pg::ToLower(upper);
}

std::string THtmlStyle::TableHead() const {
  static constexpr std::string_view kHead = "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>";
  return Word(kHead);
}

std::string THtmlStyle::OpenImageTag(std::string_view sliceFileName, int32_t width, int32_t height) const {
  const char quote = Quote();
  std::string tag;
  tag.reserve(sliceFileName.size() + 40);
  tag += '<';
  tag += Word("IMG");
  tag += ' ';
  tag += Word("SRC");
  tag += '=';
  tag += quote;
  tag += EscapeAttribute(EncodeUrlPath(sliceFileName), quote);
  tag += quote;
  tag += ' ';
  tag += Word("WIDTH");
  tag += '=';
  tag += std::to_string(width);
  tag += ' ';
  tag += Word("HEIGHT");
  tag += '=';
  tag += std::to_string(height);
  return tag;
}

std::string EncodeUrlPath(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    // ":" would make the name's start a scheme ("a:b.png"), a backslash a folder separator to
    // browsers and "&" the start of a character reference inside the attribute.
    const bool encode =
        byte <= 0x20 || byte >= 0x7F || c == '#' || c == '%' || c == '?' || c == '&' || c == ':' || c == '\\';
    if (encode) {
      result += '%';
      result += kHex[byte >> 4];
      result += kHex[byte & 15];
    } else {
      result += c;
    }
  }
  return result;
}

std::string EscapeAttribute(std::string_view value, char quote) {
  return Escaped(value, [quote](char c) { return c == quote; });
}

std::string EscapeValue(std::string_view value, bool text) {
  return Escaped(value, [text](char c) { return c == '"' || c == '\'' || (text && (c == '<' || c == '&')); });
}

std::string CellCode(std::string_view openTag, std::string_view url, std::string_view target,
                     std::string_view alt) {
  std::string link;
  if (!url.empty()) {
    link = "<A HREF=\"" + EscapeAttribute(url, '"') + "\"";
    if (!target.empty()) link += " TARGET=\"" + EscapeAttribute(target, '"') + "\"";
    link += ">";
  }
  std::string code = link;
  code += openTag;
  if (!alt.empty()) code += " ALT=\"" + EscapeAttribute(alt, '"') + "\"";
  if (!link.empty()) code += " BORDER=0";
  code += ">";
  if (!link.empty()) code += "</A>";
  return code;
}

std::vector<std::string> TableLines(const THtmlStyle& style, const TPageGrid& grid) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(grid.RowCount()) + 2);
  lines.push_back(style.TableHead());
  for (int32_t r = 1; r <= grid.RowCount(); ++r) {
    std::string row = style.RowStart();
    for (int32_t c = 1; c <= grid.ColumnCount(); ++c) {
      row += style.CellStart();
      if (grid.Shows(c, r)) row += grid.CellCode(c, r);
      row += style.CellEnd();
    }
    row += style.RowEnd();
    lines.push_back(std::move(row));
  }
  lines.emplace_back(kTableEnd);
  return lines;
}

TExportNames TExportNames::FromHtmlPath(const std::filesystem::path& htmlPath) {
  TExportNames names;
  names.Directory = htmlPath.parent_path();
  names.FileName = htmlPath.filename().string().substr(0, kMaxFileNameLength);
  // A name without a dot gives an empty base (slices "_11.jpg", grid ".grd").
  const size_t dot = names.FileName.find('.');
  names.Base = dot == std::string::npos ? std::string() : names.FileName.substr(0, dot);
  return names;
}

std::string TExportNames::SliceFileName(int32_t column, int32_t row, int32_t columnCount, int32_t rowCount,
                                        std::string_view extension, int32_t density) const {
  const int32_t larger = std::max(columnCount, rowCount);
  const int digits = larger > 9 ? DecimalDigits(larger) : 1;
  std::string name = Base;
  name += '_';
  name += Padded(column, digits);
  name += Padded(row, digits);
  if (density > 1) name += "@" + std::to_string(density) + "x";
  name += extension;
  return name;
}

}  // namespace tessel
