// The export's page in one of three output styles. The classic table (html_table.h) stays the
// default; the e-mail table and the responsive page are built here from the same grid of cells,
// the same slice names and the same escaping. The new styles double-quote every attribute, always
// give an ALT text (empty when the slice has none) and keep the slices free of gaps in standards
// mode: the e-mail table shows every image as a block, the responsive page lays the slices out on a
// CSS grid whose tracks scale with the container.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/html_table.h"

namespace tessel {

enum class TOutputStyle {
  Classic,     // the table of earlier versions, byte for byte
  Email,       // a table fragment for standards-mode pages and e-mail clients
  Responsive,  // an HTML5 document (or the part of it to paste) whose slices scale with the page
};

// "classic", "email", "responsive": what settings, project files and --style say.
std::string_view OutputStyleName(TOutputStyle style);
// The style named `name` (exactly as listed), or none.
std::optional<TOutputStyle> FindOutputStyle(std::string_view name);
// "classic, email or responsive", for messages that list the choices.
std::string OutputStyleChoices();

// The densities a high-density export takes: the source picture has 2 or 3 pixels per page pixel.
inline constexpr int32_t kMaxDensity = 3;

// The page position of split position `position` of a picture of `density` pixels per page pixel:
// divided and rounded to nearest (ties to even), so the cells of the page tile the scaled picture.
int32_t PageEdge(int32_t position, int32_t density);

// One format of a slice as the page refers to it.
struct TSliceImage {
  std::string_view MimeType;  // "image/png"
  std::string File;           // the file at page size: base_11.png
  std::string DenseFile;      // a high-density export's full-resolution file (base_11@2x.png), else empty
};

// A cell's markup around its image before its link and ALT text are known: what the per-slice
// question shows and completes.
struct TCellMarkup {
  TOutputStyle Style = TOutputStyle::Classic;
  std::string OpenTag;  // up to the image tag's last attribute, without its ">"
  std::string Close;    // what follows the image tag ("</picture>"), or nothing

  // The cell's code with link URL, target frame and ALT text, each possibly empty. Classic: the
  // cell code rule of CellCode. The other styles: the same rule in their own words, a link as
  // <a href="..." target="..."> (rel="noopener" with target _blank), alt="..." always present.
  std::string Code(std::string_view url, std::string_view target, std::string_view alt) const;
};

// What the e-mail and responsive styles say about one slice.
struct TStyledSlice {
  std::vector<TSliceImage> Images;  // one per format, preferred first; the last is the <img>'s
  int32_t Width = 0;                // on the page
  int32_t Height = 0;
  int32_t Top = 0;  // from the top of the page's slices
  int32_t Density = 1;
  std::string_view BaseUrl;  // put before every file name
};

// The markup of a slice in the e-mail or responsive style: an <img> with its page size, or a
// <picture> with one <source> per format before the last when there are several; srcset gives the
// full-resolution files of a high-density export.
TCellMarkup StyledCellMarkup(TOutputStyle style, const TStyledSlice& slice);

// Slices of the responsive page whose top lies this far down or further load only when needed.
inline constexpr int32_t kLazyLoadTop = 1000;

// The page's lines in `style`: the classic table (`classic` decides its case and quotes), the
// e-mail table, or the responsive document titled `title` (only the part to paste with `fragment`).
std::vector<std::string> PageLines(TOutputStyle style, const THtmlStyle& classic, const TPageGrid& grid,
                                   std::string_view title, bool fragment);

}  // namespace tessel
