// The main window: menus, the split paths through mouse events on the view and the rulers, add by
// number, output formats, undo and redo, recent lists and the settings.
#include "workspace/ui/main_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "imaging/formats/file_format.h"
#include "tests/workspace/ui/ui_test_support.h"
#include "workspace/ui/jpeg_page.h"
#include "workspace/ui/preferences_dialog.h"
#include "workspace/ui/ruler.h"
#include "workspace/ui/settings.h"

namespace tessel {
namespace {

using test::Move;
using test::Press;
using test::Release;
using ::testing::ElementsAre;

std::vector<int32_t> H(TMainWindow& w) {
  return w.Grid().HorizontalSplits.Values();
}
std::vector<int32_t> V(TMainWindow& w) {
  return w.Grid().VerticalSplits.Values();
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings settings = OpenSettings();
    settings.clear();
    window_ = std::make_unique<TMainWindow>();
    window_->resize(600, 400);
    window_->show();
    picture_ = dir_.filePath("picture.bmp");
    test::WritePicture(picture_.toStdString(), 200, 100);
  }
  void TearDown() override { window_.reset(); }

  // Opens the 200 x 100 test picture.
  void Open() {
    ASSERT_TRUE(window_->OpenImage(picture_));
    QApplication::processEvents();
  }
  QAction* Action(const char* name) { return window_->findChild<QAction*>(name); }
  QWidget* Box() { return test::PicBoxWidget(window_->View()); }
  // Image pixel (x, y) in picture-box pixels (the identity at natural size).
  QPoint At(int x, int y) { return {x, y}; }

