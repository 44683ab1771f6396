// The text of the exported HTML table and the names derived from the HTML path. Every line is
// built here, so the export, the per-slice dialog's live code and the tests agree to the byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

// The longest file name taken from the HTML path; longer ones are cut.
inline constexpr size_t kMaxFileNameLength = 255;

// The table's words in the chosen case and the quote around the SRC value.
struct THtmlStyle {
  bool UpperCase = false;
  bool DoubleQuote = false;

  char Quote() const { return DoubleQuote ? '"' : '\''; }
  // "TR", "TD", "IMG", "SRC", "WIDTH", "HEIGHT" as given, lower-cased unless UpperCase.
  std::string Word(std::string_view upper) const;
  // "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>" in the chosen case.
  std::string TableHead() const;
  std::string RowStart() const { return "<" + Word("TR") + ">"; }
  std::string RowEnd() const { return "</" + Word("TR") + ">"; }
  std::string CellStart() const { return "<" + Word("TD") + ">"; }
  std::string CellEnd() const { return "</" + Word("TD") + ">"; }
  // The image tag, still open (no ">"): <img src='name' width=W height=H, the name URL-encoded.
  std::string OpenImageTag(std::string_view sliceFileName, int32_t width, int32_t height) const;
};

// Always upper case, whatever the style says.
inline constexpr std::string_view kTableEnd = "</TABLE>";
inline constexpr std::string_view kHtmlLineEnd = "\r\n";

// A file name as a relative URL: bytes a URL path cannot carry as they are (controls, space, "#",
// "%", "?", "&", ":", backslash and every non-ASCII byte of the UTF-8 name) are percent-encoded; other
// names come back unchanged.
std::string EncodeUrlPath(std::string_view name);

// `value` with every `quote` character written as a character reference (&quot; or &#39;), so the
// value cannot end its quoted attribute early; nothing else is changed.
std::string EscapeAttribute(std::string_view value, char quote);

// `value` for a double-quoted attribute of the e-mail and responsive pages: both quote characters
// become character references, and with `text` (ALT text, the page title) also "<" and "&", so the
// text shows as typed.
std::string EscapeValue(std::string_view value, bool text = false);

// The code of one cell from its open image tag, link URL, target frame and ALT text: an optional
// <A HREF="..." TARGET="..."> around the tag, ALT="..." and BORDER=0 inside it. These words are
// always upper case and double-quoted. With all three empty: the tag closed by ">".
std::string CellCode(std::string_view openTag, std::string_view url, std::string_view target,
                     std::string_view alt);

// The grid as a page shows it, whatever the page's style: the width of every column and the height
// of every row on the page, and the code of every cell that shows something.
struct TPageGrid {
  std::vector<int32_t> ColumnWidths;
  std::vector<int32_t> RowHeights;
  // The code of cell (column, row), both counted from 1; asked only for cells that Show.
  std::function<std::string(int32_t column, int32_t row)> CellCode;

  int32_t ColumnCount() const { return static_cast<int32_t>(ColumnWidths.size()); }
  int32_t RowCount() const { return static_cast<int32_t>(RowHeights.size()); }
  // A cell of width or height 0 shows nothing and has no slice.
  bool Shows(int32_t column, int32_t row) const {
    return ColumnWidths[static_cast<size_t>(column - 1)] > 0 && RowHeights[static_cast<size_t>(row - 1)] > 0;
  }
};

// The classic table: the head, one line per row with its cells side by side (an empty cell for one
// that shows nothing), and "</TABLE>".
std::vector<std::string> TableLines(const THtmlStyle& style, const TPageGrid& grid);

// Names that follow from the HTML path as chosen.
struct TExportNames {
  std::filesystem::path Directory;  // where slices and the grid file go (empty: the current one)
  std::string FileName;             // at most kMaxFileNameLength characters
  std::string Base;                 // the file name up to its first "."; empty without a "."

  static TExportNames FromHtmlPath(const std::filesystem::path& htmlPath);

  // base_CR.ext; when the grid has more than 9 columns or rows, both numbers are zero-padded to
  // the width of the larger count so that names never collide (base_0111 = column 1, row 11). The
  // full-resolution file of a high-density export adds the density: base_CR@2x.ext.
  std::string SliceFileName(int32_t column, int32_t row, int32_t columnCount, int32_t rowCount,
                            std::string_view extension, int32_t density = 1) const;
  std::filesystem::path SlicePath(std::string_view sliceFileName) const { return Directory / sliceFileName; }
  std::filesystem::path GridPath() const { return Directory / (Base + ".grd"); }
};

}  // namespace tessel
