// The export from the window: save path, the three dialogs answered by the test, the files and the
// HTML of the example, the overwrite question, the options persisted and the missing-ALT warning.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "tests/workspace/file_size_limit.h"
#include "tests/workspace/ui/ui_test_support.h"
#include "workspace/ui/export_dialogs.h"
#include "workspace/ui/export_summary.h"
#include "workspace/ui/jpeg_page.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/settings.h"

namespace tessel {
namespace {

QStringList HtmlLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QString text = QString::fromUtf8(file.readAll());
  QStringList lines = text.split("\r\n");
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings settings = OpenSettings();
    settings.clear();
    window_ = std::make_unique<TMainWindow>();
    window_->show();
    const QString picture = dir_.filePath("picture.bmp");
    test::WritePicture(picture.toStdString(), 200, 100);
    ASSERT_TRUE(window_->OpenImage(picture));
    window_->Grid().AddVertical(120);
    window_->Grid().AddHorizontal(40);
  }

  QTemporaryDir dir_;
  std::unique_ptr<TMainWindow> window_;
};

TEST_F(ExportTest, ThroughTheThreeDialogsWritesTheExample) {
  const QString html = dir_.filePath("page.html");
  window_->AskFileName = [&html](const QString&, const QString& filter, const QString& suffix, bool save) {
    EXPECT_EQ(filter, "HTML Table (*.htm *.html)");
    EXPECT_EQ(suffix, "html");
    EXPECT_TRUE(save);
    return html;
  };
  int slices = 0;
  QString warning;
  auto slice = [&slices](const char* href, const char* target, const char* alt) {
    return [&slices, href, target, alt](QWidget* modal) {
      auto* dialog = qobject_cast<THtmlExportDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      ++slices;
      EXPECT_TRUE(dialog->EditHref()->text().isEmpty());
      EXPECT_TRUE(dialog->EditAlt()->text().isEmpty());
      dialog->EditHref()->setText(href);
      dialog->EditTarget()->setText(target);
      dialog->EditAlt()->setText(alt);
      dialog->accept();
    };
  };
  test::AnswerModals({
      [](QWidget* modal) {
        auto* options = qobject_cast<TExportOptionsDialog*>(modal);
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(options->windowTitle(), "Export Options");
        EXPECT_EQ(options->size(), QSize(313, 198));
        EXPECT_TRUE(options->ShowOptionsBox()->isChecked());
        options->IncAltTags()->setChecked(true);
        options->EditCode()->setChecked(true);
        options->reject();  // however it is closed, the boxes stand
      },
      slice("index.html", "main", "Logo"),
      slice("", "", ""),
      slice("", "", "Bottom left"),
      slice("", "", ""),
      [](QWidget* modal) {
        auto* edit = qobject_cast<TEditCodeDialog*>(modal);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->Memo()->toPlainText().split('\n').size(), 4);
        edit->Memo()->appendPlainText("<!-- edited -->");
        edit->reject();  // the close box applies the text too
      },
      [&warning](QWidget* modal) {
        warning = static_cast<QMessageBox*>(modal)->text();
        static_cast<QDialog*>(modal)->accept();
      },
  });
  ASSERT_TRUE(window_->Export());
  EXPECT_EQ(slices, 4);
  EXPECT_EQ(warning, "2 slices have no ALT text.");
  const QStringList lines = HtmlLines(html);
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0], "<table cellspacing = 0 cellpadding = 0 border = 0>");
  EXPECT_EQ(lines[1],
            "<tr><td><A HREF=\"index.html\" TARGET=\"main\"><img src='page_11.jpg' width=120 height=40 "
            "ALT=\"Logo\" BORDER=0></A></td><td><img src='page_21.jpg' width=80 height=40></td></tr>");
  EXPECT_EQ(lines[2],
            "<tr><td><img src='page_12.jpg' width=120 height=60 ALT=\"Bottom left\"></td><td><img "
            "src='page_22.jpg' width=80 height=60></td></tr>");
  EXPECT_EQ(lines[3], "</TABLE>");
  EXPECT_EQ(lines[4], "<!-- edited -->");
  const std::pair<const char*, QSize> expected[] = {{"page_11.jpg", {120, 40}},
                                                    {"page_21.jpg", {80, 40}},
                                                    {"page_12.jpg", {120, 60}},
                                                    {"page_22.jpg", {80, 60}}};
  for (const auto& [name, size] : expected) {
    pg::TPixelGraphic graphic;
    graphic.LoadFromFile(dir_.filePath(name).toStdString());
    EXPECT_EQ(QSize(graphic.Width(), graphic.Height()), size) << name;
  }
  // The export sorted the grid.
  EXPECT_THAT(window_->Grid().VerticalSplits.Values(), ::testing::ElementsAre(0, 120, 200));
}