  QTemporaryDir dir_;
  QString picture_;
  std::unique_ptr<TMainWindow> window_;
};

TEST_F(MainWindowTest, StartsAsTesselWithEmptyGridAndFirstToolDown) {
  EXPECT_EQ(window_->windowTitle(), "Tessel!");
  EXPECT_EQ(window_->size(), QSize(600, 400));
  EXPECT_TRUE(window_->Grid().HorizontalSplits.Values().empty());
  EXPECT_TRUE(window_->Grid().VerticalSplits.Values().empty());
  EXPECT_EQ(window_->OutputExtension(), ".jpg");
  EXPECT_TRUE(window_->ToolButton(TSplitTool::Vertical)->isChecked());
  EXPECT_EQ(window_->ToolButton(TSplitTool::Vertical)->toolTip(), "Create vertical split");
  EXPECT_EQ(window_->ToolButton(TSplitTool::Horizontal)->toolTip(), "Create horizontal split");
  EXPECT_EQ(window_->ToolButton(TSplitTool::Rectangle)->toolTip(), "Create splits from rectangle");
  EXPECT_EQ(window_->ToolButton(TSplitTool::Cross)->toolTip(), "Create horizontal AND vertical split");
  EXPECT_EQ(window_->View()->ActionMode(), pg::amNone);
  EXPECT_EQ(window_->View()->Stretch(), pg::sZoomKAR);
  EXPECT_EQ(window_->View()->StretchMode(), pg::smPrecise);
  EXPECT_EQ(window_->TopRuler()->height(), 25);
  EXPECT_EQ(window_->LeftRuler()->width(), 25);
  EXPECT_EQ(window_->TopRuler()->font().family(), "Arial");
  EXPECT_EQ(window_->TopRuler()->font().pixelSize(), 9);
}

TEST_F(MainWindowTest, MenusCarryTheirCaptionsShortcutsAndSeparators) {
  QStringList top;
  for (QAction* action : window_->menuBar()->actions()) top << action->text();
  EXPECT_EQ(top, QStringList({"&File", "&Edit", "&View", "&Tools", "&Output Format", "&Help"}));
  auto entries = [](QMenu* menu) {
    QStringList list;
    for (QAction* action : menu->actions()) {
      list << (action->isSeparator()
                   ? QString("-")
                   : action->text() +
                         (action->shortcut().isEmpty() ? QString() : "\t" + action->shortcut().toString()));
    }
    return list;
  };
  auto menu = [this](const char* name) { return window_->findChild<QMenu*>(name); };
  EXPECT_EQ(entries(menu("FileMenu")),
            QStringList({"&Open...\tCtrl+L", "Open &Project...\tCtrl+O", "&Export\tCtrl+S", "&Reopen Image",
                         "Reopen Pro&ject", "-", "Sa&ve Project\tCtrl+Shift+S", "Save Project &As...", "-",
                         "&Load Grid", "&Save Grid", "&Reopen Grid", "-", "E&xit"}));
  EXPECT_EQ(entries(menu("ToolsMenu")),
            QStringList({"&Vertical Line Tool\tV", "&Horizontal Line Tool\tH", "&Rectangle Tool\tR",
                         "Cro&ss Tool\tC", "S&elect Tool\tS", "-", "&Color Adjustment", "&Add Splitline",
                         "&Divide...", "C&lear Splits", "-", "&Options"}));
  EXPECT_EQ(entries(Action("ColorAdjustment")->menu()), QStringList({"&RGB", "C&MY", "&HLS"}));
  // Ctrl+X and Ctrl+Y stay Cut and Redo as everywhere else.
  EXPECT_EQ(entries(Action("AddSplitline")->menu()),
            QStringList({"&Horizontal\tCtrl+Alt+H", "&Vertical\tCtrl+Alt+V"}));
  EXPECT_EQ(entries(menu("ViewMenu")), QStringList({"Zoom &In\tCtrl+=", "Zoom &Out\tCtrl+-", "&Fit\tCtrl+0",
                                                    "&Actual Size\tCtrl+1", "-", "&Snap to Lines and Edges",
                                                    "Snap S&tep...", "-", "Slice &Numbers", "Slice &Panel"}));
  EXPECT_EQ(Action("ZoomIn")->shortcuts().value(1), QKeySequence("Ctrl++"));
  EXPECT_EQ(entries(menu("OutputFormatMenu")), QStringList({".jpg", ".bmp", ".tif", ".png", ".png (8-bit)",
                                                            ".webp", ".webp (lossless)", ".avif"}));
  EXPECT_EQ(entries(menu("HelpMenu")), QStringList({"&Usage", "-", "&About"}));
  EXPECT_EQ(
      entries(menu("EditMenu")),
      QStringList({"&Undo	Ctrl+Z", "&Redo	Ctrl+Shift+Z", "-", "&Copy Image	Ctrl+C",
                   "&Paste as New Image	Ctrl+V", "-", "&Delete Line	Del", "-", "Pr&eferences..."}));
  EXPECT_TRUE(Action("Format.jpg")->isChecked());
  EXPECT_EQ(Action("Horizontal")->data().toInt(), 1);
  EXPECT_EQ(Action("Vertical")->data().toInt(), 0);
}

TEST_F(MainWindowTest, EnablingFollowsImageAndPage) {
  window_->UpdateMenuState();
  for (const char* name : {"Export", "LoadGrid", "SaveGrid", "ReopenGrid", "ColorAdjustment", "AddSplitline",
                           "ClearSplits", "RGB", "Undo", "Redo"}) {
    EXPECT_FALSE(Action(name)->isEnabled()) << name;
  }
  EXPECT_FALSE(Action("ReopenImage")->isEnabled());  // empty list
  EXPECT_TRUE(Action("Options")->isEnabled());
  Open();
  window_->UpdateMenuState();
  for (const char* name : {"Export", "LoadGrid", "SaveGrid", "ReopenGrid", "ColorAdjustment", "AddSplitline",
                           "ClearSplits", "CMY", "HLS", "ReopenImage"}) {
    EXPECT_TRUE(Action(name)->isEnabled()) << name;
  }
  EXPECT_FALSE(Action("RGB")->isEnabled());
  EXPECT_TRUE(window_->findChild<QMenu*>("ToolsMenu")->menuAction()->isEnabled());
  window_->Pages()->setCurrentWidget(window_->JpegPage());
  EXPECT_FALSE(window_->findChild<QMenu*>("ToolsMenu")->menuAction()->isEnabled());
  EXPECT_FALSE(Action("Horizontal")->isEnabled());
  window_->Pages()->setCurrentWidget(window_->SourcePage());
  EXPECT_TRUE(window_->findChild<QMenu*>("ToolsMenu")->menuAction()->isEnabled());
}

TEST_F(MainWindowTest, OpeningResetsGridAndSetsCaptionAndRecentList) {
  Open();
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
  EXPECT_THAT(H(*window_), ElementsAre(0, 100));
  EXPECT_EQ(window_->windowTitle(), "Tessel! - [" + picture_ + "][*]");
  EXPECT_FALSE(window_->isWindowModified());
  EXPECT_EQ(window_->RecentImages().value(0), QFileInfo(picture_).absoluteFilePath());
}

TEST_F(MainWindowTest, FailedOpenLeavesEverythingAsItWas) {
  Open();
  window_->Grid().AddVertical(50);
  QFile bad(dir_.filePath("bad.bmp"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("BM not a bitmap");
  bad.close();
  QString shown;
  test::AnswerNextModal([&shown](QWidget* box) {
    shown = static_cast<QMessageBox*>(box)->text();
    static_cast<QDialog*>(box)->accept();
  });
  EXPECT_FALSE(window_->OpenImage(bad.fileName()));
  EXPECT_FALSE(shown.isEmpty());
  EXPECT_EQ(window_->ImageWidth(), 200);
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 50));
  EXPECT_EQ(window_->RecentImages().size(), 1);
}

TEST_F(MainWindowTest, LineToolDragAddsAndMergesAndRemoves) {
  Open();
  QWidget* box = Box();
  // A new vertical line at x = 120.
  Press(box, At(120, 50));
  EXPECT_EQ(window_->DragState(), TDragState::Vertical);
  Move(box, At(121, 50));
  Move(box, At(120, 50));
  Release(box, At(120, 50));
  EXPECT_EQ(window_->DragState(), TDragState::None);
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 120));
  // The pointer grabs a line a few pixels beside it.
  Move(box, At(115, 50), Qt::NoButton);
  EXPECT_EQ(window_->SplitPointer(), TSplitPointer::Arrow);
  Move(box, At(116, 50), Qt::NoButton);
  EXPECT_EQ(window_->SplitPointer(), TSplitPointer::LeftRight);
  Move(box, At(120, 50), Qt::NoButton);
  EXPECT_EQ(window_->SplitPointer(), TSplitPointer::LeftRight);
  // Picked up and dropped onto the right edge: merges (one entry stays).
  Press(box, At(120, 50));
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
  Move(box, At(200, 50));
  Release(box, At(200, 50));
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
  EXPECT_EQ(window_->SplitPointer(), TSplitPointer::Arrow);
}

