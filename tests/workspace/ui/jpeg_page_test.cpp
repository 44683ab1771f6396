// The JPEG Compression page: the one-second timer, the progressive box, the size label, the number
// field and the private directory of the temporary file.
#include "workspace/ui/jpeg_page.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "imaging/formats/file_format.h"
#include "tests/workspace/ui/ui_test_support.h"
#include "workspace/ui/main_window.h"

namespace tessel {
namespace {

class JpegPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = pg::FormatOptions();
    page_.SetTempDirectory(std::filesystem::path(dir_.path().toStdString()) / "private");
    page_.resize(500, 300);
    page_.show();
    picture_ = test::MakePicture(64, 48);
  }
  void TearDown() override { pg::FormatOptions() = saved_; }

  QTemporaryDir dir_;
  TJpegPage page_;
  std::unique_ptr<pg::TPixelGraphic> picture_;
  pg::TFormatOptions saved_;
};

TEST_F(JpegPageTest, StartsWithDefaults) {
  EXPECT_EQ(page_.SizeLabel()->text(), "-");
  EXPECT_EQ(page_.Slider()->value(), 80);
  EXPECT_EQ(page_.Slider()->minimum(), 0);
  EXPECT_EQ(page_.Slider()->maximum(), 100);
  EXPECT_EQ(page_.Slider()->tickInterval(), 5);
  EXPECT_EQ(page_.SpinEdit()->value(), 80);
  EXPECT_EQ(page_.Timer()->interval(), 1000);
  EXPECT_EQ(page_.Splitter()->handleWidth(), 5);
  EXPECT_EQ(page_.TempFile().filename(), "~tessel.jpg");
  QStringList texts;
  for (QLabel* label : page_.findChildren<QLabel*>()) texts << label->text();
  for (const char* text : {"Best Compression", "Best Quality", "Quality (0-100%):"}) {
    EXPECT_TRUE(texts.contains(text)) << text;
  }
  QStringList buttons;
  for (QPushButton* button : page_.findChildren<QPushButton*>()) buttons << button->text();
  EXPECT_EQ(buttons, QStringList({"Zoom In", "Zoom Out", "Actual Size"}));
  EXPECT_EQ(page_.Progressive()->text(), "Progressive Encoding");
  EXPECT_EQ(page_.LeftView()->objectName(), "PGImage2");
  EXPECT_EQ(page_.RightView()->objectName(), "PGImage3");
}

TEST_F(JpegPageTest, SeveralSliderMovesWithinASecondGiveOneCompression) {
  page_.SourceChanged(picture_.get());
  page_.Slider()->setValue(50);
  page_.Slider()->setValue(40);
  page_.Slider()->setValue(30);
  EXPECT_EQ(page_.SpinEdit()->value(), 30);
  EXPECT_EQ(page_.Compressions(), 0);
  EXPECT_TRUE(page_.Timer()->isActive());
  EXPECT_TRUE(QTest::qWaitFor([this] { return page_.Compressions() > 0; }, 30000));
  EXPECT_EQ(page_.Compressions(), 1);
  // The timer stopped with that step: no second compression can follow.
  EXPECT_FALSE(page_.Timer()->isActive());
  EXPECT_EQ(pg::FormatOptions().JPEGQuality, 30);
  EXPECT_FALSE(pg::FormatOptions().JPEGProgressive);
  // The label shows the real size of the temporary file, and the right view its contents.
  const auto size = std::filesystem::file_size(page_.TempFile());
  EXPECT_EQ(page_.SizeLabel()->text(), QString("Compressed file size : %1 bytes").arg(size));
  EXPECT_EQ(page_.RightView()->PixelGraphicWidth(), 64);
  EXPECT_EQ(page_.RightView()->PixelGraphicHeight(), 48);
}

TEST_F(JpegPageTest, ProgressiveBoxCompressesAtOnce) {
  page_.SourceChanged(picture_.get());
  page_.Progressive()->click();
  EXPECT_EQ(page_.Compressions(), 1);
  EXPECT_TRUE(pg::FormatOptions().JPEGProgressive);
  EXPECT_EQ(pg::FormatOptions().JPEGQuality, 80);
  EXPECT_FALSE(page_.Timer()->isActive());
}