TEST_F(ExportTest, PlainExportOverwriteQuestionAndPersistedOptions) {
  TExportOptionsDialog* options = window_->OptionsDialog();
  options->ShowOptionsBox()->setChecked(false);
  options->UpperCase()->setChecked(true);
  options->DoubleQuote()->setChecked(true);
  window_->SetOutputExtension(".png");
  const QString html = dir_.filePath("page.html");
  ASSERT_TRUE(window_->Export(html));
  QStringList lines = HtmlLines(html);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0], "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>");
  EXPECT_EQ(lines[1],
            "<TR><TD><IMG SRC=\"page_11.png\" WIDTH=120 HEIGHT=40></TD><TD><IMG SRC=\"page_21.png\" WIDTH=80 "
            "HEIGHT=40></TD></TR>");
  EXPECT_TRUE(QFile::exists(dir_.filePath("page_22.png")));

  // The file exists now: Cancel writes nothing, OK writes again.
  QString caption, text;
  window_->AskOkCancel = [&](const QString& c, const QString& t) {
    caption = c;
    text = t;
    return false;
  };
  QFile::remove(dir_.filePath("page_11.png"));
  EXPECT_FALSE(window_->Export(html));
  EXPECT_EQ(caption, "File already exists!");
  EXPECT_EQ(text, "Overwrite " + html + "?");
  EXPECT_FALSE(QFile::exists(dir_.filePath("page_11.png")));
  window_->AskOkCancel = [](const QString&, const QString&) { return true; };
  EXPECT_TRUE(window_->Export(html));
  EXPECT_TRUE(QFile::exists(dir_.filePath("page_11.png")));

  // The six boxes survive a restart.
  window_.reset();
  TExportOptionsDialog again;
  EXPECT_FALSE(again.ShowOptionsBox()->isChecked());
  EXPECT_TRUE(again.UpperCase()->isChecked());
  EXPECT_TRUE(again.DoubleQuote()->isChecked());
  EXPECT_FALSE(again.IncAltTags()->isChecked());
  EXPECT_FALSE(again.EditCode()->isChecked());
  EXPECT_FALSE(again.AlwaysGrid()->isChecked());
  QSettings settings = OpenSettings();
  EXPECT_TRUE(settings.contains(QString(kOptionsGroup) + "/uppercase.Checked"));
}

// The Output Format menu's choice reaches the export by its name: png8 and plain PNG share the
// extension but not what they write.
TEST_F(ExportTest, FormatsSharingAnExtensionWriteWhatTheMenuChose) {
  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  window_->SetOutputFormat("png8");
  ASSERT_TRUE(window_->Export(dir_.filePath("eight.html")));
  window_->SetOutputExtension(".png");
  ASSERT_TRUE(window_->Export(dir_.filePath("full.html")));
  window_->SetOutputFormat("webp-lossless");
  ASSERT_TRUE(window_->Export(dir_.filePath("exact.html")));
  pg::TPixelGraphic eight, full, exact;
  pg::LoadImage(eight, dir_.filePath("eight_11.png").toStdString());
  pg::LoadImage(full, dir_.filePath("full_11.png").toStdString());
  pg::LoadImage(exact, dir_.filePath("exact_11.webp").toStdString());
  EXPECT_EQ(eight.BitCount(), pg::bc8Bit);
  EXPECT_EQ(full.BitCount(), pg::bc24Bit);
  ASSERT_EQ(exact.Width(), full.Width());
  for (int32_t y = 0; y < full.Height(); ++y) {
    for (int32_t x = 0; x < full.Width(); ++x) ASSERT_EQ(exact.Colors(x, y), full.Colors(x, y));
  }
}