TEST_F(MainWindowTest, HorizontalLineDroppedBelowThePictureIsGone) {
  Open();
  QWidget* box = Box();
  window_->SelectTool(TSplitTool::Horizontal);
  Press(box, At(10, 40));
  Release(box, At(10, 40));
  EXPECT_THAT(H(*window_), ElementsAre(0, 100, 40));
  // The horizontal list is tested first: over y = 40 the up-down pointer shows.
  Move(box, At(0, 40), Qt::NoButton);
  EXPECT_EQ(window_->SplitPointer(), TSplitPointer::UpDown);
  Press(box, At(0, 40));
  Move(box, At(0, 150));
  Release(box, At(0, 150));
  EXPECT_THAT(H(*window_), ElementsAre(0, 100));
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
}

TEST_F(MainWindowTest, RightClickSwitchesLineToolsOnly) {
  Open();
  QWidget* box = Box();
  Press(box, At(10, 10), Qt::RightButton);
  Release(box, At(10, 10), Qt::RightButton);
  EXPECT_EQ(window_->Tool(), TSplitTool::Horizontal);
  Press(box, At(10, 10), Qt::RightButton);
  Release(box, At(10, 10), Qt::RightButton);
  EXPECT_EQ(window_->Tool(), TSplitTool::Vertical);
  window_->SelectTool(TSplitTool::Rectangle);
  Press(box, At(10, 10), Qt::RightButton);
  Release(box, At(10, 10), Qt::RightButton);
  EXPECT_EQ(window_->Tool(), TSplitTool::Rectangle);
  window_->SelectTool(TSplitTool::Cross);
  Press(box, At(10, 10), Qt::RightButton);
  Release(box, At(10, 10), Qt::RightButton);
  EXPECT_EQ(window_->Tool(), TSplitTool::Cross);
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
}

