#include "workspace/html_table.h"

#include <gtest/gtest.h>

#include <set>

namespace tessel {
namespace {

TEST(HtmlTable, HeadTagsAndCaseFollowTheStyle) {
  const THtmlStyle lower{false, false};
  const THtmlStyle upper{true, true};
  EXPECT_EQ(lower.TableHead(), "<table cellspacing = 0 cellpadding = 0 border = 0>");
  EXPECT_EQ(upper.TableHead(), "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>");
  EXPECT_EQ(lower.OpenImageTag("page_11.jpg", 120, 40), "<img src='page_11.jpg' width=120 height=40");
  EXPECT_EQ(upper.OpenImageTag("page_11.jpg", 120, 40), "<IMG SRC=\"page_11.jpg\" WIDTH=120 HEIGHT=40");
  EXPECT_EQ(lower.RowStart() + lower.CellStart() + lower.CellEnd() + lower.RowEnd(), "<tr><td></td></tr>");
  EXPECT_EQ(upper.RowStart() + upper.CellStart() + upper.CellEnd() + upper.RowEnd(), "<TR><TD></TD></TR>");
}

TEST(HtmlTable, CellCodeRule) {
  const std::string tag = "<img src='page_11.jpg' width=120 height=40";
  EXPECT_EQ(CellCode(tag, "", "", ""), tag + ">");
  EXPECT_EQ(CellCode(tag, "", "main", ""), tag + ">");  // a target without a link is dropped
  EXPECT_EQ(CellCode(tag, "", "", "Logo"), tag + " ALT=\"Logo\">");
  EXPECT_EQ(CellCode(tag, "index.html", "", ""), "<A HREF=\"index.html\">" + tag + " BORDER=0></A>");
  EXPECT_EQ(CellCode(tag, "index.html", "main", "Logo"),
            "<A HREF=\"index.html\" TARGET=\"main\"><img src='page_11.jpg' width=120 height=40 ALT=\"Logo\" "
            "BORDER=0></A>");
}

TEST(HtmlTable, OnlyTheClosingQuoteIsEscaped) {
  EXPECT_EQ(EscapeAttribute("a\"b'c&amp;<>", '"'), "a&quot;b'c&amp;<>");
  EXPECT_EQ(EscapeAttribute("a\"b'c&amp;", '\''), "a\"b&#39;c&amp;");
  EXPECT_EQ(
      CellCode("<img src='x'", "q.html?a=\"1\"&amp;b", "t\"", "it's \"big\""),
      "<A HREF=\"q.html?a=&quot;1&quot;&amp;b\" TARGET=\"t&quot;\"><img src='x' ALT=\"it's &quot;big&quot;\" "
      "BORDER=0></A>");
  const THtmlStyle single{false, false};
  const THtmlStyle double_{false, true};
  EXPECT_EQ(single.OpenImageTag("it's_11.png", 1, 2), "<img src='it&#39;s_11.png' width=1 height=2");
  EXPECT_EQ(double_.OpenImageTag("it's_11.png", 1, 2), "<img src=\"it's_11.png\" width=1 height=2");
}

TEST(HtmlTable, SliceNamesArePercentEncodedOnlyWhereAUrlPathNeedsIt) {
  // Names of characters a URL path carries as they are come back unchanged.
  for (const char* name : {"page_11.jpg", "A-z.0~9_(1)+[x]!$,;=@'\"_11.png"})
    EXPECT_EQ(EncodeUrlPath(name), name);
  EXPECT_EQ(EncodeUrlPath("50% off #1?_11.png"), "50%25%20off%20%231%3F_11.png");
  EXPECT_EQ(EncodeUrlPath(std::string("t\tn\nz\0\x7f_11.png", 14)), "t%09n%0Az%00%7F_11.png");
  EXPECT_EQ(EncodeUrlPath("caf\xC3\xA9 \xE2\x82\xAC_11.png"), "caf%C3%A9%20%E2%82%AC_11.png");
  EXPECT_EQ(EncodeUrlPath("a:b\\c&lt_11.png"), "a%3Ab%5Cc%26lt_11.png");
  // The quote is still written as a character reference after the encoding.
  const THtmlStyle single{false, false};
  EXPECT_EQ(single.OpenImageTag("it's #1_11.png", 1, 2),
            "<img src='it&#39;s%20%231_11.png' width=1 height=2");
}

TEST(ExportNames, DirectoryFileNameAndBase) {
  TExportNames names = TExportNames::FromHtmlPath("/srv/web/page.v2.html");
  EXPECT_EQ(names.Directory, "/srv/web");
  EXPECT_EQ(names.FileName, "page.v2.html");
  EXPECT_EQ(names.Base, "page");
  EXPECT_EQ(names.SlicePath("page_21.jpg"), "/srv/web/page_21.jpg");
  EXPECT_EQ(names.GridPath(), "/srv/web/page.grd");

  names = TExportNames::FromHtmlPath("/page.html");
  EXPECT_EQ(names.SlicePath("page_11.jpg"), "/page_11.jpg");

  names = TExportNames::FromHtmlPath("noext");
  EXPECT_EQ(names.Base, "");
  EXPECT_EQ(names.SliceFileName(1, 1, 2, 2, ".jpg"), "_11.jpg");
  EXPECT_EQ(names.GridPath(), ".grd");

  names = TExportNames::FromHtmlPath("/tmp/" + std::string(250, 'x') + ".html" + std::string(50, 'y'));
  EXPECT_EQ(names.FileName, std::string(250, 'x') + ".html");
  EXPECT_EQ(names.Base, std::string(250, 'x'));
}

TEST(ExportNames, ExactNamesUpToNineAndUniqueBeyond) {
  const TExportNames names = TExportNames::FromHtmlPath("page.html");
  EXPECT_EQ(names.SliceFileName(2, 1, 2, 2, ".jpg"), "page_21.jpg");
  EXPECT_EQ(names.SliceFileName(9, 9, 9, 9, ".png"), "page_99.png");
  EXPECT_EQ(names.SliceFileName(1, 11, 12, 12, ".png"), "page_0111.png");
  EXPECT_EQ(names.SliceFileName(11, 1, 12, 12, ".png"), "page_1101.png");
  EXPECT_EQ(names.SliceFileName(3, 7, 100, 9, ".png"), "page_003007.png");
  std::set<std::string> seen;
  for (int32_t r = 1; r <= 12; ++r) {
    for (int32_t c = 1; c <= 12; ++c)
      EXPECT_TRUE(seen.insert(names.SliceFileName(c, r, 12, 12, ".gif")).second);
  }
}

}  // namespace
}  // namespace tessel