// The Formats tab of the dialog the export shows decides how that export encodes its slices, and is
// kept for the next start.
TEST_F(ExportTest, FormatsTabReachesTheSlicesAndIsKept) {
  window_->SetOutputFormat("png8");
  test::AnswerNextModal([](QWidget* modal) {
    auto* options = qobject_cast<TExportOptionsDialog*>(modal);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->FormatSettings(), TFormatSettings{});
    options->Tabs()->setCurrentIndex(2);
    options->StyleBox()->setCurrentIndex(1);  // E-mail table
    options->PictureFormatsEdit()->setText("webp");
    options->WebPQualityBox()->setValue(5);
    options->PNGColorsBox()->setValue(4);
    options->PNGDitherBox()->setChecked(false);
    options->AVIFSpeedBox()->setValue(99);  // brought into the box's range
    options->accept();
  });
  ASSERT_TRUE(window_->Export(dir_.filePath("low.html")));
  pg::TPixelGraphic four;
  pg::LoadImage(four, dir_.filePath("low_11.png").toStdString());
  EXPECT_EQ(four.BitCount(), pg::bc4Bit);
  EXPECT_LE(four.PaletteCount(), 4);

  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  window_->OptionsDialog()->WebPQualityBox()->setValue(100);
  ASSERT_TRUE(window_->Export(dir_.filePath("high.html")));
  EXPECT_GT(QFileInfo(dir_.filePath("high_11.webp")).size(),
            2 * QFileInfo(dir_.filePath("low_11.webp")).size());

  window_.reset();
  TExportOptionsDialog again;
  EXPECT_EQ(again.FormatSettings(),
            (TFormatSettings{
                .WebPQuality = 100, .AVIFQuality = 60, .AVIFSpeed = 10, .PNGColors = 4, .PNGDither = false}));
  OpenSettings().clear();
}

TEST_F(ExportTest, RefusesToWriteOverTheOpenImageOrTheLoadedGridFile) {
  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  window_->SetOutputExtension(".bmp");
  QString message;
  const auto answerError = [&message] {
    test::AnswerNextModal([&message](QWidget* modal) {
      message = static_cast<QMessageBox*>(modal)->text();
      static_cast<QDialog*>(modal)->accept();
    });
  };
  const QString image = dir_.filePath("p_21.bmp");
  test::WritePicture(image.toStdString(), 200, 100);
  ASSERT_TRUE(window_->OpenImage(image));
  window_->Grid().AddVertical(120);
  window_->Grid().AddHorizontal(40);
  answerError();
  EXPECT_FALSE(window_->Export(dir_.filePath("p.html")));
  EXPECT_EQ(message, "Export refused: the slice \"" + image + "\" would overwrite \"" + image +
                         "\", a file the export reads; nothing was written");
  EXPECT_FALSE(QFile::exists(dir_.filePath("p.html")));
  EXPECT_FALSE(QFile::exists(dir_.filePath("p_11.bmp")));

  const QString grid = dir_.filePath("q_12.bmp");
  QFile file(grid);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("0\r\n40\r\n100\r\n-\r\n0\r\n120\r\n200\r\n");
  file.close();
  ASSERT_TRUE(window_->LoadGridFile(grid));
  answerError();
  EXPECT_FALSE(window_->Export(dir_.filePath("q.html")));
  EXPECT_EQ(message, "Export refused: the slice \"" + grid + "\" would overwrite \"" + grid +
                         "\", a file the export reads; nothing was written");
  EXPECT_FALSE(QFile::exists(dir_.filePath("q_11.bmp")));
  // Another picture opened: its grid no longer comes from that file.
  ASSERT_TRUE(window_->OpenImage(dir_.filePath("picture.bmp")));
  window_->Grid().AddVertical(120);
  window_->Grid().AddHorizontal(40);
  EXPECT_TRUE(window_->Export(dir_.filePath("q.html")));
}

TEST_F(ExportTest, JpegSlicesRightAfterStartUseQuality80) {
  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  const QString html = dir_.filePath("q.html");
  ASSERT_TRUE(window_->Export(html));
  // The same slice written at quality 80, not progressive, gives the same bytes.
  pg::TPixelGraphic slice;
  slice.NewImage(120, 40, pg::bc24Bit);
  slice.CopyRect(0, 0, 120, 40, 0, 0, *window_->View()->PixelGraphic());
  ASSERT_EQ(pg::FormatOptions().JPEGQuality, 80);
  ASSERT_FALSE(pg::FormatOptions().JPEGProgressive);
  const QString reference = dir_.filePath("reference.jpg");
  slice.SaveToFile(reference.toStdString());
  QFile a(dir_.filePath("q_11.jpg")), b(reference);
  ASSERT_TRUE(a.open(QIODevice::ReadOnly));
  ASSERT_TRUE(b.open(QIODevice::ReadOnly));
  const QByteArray at80 = b.readAll();
  EXPECT_EQ(a.readAll(), at80);

  // After the JPEG page has applied quality 30 progressive, the export uses that.
  const pg::TFormatOptions saved = pg::FormatOptions();
  TJpegPage* page = window_->JpegPage();
  page->SetTempDirectory(std::filesystem::path(dir_.path().toStdString()) / "preview");
  window_->Pages()->setCurrentWidget(page);
  page->Slider()->setValue(30);
  page->Progressive()->click();
  window_->Pages()->setCurrentWidget(window_->SourcePage());
  ASSERT_TRUE(window_->Export(dir_.filePath("r.html")));
  const QString reference30 = dir_.filePath("reference30.jpg");
  slice.SaveToFile(reference30.toStdString());
  pg::FormatOptions() = saved;
  QFile c(dir_.filePath("r_11.jpg")), d(reference30);
  ASSERT_TRUE(c.open(QIODevice::ReadOnly));
  ASSERT_TRUE(d.open(QIODevice::ReadOnly));
  const QByteArray bytes = c.readAll();
  EXPECT_EQ(bytes, d.readAll());
  EXPECT_NE(bytes, at80);
}