TEST_F(MainWindowTest, RectangleToolAddsFourValuesInOrder) {
  Open();
  window_->SelectTool(TSplitTool::Rectangle);
  EXPECT_EQ(window_->View()->ActionMode(), pg::amCreateSelection);
  QWidget* box = Box();
  Press(box, At(10, 20));
  Move(box, At(40, 60));
  Release(box, At(40, 60));
  // left 10, top 20, width 31, height 41.
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 10, 41));
  EXPECT_THAT(H(*window_), ElementsAre(0, 100, 20, 61));
  EXPECT_FALSE(window_->View()->Selection());
}

TEST_F(MainWindowTest, CrossToolAddsBothLinesAtRelease) {
  Open();
  window_->SelectTool(TSplitTool::Cross);
  QWidget* box = Box();
  Press(box, At(30, 70));
  Release(box, At(30, 70));
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 30));
  EXPECT_THAT(H(*window_), ElementsAre(0, 100, 70));
  EXPECT_FALSE(window_->View()->Selection());
  // Outside the picture nothing is added.
  Press(box, At(30, 70));
  Release(box, At(30, 170));
  EXPECT_THAT(H(*window_), ElementsAre(0, 100, 70));
}

TEST_F(MainWindowTest, RulerReleasesAddSplitsAndClicksPressLineTools) {
  Open();
  TRuler* top = window_->TopRuler();
  TRuler* left = window_->LeftRuler();
  window_->SelectTool(TSplitTool::Cross);
  Press(top, {25 + 80, 5});
  Release(top, {25 + 80, 5});
  EXPECT_EQ(window_->Tool(), TSplitTool::Horizontal);
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 80));
  // The corner (x - 25 = 0) adds nothing; duplicates are not checked.
  Release(top, {25, 5}, Qt::RightButton);
  Release(top, {25 + 80, 5}, Qt::RightButton);
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 80, 80));
  Press(left, {5, 30});
  Release(left, {5, 30});
  EXPECT_EQ(window_->Tool(), TSplitTool::Vertical);
  EXPECT_THAT(H(*window_), ElementsAre(0, 100, 30));
  Release(left, {5, 101});
  EXPECT_THAT(H(*window_), ElementsAre(0, 100, 30));
}

TEST_F(MainWindowTest, RulerReleasesWithoutImageAcceptOnlyLeftRulerZero) {
  Release(window_->TopRuler(), {26, 5});
  Release(window_->TopRuler(), {25, 5});
  Release(window_->LeftRuler(), {5, 1});
  EXPECT_TRUE(V(*window_).empty());
  EXPECT_TRUE(H(*window_).empty());
  Release(window_->LeftRuler(), {5, 0});
  EXPECT_THAT(H(*window_), ElementsAre(0));
}

TEST_F(MainWindowTest, AddByNumberAcceptsGoodTextAndRemembersIt) {
  Open();
  QString title;
  test::AnswerNextModal([&title](QWidget* modal) {
    auto* dialog = static_cast<QInputDialog*>(modal);
    title = dialog->windowTitle();
    EXPECT_EQ(dialog->textValue(), "");
    dialog->setTextValue("100");
    dialog->accept();
  });
  window_->AddSplitByNumber(0);
  EXPECT_EQ(title, "Enter position (0-200)");
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100));
  // The field shows the text accepted last time; the same value again is kept twice.
  test::AnswerNextModal([&title](QWidget* modal) {
    auto* dialog = static_cast<QInputDialog*>(modal);
    title = dialog->windowTitle();
    EXPECT_EQ(dialog->textValue(), "100");
    dialog->accept();
  });
  window_->AddSplitByNumber(1);
  EXPECT_EQ(title, "Enter position (0-100)");
  EXPECT_THAT(H(*window_), ElementsAre(0, 100, 100));
}

