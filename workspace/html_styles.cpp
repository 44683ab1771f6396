#include "workspace/html_styles.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <utility>

#include "imaging/image/ascii.h"

namespace tessel {

namespace {

constexpr std::array<std::pair<TOutputStyle, std::string_view>, 3> kStyles = {{
    {TOutputStyle::Classic, "classic"},
    {TOutputStyle::Email, "email"},
    {TOutputStyle::Responsive, "responsive"},
}};

// Every element between the grid cell and the image fills the cell, so the image is stretched to
// the cell's exact box and neighbouring slices share their edges at every width.
constexpr std::string_view kFillCell = "display:block;width:100%;height:100%";

std::string Attribute(std::string_view name, std::string_view value) {
  std::string text = " ";
  text += name;
  text += "=\"";
  text += value;
  text += '"';
  return text;
}

std::string Url(std::string_view baseUrl, std::string_view file) {
  return std::string(baseUrl) + EncodeUrlPath(file);
}

// A URL as an image candidate of srcset, where blanks end the URL and commas separate candidates:
// both are percent-encoded (they can only come from the base URL; names are encoded already).
std::string CandidateUrl(std::string_view url) {
  std::string result;
  result.reserve(url.size());
  for (const char c : url) {
    if (c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      result += '%';
      result += kHex[static_cast<unsigned char>(c) >> 4];
      result += kHex[static_cast<unsigned char>(c) & 15];
    } else {
      result += c;
    }
  }
  return result;
}

// "base_11.png 1x, base_11@2x.png 2x" for a high-density export, the one file otherwise.
std::string SrcSet(const TSliceImage& image, const TStyledSlice& slice) {
  std::string set = CandidateUrl(Url(slice.BaseUrl, image.File));
  if (!image.DenseFile.empty()) {
    set += " 1x, " + CandidateUrl(Url(slice.BaseUrl, image.DenseFile)) + " " + std::to_string(slice.Density) +
           "x";
  }
  return EscapeValue(set);
}

bool IsBlankTarget(std::string_view target) {
  return pg::ToLower(target) == "_blank";
}

}  // namespace

std::string_view OutputStyleName(TOutputStyle style) {
  for (const auto& [value, name] : kStyles) {
    if (value == style) return name;
  }
  return kStyles.front().second;
}

std::optional<TOutputStyle> FindOutputStyle(std::string_view name) {
  for (const auto& [value, styleName] : kStyles) {
    if (styleName == name) return value;
  }
  return std::nullopt;
}

std::string OutputStyleChoices() {
  std::string text;
  for (size_t i = 0; i < kStyles.size(); ++i) {
    if (i > 0) text += i + 1 == kStyles.size() ? " or " : ", ";
    text += kStyles[i].second;
  }
  return text;
}

int32_t PageEdge(int32_t position, int32_t density) {
  if (density <= 1) return position;
  return static_cast<int32_t>(std::nearbyint(static_cast<double>(position) / density));
}

std::string TCellMarkup::Code(std::string_view url, std::string_view target, std::string_view alt) const {
  if (Style == TOutputStyle::Classic) return CellCode(OpenTag, url, target, alt);
  std::string link;
  if (!url.empty()) {
    link = "<a" + Attribute("href", EscapeValue(url));
    if (!target.empty()) {
      link += Attribute("target", EscapeValue(target));
      // The opened page gets no handle on this one.
      if (IsBlankTarget(target)) link += Attribute("rel", "noopener");
    }
    if (Style == TOutputStyle::Responsive) link += Attribute("style", kFillCell);
    link += '>';
  }
  std::string code = link;
  code += OpenTag;
  code += Attribute("alt", EscapeValue(alt, true));
  code += '>';
  code += Close;
  if (!link.empty()) code += "</a>";
  return code;
}

TCellMarkup StyledCellMarkup(TOutputStyle style, const TStyledSlice& slice) {
  TCellMarkup markup;
  markup.Style = style;
  if (slice.Images.empty()) return markup;
  const bool responsive = style == TOutputStyle::Responsive;
  std::string& tag = markup.OpenTag;
  if (slice.Images.size() > 1) {
    tag += "<picture" + Attribute("style", responsive ? kFillCell : std::string_view("display:block")) + ">";
    for (size_t i = 0; i + 1 < slice.Images.size(); ++i) {
      const TSliceImage& image = slice.Images[i];
      tag += "<source" + Attribute("type", image.MimeType) + Attribute("srcset", SrcSet(image, slice)) + ">";
    }
    markup.Close = "</picture>";
  }
  const TSliceImage& image = slice.Images.back();
  tag += "<img" + Attribute("src", EscapeValue(Url(slice.BaseUrl, image.File)));
  if (!image.DenseFile.empty()) tag += Attribute("srcset", SrcSet(image, slice));
  tag += Attribute("width", std::to_string(slice.Width)) + Attribute("height", std::to_string(slice.Height));
  if (responsive) {
    if (slice.Top >= kLazyLoadTop) tag += Attribute("loading", "lazy");
    tag += Attribute("decoding", "async") + Attribute("style", kFillCell);
  } else {
    tag += Attribute("style", "display:block;border:0");
  }
  return markup;
}

namespace {

int32_t Sum(const std::vector<int32_t>& sizes) {
  int64_t sum = 0;
  for (const int32_t size : sizes) sum += std::max(size, 0);
  return static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
}

// A table row of the e-mail style: every cell that shows something with its size; columns of width
// 0 have no cell at all, so every row keeps the same columns.
std::string EmailRow(const TPageGrid& grid, int32_t row) {
  std::string text = "<tr>";
  for (int32_t c = 1; c <= grid.ColumnCount(); ++c) {
    if (!grid.Shows(c, row)) continue;
    text += "<td" + Attribute("width", std::to_string(grid.ColumnWidths[static_cast<size_t>(c - 1)])) +
            Attribute("height", std::to_string(grid.RowHeights[static_cast<size_t>(row - 1)])) + ">";
    text += grid.CellCode(c, row);
    text += "</td>";
  }
  text += "</tr>";
  return text;
}

std::vector<std::string> EmailLines(const TPageGrid& grid) {
  std::vector<std::string> lines;
  lines.push_back("<table role=\"presentation\" cellspacing=\"0\" cellpadding=\"0\" border=\"0\"" +
                  Attribute("width", std::to_string(Sum(grid.ColumnWidths))) +
                  Attribute("style", "border-collapse:collapse") + ">");
  const bool anyColumn = Sum(grid.ColumnWidths) > 0;
  for (int32_t r = 1; r <= grid.RowCount() && anyColumn; ++r) {
    if (grid.RowHeights[static_cast<size_t>(r - 1)] > 0) lines.push_back(EmailRow(grid, r));
  }
  lines.emplace_back("</table>");
  return lines;
}

// "minmax(0,120fr) minmax(0,80fr)": tracks in proportion to the sizes, free to shrink below the
// images' own sizes; sizes of 0 have no track.
std::string Tracks(const std::vector<int32_t>& sizes) {
  std::string tracks;
  for (const int32_t size : sizes) {
    if (size <= 0) continue;
    if (!tracks.empty()) tracks += ' ';
    tracks += "minmax(0," + std::to_string(size) + "fr)";
  }
  return tracks;
}

// The slices on a grid at most as wide as the picture and as its container, the picture's height
// following from its aspect ratio; one line per row of slices.
std::vector<std::string> ResponsiveGridLines(const TPageGrid& grid) {
  const int32_t width = Sum(grid.ColumnWidths);
  const int32_t height = Sum(grid.RowHeights);
  if (width == 0 || height == 0) return {"<div></div>"};
  std::vector<std::string> lines;
  lines.push_back("<div" +
                  Attribute("style", "display:grid;grid-template-columns:" + Tracks(grid.ColumnWidths) +
                                         ";grid-template-rows:" + Tracks(grid.RowHeights) +
                                         ";width:100%;max-width:" + std::to_string(width) +
                                         "px;aspect-ratio:" + std::to_string(width) + "/" +
                                         std::to_string(height)) +
                  ">");
  for (int32_t r = 1; r <= grid.RowCount(); ++r) {
    if (grid.RowHeights[static_cast<size_t>(r - 1)] <= 0) continue;
    std::string row;
    for (int32_t c = 1; c <= grid.ColumnCount(); ++c) {
      if (grid.Shows(c, r)) row += grid.CellCode(c, r);
    }
    lines.push_back(std::move(row));
  }
  lines.emplace_back("</div>");
  return lines;
}

std::vector<std::string> ResponsiveLines(const TPageGrid& grid, std::string_view title, bool fragment) {
  std::vector<std::string> slices = ResponsiveGridLines(grid);
  if (fragment) return slices;
  std::vector<std::string> lines = {
      "<!DOCTYPE html>",
      "<html>",
      "<head>",
      "<meta charset=\"utf-8\">",
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">",
      "<title>" + EscapeValue(title, true) + "</title>",
      "</head>",
      "<body style=\"margin:0\">",
  };
  for (std::string& line : slices) lines.push_back(std::move(line));
  lines.emplace_back("</body>");
  lines.emplace_back("</html>");
  return lines;
}

}  // namespace

std::vector<std::string> PageLines(TOutputStyle style, const THtmlStyle& classic, const TPageGrid& grid,
                                   std::string_view title, bool fragment) {
  switch (style) {
    case TOutputStyle::Email:
      return EmailLines(grid);
    case TOutputStyle::Responsive:
      return ResponsiveLines(grid, title, fragment);
    case TOutputStyle::Classic:
      break;
  }
  return TableLines(classic, grid);
}

}  // namespace tessel