// Waits until a progress dialog made now like the export's has shown itself: by then the export's
// own one, made earlier, would have appeared if it were going to. `started`: the probe has also
// been told that work began (its minimum duration counts from then).
void WaitPastTheProgressDelay(bool started) {
  QProgressDialog probe("", "Cancel", 0, 100);
  probe.setMinimumDuration(500);
  if (started) probe.setValue(0);
  EXPECT_TRUE(QTest::qWaitFor([&probe] { return probe.isVisible(); }, 20000));
}

// Answers the modal dialogs in turn, scheduling the next answer only once the current one is
// given.
void AnswerInTurn(std::vector<std::function<void(QDialog*)>> answers) {
  if (answers.empty()) return;
  auto first = answers.front();
  answers.erase(answers.begin());
  test::AnswerNextModal([first, answers](QWidget* modal) {
    first(static_cast<QDialog*>(modal));
    AnswerInTurn(answers);
  });
}

TEST_F(ExportTest, NoProgressDialogWhileTheUserIsAsked) {
  // The options dialog and the per-slice questions stay up for a while; the progress dialog
  // belongs to slice writing without questions and must not appear over them.
  bool shownDuringQuestions = false;
  const auto slowly = [this, &shownDuringQuestions](bool started,
                                                    const std::function<void(QDialog*)>& answer) {
    return [this, &shownDuringQuestions, started, answer](QDialog* dialog) {
      WaitPastTheProgressDelay(started);
      auto* progress = window_->findChild<QProgressDialog*>("ExportProgress");
      if (progress != nullptr && progress->isVisible()) shownDuringQuestions = true;
      answer(dialog);
    };
  };
  const auto accept = [](QDialog* dialog) { dialog->accept(); };
  AnswerInTurn({slowly(false,
                       [](QDialog* options) {
                         static_cast<TExportOptionsDialog*>(options)->IncAltTags()->setChecked(true);
                         options->accept();
                       }),
                slowly(true, accept), accept, accept, accept, accept});
  ASSERT_TRUE(window_->Export(dir_.filePath("asked.html")));
  EXPECT_FALSE(shownDuringQuestions);
  EXPECT_TRUE(QFile::exists(dir_.filePath("asked_22.jpg")));
}

TEST_F(ExportTest, APreviewDueDuringTheExportWaitsUntilItIsOver) {
  const pg::TFormatOptions saved = pg::FormatOptions();
  TJpegPage* page = window_->JpegPage();
  page->SetTempDirectory(std::filesystem::path(dir_.path().toStdString()) / "preview");
  window_->Pages()->setCurrentWidget(page);
  page->Slider()->setValue(30);
  window_->Pages()->setCurrentWidget(window_->SourcePage());
  ASSERT_TRUE(page->Timer()->isActive());
  const int compressions = page->Compressions();
  // While the export asks its first question the preview's timer is at rest, so it cannot fire.
  bool timerRan = true;
  test::AnswerNextModal([page, &timerRan](QWidget* options) {
    timerRan = page->Timer()->isActive();
    static_cast<QDialog*>(options)->accept();
  });
  ASSERT_TRUE(window_->Export(dir_.filePath("w.html")));
  EXPECT_FALSE(timerRan);
  EXPECT_EQ(page->Compressions(), compressions);
  EXPECT_EQ(pg::FormatOptions().JPEGQuality, 80);
  EXPECT_TRUE(page->Timer()->isActive());
  page->Stop();
  pg::FormatOptions() = saved;
}

TEST_F(ExportTest, CancelInTheProgressDialogStopsWithoutHtml) {
  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  window_->OptionsDialog()->AlwaysGrid()->setChecked(true);
  window_->SetOutputExtension(".bmp");
  window_->DivideImage(40, 20);
  // Pressed as soon as the export first lets events through.
  QTimer press;
  press.setInterval(0);
  QObject::connect(&press, &QTimer::timeout, [this, &press] {
    if (auto* progress = window_->findChild<QProgressDialog*>("ExportProgress")) {
      progress->cancel();
      press.stop();
    }
  });
  press.start();
  const QString html = dir_.filePath("cancelled.html");
  EXPECT_FALSE(window_->Export(html));
  EXPECT_FALSE(QFile::exists(html));
  EXPECT_FALSE(QFile::exists(dir_.filePath("cancelled.grd")));
  EXPECT_FALSE(press.isActive());
}