TEST_F(MainWindowTest, ShortcutsReachTheirCommandsOnlyWhereTheMenusAllowThem) {
  Open();
  // Key presses go to the active window; a closed dialog does not give activation back here.
  const auto activate = [this] {
    window_->activateWindow();
    return QTest::qWaitForWindowActive(window_.get());
  };
  ASSERT_TRUE(activate());
  QString title;
  const auto answer = [&title] {
    test::AnswerNextModal([&title](QWidget* modal) {
      title = modal->windowTitle();
      static_cast<QDialog*>(modal)->reject();
    });
  };
  answer();
  QTest::keyClick(window_.get(), Qt::Key_H, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(title, "Enter position (0-100)");
  title.clear();
  answer();
  ASSERT_TRUE(activate());
  QTest::keyClick(window_.get(), Qt::Key_V, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(title, "Enter position (0-200)");
  // Single keys choose the tools.
  ASSERT_TRUE(activate());
  QTest::keyClick(window_.get(), Qt::Key_R);
  EXPECT_EQ(window_->Tool(), TSplitTool::Rectangle);
  EXPECT_TRUE(window_->ToolButton(TSplitTool::Rectangle)->isChecked());
  QTest::keyClick(window_.get(), Qt::Key_C);
  EXPECT_EQ(window_->Tool(), TSplitTool::Cross);
  QTest::keyClick(window_.get(), Qt::Key_H);
  EXPECT_EQ(window_->Tool(), TSplitTool::Horizontal);
  QTest::keyClick(window_.get(), Qt::Key_V);
  EXPECT_EQ(window_->Tool(), TSplitTool::Vertical);
  // A tool chosen another way shows in the menu too.
  window_->SelectTool(TSplitTool::Cross);
  EXPECT_TRUE(Action("CrossTool")->isChecked());
  window_->SelectTool(TSplitTool::Vertical);
  // On the compression page the Tools menu and its shortcuts are off.
  window_->Pages()->setCurrentWidget(window_->JpegPage());
  title.clear();
  ASSERT_TRUE(activate());
  QTest::keyClick(window_.get(), Qt::Key_H, Qt::ControlModifier | Qt::AltModifier);
  QTest::keyClick(window_.get(), Qt::Key_R);
  EXPECT_TRUE(title.isEmpty());
  EXPECT_EQ(window_->Tool(), TSplitTool::Vertical);
  window_->JpegPage()->Stop();
  QApplication::processEvents();
}

TEST_F(MainWindowTest, AddByNumberRejectsBadAndOutOfRangeText) {
  Open();
  QString message;
  test::AnswerModals({[](QWidget* modal) {
                        static_cast<QInputDialog*>(modal)->setTextValue("12a");
                        static_cast<QDialog*>(modal)->accept();
                      },
                      [&message](QWidget* modal) {
                        message = static_cast<QMessageBox*>(modal)->text();
                        static_cast<QDialog*>(modal)->accept();
                      }});
  window_->AddSplitByNumber(0);
  EXPECT_EQ(message, "'12a' is not a valid integer value");
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
  // Positions outside the picture are refused with a message that gives the range.
  for (const char* text : {"-1", "201"}) {
    message.clear();
    test::AnswerModals({[text](QWidget* modal) {
                          static_cast<QInputDialog*>(modal)->setTextValue(text);
                          static_cast<QDialog*>(modal)->accept();
                        },
                        [&message](QWidget* modal) {
                          message = static_cast<QMessageBox*>(modal)->text();
                          static_cast<QDialog*>(modal)->accept();
                        }});
    window_->AddSplitByNumber(0);
    EXPECT_EQ(message, QString(text) + " lies outside the picture: a vertical line goes from 0 to 200.");
  }
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
  EXPECT_EQ(window_->LastNumberText(), "201");
  test::AnswerNextModal([](QWidget* modal) {
    static_cast<QInputDialog*>(modal)->setTextValue("200");
    static_cast<QDialog*>(modal)->reject();
  });
  window_->AddSplitByNumber(0);  // Cancel adds nothing
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
}

TEST_F(MainWindowTest, OutputFormatHidesJpegPageAndActivatesSource) {
  QTabWidget* pages = window_->Pages();
  const int jpeg = pages->indexOf(window_->JpegPage());
  pages->setCurrentIndex(jpeg);
  Action("Format.png")->trigger();
  EXPECT_EQ(window_->OutputExtension(), ".png");
  EXPECT_FALSE(pages->isTabVisible(jpeg));
  EXPECT_EQ(pages->currentWidget(), window_->SourcePage());
  EXPECT_TRUE(Action("Format.png")->isChecked());
  EXPECT_FALSE(Action("Format.jpg")->isChecked());
  Action("Format.bmp")->trigger();
  EXPECT_EQ(window_->OutputExtension(), ".bmp");
  // Two entries write .png: the menu tells them apart by the format's name.
  Action("Format.png8")->trigger();
  EXPECT_EQ(window_->OutputFormat(), "png8");
  EXPECT_EQ(window_->OutputExtension(), ".png");
  EXPECT_TRUE(Action("Format.png8")->isChecked());
  EXPECT_FALSE(Action("Format.png")->isChecked());
  Action("Format.jpg")->trigger();
  EXPECT_TRUE(pages->isTabVisible(jpeg));
  EXPECT_EQ(pages->currentWidget(), window_->SourcePage());
}

TEST_F(MainWindowTest, EveryPageChangeHandsThePictureToTheCompressionPage) {
  TJpegPage* page = window_->JpegPage();
  page->SetTempDirectory(std::filesystem::path(dir_.path().toStdString()) / "preview");
  // Without a picture a page change starts nothing.
  window_->Pages()->setCurrentWidget(page);
  window_->Pages()->setCurrentWidget(window_->SourcePage());
  EXPECT_FALSE(page->Timer()->isActive());
  Open();
  window_->Pages()->setCurrentWidget(page);
  EXPECT_EQ(page->LeftView()->PixelGraphicWidth(), 200);
  EXPECT_TRUE(page->Timer()->isActive());
  page->TimerStep();
  EXPECT_FALSE(page->Timer()->isActive());
  // Going back to "Source" is a page change too: the picture as it stands now, compressed anew.
  window_->View()->PixelGraphic()->NewImage(30, 20, pg::bc24Bit);
  window_->View()->PixelGraphicChanged();
  window_->Pages()->setCurrentWidget(window_->SourcePage());
  EXPECT_EQ(page->LeftView()->PixelGraphicWidth(), 30);
  EXPECT_TRUE(page->Timer()->isActive());
  page->Stop();
}

TEST_F(MainWindowTest, UndoAndRedoStepThroughGridEdits) {
  Open();
  window_->DivideImage(2, 2);
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100));
  EXPECT_THAT(H(*window_), ElementsAre(0, 100, 50));
  QWidget* box = Box();
  Press(box, At(150, 10));
  Release(box, At(150, 10));
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100, 150));
  window_->ClearSplits();
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
  window_->Undo();
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100, 150));
  window_->Undo();
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100));
  window_->Undo();
  EXPECT_THAT(V(*window_), ElementsAre(0, 200));
  EXPECT_THAT(H(*window_), ElementsAre(0, 100));
  window_->Redo();
  window_->Redo();
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100, 150));
  // A new edit forgets what could be redone.
  window_->DivideImage(4, 1);
  window_->UpdateMenuState();
  EXPECT_FALSE(Action("Redo")->isEnabled());
  EXPECT_TRUE(Action("Undo")->isEnabled());
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100, 150, 50));
  // A pick-up and drop is one step (the line moves to the end of its list); put back where it
  // was, it stays in its place and makes no step.
  Move(box, At(150, 10), Qt::NoButton);
  Press(box, At(150, 10));
  Move(box, At(160, 10));
  Release(box, At(150, 10));
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100, 150, 50));
  Press(box, At(150, 10));
  Move(box, At(160, 10));
  Release(box, At(157, 10));
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100, 50, 157));
  window_->Undo();
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100, 150, 50));
  window_->Undo();
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 100, 150));
}

