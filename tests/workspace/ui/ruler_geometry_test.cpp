// The rulers' geometry: plain logic, checked without painting.
#include "workspace/ui/ruler_geometry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tessel {
namespace {

TEST(RulerGeometryTest, TopRulerStartsWithLabelZeroAtThePictureEdge) {
  const TRulerLayout layout = LayoutRuler(TRulerKind::Top, 130, 0, {});
  // Offsets 25, 30, ..., 125: 21 ticks; long ones (with labels) at 25 and 75 and 125.
  ASSERT_EQ(layout.Ticks.size(), 21u);
  EXPECT_EQ(layout.Ticks[0], (TRulerLine{25, 0, 25, 25}));
  EXPECT_EQ(layout.Ticks[1], (TRulerLine{30, 20, 30, 25}));
  EXPECT_EQ(layout.Ticks[10], (TRulerLine{75, 0, 75, 25}));
  ASSERT_EQ(layout.Labels.size(), 3u);
  EXPECT_EQ(layout.Labels[0], (TRulerLabel{27, 1, "0"}));
  EXPECT_EQ(layout.Labels[1], (TRulerLabel{77, 1, "50"}));
  EXPECT_EQ(layout.Labels[2], (TRulerLabel{127, 1, "100"}));
}

TEST(RulerGeometryTest, LeftRulerStartsAtZero) {
  const TRulerLayout layout = LayoutRuler(TRulerKind::Left, 50, 0, {});
  ASSERT_EQ(layout.Ticks.size(), 10u);  // 0, 5, ..., 45
  EXPECT_EQ(layout.Ticks[0], (TRulerLine{0, 0, 25, 0}));
  EXPECT_EQ(layout.Ticks[1], (TRulerLine{20, 5, 25, 5}));
  ASSERT_EQ(layout.Labels.size(), 1u);
  EXPECT_EQ(layout.Labels[0], (TRulerLabel{1, 2, "0"}));
}

TEST(RulerGeometryTest, ScrollPositionCountsIntoLabelsAndMovesMarks) {
  const TRulerLayout layout = LayoutRuler(TRulerKind::Top, 100, 30, {0, 40, 200});
  EXPECT_EQ(layout.Labels[0].Text, "30");
  // The mark of x = 40 stands over image column 40, now 30 pixels further left.
  ASSERT_EQ(layout.Marks.size(), 2u);
  EXPECT_EQ(layout.Marks[0], (TRulerLine{35, 10, 35, 25}));
  // Columns scrolled off to the left leave no mark in the corner.
  const TRulerLayout scrolled = LayoutRuler(TRulerKind::Top, 100, 30, {0, 10, 30, 31});
  ASSERT_EQ(scrolled.Marks.size(), 2u);
  EXPECT_EQ(scrolled.Marks[0].X1, 25);
  EXPECT_EQ(scrolled.Marks[1].X1, 26);
  const TRulerLayout left = LayoutRuler(TRulerKind::Left, 100, 7, {5, 20});
  EXPECT_EQ(left.Labels[0].Text, "7");
  ASSERT_EQ(left.Marks.size(), 1u);
  EXPECT_EQ(left.Marks[0], (TRulerLine{10, 13, 25, 13}));
}

TEST(RulerGeometryTest, MarksSkipTheFirstListEntryWhateverItIs) {
  const TRulerLayout layout = LayoutRuler(TRulerKind::Top, 300, 0, {120, 0, 200});
  ASSERT_EQ(layout.Marks.size(), 2u);
  EXPECT_EQ(layout.Marks[0].X1, 25);
  EXPECT_EQ(layout.Marks[1].X1, 225);
  EXPECT_TRUE(LayoutRuler(TRulerKind::Left, 300, 0, {}).Marks.empty());
  EXPECT_TRUE(LayoutRuler(TRulerKind::Left, 0, 0, {1, 2}).Ticks.empty());
}

TEST(RulerGeometryTest, ZoomedOutTicksStandOnRoundPicturePositions) {
  // At 1/4, 20 picture pixels are the first step at least 5 screen pixels wide; labels every 200.
  const TRulerLayout layout = LayoutRuler(TRulerKind::Top, 130, 0, {0, 400, 13}, TAxisScale{4, 1});
  ASSERT_EQ(layout.Ticks.size(), 21u);
  EXPECT_EQ(layout.Ticks[1], (TRulerLine{30, 20, 30, 25}));
  ASSERT_EQ(layout.Labels.size(), 3u);
  EXPECT_EQ(layout.Labels[0], (TRulerLabel{27, 1, "0"}));
  EXPECT_EQ(layout.Labels[1], (TRulerLabel{77, 1, "200"}));
  EXPECT_EQ(layout.Labels[2], (TRulerLabel{127, 1, "400"}));
  ASSERT_EQ(layout.Marks.size(), 2u);
  EXPECT_EQ(layout.Marks[0], (TRulerLine{125, 10, 125, 25}));
  EXPECT_EQ(layout.Marks[1], (TRulerLine{28, 10, 28, 25}));  // 13 / 4 truncated
}

TEST(RulerGeometryTest, ZoomedInScrolledTicksAndMarksFollowThePicture) {
  // At 3 times, steps of 2 picture pixels (6 screen pixels), labels every 20. Scrolled by 31
  // screen pixels the view's edge shows picture pixel 10.
  const TRulerLayout layout = LayoutRuler(TRulerKind::Left, 100, 31, {0, 11, 20}, TAxisScale{1, 3});
  ASSERT_FALSE(layout.Ticks.empty());
  EXPECT_EQ(layout.Ticks[0], (TRulerLine{20, 5, 25, 5}));  // picture 12 at 36 - 31
  ASSERT_FALSE(layout.Labels.empty());
  EXPECT_EQ(layout.Labels[0], (TRulerLabel{1, 31, "20"}));  // picture 20 at 60 - 31
  for (const TRulerLine& tick : layout.Ticks) EXPECT_EQ((tick.Y1 + 31) % 6, 0);
  ASSERT_EQ(layout.Marks.size(), 2u);
  EXPECT_EQ(layout.Marks[0], (TRulerLine{10, 2, 25, 2}));
  EXPECT_EQ(layout.Marks[1], (TRulerLine{10, 29, 25, 29}));
  // Far zoomed in, every picture pixel gets a tick.
  const TRulerLayout near = LayoutRuler(TRulerKind::Top, 25 + 64, 0, {}, TAxisScale{1, 32});
  ASSERT_EQ(near.Ticks.size(), 2u);
  EXPECT_EQ(near.Ticks[1].X1, 25 + 32);
  EXPECT_EQ(near.Labels.size(), 1u);
}

}  // namespace
}  // namespace tessel
