// The view's display copy on its own: when a copy is wanted and built, what it looks like, and the
// dirty, stale and generation bookkeeping around its worker.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include "imaging/view/qt_display_copy.h"
#include "tests/imaging/view/qt/view_test_support.h"

namespace pg {
namespace {

using test::MakeImage;

TDisplaySettings Settings(TStretchMode mode, bool thread) {
  TDisplaySettings settings;
  settings.StretchMode = mode;
  settings.UseThread = thread;
  return settings;
}

constexpr int kDeadline = 30000;  // ms; a build under the sanitizers may take a while

TEST(DisplayCopyTest, NaturalSizeOnATrueColourScreenNeedsNoCopy) {
  TPGDisplayCopy copy;
  auto image = MakeImage(40, 30);
  EXPECT_FALSE(copy.Need(nullptr, 32, 40, 30, Settings(smPrecise, false)));
  EXPECT_FALSE(copy.Need(image.get(), 32, 40, 30, Settings(smPrecise, false)));
  // Resampling is only asked for with smPrecise or smMedium; smFast leaves scaling to the painter.
  EXPECT_FALSE(copy.Need(image.get(), 32, 80, 60, Settings(smFast, false)));
  EXPECT_EQ(copy.Copy(), nullptr);
  EXPECT_FALSE(copy.Building());
}

TEST(DisplayCopyTest, ResizedCopyIsBuiltOnceForEachPictureBoxSize) {
  TPGDisplayCopy copy;
  QSignalSpy finished(&copy, &TPGDisplayCopy::Finished);
  auto image = MakeImage(40, 30);
  const TDisplaySettings settings = Settings(smPrecise, false);
  ASSERT_TRUE(copy.Need(image.get(), 32, 20, 15, settings));  // built at once on this thread
  ASSERT_NE(copy.Copy(), nullptr);
  EXPECT_EQ(finished.count(), 1);
  EXPECT_TRUE(finished.at(0).at(0).toBool());
  EXPECT_EQ(copy.Copy()->Width(), 20);
  EXPECT_EQ(copy.Copy()->Height(), 15);
  EXPECT_EQ(copy.Copy()->BitCount(), bc24Bit);
  EXPECT_EQ(copy.BuiltForWidth(), 20);
  EXPECT_FALSE(copy.Dirty());
  EXPECT_FALSE(copy.Stale());
  // Painted again at the same size: the copy stands.
  const TPixelGraphic* first = copy.Copy();
  EXPECT_TRUE(copy.Need(image.get(), 32, 20, 15, settings));
  EXPECT_EQ(copy.Copy(), first);
  EXPECT_EQ(finished.count(), 1);
  // Another box size: a new copy of that size.
  EXPECT_TRUE(copy.Need(image.get(), 32, 10, 8, settings));
  EXPECT_EQ(finished.count(), 2);
  EXPECT_EQ(copy.Copy()->Width(), 10);
  // Taken out (the view reduces on load): nothing is left.
  std::unique_ptr<TPixelGraphic> taken = copy.TakeCopy();
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->Height(), 8);
  EXPECT_EQ(copy.Copy(), nullptr);
}

TEST(DisplayCopyTest, PaletteScreensGetCopiesInTheirOwnFormat) {
  TPGDisplayCopy copy;
  auto image = MakeImage(30, 20);
  TDisplaySettings settings = Settings(smFast, false);
  ASSERT_TRUE(copy.Need(image.get(), 8, 30, 20, settings));
  ASSERT_NE(copy.Copy(), nullptr);
  EXPECT_EQ(copy.Copy()->BitCount(), bc8Bit);
  EXPECT_LE(copy.Copy()->PaletteCount(), 256);
  EXPECT_EQ(copy.Steps(), 2);  // the optimised palette is a step of its own
  copy.MarkDirty();
  ASSERT_TRUE(copy.Need(image.get(), 4, 30, 20, settings));
  EXPECT_EQ(copy.Copy()->BitCount(), bc4Bit);
  EXPECT_EQ(copy.Copy()->PaletteIdent(), pSys16);
  // A standard palette asked for by the view.
  settings.Palette24 = pSpecial216;
  copy.MarkDirty();
  ASSERT_TRUE(copy.Need(image.get(), 8, 30, 20, settings));
  EXPECT_EQ(copy.Copy()->PaletteIdent(), pSpecial216);
  EXPECT_EQ(copy.Steps(), 1);
}

TEST(DisplayCopyTest, AStoppedBuildReportsNothingAndIsOwedAgain) {
  TPGDisplayCopy copy;
  QSignalSpy finished(&copy, &TPGDisplayCopy::Finished);
  auto image = MakeImage(3000, 2000);
  const TDisplaySettings settings = Settings(smPrecise, true);
  EXPECT_TRUE(copy.Need(image.get(), 32, 1500, 1000, settings));
  EXPECT_TRUE(copy.Building());
  EXPECT_FALSE(copy.Dirty());
  copy.Stop();
  EXPECT_FALSE(copy.Building());
  EXPECT_FALSE(copy.Busy());
  EXPECT_TRUE(copy.Dirty());
  // Whatever the stopped worker had queued (it has ended) is ignored.
  QCoreApplication::processEvents();
  EXPECT_EQ(finished.count(), 0);
  EXPECT_EQ(copy.Copy(), nullptr);
  // The next paint starts it again, and this one is delivered.
  EXPECT_TRUE(copy.Need(image.get(), 32, 1500, 1000, settings));
  EXPECT_TRUE(copy.Building());
  ASSERT_TRUE(finished.wait(kDeadline));
  EXPECT_TRUE(finished.at(0).at(0).toBool());
  ASSERT_NE(copy.Copy(), nullptr);
  EXPECT_EQ(copy.Copy()->Width(), 1500);
  EXPECT_FALSE(copy.Building());
}

TEST(DisplayCopyTest, KeptCopyIsStaleUntilItsSuccessorIsReady) {
  TPGDisplayCopy copy;
  QSignalSpy finished(&copy, &TPGDisplayCopy::Finished);
  auto image = MakeImage(400, 300);
  TDisplaySettings settings = Settings(smMedium, true);
  settings.KeepOld = true;
  copy.Need(image.get(), 32, 200, 150, settings);
  ASSERT_TRUE(finished.wait(kDeadline));
  const TPixelGraphic* old = copy.Copy();
  ASSERT_NE(old, nullptr);
  // A new size: the old copy stays on hand, stale, while the new one is made.
  EXPECT_TRUE(copy.Need(image.get(), 32, 100, 75, settings));
  EXPECT_EQ(copy.Copy(), old);
  EXPECT_TRUE(copy.Stale());
  ASSERT_TRUE(finished.wait(kDeadline));
  EXPECT_FALSE(copy.Stale());
  EXPECT_EQ(copy.Copy()->Width(), 100);
  // A new image: kept on screen when asked to, else dropped at once.
  copy.Discard(true);
  EXPECT_NE(copy.Copy(), nullptr);
  EXPECT_TRUE(copy.Stale());
  EXPECT_TRUE(copy.Dirty());
  copy.Discard(false);
  EXPECT_EQ(copy.Copy(), nullptr);
  EXPECT_FALSE(copy.Stale());
  // Without a thread nothing is kept: the old copy goes when the new build starts.
  settings.UseThread = false;
  copy.Need(image.get(), 32, 200, 150, settings);
  copy.Need(image.get(), 32, 50, 40, settings);
  EXPECT_EQ(copy.Copy()->Width(), 50);
  EXPECT_FALSE(copy.Stale());
}

}  // namespace
}  // namespace pg