TEST_F(MainWindowTest, GridFilesLoadSaveAndClampWithMessages) {
  Open();
  window_->Grid().AddVertical(120);
  const QString grid = dir_.filePath("g.grd");
  ASSERT_TRUE(window_->SaveGridFile(grid));
  EXPECT_EQ(window_->RecentGrids().value(0), QFileInfo(grid).absoluteFilePath());
  QFile file(grid);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("0\r\n100\r\n-\r\n0\r\n200\r\n120\r\n"));
  file.close();
  const QString big = dir_.filePath("big.grd");
  QFile out(big);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write("0\r\n150\r\n-\r\n0\r\n");
  out.close();
  QString message;
  test::AnswerNextModal([&message](QWidget* modal) {
    message = static_cast<QMessageBox*>(modal)->text();
    static_cast<QDialog*>(modal)->accept();
  });
  EXPECT_TRUE(window_->LoadGridFile(big));
  EXPECT_EQ(message, "Grid larger than image, line 150 out of bounds!");
  EXPECT_THAT(H(*window_), ElementsAre(0, 100));
  EXPECT_THAT(V(*window_), ElementsAre(0));
  EXPECT_EQ(window_->RecentGrids().value(0), QFileInfo(big).absoluteFilePath());
  window_->Undo();
  EXPECT_THAT(V(*window_), ElementsAre(0, 200, 120));
}

