#include "imaging/view/view_core.h"

#include <gtest/gtest.h>

#include <vector>

namespace pg {
namespace {

// A scroll box without a window: 16-pixel scroll bars, no border, positions clamped to the ranges.
class FakeHost : public TViewHost {
 public:
  int32_t width = 100;
  int32_t height = 100;
  int32_t frame = 0;
  TScrollInfo scroll{0, 0, 0, 0, false, false, 100, 100};
  int layouts = 0;
  int captures = 0;
  int releases = 0;
  int autoScrollStarts = 0;
  int autoScrollStops = 0;
  int frameStarts = 0;
  int frameStops = 0;
  std::vector<TPGRect> invalidated;
  TPGCursor dragCursor = crDefault;

  int32_t ViewWidth() const override { return width; }
  int32_t ViewHeight() const override { return height; }
  int32_t FrameWidth() const override { return frame; }
  int32_t HorzBarHeight() const override { return 16; }
  int32_t VertBarWidth() const override { return 16; }
  TScrollInfo ScrollInfo() const override { return scroll; }
  void SetScrollPos(int32_t h, int32_t v) override {
    scroll.HorzPos = std::clamp(h, 0, std::max(scroll.HorzRange - scroll.ClientWidth, 0));
    scroll.VertPos = std::clamp(v, 0, std::max(scroll.VertRange - scroll.ClientHeight, 0));
  }
  void ApplyLayout(const TPGRect&, const TScrollInfo& s) override {
    ++layouts;
    scroll = s;
  }
  void InvalidateRect(const TPGRect& r) override { invalidated.push_back(r); }
  void CaptureMouse() override { ++captures; }
  void ReleaseMouse() override { ++releases; }
  void StartAutoScrollTimer() override { ++autoScrollStarts; }
  void StopAutoScrollTimer() override { ++autoScrollStops; }
  void StartFrameTimer() override { ++frameStarts; }
  void StopFrameTimer() override { ++frameStops; }
  void SetDragCursor(TPGCursor c) override { dragCursor = c; }
};

struct Counters {
  int zoom = 0;
  int change = 0;
  int made = 0;
};

class CoreTest : public ::testing::Test {
 protected:
  FakeHost host;
  TPGImageCore core{host};
  Counters n;
  void SetUp() override {
    core.OnZoomFactorChange = [this](const void*) { ++n.zoom; };
    core.OnSelectionChange = [this](const void*) { ++n.change; };
    core.OnSelectionMade = [this](const void*) { ++n.made; };
  }
  void Show(int32_t w, int32_t h) {
    core.SetPixelGraphicSize(w, h);
    core.Arrange(false);
  }
};

TEST(ArrangeTest, EmptyViewGivesZeroBoxAndZoomOne) {
  TArrangeInput in;
  in.AvailWidth = in.AvailHeight = 100;
  in.Stretch = sAlwaysKAR;
  TArrangeResult r = ComputeArrange(in);
  EXPECT_EQ(r.DisplayWidth, 0);
  EXPECT_EQ(r.DisplayHeight, 0);
  EXPECT_EQ(r.Zoom, 1.0L);
  EXPECT_FALSE(r.Scroll.HorzVisible);
  EXPECT_FALSE(r.Scroll.VertVisible);
}

TEST(ArrangeTest, ZoomRoundsHalfToEvenAndIgnoresNonPositiveZoom) {
  TArrangeInput in;
  in.ImageWidth = 101;
  in.ImageHeight = 51;
  in.AvailWidth = in.AvailHeight = 100;
  in.Stretch = sZoomKAR;
  in.ZoomFactor = 2.0L;
  TArrangeResult r = ComputeArrange(in);
  EXPECT_EQ(r.DisplayWidth, 202);
  EXPECT_EQ(r.DisplayHeight, 102);
  in.ZoomFactor = 0.5L;
  r = ComputeArrange(in);
  EXPECT_EQ(r.DisplayWidth, 50);   // 50.5
  EXPECT_EQ(r.DisplayHeight, 26);  // 25.5
  EXPECT_EQ(r.Zoom, 0.5L);
  for (long double z : {0.0L, -3.0L}) {
    in.ZoomFactor = z;
    r = ComputeArrange(in);
    EXPECT_EQ(r.DisplayWidth, 101);
    EXPECT_EQ(r.Zoom, 1.0L);
  }
  in.ZoomFactor = 1e30L;  // absurd zoom stays inside int32
  r = ComputeArrange(in);
  EXPECT_EQ(r.DisplayWidth, 2147483647);
}

TEST(ArrangeTest, StretchRules) {
  struct Case {
    TStretch stretch;
    int32_t imgW, imgH, availW, availH;
    int32_t dispW, dispH;
    long double zoom;
  };
  const Case cases[] = {
      {sNeverKAR, 300, 50, 100, 100, 300, 50, 1.0L},
      {sAlways, 30, 50, 100, 80, 100, 80, -1.0L},
      {sAlwaysKAR, 200, 100, 100, 100, 100, 50, 0.5L},
      {sAlwaysKAR, 50, 100, 100, 100, 50, 100, 1.0L},
      {sShrink, 200, 50, 100, 100, 100, 50, -1.0L},
      {sShrink, 50, 50, 100, 100, 50, 50, 1.0L},
      {sShrinkKAR, 50, 50, 100, 100, 50, 50, 1.0L},
      {sShrinkKAR, 400, 100, 100, 100, 100, 25, 0.25L},
      // Enlarging a picture taller than the box leaves room for the vertical bar.
      {sEnlarge, 50, 200, 100, 100, 84, 200, -1.0L},
      {sEnlarge, 50, 50, 100, 80, 100, 80, -1.0L},
      {sEnlarge, 200, 200, 100, 100, 200, 200, 1.0L},
      {sEnlargeKAR, 50, 25, 100, 100, 100, 50, 2.0L},
      {sEnlargeKAR, 150, 25, 100, 100, 150, 25, 1.0L},
      // Edge fit: a tall picture fills the width beside the vertical bar and scrolls.
      {sAlwaysLongerEdgeKAR, 100, 400, 100, 100, 84, 336, 0.84L},
      {sAlwaysLongerEdgeKAR, 100, 100, 100, 100, 100, 100, 1.0L},
      {sShrinkLongerEdgeKAR, 300, 120, 100, 100, 210, 84, 0.7L},
      {sShrinkLongerEdgeKAR, 300, 50, 100, 100, 300, 50, 1.0L},  // needs one bar only
      {sEnlargeShrinkLongerEdgeKAR, 20, 10, 100, 100, 100, 50, 5.0L},
      {sEnlargeShrinkLongerEdgeKAR, 300, 50, 100, 100, 300, 50, 1.0L},
      {sEnlargeLongerEdgeKAR, 20, 160, 100, 100, 84, 672, 4.2L},
      {sEnlargeLongerEdgeKAR, 200, 200, 100, 100, 200, 200, 1.0L},
  };
  for (const Case& c : cases) {
    TArrangeInput in;
    in.ImageWidth = c.imgW;
    in.ImageHeight = c.imgH;
    in.AvailWidth = c.availW;
    in.AvailHeight = c.availH;
    in.HorzBarHeight = in.VertBarWidth = 16;
    in.Stretch = c.stretch;
    const TArrangeResult r = ComputeArrange(in);
    SCOPED_TRACE(::testing::Message() << "stretch " << int(c.stretch) << " " << c.imgW << "x" << c.imgH);
    EXPECT_EQ(r.DisplayWidth, c.dispW);
    EXPECT_EQ(r.DisplayHeight, c.dispH);
    EXPECT_NEAR(static_cast<double>(r.Zoom), static_cast<double>(c.zoom), 1e-12);
  }
}

TEST(ArrangeTest, CentringBothWays) {
  TArrangeInput in;
  in.ImageWidth = 40;
  in.ImageHeight = 21;
  in.AvailWidth = 101;
  in.AvailHeight = 100;
  in.HorzBarHeight = in.VertBarWidth = 16;
  in.Center = true;
  TArrangeResult r = ComputeArrange(in);
  EXPECT_EQ(r.OffsetX, 30);  // (101 - 40) div 2
  EXPECT_EQ(r.OffsetY, 39);  // (100 - 21) div 2
  EXPECT_EQ(r.Scroll.HorzPos, 0);
  EXPECT_EQ(r.Scroll.VertPos, 0);

  // Wider than the box: the horizontal bar takes room, the position goes to the middle.
  in.ImageWidth = 300;
  r = ComputeArrange(in);
  EXPECT_EQ(r.OffsetX, 0);
  EXPECT_EQ(r.OffsetY, 31);  // (100 - 16 - 21) div 2
  EXPECT_TRUE(r.Scroll.HorzVisible);
  EXPECT_FALSE(r.Scroll.VertVisible);
  EXPECT_EQ(r.Scroll.ClientHeight, 84);
  EXPECT_EQ(r.Scroll.HorzPos, (300 - 101) / 2);

  // A horizontal bar that makes the height overflow brings the vertical bar too.
  in.ImageHeight = 90;
  r = ComputeArrange(in);
  EXPECT_TRUE(r.Scroll.HorzVisible);
  EXPECT_TRUE(r.Scroll.VertVisible);
  EXPECT_EQ(r.Scroll.ClientWidth, 85);
  EXPECT_EQ(r.Scroll.VertPos, (90 - 84) / 2);
}

TEST_F(CoreTest, ZoomChangeFiresOnceAndNothingMovesTheSecondTime) {
  core.SetStretch(sAlwaysKAR);
  n.zoom = 0;
  Show(200, 100);
  EXPECT_EQ(core.PicBoxWidth(), 100);
  EXPECT_EQ(core.PicBoxHeight(), 50);
  EXPECT_EQ(core.EffectiveZoom(), 0.5L);
  EXPECT_EQ(n.zoom, 1);
  const int layouts = host.layouts;
  core.Arrange(false);
  core.Arrange(true);
  EXPECT_EQ(n.zoom, 1);
  EXPECT_EQ(host.layouts, layouts);

  // A scrolled picture box is re-placed by a forced arrange only.
  core.SetStretch(sNeverKAR);
  Show(300, 300);
  host.SetScrollPos(20, 30);
  const int before = host.layouts;
  core.Arrange(false);
  EXPECT_EQ(host.layouts, before);
  EXPECT_EQ(core.PicBoxRect().Left, -20);
  core.Arrange(true);
  EXPECT_EQ(host.layouts, before + 1);
  EXPECT_EQ(host.scroll.HorzPos, 0);
  EXPECT_EQ(core.PicBoxRect().Top, 0);
}

TEST_F(CoreTest, EmptyViewMapsToZero) {
  core.SetStretch(sAlwaysKAR);
  core.Arrange(true);
  EXPECT_EQ(core.PicBoxWidth(), 0);
  EXPECT_EQ(core.ImageToPicBoxX(5), 0);
  EXPECT_EQ(core.ImageToPicBoxY(5), 0);
  EXPECT_EQ(core.PicBoxToImageX(5), 0);
  EXPECT_EQ(core.PicBoxToImageY(5), 0);
  EXPECT_EQ(n.zoom, 0);
}

TEST_F(CoreTest, MappingsTruncate) {
  core.SetStretch(sZoomKAR);
  core.SetZoomFactor(0.5L);
  Show(101, 51);                           // 50 x 26
  EXPECT_EQ(core.ImageToPicBoxX(3), 1);    // 150 div 101
  EXPECT_EQ(core.ImageToPicBoxX(-3), -1);  // toward zero
  EXPECT_EQ(core.PicBoxToImageX(1), 2);    // 101 div 50
  EXPECT_EQ(core.PicBoxToImageY(25), 49);  // 1275 div 26
  core.SetZoomFactor(1.0L);
  EXPECT_EQ(core.ImageToPicBoxX(77), 77);
  EXPECT_EQ(core.PicBoxToImageY(33), 33);
}

TEST_F(CoreTest, CreateSelectionByDragAndClick) {
  core.SetActionMode(amCreateSelection);
  Show(50, 50);
  core.MouseDown(mbLeft, {10, 10});
  EXPECT_EQ(core.DragKind(), dkCreateSelection);
  EXPECT_TRUE(core.Selection());
  EXPECT_EQ(host.frameStarts, 1);
  EXPECT_EQ(host.captures, 1);
  EXPECT_EQ(host.autoScrollStarts, 1);
  core.MouseMove({7, 15});
  core.MouseMove({5, 20});
  EXPECT_EQ(n.made, 0);
  core.MouseUp(mbLeft, {5, 20});
  EXPECT_EQ(core.SelectionRect(), (TPGRect{5, 10, 11, 21}));
  EXPECT_EQ(core.SelectionWidth(), 6);
  EXPECT_EQ(core.SelectionHeight(), 11);
  EXPECT_EQ(n.made, 1);
  EXPECT_EQ(core.DragKind(), dkNone);
  EXPECT_EQ(host.releases, 1);
  EXPECT_EQ(host.autoScrollStops, 1);
  // Selection on (1), first pixel (1), two moves (2).
  EXPECT_EQ(n.change, 4);

  core.SetSelection(false);
  core.MouseDown(mbLeft, {30, 40});
  core.MouseUp(mbLeft, {30, 40});
  EXPECT_EQ(core.SelectionRect(), (TPGRect{30, 40, 31, 41}));
  EXPECT_EQ(n.made, 2);
}

// A drag whose mouse-up was lost (a dialog took the mouse) does not block the next one.
TEST_F(CoreTest, PressAfterALostReleaseStartsAFreshDrag) {
  core.SetActionMode(amCreateSelection);
  Show(50, 50);
  core.MouseDown(mbLeft, {10, 10});
  core.MouseMove({12, 12});
  core.MouseDown(mbLeft, {30, 30});
  EXPECT_EQ(core.DragKind(), dkCreateSelection);
  EXPECT_EQ(host.autoScrollStops, 1);
  EXPECT_EQ(n.made, 0);
  core.MouseMove({31, 32});
  core.MouseUp(mbLeft, {31, 32});
  EXPECT_EQ(core.SelectionRect(), (TPGRect{30, 30, 32, 33}));
  EXPECT_EQ(n.made, 1);
}

TEST_F(CoreTest, RightButtonNeverDrags) {
  for (TActionMode m : {amMoveImage, amMoveResizeCreateSelection, amCreateSelection, amMoveSelection}) {
    core.SetActionMode(m);
    Show(500, 500);
    core.MouseDown(mbRight, {10, 10});
    EXPECT_EQ(core.DragKind(), dkNone);
    core.MouseDown(mbMiddle, {10, 10});
    EXPECT_EQ(core.DragKind(), dkNone);
  }
  EXPECT_EQ(host.captures, 0);
  core.SetActionMode(amNone);
  core.MouseDown(mbLeft, {10, 10});
  EXPECT_EQ(core.DragKind(), dkNone);
  EXPECT_EQ(host.captures, 0);
}

TEST_F(CoreTest, TopLeftHandleDraggedPastTheCornerStopsAtOnePixel) {
  core.SetActionMode(amMoveResizeCreateSelection);
  Show(100, 100);
  core.SetSelection(true);
  core.SetSelectionBounds(20, 30, 10, 5);
  // Top-left handle spans (12, 22)..(17, 27).
  core.MouseDown(mbLeft, {14, 24});
  ASSERT_EQ(core.DragKind(), dkResizeTopLeft);
  EXPECT_EQ(core.DragOffset(), (TPGPoint{-6, -6}));
  core.MouseMove({70, 80});
  EXPECT_EQ(core.SelectionRect(), (TPGRect{29, 34, 30, 35}));
  core.MouseMove({14, 24});
  EXPECT_EQ(core.SelectionRect(), (TPGRect{20, 30, 30, 35}));
  core.MouseUp(mbLeft, {14, 24});
  EXPECT_EQ(n.made, 1);

  // Bottom-right handle: width and height from the pointer, never below 1.
  core.MouseDown(mbLeft, {34, 39});  // (R + 3 .. R + 8, B + 3 .. B + 8)
  ASSERT_EQ(core.DragKind(), dkResizeBottomRight);
  core.MouseMove({0, 0});
  EXPECT_EQ(core.SelectionRect(), (TPGRect{20, 30, 21, 31}));
  core.MouseMove({44, 49});
  EXPECT_EQ(core.SelectionRect(), (TPGRect{20, 30, 40, 45}));
  core.MouseUp(mbLeft, {44, 49});

  // Middle handles change one edge only.
  const TPGRect s = core.SelectionPicBoxRect();
  const auto handles = SelectionHandles(s);
  core.MouseDown(mbLeft, {handles[1].Rect.Left, handles[1].Rect.Top});
  ASSERT_EQ(core.DragKind(), dkResizeTop);
  core.MouseMove({0, 35});
  EXPECT_EQ(core.SelectionRect(), (TPGRect{20, 43, 40, 45}));
  core.MouseUp(mbLeft, {0, 35});
}

TEST_F(CoreTest, MovingLeftBeyondTheImageKeepsOneColumn) {
  core.SetActionMode(amMoveSelection);
  Show(100, 80);
  core.SetSelection(true);
  core.SetSelectionBounds(10, 10, 20, 15);
  core.MouseDown(mbLeft, {12, 12});
  ASSERT_EQ(core.DragKind(), dkMoveSelection);
  EXPECT_EQ(core.DragOffset(), (TPGPoint{2, 2}));
  core.MouseMove({-200, 12});
  EXPECT_EQ(core.SelectionLeft(), 1 - 20);
  EXPECT_EQ(core.SelectionTop(), 10);
  EXPECT_EQ(core.SelectionWidth(), 20);
  core.MouseMove({500, 500});
  EXPECT_EQ(core.SelectionLeft(), 99);
  EXPECT_EQ(core.SelectionTop(), 79);
  core.MouseUp(mbLeft, {500, 500});
  EXPECT_EQ(n.made, 1);
}

TEST_F(CoreTest, SelectionChangeFiresPerRectangleNotForEqualBounds) {
  Show(100, 100);
  core.SetSelectionBounds(1, 2, 3, 4);
  EXPECT_EQ(n.change, 1);
  core.SetSelectionBounds(1, 2, 3, 4);
  EXPECT_EQ(n.change, 1);
  EXPECT_TRUE(host.invalidated.empty());  // nothing to redraw while Selection is off
  core.SetSelection(true);
  core.SetSelection(true);
  EXPECT_EQ(n.change, 2);
  core.SetSelectionBounds(10, 20, 5, 6);
  ASSERT_EQ(host.invalidated.size(), 8u);
  // Old rectangle's left strip, margin 1 outside the selection mode with handles.
  EXPECT_EQ(host.invalidated[0], (TPGRect{0, 1, 1, 7}));
  EXPECT_EQ(host.invalidated[7], (TPGRect{9, 26, 16, 27}));
  core.SetSelection(false);
  EXPECT_EQ(host.frameStarts, 1);
  EXPECT_EQ(host.frameStops, 1);
}

TEST_F(CoreTest, PanningMovesTheScrollPositionsAndAnchor) {
  core.SetActionMode(amMoveImage);
  Show(300, 200);  // both bars: client 84 x 84
  EXPECT_TRUE(core.PanningPossible());
  core.MouseDown(mbLeft, {50, 50});
  ASSERT_EQ(core.DragKind(), dkMoveImage);
  EXPECT_EQ(host.dragCursor, crHandClosed);
  EXPECT_EQ(host.autoScrollStarts, 0);
  core.MouseMove({40, 45});
  EXPECT_EQ(host.scroll.HorzPos, 10);
  EXPECT_EQ(host.scroll.VertPos, 5);
  EXPECT_EQ(core.DragAnchor(), (TPGPoint{50, 50}));
  core.MouseMove({-1000, 0});  // clamped at the range
  EXPECT_EQ(host.scroll.HorzPos, 300 - 84);
  EXPECT_EQ(core.DragAnchor(), (TPGPoint{-1000 + 206, 50}));
  core.MouseUp(mbLeft, {0, 0});
  EXPECT_EQ(n.made, 0);
  EXPECT_FALSE(core.Selection());

  Show(50, 50);
  EXPECT_FALSE(core.PanningPossible());
  core.MouseDown(mbLeft, {5, 5});
  EXPECT_EQ(core.DragKind(), dkNone);
}

TEST_F(CoreTest, CursorRules) {
  core.SetActionMode(amMoveImage);
  Show(300, 300);
  EXPECT_EQ(core.ChooseCursor(crDefault, {5, 5}), crHandOpen);
  core.SetActionMode(amMoveResizeCreateSelection);
  EXPECT_EQ(core.ChooseCursor(crDefault, {5, 5}), crSelCross);
  core.SetSelection(true);
  core.SetSelectionBounds(20, 20, 20, 20);
  EXPECT_EQ(core.ChooseCursor(crDefault, {25, 25}), crMoveArrow);
  EXPECT_EQ(core.ChooseCursor(crDefault, {13, 13}), crSizeNWSE);
  EXPECT_EQ(core.ChooseCursor(crDefault, {30, 13}), crSizeNS);
  EXPECT_EQ(core.ChooseCursor(crDefault, {44, 30}), crSizeWE);
  EXPECT_EQ(core.ChooseCursor(crDefault, {13, 44}), crSizeNESW);
  core.SetActionMode(amNone);
  EXPECT_EQ(core.ChooseCursor(crArrow, {25, 25}), crArrow);
}

TEST(ViewGeometryTest, AutoSizeAddsBarsAndApplesLimits) {
  EXPECT_EQ(ComputeAutoSize(100, 50, 2, 2147483647, 2147483647, 0, 0, 16, 16), (TPGPoint{104, 54}));
  // Too wide: a horizontal bar is added to the height, which then overflows too.
  EXPECT_EQ(ComputeAutoSize(300, 190, 0, 200, 200, 0, 0, 16, 17), (TPGPoint{200, 200}));
  EXPECT_EQ(ComputeAutoSize(10, 10, 0, 2147483647, 2147483647, 50, 60, 16, 16), (TPGPoint{50, 60}));
  EXPECT_EQ(ComputeAutoSize(2147483647, 5, 2, 2147483647, 2147483647, 0, 0, 16, 16).X, 2147483647);
}

TEST(ViewGeometryTest, AutoScrollStep) {
  TScrollInfo s{10, 0, 300, 300, true, true, 100, 100};
  EXPECT_EQ(AutoScrollStep({-1, 50}, s), (TPGPoint{5, 0}));
  EXPECT_EQ(AutoScrollStep({50, -1}, s), (TPGPoint{10, 0}));  // already at the top
  EXPECT_EQ(AutoScrollStep({100, 100}, s), (TPGPoint{15, 5}));
  s.HorzPos = 200;
  EXPECT_EQ(AutoScrollStep({100, 50}, s), (TPGPoint{200, 0}));  // at the end
}

TEST(ViewGeometryTest, BackgroundBands) {
  auto bands = BackgroundBands({10, 20, 60, 70}, 100, 100);
  ASSERT_EQ(bands.size(), 4u);
  EXPECT_EQ(bands[0], (TPGRect{0, 0, 100, 20}));
  EXPECT_EQ(bands[1], (TPGRect{0, 70, 100, 100}));
  EXPECT_EQ(bands[2], (TPGRect{0, 0, 10, 100}));
  EXPECT_EQ(bands[3], (TPGRect{60, 0, 100, 100}));
  EXPECT_TRUE(BackgroundBands({-5, -5, 200, 200}, 100, 100).empty());
  EXPECT_EQ(BackgroundBands({0, 0, 0, 0}, 100, 100).size(), 2u);  // empty view: bottom and right
}

TEST(ViewGeometryTest, TilesAndMirroring) {
  const TPGRect all{-10000, -10000, 10000, 10000};
  auto tiles = ComputeTiles({10, 10, 60, 40}, 100, 100, tNone, false, false, all);
  ASSERT_EQ(tiles.size(), 1u);
  EXPECT_FALSE(tiles[0].MirrorHorizontal);
  tiles = ComputeTiles({10, 10, 60, 40}, 100, 100, tNone, true, false, all);
  EXPECT_TRUE(tiles[0].MirrorHorizontal);

  // Columns -1..1, rows -1..2 for a 50 x 30 box at (10, 10) in 100 x 100.
  tiles = ComputeTiles({10, 10, 60, 40}, 100, 100, tMirror, false, false, all);
  ASSERT_EQ(tiles.size(), 12u);
  EXPECT_EQ(tiles.front().Rect, (TPGRect{-40, -20, 10, 10}));
  EXPECT_TRUE(tiles.front().MirrorHorizontal);  // column -1 is odd
  EXPECT_TRUE(tiles.front().MirrorVertical);
  EXPECT_EQ(tiles.back().Rect, (TPGRect{60, 70, 110, 100}));
  EXPECT_TRUE(tiles.back().MirrorHorizontal);
  EXPECT_FALSE(tiles.back().MirrorVertical);  // row 2

  tiles = ComputeTiles({10, 10, 60, 40}, 100, 100, tMirrorVertical, true, false, all);
  for (const TPaintTile& t : tiles) {
    EXPECT_TRUE(t.MirrorHorizontal);
    EXPECT_EQ(t.MirrorVertical, t.Row % 2 != 0);
  }
  // Only tiles meeting the clip rectangle.
  tiles = ComputeTiles({10, 10, 60, 40}, 100, 100, tRepeat, false, false, {0, 0, 5, 5});
  ASSERT_EQ(tiles.size(), 1u);
  EXPECT_EQ(tiles[0].Column, -1);
  EXPECT_EQ(tiles[0].Row, -1);
  EXPECT_TRUE(ComputeTiles({0, 0, 0, 0}, 100, 100, tRepeat, false, false, all).empty());

  TPaintTile t{{10, 20, 60, 40}, 0, 0, true, true};
  EXPECT_EQ(MirroredDrawRect(t), (TPGRect{59, 39, 9, 19}));
}

TEST(ViewGeometryTest, DisplayCopyDecision) {
  TNeedPaintInput in;
  in.HasImage = true;
  in.ScreenBits = 32;
  in.ImageBits = 24;
  in.PicBoxWidth = in.ImageWidth = 100;
  in.PicBoxHeight = in.ImageHeight = 50;
  in.PaintDirty = true;
  // True colour at natural size: no copy.
  EXPECT_FALSE(DecideNeedPaint(in).Needed);
  // Resized with smFast: still none; with smPrecise: a copy, built now.
  in.PicBoxWidth = 200;
  EXPECT_FALSE(DecideNeedPaint(in).Needed);
  in.StretchMode = smPrecise;
  TNeedPaintDecision d = DecideNeedPaint(in);
  EXPECT_TRUE(d.Needed);
  EXPECT_TRUE(d.Sized);
  EXPECT_TRUE(d.StartBuild);
  // Built for this size, not dirty: kept.
  in.PaintDirty = false;
  in.BuiltForWidth = 200;
  in.BuiltForHeight = 50;
  in.CopyExists = true;
  d = DecideNeedPaint(in);
  EXPECT_TRUE(d.Needed);
  EXPECT_FALSE(d.StartBuild);
  EXPECT_FALSE(d.FreeCopy);
  // The picture box changed size: dirty, the old copy goes unless kept on screen.
  in.PicBoxWidth = 150;
  d = DecideNeedPaint(in);
  EXPECT_TRUE(d.PaintDirty);
  EXPECT_TRUE(d.FreeCopy);
  EXPECT_TRUE(d.StartBuild);
  in.KeepOldPaintPixelGraphic = true;
  d = DecideNeedPaint(in);
  EXPECT_FALSE(d.FreeCopy);
  EXPECT_TRUE(d.StartBuild);
  // A cut-off build with no copy starts again; a finished one does not.
  in = TNeedPaintInput{};
  in.HasImage = true;
  in.StretchMode = smMedium;
  in.PicBoxWidth = 10;
  in.BuiltForWidth = 10;
  in.ImageWidth = 20;
  in.WorkerTerminated = true;
  EXPECT_TRUE(DecideNeedPaint(in).StartBuild);
  in.WorkerTerminated = false;
  EXPECT_FALSE(DecideNeedPaint(in).StartBuild);
  // Not needed any more: the copy is freed.
  in.StretchMode = smFast;
  in.CopyExists = true;
  d = DecideNeedPaint(in);
  EXPECT_FALSE(d.Needed);
  EXPECT_TRUE(d.FreeCopy);
  // 8-bit screens: a palette image with another palette needs a copy unless pSource.
  in = TNeedPaintInput{};
  in.HasImage = true;
  in.ScreenBits = 8;
  in.ImageBits = 8;
  in.ImagePaletteIdent = pUnknown;
  EXPECT_TRUE(DecideNeedPaint(in).Needed);
  in.Palette8BitSys8BitGraphic = pSource;
  EXPECT_FALSE(DecideNeedPaint(in).Needed);
  in.ImageBits = 24;
  EXPECT_TRUE(DecideNeedPaint(in).Needed);
  // 4-bit screen: anything but the system palette.
  in.ScreenBits = 4;
  in.ImageBits = 4;
  in.ImagePaletteIdent = pSys16;
  EXPECT_FALSE(DecideNeedPaint(in).Needed);
  in.ImagePaletteIdent = pGray16;
  EXPECT_TRUE(DecideNeedPaint(in).Needed);
  in.HasImage = false;
  EXPECT_FALSE(DecideNeedPaint(in).Needed);
}

TEST(ViewGeometryTest, ProgressClocks) {
  EXPECT_TRUE(ProgressClockOrigins({0, 0, 0, 0}, true).empty());
  EXPECT_TRUE(ProgressClockOrigins({0, 0, 20, 50}, true).empty());
  auto one = ProgressClockOrigins({10, 10, 60, 60}, true);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], (TPGPoint{28, 28}));
  auto five = ProgressClockOrigins({0, 0, 101, 101}, true);
  ASSERT_EQ(five.size(), 5u);
  EXPECT_EQ(five[4], (TPGPoint{81, 81}));
  EXPECT_EQ(ProgressClockOrigins({0, 0, 101, 101}, false).size(), 1u);