// While an export runs (its progress lets events through) nothing changes the picture or the
// grid it works on: opening, drops, grid commands and the pages rest, and a change asked of the
// view's picture goes to a copy of the view's own. The export's sort reaches the grid afterwards.
TEST_F(ExportTest, EditingRestsWhileAnExportRunsOnItsOwnSnapshot) {
  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  window_->SetOutputExtension(".bmp");
  window_->DivideImage(4, 2);
  const std::vector<int32_t> unsorted = window_->Grid().VerticalSplits.Values();
  const QString other = dir_.filePath("other.bmp");
  test::WritePicture(other.toStdString(), 30, 30);
  const pg::TPixelGraphic* shown = window_->View()->PixelGraphic();
  const pg::TColor firstPixel = shown->Colors(0, 0);
  bool tried = false;
  QTimer attempt;
  attempt.setInterval(0);
  QObject::connect(&attempt, &QTimer::timeout, [&] {
    if (!window_->Exporting() || tried) return;
    tried = true;
    EXPECT_FALSE(window_->Pages()->isEnabled());
    window_->UpdateMenuState();
    for (const char* name : {"Open", "Export", "LoadGrid", "ReopenImage", "ReopenGrid", "Undo"}) {
      EXPECT_FALSE(window_->findChild<QAction*>(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(window_->findChild<QMenu*>("ToolsMenu")->menuAction()->isEnabled());
    EXPECT_FALSE(window_->OpenImage(other));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(other)});
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    EXPECT_FALSE(drop.isAccepted());
    window_->ClearSplits();
    window_->DivideImage(7, 7);
    window_->Undo();
    EXPECT_EQ(window_->Grid().VerticalSplits.Values(), unsorted);
    // Blacking out the view's picture leaves the exported one alone.
    pg::TPixelGraphic* changed = window_->View()->PixelGraphic();
    EXPECT_NE(changed, shown);
    changed->Clear();
  });
  attempt.start();
  ASSERT_TRUE(window_->Export(dir_.filePath("snap.html")));
  attempt.stop();
  ASSERT_TRUE(tried);
  QApplication::processEvents();  // an open queued by the drop would run now
  EXPECT_EQ(window_->ImageWidth(), 200);
  EXPECT_TRUE(window_->Pages()->isEnabled());
  EXPECT_FALSE(window_->Exporting());
  window_->UpdateMenuState();
  EXPECT_TRUE(window_->findChild<QAction*>("Open")->isEnabled());
  pg::TPixelGraphic slice;
  slice.LoadFromFile(dir_.filePath("snap_11.bmp").toStdString());
  EXPECT_EQ(slice.Colors(0, 0), firstPixel);
  // The sorted grid is the window's, as an edit of its own.
  std::vector<int32_t> sorted = unsorted;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(window_->Grid().VerticalSplits.Values(), sorted);
  window_->Undo();
  EXPECT_EQ(window_->Grid().VerticalSplits.Values(), unsorted);
}

// Closing the window during an export cancels it; the window closes once it has stopped.
TEST_F(ExportTest, ClosingDuringAnExportCancelsItFirst) {
  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  window_->OptionsDialog()->AlwaysGrid()->setChecked(true);
  window_->SetOutputExtension(".bmp");
  window_->DivideImage(40, 20);
  // The changed grid is not kept when the window finally closes.
  window_->AskSaveChanges = [](const QString&) { return int(QMessageBox::Discard); };
  QTimer attempt;
  attempt.setInterval(0);
  QObject::connect(&attempt, &QTimer::timeout, [&] {
    if (!window_->Exporting()) return;
    attempt.stop();
    EXPECT_FALSE(window_->close());
    EXPECT_TRUE(window_->isVisible());
  });
  attempt.start();
  const QString html = dir_.filePath("closed.html");
  EXPECT_FALSE(window_->Export(html));
  EXPECT_FALSE(QFile::exists(html));
  EXPECT_FALSE(QFile::exists(dir_.filePath("closed.grd")));
  QTRY_VERIFY_WITH_TIMEOUT(!window_->isVisible(), 10000);
}

// Each export dialog's Cancel button ends the export before anything is written; the close box
// of the options dialog still goes on.
TEST_F(ExportTest, CancelInEachExportDialogWritesNothing) {
  const QString html = dir_.filePath("page.html");
  const auto cancel = [](QWidget* modal) {
    auto* button = modal->findChild<QPushButton*>("Cancel");
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isVisible());
    button->click();
  };
  test::AnswerModals({cancel});
  EXPECT_FALSE(window_->Export(html));

  window_->OptionsDialog()->IncAltTags()->setChecked(true);
  int asked = 0;
  const auto next = [&asked](QWidget* modal) {
    auto* dialog = qobject_cast<THtmlExportDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->PositionLabel()->text(), QString("Slice %1 of 4").arg(++asked));
    dialog->accept();
  };
  test::AnswerModals({[](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); }, next, next, cancel});
  EXPECT_FALSE(window_->Export(html));
  EXPECT_EQ(asked, 2);

  window_->OptionsDialog()->IncAltTags()->setChecked(false);
  window_->OptionsDialog()->EditCode()->setChecked(true);
  test::AnswerModals({[](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); }, cancel});
  EXPECT_FALSE(window_->Export(html));
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"picture.bmp"});

  // Shown from the Tools menu the options dialog has nothing to cancel.
  test::AnswerNextModal([](QWidget* modal) {
    EXPECT_FALSE(modal->findChild<QPushButton*>("Cancel")->isVisible());
    static_cast<QDialog*>(modal)->accept();
  });
  window_->OptionsDialog()->ShowOptions();
}

