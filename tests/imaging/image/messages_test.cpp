#include "imaging/image/messages.h"

#include <gtest/gtest.h>

#include "imaging/image/exceptions.h"

namespace pg {
namespace {

TEST(MessageTable, EveryMessageButTheLastHasEnglishText) {
  ASSERT_EQ(MessageLanguage.load(), 0);
  for (int n = 1; n <= kMessageCount; ++n) {
    ASSERT_NE(MessageEntry(n), nullptr);
    EXPECT_EQ(MessageEntry(n)->Number, n);
    if (n == 84) {
      EXPECT_EQ(MessageText(n), "");
    } else {
      EXPECT_FALSE(MessageText(n).empty()) << "message " << n;
    }
  }
  EXPECT_EQ(MessageEntry(0), nullptr);
  EXPECT_EQ(MessageEntry(85), nullptr);
  EXPECT_EQ(MessageText(85), "");
}

TEST(MessageTable, TextsThatOthersRelyOn) {
  EXPECT_EQ(MessageText(6), "Unknown file format");
  EXPECT_EQ(MessageText(18, "BMP", "2 colors"),
            "The graphic cannot be saved with to a BMP file with the current color resolution (2 colors)");
  EXPECT_EQ(MessageText(19, "xyz"), "Unknown file extension \"xyz\"");
  EXPECT_EQ(MessageText(82), "\xC2\xB1");
  EXPECT_EQ(MessageText(83), "\xC2\xB0");
  const char* names[] = {"black and white", "2 colors",   "16 shades of gray", "16 system colors",
                         "16 colors",       "256 shades of gray", "256 colors", "16.7 million colors"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(MessageText(8 + i), names[i]);
}

TEST(MessageTable, PlaceholderFilling) {
  EXPECT_EQ(MessageText(31, "JPEG"), "JPEG failed");
  EXPECT_EQ(MessageText(17, "BMP", "16.7 million colors", "256 colors"),
            "The graphic cannot be saved to a BMP file with the current color resolution (16.7 million colors)."
            "\r\rThe graphic will be saved with a different color resolution (256 colors).");
  // An argument holding a later placeholder is subject to the later replacement.
  EXPECT_EQ(MessageText(18, "A%S2", "X"),
            "The graphic cannot be saved with to a AX file with the current color resolution (%S2)");
  // Only the first occurrence is replaced; a missing placeholder drops its argument.
  EXPECT_EQ(FillPlaceholder("%S1 and %S1", "%S1", "a"), "a and %S1");
  EXPECT_EQ(MessageText(2, "ignored"), "No palette");
}

TEST(MessageTable, LanguageOutOfRangeGivesNoText) {
  MessageLanguage = 6;
  EXPECT_EQ(MessageText(1), "");
  MessageLanguage = 0;
  EXPECT_EQ(MessageText(1), "X, Y index out of range");
}

TEST(Exceptions, CarryTheirTextAndDeriveFromTheBase) {
  try {
    throw EPGInvalidSize(MessageText(22));
  } catch (const EPixelGraphic& e) {
    EXPECT_STREQ(e.what(), "Negative width");
  }
}

}  // namespace
}  // namespace pg
