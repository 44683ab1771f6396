// Zoom levels, the fit zoom and the mapping of one axis between screen and picture pixels.
#include "workspace/view_zoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tessel {
namespace {

TEST(ViewZoomTest, StepsWalkThePresetLevelsAndStopAtTheEnds) {
  EXPECT_EQ(ZoomInStep(1.0L), 1.5L);
  EXPECT_EQ(ZoomOutStep(1.0L), 2.0L / 3);
  EXPECT_EQ(ZoomInStep(2.0L / 3), 1.0L);
  // From a fit zoom between two levels to the next level in each direction.
  EXPECT_EQ(ZoomInStep(0.3L), 1.0L / 3);
  EXPECT_EQ(ZoomOutStep(0.3L), 1.0L / 4);
  // A zoom a rounding error off a level counts as that level.
  EXPECT_EQ(ZoomInStep(0.49999999L), 2.0L / 3);
  EXPECT_EQ(ZoomInStep(kMaxZoom), kMaxZoom);
  EXPECT_EQ(ZoomOutStep(kMinZoom), kMinZoom);
  EXPECT_EQ(ZoomOutStep(1000.0L), 24.0L);
  long double zoom = 1.0L;
  int steps = 0;
  while (zoom < kMaxZoom && steps < 100) {
    zoom = ZoomInStep(zoom);
    ++steps;
  }
  EXPECT_EQ(steps, 10);  // 1.5, 2, 3, 4, 6, 8, 12, 16, 24, 32
  EXPECT_EQ(ClampZoom(0.0L), 1.0L);
  EXPECT_EQ(ClampZoom(-2.0L), 1.0L);
  EXPECT_EQ(ClampZoom(std::numeric_limits<long double>::quiet_NaN()), 1.0L);
  EXPECT_EQ(ClampZoom(100.0L), kMaxZoom);
  EXPECT_EQ(ClampZoom(1e-9L), kMinZoom);
}

TEST(ViewZoomTest, FitZoomShowsTheWholePictureRoundedAsTheViewRoundsIt) {
  struct TCase {
    int32_t w, h, availW, availH;
  };
  for (const TCase& c : {TCase{6000, 4000, 1000, 700}, TCase{6000, 4000, 997, 613}, TCase{3, 7, 1001, 999},
                         TCase{1, 100000, 50, 333}, TCase{16384, 16384, 1, 1}}) {
    const long double zoom = FitZoom(c.w, c.h, c.availW, c.availH, kMaxZoom);
    if (zoom == kMinZoom) continue;  // too big to fit even at the smallest zoom
    EXPECT_LE(std::nearbyint(c.w * zoom), c.availW) << c.w << "x" << c.h;
    EXPECT_LE(std::nearbyint(c.h * zoom), c.availH) << c.w << "x" << c.h;
    // One side fills its room (unless a limit of the zoom range stops it).
    if (zoom > kMinZoom && zoom < kMaxZoom) {
      EXPECT_TRUE(std::nearbyint(c.w * zoom) >= c.availW - 1 || std::nearbyint(c.h * zoom) >= c.availH - 1);
    }
  }
  EXPECT_EQ(FitZoom(6000, 4000, 1000, 700), 1.0L / 6);
  EXPECT_EQ(FitZoom(100, 50, 1000, 1000, 1.0L), 1.0L);  // a small picture stays at actual size
  EXPECT_EQ(FitZoom(100, 50, 1000, 1000), 10.0L);
  EXPECT_EQ(FitZoom(0, 50, 1000, 1000), 1.0L);
  EXPECT_EQ(FitZoom(16384, 16384, 1, 1), kMinZoom);
  EXPECT_EQ(FitZoom(100, 50, 0, 1000), 1.0L);
}

TEST(ViewZoomTest, AxisMapsScreenToPicturePixelsAndLines) {
  // Zoomed out to 1/4: 400 picture pixels over 100 screen pixels.
  const TAxisScale out{400, 100};
  EXPECT_EQ(out.PixelAt(10), 40);
  EXPECT_EQ(out.PixelAt(-1), -4);
  EXPECT_EQ(out.LineAt(10), 40);
  EXPECT_EQ(out.ToScreen(43), 10);
  EXPECT_EQ(out.Span(4), 16);
  // Zoomed in 8 times: each picture pixel is 8 screen pixels wide.
  const TAxisScale in{10, 80};
  EXPECT_EQ(in.PixelAt(7), 0);
  EXPECT_EQ(in.PixelAt(8), 1);
  EXPECT_EQ(in.PixelAt(-1), -1);  // before the edge, not pixel 0
  EXPECT_EQ(in.LineAt(3), 0);     // the nearest boundary
  EXPECT_EQ(in.LineAt(4), 1);
  EXPECT_EQ(in.LineAt(-4), 0);
  EXPECT_EQ(in.LineAt(-5), -1);
  EXPECT_EQ(in.ToScreen(5), 40);
  EXPECT_EQ(in.Span(4), 0);
  EXPECT_EQ(in.Span(-3), 0);
  // Actual size is the identity, and so is an empty axis.
  const TAxisScale one{200, 200};
  EXPECT_TRUE(one.ActualSize());
  EXPECT_EQ(one.PixelAt(-3), -3);
  EXPECT_EQ(one.LineAt(17), 17);
  EXPECT_FALSE(TAxisScale{}.Valid());
  EXPECT_EQ(TAxisScale{}.PixelAt(5), 5);
  EXPECT_EQ(TAxisScale{}.LineAt(-5), -5);
  EXPECT_EQ((TAxisScale{0, 300}).ToScreen(7), 7);
  EXPECT_EQ(TAxisScale{}.Span(4), 4);
  // Wide pictures at high zoom: the products do not overflow.
  const TAxisScale wide{100000, 3200000};
  EXPECT_EQ(wide.ToScreen(99999), 3199968);
  EXPECT_EQ(wide.PixelAt(3199999), 99999);
}

}  // namespace
}  // namespace tessel