// A slice that cannot be written ends the export; its message shows once the progress window
// has gone, so nothing stands over the message box.
TEST_F(ExportTest, AFailedExportClosesItsProgressBeforeTheMessage) {
  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  window_->SetOutputExtension(".bmp");
  // 1600 slices of 5 x 2 pixels (94 bytes as BMP), then a row of 5 x 20 slices (374 bytes).
  window_->Grid().ResetGrid(200, 100);
  for (int32_t x = 5; x < 200; x += 5) window_->Grid().AddVertical(x);
  for (int32_t y = 2; y <= 80; y += 2) window_->Grid().AddHorizontal(y);
  bool progressShown = false;
  bool progressAtMessage = true;
  QString message;
  // Writing the slices may take a while in a sanitized build: the message is waited for as long.
  QTimer answer;
  answer.setInterval(10);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
      auto* progress = window_->findChild<QProgressDialog*>("ExportProgress");
      progressShown = progressShown || (progress != nullptr && progress->isVisible());
      return;
    }
    answer.stop();
    message = box->text();
    auto* progress = window_->findChild<QProgressDialog*>("ExportProgress");
    progressAtMessage = progress != nullptr && progress->isVisible();
    box->accept();
  });
  answer.start();
  {
    TFileSizeLimit limit(200);
    EXPECT_FALSE(window_->Export(dir_.filePath("big.html")));
  }
  EXPECT_TRUE(progressShown);
  EXPECT_FALSE(progressAtMessage);
  EXPECT_TRUE(message.endsWith(": File too large")) << message.toStdString();
  EXPECT_FALSE(QFile::exists(dir_.filePath("big.html")));
}

TEST(ExportOptionsDialogTest, SixBoxesInOrderWithTheirCaptionsAndKeys) {
  OpenSettings().clear();
  TExportOptionsDialog dialog;
  QStringList captions;
  // The six, not the Formats tab's box of its own.
  for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
    if (box != dialog.PNGDitherBox()) captions << box->text();
  }
  EXPECT_EQ(captions,
            QStringList({"Include ALT-Tags and/or Links", "Edit HTML Code before Export",
                         "Save grid on export", "Double quoted tags (\" instead of ')",
                         "Upper case tags (<TAG> instead of <tag>)", "Show this Dialog on export"}));
  EXPECT_TRUE(dialog.ShowOptionsBox()->isChecked());
  EXPECT_FALSE(dialog.IncAltTags()->isChecked());
  dialog.EditCode()->setChecked(true);
  QSettings settings = OpenSettings();
  settings.beginGroup(kOptionsGroup);
  EXPECT_EQ(settings.childKeys().size(), 6);
  for (const char* key : {"incalttags.Checked", "editcode.Checked", "alwaysgrid.Checked",
                          "showoptions.Checked", "uppercase.Checked", "doublequote.Checked"}) {
    EXPECT_TRUE(settings.contains(key)) << key;
  }
  EXPECT_TRUE(settings.value("editcode.Checked").toBool());
  settings.endGroup();
  settings.clear();
}

