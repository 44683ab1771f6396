#include "workspace/html_styles.h"

#include <gtest/gtest.h>

namespace tessel {
namespace {

TStyledSlice OnePng(int32_t width, int32_t height) {
  TStyledSlice slice;
  slice.Images = {{"image/png", "page_11.png", ""}};
  slice.Width = width;
  slice.Height = height;
  return slice;
}

TEST(HtmlStyles, NamesAndPageEdges) {
  EXPECT_EQ(FindOutputStyle("email"), TOutputStyle::Email);
  EXPECT_EQ(FindOutputStyle("responsive"), TOutputStyle::Responsive);
  EXPECT_EQ(FindOutputStyle("classic"), TOutputStyle::Classic);
  EXPECT_EQ(FindOutputStyle("Email"), std::nullopt);
  EXPECT_EQ(FindOutputStyle(""), std::nullopt);
  EXPECT_EQ(OutputStyleName(TOutputStyle::Responsive), "responsive");
  EXPECT_EQ(OutputStyleChoices(), "classic, email or responsive");
  // Positions divided by the density, rounded to nearest with ties to even.
  const std::pair<int32_t, int32_t> halves[] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {5, 2}, {7, 4}, {601, 300}};
  for (const auto& [position, edge] : halves) EXPECT_EQ(PageEdge(position, 2), edge) << position;
  EXPECT_EQ(PageEdge(7, 3), 2);
  EXPECT_EQ(PageEdge(8, 3), 3);
  EXPECT_EQ(PageEdge(7, 1), 7);
}

TEST(HtmlStyles, EmailCellCodeRuleInItsOwnWords) {
  const TCellMarkup markup = StyledCellMarkup(TOutputStyle::Email, OnePng(120, 40));
  const std::string tag =
      "<img src=\"page_11.png\" width=\"120\" height=\"40\" style=\"display:block;border:0\"";
  EXPECT_EQ(markup.OpenTag, tag);
  EXPECT_EQ(markup.Close, "");
  // ALT is always there; a target without a link is dropped.
  EXPECT_EQ(markup.Code("", "", ""), tag + " alt=\"\">");
  EXPECT_EQ(markup.Code("", "main", "Logo"), tag + " alt=\"Logo\">");
  EXPECT_EQ(markup.Code("index.html", "main", ""),
            "<a href=\"index.html\" target=\"main\">" + tag + " alt=\"\"></a>");
  // A new window gets no handle on the page, whatever the keyword's case.
  EXPECT_EQ(markup.Code("https://x.org/", "_blank", "X"),
            "<a href=\"https://x.org/\" target=\"_blank\" rel=\"noopener\">" + tag + " alt=\"X\"></a>");
  EXPECT_EQ(markup.Code("a.html", "_BLANK", "")
                .rfind("<a href=\"a.html\" target=\"_BLANK\" rel=\"noopener\"><img", 0),
            0u);
  // Both quotes everywhere; "<" and "&" in ALT text only, so a URL's "&amp;" stays as typed.
  EXPECT_EQ(markup.Code("q?a=\"1\"&amp;b='2'", "t'\"", "Tom & Jerry's <b>\"best\"</b>"),
            "<a href=\"q?a=&quot;1&quot;&amp;b=&#39;2&#39;\" target=\"t&#39;&quot;\">" + tag +
                " alt=\"Tom &amp; Jerry&#39;s &lt;b>&quot;best&quot;&lt;/b>\"></a>");
  // The classic style keeps its own rule.
  const TCellMarkup classic{TOutputStyle::Classic, "<img src='a_11.jpg' width=1 height=2", {}};
  EXPECT_EQ(classic.Code("i.html", "_blank", ""),
            "<A HREF=\"i.html\" TARGET=\"_blank\"><img src='a_11.jpg' width=1 height=2 BORDER=0></A>");
}

TEST(HtmlStyles, PictureSourcesDensityAndBaseUrl) {
  TStyledSlice slice;
  slice.Images = {{"image/webp", "p_11.webp", "p_11@2x.webp"}, {"image/jpeg", "p_11.jpg", "p_11@2x.jpg"}};
  slice.Width = 60;
  slice.Height = 20;
  slice.Density = 2;
  slice.BaseUrl = "https://cdn.example.com/a b,c/\"x\"/";
  const TCellMarkup markup = StyledCellMarkup(TOutputStyle::Email, slice);
  // In srcset a blank would end the URL and a comma the candidate: both are encoded there.
  const std::string base = "https://cdn.example.com/a%20b%2Cc/&quot;x&quot;/";
  EXPECT_EQ(markup.OpenTag,
            "<picture style=\"display:block\"><source type=\"image/webp\" srcset=\"" + base +
                "p_11.webp 1x, " + base +
                "p_11@2x.webp 2x\"><img src=\"https://cdn.example.com/a "
                "b,c/&quot;x&quot;/p_11.jpg\" srcset=\"" +
                base + "p_11.jpg 1x, " + base +
                "p_11@2x.jpg 2x\" width=\"60\" height=\"20\" style=\"display:block;border:0\"");
  EXPECT_EQ(markup.Close, "</picture>");
  EXPECT_EQ(markup.Code("", "", "").substr(markup.OpenTag.size()), " alt=\"\"></picture>");

  // At density 3 the full-resolution file is the 3x candidate.
  TStyledSlice triple = OnePng(10, 10);
  triple.Images[0].DenseFile = "page_11@3x.png";
  triple.Density = 3;
  EXPECT_EQ(
      StyledCellMarkup(TOutputStyle::Email, triple).OpenTag,
      "<img src=\"page_11.png\" srcset=\"page_11.png 1x, page_11@3x.png 3x\" width=\"10\" height=\"10\" "
      "style=\"display:block;border:0\"");

  // One format at density 1: a plain image; names a URL cannot carry are percent-encoded.
  TStyledSlice plain = OnePng(5, 5);
  plain.Images[0].File = "50% #1_11.png";
  EXPECT_EQ(StyledCellMarkup(TOutputStyle::Email, plain).OpenTag,
            "<img src=\"50%25%20%231_11.png\" width=\"5\" height=\"5\" style=\"display:block;border:0\"");
}

TEST(HtmlStyles, ResponsiveSlicesFillTheirCellAndLoadLazilyFarDown) {
  TStyledSlice slice = OnePng(120, 40);
  slice.Top = 999;
  const std::string fill = "display:block;width:100%;height:100%";
  EXPECT_EQ(StyledCellMarkup(TOutputStyle::Responsive, slice).OpenTag,
            "<img src=\"page_11.png\" width=\"120\" height=\"40\" decoding=\"async\" style=\"" + fill + "\"");
  slice.Top = 1000;
  const TCellMarkup lazy = StyledCellMarkup(TOutputStyle::Responsive, slice);
  EXPECT_EQ(lazy.OpenTag,
            "<img src=\"page_11.png\" width=\"120\" height=\"40\" loading=\"lazy\" decoding=\"async\" "
            "style=\"" +
                fill + "\"");
  // A link is the grid's item and fills the cell as well.
  EXPECT_EQ(lazy.Code("a.html", "", "A"),
            "<a href=\"a.html\" style=\"" + fill + "\">" + lazy.OpenTag + " alt=\"A\"></a>");
  slice.Images.insert(slice.Images.begin(), TSliceImage{"image/webp", "page_11.webp", ""});
  EXPECT_EQ(
      StyledCellMarkup(TOutputStyle::Responsive, slice).OpenTag,
      "<picture style=\"" + fill + "\"><source type=\"image/webp\" srcset=\"page_11.webp\">" + lazy.OpenTag);
}

// A grid of three columns and three rows where the middle column and the last row are empty.
TPageGrid GridWithEmptyLines() {
  TPageGrid grid;
  grid.ColumnWidths = {120, 0, 80};
  grid.RowHeights = {40, 60, 0};
  grid.CellCode = [](int32_t column, int32_t row) {
    EXPECT_TRUE(column != 2 && row != 3) << column << "," << row;
    return "[" + std::to_string(column) + std::to_string(row) + "]";
  };
  return grid;
}

TEST(HtmlStyles, EmailTableLeavesOutEmptyColumnsAndRows) {
  EXPECT_EQ(PageLines(TOutputStyle::Email, {}, GridWithEmptyLines(), "page", false),
            (std::vector<std::string>{
                "<table role=\"presentation\" cellspacing=\"0\" cellpadding=\"0\" border=\"0\" width=\"200\" "
                "style=\"border-collapse:collapse\">",
                "<tr><td width=\"120\" height=\"40\">[11]</td><td width=\"80\" height=\"40\">[31]</td></tr>",
                "<tr><td width=\"120\" height=\"60\">[12]</td><td width=\"80\" height=\"60\">[32]</td></tr>",
                "</table>"}));
  // The classic table keeps its empty cells.
  EXPECT_EQ(PageLines(TOutputStyle::Classic, {}, GridWithEmptyLines(), "page", false)[3],
            "<tr><td></td><td></td><td></td></tr>");
  // Nothing to show: an empty table, no empty rows.
  TPageGrid none;
  none.RowHeights = {10, 20};
  EXPECT_EQ(PageLines(TOutputStyle::Email, {}, none, "page", false).size(), 2u);
}

TEST(HtmlStyles, ResponsiveDocumentAndFragment) {
  const std::vector<std::string> fragment = {
      "<div style=\"display:grid;grid-template-columns:minmax(0,120fr) minmax(0,80fr);grid-template-rows:"
      "minmax(0,40fr) minmax(0,60fr);width:100%;max-width:200px;aspect-ratio:200/100\">",
      "[11][31]", "[12][32]", "</div>"};
  EXPECT_EQ(PageLines(TOutputStyle::Responsive, {}, GridWithEmptyLines(), "page", true), fragment);
  std::vector<std::string> document = {
      "<!DOCTYPE html>",
      "<html>",
      "<head>",
      "<meta charset=\"utf-8\">",
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">",
      "<title>R&amp;D &lt;draft></title>",
      "</head>",
      "<body style=\"margin:0\">"};
  document.insert(document.end(), fragment.begin(), fragment.end());
  document.emplace_back("</body>");
  document.emplace_back("</html>");
  EXPECT_EQ(PageLines(TOutputStyle::Responsive, {}, GridWithEmptyLines(), "R&D <draft>", false), document);
  TPageGrid none;
  EXPECT_EQ(PageLines(TOutputStyle::Responsive, {}, none, "", true), std::vector<std::string>{"<div></div>"});
}

}  // namespace
}  // namespace tessel