TEST_F(MainWindowTest, RecentImagesKeepTenMostRecentFirstAndReportMissingFiles) {
  for (int i = 0; i < 12; ++i) {
    const QString path = dir_.filePath(QString("p%1.bmp").arg(i));
    test::WritePicture(path.toStdString(), 4, 4);
    ASSERT_TRUE(window_->OpenImage(path));
  }
  ASSERT_EQ(window_->RecentImages().size(), 10);
  EXPECT_TRUE(window_->RecentImages().first().endsWith("p11.bmp"));
  EXPECT_TRUE(window_->RecentImages().last().endsWith("p2.bmp"));
  ASSERT_TRUE(window_->OpenImage(dir_.filePath("p5.bmp")));
  EXPECT_TRUE(window_->RecentImages().first().endsWith("p5.bmp"));
  EXPECT_EQ(window_->RecentImages().size(), 10);
  // The list survives a restart.
  window_->close();
  window_ = std::make_unique<TMainWindow>();
  ASSERT_EQ(window_->RecentImages().size(), 10);
  EXPECT_TRUE(window_->RecentImages().first().endsWith("p5.bmp"));
  // A recent image that is gone.
  QFile::remove(dir_.filePath("p5.bmp"));
  QMenu* reopen = window_->findChild<QMenu*>("ReopenImageMenu");
  emit reopen->aboutToShow();
  ASSERT_EQ(reopen->actions().size(), 10);
  QString message;
  test::AnswerNextModal([&message](QWidget* modal) {
    message = static_cast<QMessageBox*>(modal)->text();
    static_cast<QDialog*>(modal)->accept();
  });
  reopen->actions().first()->trigger();
  EXPECT_EQ(message, "File " + QFileInfo(dir_.filePath("p5.bmp")).absoluteFilePath() + " not found.");
  EXPECT_EQ(window_->ImageWidth(), 0);
}