TEST(HtmlExportDialogTest, TargetFollowsLinkAndKeepsItsText) {
  THtmlExportDialog dialog;
  EXPECT_EQ(dialog.size(), QSize(592, 291));
  EXPECT_EQ(dialog.windowTitle(), "HTML Export...");
  QStringList labels;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label == dialog.PositionLabel()) continue;
    EXPECT_TRUE(label->font().bold()) << label->text().toStdString();
    labels << label->text();
  }
  EXPECT_EQ(labels, QStringList({"Link URL for this Image? (leave blank for none)", "Target Frame?",
                                 "ALT Text for this Image? (leave blank for none)", "Resulting Code:"}));
  EXPECT_EQ(dialog.SliceView()->Stretch(), pg::sShrinkKAR);
  EXPECT_TRUE(dialog.SliceView()->Center());
  pg::TPixelGraphic slice;
  slice.NewImage(10, 10, pg::bc24Bit);
  dialog.Prepare(slice, "<img src='a_11.jpg' width=10 height=10", 1, 2, {});
  EXPECT_EQ(dialog.PositionLabel()->text(), "Slice 1 of 2");
  EXPECT_FALSE(dialog.BackButton()->isEnabled());
  EXPECT_FALSE(dialog.EditTarget()->isEnabled());
  EXPECT_FALSE(dialog.TargetLabel()->isEnabled());
  EXPECT_EQ(dialog.Memo()->toPlainText(), "<img src='a_11.jpg' width=10 height=10>");
  EXPECT_TRUE(dialog.Memo()->isReadOnly());
  dialog.EditHref()->setText("x.html");
  EXPECT_TRUE(dialog.EditTarget()->isEnabled());
  dialog.EditTarget()->setText("main");
  EXPECT_EQ(dialog.Memo()->toPlainText(),
            "<A HREF=\"x.html\" TARGET=\"main\"><img src='a_11.jpg' width=10 height=10 BORDER=0></A>");
  // Next slice: link and ALT emptied, the target kept but unused until a link is typed.
  dialog.Prepare(slice, "<img src='a_21.jpg' width=10 height=10", 2, 2, {});
  EXPECT_TRUE(dialog.BackButton()->isEnabled());
  EXPECT_EQ(dialog.EditTarget()->text(), "main");
  EXPECT_FALSE(dialog.EditTarget()->isEnabled());
  dialog.EditAlt()->setText("A");
  EXPECT_EQ(dialog.Memo()->toPlainText(), "<img src='a_21.jpg' width=10 height=10 ALT=\"A\">");
  dialog.EditHref()->setText("y");
  EXPECT_EQ(dialog.Memo()->toPlainText(),
            "<A HREF=\"y\" TARGET=\"main\"><img src='a_21.jpg' width=10 height=10 ALT=\"A\" BORDER=0></A>");
}

TEST(EditCodeDialogTest, SizeAndRoundTrip) {
  TEditCodeDialog dialog;
  EXPECT_EQ(dialog.size(), QSize(592, 273));
  EXPECT_EQ(dialog.windowTitle(), "Edit HTML Code");
  EXPECT_EQ(dialog.Memo()->size(), QSize(577, 225));
  std::vector<std::string> lines = {"a", "", "c"};
  test::AnswerNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->close(); });
  dialog.EditCode(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "c"}));
  // A line break typed after the last line ends it; it does not add an empty line to the file.
  test::AnswerNextModal([](QWidget* modal) {
    auto* edit = static_cast<TEditCodeDialog*>(modal);
    edit->Memo()->setPlainText("<table>\n</TABLE>\n");
    edit->accept();
  });
  dialog.EditCode(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"<table>", "</TABLE>"}));
  // Everything deleted: no line at all.
  test::AnswerNextModal([](QWidget* modal) {
    static_cast<TEditCodeDialog*>(modal)->Memo()->clear();
    static_cast<QDialog*>(modal)->accept();
  });
  dialog.EditCode(lines);
  EXPECT_TRUE(lines.empty());
}

