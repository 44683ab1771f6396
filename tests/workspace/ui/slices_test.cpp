// Slices as things in the window: the select tool, the Slice panel that edits a slice's link,
// target, ALT text and format, the numbers drawn on the picture, and the export that uses what
// the panel set (and keeps what its questions were told).
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "tests/workspace/ui/ui_test_support.h"
#include "workspace/ui/export_dialogs.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/settings.h"
#include "workspace/ui/slice_panel.h"

namespace tessel {
namespace {

class SlicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OpenSettings().clear();
    window_ = std::make_unique<TMainWindow>();
    window_->resize(900, 500);
    window_->show();
    const QString picture = dir_.filePath("picture.bmp");
    test::WritePicture(picture.toStdString(), 200, 100);
    ASSERT_TRUE(window_->OpenImage(picture));
    window_->Grid().AddVertical(120);
    window_->Grid().AddHorizontal(40);
    window_->ActualSize();
    QApplication::processEvents();
  }

  // A left click on picture pixel (x, y) (the picture is at its actual size).
  void Click(int x, int y) {
    QWidget* box = test::PicBoxWidget(window_->View());
    test::Press(box, {x, y});
    test::Release(box, {x, y});
  }
  TSlicePanel* Panel() { return window_->SlicePanel(); }
  // The colour the view shows at picture pixel (x, y).
  QRgb Shown(int x, int y) {
    const pg::TPGRect box = window_->View()->PicBoxRect();
    return window_->View()->viewport()->grab().toImage().pixel(box.Left + x, box.Top + y) & 0xFFFFFF;
  }

  QTemporaryDir dir_;
  std::unique_ptr<TMainWindow> window_;
};

TEST_F(SlicesTest, TheSelectToolPicksASliceAndThePanelEditsIt) {
  EXPECT_FALSE(Panel()->isVisible());
  QTest::keyClick(window_.get(), Qt::Key_S);
  EXPECT_EQ(window_->Tool(), TSplitTool::Select);
  EXPECT_TRUE(window_->ToolButton(TSplitTool::Select)->isChecked());
  EXPECT_TRUE(Panel()->isVisible());
  EXPECT_EQ(Panel()->TitleLabel()->text(), "No slice selected");
  EXPECT_FALSE(Panel()->AltEdit()->isEnabled());

  Click(50, 70);
  EXPECT_EQ(window_->Editor().SelectedSlice(), (TSliceKey{1, 2}));
  EXPECT_EQ(Panel()->TitleLabel()->text(), "Slice 3 (column 1, row 2)");
  EXPECT_EQ(Panel()->PlaceLabel()->text(), "At 0, 40; 120 \u00D7 60 pixels");
  EXPECT_TRUE(Panel()->AltEdit()->isEnabled());
  EXPECT_FALSE(Panel()->TargetEdit()->isEnabled());  // only with a link

  QTest::keyClicks(Panel()->AltEdit(), "Logo");
  QTest::keyClicks(Panel()->UrlEdit(), "index.html");
  EXPECT_TRUE(Panel()->TargetEdit()->isEnabled());
  QTest::keyClicks(Panel()->TargetEdit(), "main");
  EXPECT_EQ(Panel()->FormatBox()->itemText(0), "As exported (.jpg)");
  Panel()->FormatBox()->setCurrentIndex(Panel()->FormatBox()->findData("png"));
  emit Panel()->FormatBox()->activated(Panel()->FormatBox()->currentIndex());
  EXPECT_EQ(window_->Editor().Slices().Get({1, 2}), (TSliceProperties{"index.html", "main", "Logo", "png"}));
  window_->SetOutputExtension(".bmp");
  EXPECT_EQ(Panel()->FormatBox()->itemText(0), "As exported (.bmp)");

  // Another slice shows its own (empty) fields; the first keeps its text.
  Click(150, 10);
  EXPECT_EQ(Panel()->TitleLabel()->text(), "Slice 2 (column 2, row 1)");
  EXPECT_TRUE(Panel()->AltEdit()->text().isEmpty());
  EXPECT_EQ(Panel()->FormatBox()->currentIndex(), 0);
  Click(5, 95);
  EXPECT_EQ(Panel()->AltEdit()->text(), "Logo");

  // The properties follow their slice when a line above it goes, and undo takes them back.
  window_->Undo();
  EXPECT_EQ(window_->Editor().Slices().Get({1, 2}).Format, "");
  window_->Undo();
  window_->Undo();
  window_->Undo();
  EXPECT_TRUE(window_->Editor().Slices().Empty());
  EXPECT_TRUE(Panel()->AltEdit()->text().isEmpty());
  window_->Redo();
  EXPECT_EQ(window_->Editor().Slices().Get({1, 2}).Alt, "Logo");
  EXPECT_EQ(Panel()->AltEdit()->text(), "Logo");

  // A grid that leaves part of the picture out (from a grid file without the left edge): a click
  // there selects nothing.
  window_->Grid().VerticalSplits = {50, 200};
  Click(10, 10);
  EXPECT_EQ(window_->Editor().SelectedSlice(), std::nullopt);
  EXPECT_EQ(Panel()->TitleLabel()->text(), "No slice selected");
  Click(60, 10);
  EXPECT_EQ(window_->Editor().SelectedSlice(), (TSliceKey{1, 1}));
}