  TClockHands h = ProgressClockHands({0, 0}, 1, 0);
  EXPECT_EQ(h.Centre, (TPGPoint{7, 7}));
  EXPECT_EQ(h.MinuteEnd, (TPGPoint{7, 0}));
  EXPECT_EQ(h.HourEnd, (TPGPoint{7, 1}));
  h = ProgressClockHands({0, 0}, 1, 25);  // a quarter turn: pointing right
  EXPECT_EQ(h.MinuteEnd, (TPGPoint{14, 7}));
  h = ProgressClockHands({0, 0}, 4, 0);  // hour hand at a quarter
  EXPECT_EQ(h.HourEnd, (TPGPoint{13, 7}));
}

TEST(ViewGeometryTest, AntsPatterns) {
  const TColor c1 = 0xFFFFFF, c2 = 0x0000FF;
  auto p0 = AntsPattern(0, c1, c2);
  EXPECT_EQ(p0[0], c1);          // (0 + 0 - 0 + 8) mod 8 = 0
  EXPECT_EQ(p0[4], c2);          // column 4
  EXPECT_EQ(p0[1 * 8 + 3], c2);  // row 1, column 3
  EXPECT_EQ(p0[7 * 8 + 7], c2);  // (14 + 8) mod 8 = 6
  auto p3 = AntsPattern(3, c1, c2);
  EXPECT_EQ(p3[7], c2);  // (7 - 3 + 8) mod 8 = 4
  EXPECT_EQ(p3[6], c1);
  int count2 = 0;
  for (TColor c : AntsPattern(5, c1, c2)) count2 += c == c2;
  EXPECT_EQ(count2, 32);  // stripes four pixels wide
  EXPECT_EQ(AntsBrushPhase(3, {-6, 1, 0, 0}), 6);
  EXPECT_EQ(AntsBrushPhase(7, {4, 5, 0, 0}), 0);
}

}  // namespace
}  // namespace pg