TEST_F(JpegPageTest, NumberFieldAndSliderFollowEachOther) {
  page_.SourceChanged(picture_.get());
  page_.TimerStep();
  const int before = page_.Compressions();
  // Typed into the field: the slider follows and the picture is compressed at that quality.
  QSpinBox* field = page_.SpinEdit();
  field->setFocus();
  field->selectAll();
  QTest::keyClicks(field, "90");
  EXPECT_EQ(page_.Slider()->value(), 90);
  EXPECT_TRUE(page_.Timer()->isActive());
  page_.TimerStep();
  EXPECT_EQ(page_.Compressions(), before + 1);
  EXPECT_EQ(pg::FormatOptions().JPEGQuality, 90);
  // And the other way round.
  page_.Slider()->setValue(35);
  EXPECT_EQ(field->value(), 35);
  page_.Stop();
}

TEST_F(JpegPageTest, TheTwoViewsScrollTogether) {
  auto big = test::MakePicture(1200, 900);
  page_.SourceChanged(big.get());
  page_.TimerStep();
  QApplication::processEvents();
  ASSERT_EQ(page_.RightView()->PixelGraphicWidth(), 1200);
  page_.LeftView()->SetHorzScrollPos(150);
  page_.LeftView()->SetVertScrollPos(70);
  EXPECT_EQ(page_.RightView()->HorzScrollPos(), 150);
  EXPECT_EQ(page_.RightView()->VertScrollPos(), 70);
  page_.RightView()->SetHorzScrollPos(40);
  EXPECT_EQ(page_.LeftView()->HorzScrollPos(), 40);
  // A view that cannot scroll as far does not hold the other back.
  page_.Splitter()->setSizes({100, 400});
  QApplication::processEvents();
  page_.LeftView()->SetHorzScrollPos(1100);
  EXPECT_EQ(page_.LeftView()->HorzScrollPos(), 1100);
  EXPECT_EQ(page_.RightView()->HorzScrollPos(), page_.RightView()->horizontalScrollBar()->maximum());
}

TEST_F(JpegPageTest, WithoutImageTheTimerKeepsRunningAndDoesNothing) {
  page_.Slider()->setValue(20);
  page_.TimerStep();
  EXPECT_EQ(page_.Compressions(), 0);
  EXPECT_TRUE(page_.Timer()->isActive());
  EXPECT_EQ(pg::FormatOptions().JPEGQuality, 80);
}

TEST_F(JpegPageTest, TemporaryDirectoryIsPrivate) {
  page_.SourceChanged(picture_.get());
  page_.TimerStep();
  struct stat info {};
  ASSERT_EQ(::lstat(page_.TempDirectory().c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700);
  EXPECT_TRUE(std::filesystem::exists(page_.TempFile()));
}

TEST_F(JpegPageTest, ALinkInPlaceOfTheDirectoryIsRefused) {
  const auto target = std::filesystem::path(dir_.path().toStdString()) / "elsewhere";
  std::filesystem::create_directory(target);
  std::filesystem::create_directory_symlink(target, page_.TempDirectory());
  page_.SourceChanged(picture_.get());
  test::AnswerNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
  page_.TimerStep();
  EXPECT_EQ(page_.SizeLabel()->text(), "-");
  EXPECT_FALSE(std::filesystem::exists(target / "~tessel.jpg"));
}

TEST_F(JpegPageTest, ZoomButtonsKeepBothViewsTogether) {
  page_.SourceChanged(picture_.get());
  page_.findChild<QPushButton*>("ZoomIn")->click();
  page_.findChild<QPushButton*>("ZoomIn")->click();
  EXPECT_EQ(page_.LeftView()->ZoomFactor(), 4.0L);
  EXPECT_EQ(page_.RightView()->ZoomFactor(), 4.0L);
  page_.findChild<QPushButton*>("ZoomOut")->click();
  EXPECT_EQ(page_.RightView()->ZoomFactor(), 2.0L);
  page_.findChild<QPushButton*>("ActualSize")->click();
  EXPECT_EQ(page_.LeftView()->ZoomFactor(), 1.0L);
  EXPECT_EQ(page_.RightView()->ZoomFactor(), 1.0L);
}

TEST_F(JpegPageTest, LabelStaysAboveTheRightView) {
  QApplication::processEvents();
  page_.Splitter()->setSizes({300, 200});
  emit page_.Splitter()->splitterMoved(300, 1);
  const QRect right = page_.RightView()->geometry().translated(page_.Splitter()->pos());
  EXPECT_EQ(page_.SizeLabel()->geometry().left(), right.left());
  EXPECT_EQ(page_.SizeLabel()->geometry().width(), right.width());
}

}  // namespace
}  // namespace tessel