TEST_F(SlicesTest, NumbersOnThePictureFollowTheViewMenu) {
  QAction* numbers = window_->findChild<QAction*>("SliceNumbers");
  ASSERT_NE(numbers, nullptr);
  EXPECT_TRUE(numbers->isChecked());
  EXPECT_TRUE(window_->SliceNumbersShown());
  const auto picture = test::MakePicture(200, 100);
  const auto pictureAt = [&](int x, int y) {
    const uint8_t* p = picture->ScanLine(y) + 3 * x;
    return qRgb(p[2], p[1], p[0]) & 0xFFFFFF;
  };
  // The badge of slice 4 (column 2, row 2) stands inside its top-left corner.
  EXPECT_NE(Shown(126, 48), pictureAt(126, 48));
  numbers->trigger();
  EXPECT_FALSE(window_->SliceNumbersShown());
  EXPECT_EQ(Shown(126, 48), pictureAt(126, 48));
  // The choice is kept for the next start.
  window_.reset();
  TMainWindow again;
  EXPECT_FALSE(again.SliceNumbersShown());
}

TEST_F(SlicesTest, TheExportUsesThePanelsPropertiesAndKeepsTheQuestionsAnswers) {
  window_->SelectTool(TSplitTool::Select);
  Click(10, 10);
  window_->SetSelectedSliceProperties({"index.html", "", "Logo", ""});
  Click(150, 70);
  window_->SetSelectedSliceProperties({"", "", "", "png"});
  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  const QString html = dir_.filePath("page.html");
  ASSERT_TRUE(window_->Export(html));
  QFile file(html);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(lines[1].trimmed(),
            "<tr><td><A HREF=\"index.html\"><img src='page_11.jpg' width=120 height=40 ALT=\"Logo\" "
            "BORDER=0></A></td><td><img src='page_21.jpg' width=80 height=40></td></tr>");
  EXPECT_TRUE(lines[2].contains("page_22.png"));
  EXPECT_TRUE(QFile::exists(dir_.filePath("page_22.png")));

  // Asked per slice, the questions come filled in; what is typed there stays with the slice.
  window_->OptionsDialog()->IncAltTags()->setChecked(true);
  QStringList offered;
  const auto answer = [&offered](const char* alt) {
    return [&offered, alt](QWidget* modal) {
      auto* dialog = qobject_cast<THtmlExportDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      offered << dialog->EditAlt()->text();
      dialog->EditAlt()->setText(alt);
      dialog->accept();
    };
  };
  window_->AskOkCancel = [](const QString&, const QString&) { return true; };
  // Every slice gets an ALT text, so no warning about missing ones follows.
  test::AnswerModals({answer("Logo"), answer("Sky"), answer("Grass"), answer("Corner")});
  ASSERT_TRUE(window_->Export(html));
  EXPECT_EQ(offered, QStringList({"Logo", "", "", ""}));
  EXPECT_EQ(window_->Editor().Slices().Get({2, 1}).Alt, "Sky");
  EXPECT_EQ(window_->Editor().Slices().Get({2, 2}), (TSliceProperties{"", "", "Corner", "png"}));
  EXPECT_EQ(window_->Editor().UndoLabel(), step::kSliceProperties);
}

}  // namespace
}  // namespace tessel