TEST_F(MainWindowTest, ScrolledRulersAndLinesStayWithThePicture) {
  const QString big = dir_.filePath("big.bmp");
  test::WritePicture(big.toStdString(), 1500, 1200);
  ASSERT_TRUE(window_->OpenImage(big));
  QApplication::processEvents();
  window_->ActualSize();
  pg::TPGImage* view = window_->View();
  view->SetHorzScrollPos(300);
  view->SetVertScrollPos(200);
  QApplication::processEvents();
  ASSERT_EQ(view->PicBoxRect().Left, -300);
  ASSERT_EQ(view->PicBoxRect().Top, -200);
  // A ruler release stands for the image position under it.
  Release(window_->TopRuler(), {25 + 10, 5}, Qt::RightButton);
  EXPECT_THAT(V(*window_), ElementsAre(0, 1500, 310));
  Release(window_->LeftRuler(), {5, 7}, Qt::RightButton);
  EXPECT_THAT(H(*window_), ElementsAre(0, 1200, 207));
  // The corner and a release above the left ruler stand for no pixel, even though the scrolled-off
  // columns and rows lie inside the picture.
  Release(window_->TopRuler(), {25, 5}, Qt::RightButton);
  Release(window_->TopRuler(), {10, 5}, Qt::RightButton);
  Release(window_->LeftRuler(), {5, -3}, Qt::RightButton);
  EXPECT_THAT(V(*window_), ElementsAre(0, 1500, 310));
  EXPECT_THAT(H(*window_), ElementsAre(0, 1200, 207));
  Move(window_->TopRuler(), {25 + 10, 3}, Qt::NoButton);
  EXPECT_EQ(window_->StatusText(), "X: 310");
  // The rulers' labels and marks follow once the view has painted.
  view->Repaint();
  EXPECT_EQ(window_->TopRuler()->ScrollPosition(), 300);
  EXPECT_EQ(window_->LeftRuler()->ScrollPosition(), 200);
}

TEST_F(MainWindowTest, StatusBarShowsPointerPosition) {
  Open();
  Move(Box(), At(12, 34), Qt::NoButton);
  EXPECT_EQ(window_->StatusText(), "X: 12 Y: 34");
  Move(window_->TopRuler(), {25 + 7, 3}, Qt::NoButton);
  EXPECT_EQ(window_->StatusText(), "X: 7");
  Move(window_->LeftRuler(), {3, 9}, Qt::NoButton);
  EXPECT_EQ(window_->StatusText(), "Y: 9");
}

// The largest picture the window opens is a preference kept in the settings. A picture above it
// is refused with a message that says how large it is and where to raise the limit; raised, the
// same file opens.
TEST_F(MainWindowTest, PixelLimitIsAPreferenceAndTheRefusalSaysHowToRaiseIt) {
  EXPECT_EQ(window_->MaxPixels(), pg::kDefaultMaxPixels);
  int64_t shownLimit = 0;
  test::AnswerNextModal([&shownLimit](QWidget* modal) {
    auto* dialog = static_cast<TPreferencesDialog*>(modal);
    shownLimit = dialog->MaxPixels();
    dialog->MaxPixelsBox()->setValue(19999);
    dialog->accept();
  });
  window_->findChild<QAction*>("Preferences")->trigger();
  EXPECT_EQ(shownLimit, pg::kDefaultMaxPixels);
  EXPECT_EQ(window_->MaxPixels(), 19999);
  EXPECT_EQ(pg::FormatOptions().MaxPixels, 19999);

  QString message;
  test::AnswerNextModal([&message](QWidget* modal) {
    message = static_cast<QMessageBox*>(modal)->text();
    static_cast<QDialog*>(modal)->accept();
  });
  EXPECT_FALSE(window_->OpenImage(picture_));  // 200 x 100
  const QLocale locale;                        // numbers as the user's locale writes them
  EXPECT_TRUE(message.contains(locale.toString(19999) + " pixels")) << message.toStdString();
  EXPECT_TRUE(message.contains("Edit > Preferences")) << message.toStdString();
  EXPECT_TRUE(message.contains("at least " + locale.toString(20000) + " pixels")) << message.toStdString();
  EXPECT_EQ(window_->ImageWidth(), 0);

  // Cancel keeps the limit; a new window reads it back from the settings.
  test::AnswerNextModal([](QWidget* modal) {
    static_cast<TPreferencesDialog*>(modal)->MaxPixelsBox()->setValue(5);
    static_cast<QDialog*>(modal)->reject();
  });
  window_->ShowPreferences();
  EXPECT_EQ(window_->MaxPixels(), 19999);
  window_ = std::make_unique<TMainWindow>();
  EXPECT_EQ(window_->MaxPixels(), 19999);
  window_->SetMaxPixels(20000);
  EXPECT_TRUE(window_->OpenImage(picture_));
  window_->SetMaxPixels(pg::kDefaultMaxPixels);
}

}  // namespace
}  // namespace tessel
