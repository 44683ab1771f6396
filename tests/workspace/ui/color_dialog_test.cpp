// The colour adjustment dialogs: ranges and labels, OK applying exactly what ApplyFilter does,
// Cancel changing nothing, and the preview computed off the dialog's thread.
#include "workspace/ui/color_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <cstring>

#include "imaging/filters/filter.h"
#include "tests/workspace/ui/ui_test_support.h"
#include "workspace/ui/main_window.h"

namespace tessel {
namespace {

bool SamePixels(const pg::TPixelGraphic& a, const pg::TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
  for (int32_t y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * 3) != 0) return false;
  }
  return true;
}

TEST(ColorDialogTest, SlidersAndLabels) {
  auto picture = test::MakePicture(30, 20);
  TColorDialog rgb(TColorDialog::kRGB, *picture);
  EXPECT_EQ(rgb.windowTitle(), "RGB Filter");
  EXPECT_EQ(rgb.Slider(0)->minimum(), -100);
  EXPECT_EQ(rgb.Slider(0)->maximum(), 100);
  EXPECT_EQ(rgb.Slider(0)->singleStep(), 10);
  TColorDialog hls(TColorDialog::kHLS, *picture);
  EXPECT_EQ(hls.windowTitle(), "HLS Filter");
  EXPECT_EQ(hls.Slider(0)->minimum(), -180);
  EXPECT_EQ(hls.Slider(0)->maximum(), 180);
  EXPECT_EQ(hls.Slider(0)->singleStep(), 15);
  EXPECT_EQ(hls.Slider(1)->maximum(), 100);
  // A hue beyond the range comes round from the other end.
  EXPECT_TRUE(hls.SpinBox(0)->wrapping());
  hls.SpinBox(0)->setValue(180);
  hls.SpinBox(0)->stepBy(1);
  EXPECT_EQ(hls.Slider(0)->value(), -180);
  // Typed as well: a turn of 200 degrees is one of -160.
  struct TTyped {
    const char* text;
    int value;
  };
  for (const TTyped& typed : {TTyped{"200", -160}, TTyped{"-200", 160}, TTyped{"540", 180},
                              TTyped{"-45", -45}, TTyped{"900", 180}, TTyped{"360", 0}}) {
    QSpinBox* field = hls.SpinBox(0);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, typed.text);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->value(), typed.value) << typed.text;
    EXPECT_EQ(hls.Slider(0)->value(), typed.value) << typed.text;
  }
  EXPECT_EQ(WrapAngle(181, -180, 180), -179);
  EXPECT_EQ(WrapAngle(-181, -180, 180), 179);
  EXPECT_EQ(WrapAngle(999999999, -180, 180), -81);  // 2777778 turns less
  // The percent fields keep their range.
  QSpinBox* lightness = hls.SpinBox(1);
  lightness->selectAll();
  QTest::keyClicks(lightness, "150");
  EXPECT_LE(lightness->value(), 100);
  QStringList texts;
  for (QLabel* label : hls.findChildren<QLabel*>()) texts << label->text();
  EXPECT_TRUE(texts.contains("-180\u00B0"));
  EXPECT_TRUE(texts.contains("+180\u00B0"));
  EXPECT_TRUE(texts.contains("-100%"));
  EXPECT_TRUE(texts.contains("+100%"));
  // Channel names from the message table, with the degree sign after the hue and the plus-minus
  // sign after the percent channels.
  EXPECT_TRUE(texts.contains("H \u00B0"));
  EXPECT_TRUE(texts.contains("L \u00B1"));
  EXPECT_TRUE(texts.contains("S \u00B1"));
  TColorDialog cmy(TColorDialog::kCMY, *picture);
  EXPECT_EQ(cmy.windowTitle(), "CMY Filter");
  QStringList buttons;
  for (QPushButton* button : cmy.findChildren<QPushButton*>()) buttons << button->text();
  buttons.sort();
  EXPECT_EQ(buttons, QStringList({"Cancel", "OK"}));
}

TEST(ColorDialogTest, OkAppliesTheFilterExactlyAndCancelChangesNothing) {
  TMainWindow window;
  QTemporaryDir dir;
  const QString path = dir.filePath("p.bmp");
  test::WritePicture(path.toStdString(), 40, 30);
  ASSERT_TRUE(window.OpenImage(path));
  window.Grid().AddVertical(10);
  auto expected = test::MakePicture(40, 30);
  pg::TCMYFilter filter;
  filter.SetAdjustment(50, 0, -30);
  expected->ApplyFilter(filter, *expected);

  test::AnswerNextModal([](QWidget* modal) {
    auto* dialog = qobject_cast<TColorDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->Slider(0)->setValue(50);
    dialog->Slider(2)->setValue(-30);
    dialog->accept();
  });
  window.findChild<QAction*>("CMY")->trigger();
  EXPECT_TRUE(SamePixels(*window.View()->PixelGraphic(), *expected));
  EXPECT_EQ(window.Grid().VerticalSplits.Values(), (std::vector<int32_t>{0, 40, 10}));

  test::AnswerNextModal([](QWidget* modal) {
    auto* dialog = qobject_cast<TColorDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->Slider(0)->setValue(100);
    dialog->reject();
  });
  window.findChild<QAction*>("HLS")->trigger();
  EXPECT_TRUE(SamePixels(*window.View()->PixelGraphic(), *expected));
}

TEST(ColorDialogTest, PreviewIsComputedOffTheDialogThread) {
  // Large enough that a preview takes a moment; the sliders answer at once all the same.
  auto picture = test::MakePicture(1200, 900);
  TColorDialog dialog(TColorDialog::kHLS, *picture);
  dialog.show();
  QElapsedTimer clock;
  clock.start();
  for (int i = 1; i <= 12; ++i) dialog.Slider(0)->setValue(i * 15 - 180);
  dialog.Slider(1)->setValue(20);
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_EQ(dialog.PreviewRequests(), 13);
  // Only the newest request ends up on screen: the small copy filtered with the final values is
  // the first preview shown.
  pg::THLSFilter filter;
  filter.SetAdjustment(0, 20, 0);
  pg::TPixelGraphic expected;
  expected.ApplyFilter(filter, *dialog.SourcePreview()->PixelGraphic());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const pg::TPixelGraphic* shown = dialog.FilteredPreview()->PixelGraphic();
        return dialog.PreviewsShown() > 0 && shown != nullptr && SamePixels(*shown, expected);
      },
      30000));
  EXPECT_EQ(dialog.PreviewsShown(), 1);
}

}  // namespace
}  // namespace tessel