// The Page tab: a responsive page at 2x in two formats, chosen in the dialog the export shows, ends
// with a summary that opens the page in the browser; the choices survive a restart.
TEST_F(ExportTest, PageTabStyleFormatsDensityAndTheSummary) {
  window_->SetOutputExtension(".png");
  const QString html = dir_.filePath("page.html");
  test::AnswerNextModal([](QWidget* modal) {
    auto* options = qobject_cast<TExportOptionsDialog*>(modal);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->size(), QSize(313, 198));
    // The classic table takes neither more formats nor a density; case and quotes are its alone.
    EXPECT_FALSE(options->DensityBox()->isEnabled());
    EXPECT_TRUE(options->UpperCase()->isEnabled());
    options->Tabs()->setCurrentIndex(1);
    options->StyleBox()->setCurrentIndex(2);  // Responsive page
    EXPECT_TRUE(options->DensityBox()->isEnabled());
    EXPECT_FALSE(options->UpperCase()->isEnabled());
    options->PictureFormatsEdit()->setText(" bmp ,");
    options->DensityBox()->setCurrentIndex(1);
    options->BaseUrlEdit()->setText("https://cdn.example.com/");
    options->accept();
  });
  ASSERT_TRUE(window_->Export(html));
  for (const char* name :
       {"page_11.png", "page_11@2x.png", "page_11.bmp", "page_11@2x.bmp", "page_22@2x.bmp"})
    EXPECT_TRUE(QFile::exists(dir_.filePath(name))) << name;
  const QStringList lines = HtmlLines(html);
  ASSERT_GE(lines.size(), 9);
  EXPECT_EQ(lines[0], "<!DOCTYPE html>");
  EXPECT_TRUE(lines[9].startsWith(
      "<picture style=\"display:block;width:100%;height:100%\"><source type=\"image/bmp\" "
      "srcset=\"https://cdn.example.com/page_11.bmp 1x, "
      "https://cdn.example.com/page_11@2x.bmp 2x\"><img src=\"https://cdn.example.com/"
      "page_11.png\""))
      << lines[9].toStdString();

  // The summary stands without blocking; its button opens the page.
  TExportSummaryDialog* summary = window_->ExportSummary();
  ASSERT_TRUE(summary->isVisible());
  EXPECT_FALSE(summary->isModal());
  qint64 png = 0, bmp = 0;
  for (const char* cell : {"11", "21", "12", "22"}) {
    for (const char* suffix : {"", "@2x"}) {
      png += QFileInfo(dir_.filePath(QString("page_%1%2.png").arg(cell, suffix))).size();
      bmp += QFileInfo(dir_.filePath(QString("page_%1%2.bmp").arg(cell, suffix))).size();
    }
  }
  const QStringList text = summary->Text()->text().split('\n');
  ASSERT_EQ(text.size(), 4);
  EXPECT_EQ(text[0], QString("4 slices written, %1 bytes in all").arg(png + bmp));
  EXPECT_EQ(text[1], QString("bmp: 4 slices, %1 bytes").arg(bmp));
  EXPECT_EQ(text[2], QString("png: 4 slices, %1 bytes").arg(png));
  EXPECT_EQ(text[3], "4 slices have no ALT text.");
  QUrl opened;
  summary->OpenUrl = [&opened](const QUrl& url) {
    opened = url;
    return true;
  };
  summary->OpenButton()->click();
  EXPECT_EQ(opened, QUrl::fromLocalFile(html));
  EXPECT_FALSE(summary->isVisible());

  // The page settings are kept beside the six boxes and come back at the next start.
  window_.reset();
  TExportOptionsDialog again;
  const TExportOptions options = again.Options();
  EXPECT_EQ(options.Style, TOutputStyle::Responsive);
  EXPECT_FALSE(options.Fragment);
  EXPECT_EQ(options.PictureFormats, std::vector<std::string>{"bmp"});
  EXPECT_EQ(options.Density, 2);
  EXPECT_EQ(options.BaseUrl, "https://cdn.example.com/");
  QSettings settings = OpenSettings();
  settings.beginGroup(kOptionsGroup);
  EXPECT_EQ(settings.childKeys().size(), 6);
  EXPECT_EQ(settings.value("Page/style").toString(), "responsive");
  // Back to the classic table: the other fields keep their text but count no more.
  again.StyleBox()->setCurrentIndex(0);
  EXPECT_EQ(again.Options().Density, 1);
  EXPECT_TRUE(again.Options().PictureFormats.empty());
  EXPECT_TRUE(again.Options().BaseUrl.empty());
  EXPECT_EQ(again.PictureFormatsEdit()->text(), " bmp ,");
  settings.clear();
}

// A picture format the export cannot write is named in the error, and nothing is written.
TEST_F(ExportTest, UnknownPictureFormatIsRefusedWithItsName) {
  TExportOptions options;
  options.ShowOptions = false;
  options.Style = TOutputStyle::Email;
  options.PictureFormats = {"gif"};
  window_->OptionsDialog()->SetOptions(options);
  EXPECT_EQ(window_->OptionsDialog()->Options(), options);
  QString message;
  test::AnswerNextModal([&message](QWidget* modal) {
    message = static_cast<QMessageBox*>(modal)->text();
    static_cast<QDialog*>(modal)->accept();
  });
  EXPECT_FALSE(window_->Export(dir_.filePath("page.html")));
  EXPECT_TRUE(message.contains("\"gif\" is not a slice format")) << message.toStdString();
  EXPECT_FALSE(window_->ExportSummary()->isVisible());
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"picture.bmp"});
}

}  // namespace
}  // namespace tessel
