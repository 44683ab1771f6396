// Projects in the window: the mark of unsaved changes, the Save / Discard / Cancel question before
// they would be lost, a project saved and opened again, the recent projects, the clipboard's
// pictures and the names the file dialogs suggest.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

#include "imaging/view/qt_clipboard.h"
#include "tests/workspace/ui/ui_test_support.h"
#include "workspace/project_file.h"
#include "workspace/ui/export_dialogs.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/settings.h"

namespace tessel {
namespace {

class ProjectWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OpenSettings().clear();
    picture_ = dir_.filePath("photo.bmp");
    test::WritePicture(picture_.toStdString(), 200, 100);
    window_ = NewWindow();
  }
  void TearDown() override { window_.reset(); }

  std::unique_ptr<TMainWindow> NewWindow() {
    auto window = std::make_unique<TMainWindow>();
    window->resize(900, 500);
    window->show();
    // Every file dialog answers from `files_`, in turn (none left: cancelled); every question
    // about unsaved changes is recorded and answered from `answers_` (none left: Cancel).
    window->AskFileName = [this](const QString& caption, const QString&, const QString&, bool) {
      fileCaptions_ << caption;
      return files_.isEmpty() ? QString() : files_.takeFirst();
    };
    window->AskSaveChanges = [this](const QString& text) {
      questions_ << text;
      return answers_.isEmpty() ? int(QMessageBox::Cancel) : answers_.takeFirst();
    };
    return window;
  }
  QAction* Action(const char* name) { return window_->findChild<QAction*>(name); }
  // The picture with two lines and slice (1, 1) given a link and ALT text.
  void OpenAndEdit() {
    ASSERT_TRUE(window_->OpenImage(picture_));
    window_->Grid().AddVertical(120);
    window_->Grid().AddHorizontal(40);
    window_->SelectSlice(TSliceKey{1, 1});
    window_->SetSelectedSliceProperties({"https://example.com/a", "_blank", "Door", ""});
  }
  std::vector<int32_t> V() const { return window_->Grid().VerticalSplits.Values(); }

  QTemporaryDir dir_;
  QString picture_;
  std::unique_ptr<TMainWindow> window_;
  QStringList files_;
  QStringList fileCaptions_;
  QList<int> answers_;
  QStringList questions_;
};

TEST_F(ProjectWindowTest, TheCaptionMarksChangesToTheGridAndTheSlicesUntilSaved) {
  ASSERT_TRUE(window_->OpenImage(picture_));
  EXPECT_EQ(window_->windowTitle(), "Tessel! - [" + picture_ + "][*]");
  EXPECT_FALSE(window_->isWindowModified());
  window_->DivideImage(2, 1);
  EXPECT_TRUE(window_->isWindowModified());
  // Back where it was saved: no change left.
  window_->Undo();
  EXPECT_FALSE(window_->isWindowModified());
  window_->Redo();
  EXPECT_TRUE(window_->isWindowModified());
  // A saved grid covers the lines, not the slices' properties.
  ASSERT_TRUE(window_->SaveGridFile(dir_.filePath("photo.grd")));
  EXPECT_FALSE(window_->isWindowModified());
  window_->SelectSlice(TSliceKey{2, 1});
  ASSERT_TRUE(window_->Editor().SelectedSlice().has_value());
  window_->SetSelectedSliceProperties({"", "", "Right half", ""});
  EXPECT_EQ(window_->Editor().Slices().Get({2, 1}).Alt, "Right half");
  EXPECT_TRUE(window_->isWindowModified());
  // The lines in another order are the same cut.
  files_ << dir_.filePath("photo.tessel");
  Action("SaveProject")->trigger();
  EXPECT_FALSE(window_->isWindowModified());
  ASSERT_EQ(V(), (std::vector<int32_t>{0, 200, 100}));
  window_->Grid().SortSplits();
  EXPECT_FALSE(window_->Modified());
  // A path holding the toolkit's placeholder is shown as it is.
  const QString odd = dir_.filePath("a[*]b.bmp");
  ASSERT_TRUE(QFile::copy(picture_, odd));
  ASSERT_TRUE(window_->OpenImage(odd));
  EXPECT_EQ(window_->windowTitle(), "Tessel! - [" + dir_.filePath("a[[*]]b.bmp") + "][*]");
}

TEST_F(ProjectWindowTest, ClosingAsksSaveDiscardOrCancelInTheMessageBox) {
  OpenAndEdit();
  window_->AskSaveChanges = nullptr;
  QString text;
  const auto press = [&](QMessageBox::StandardButton which) {
    return [&, which](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      text = box->text();
      EXPECT_EQ(box->standardButtons(), QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
      EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Save));
      box->button(which)->click();
    };
  };
  // Cancel: the window stays with everything it had.
  test::AnswerNextModal(press(QMessageBox::Cancel));
  EXPECT_FALSE(window_->close());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(text.contains("photo.bmp")) << text.toStdString();
  EXPECT_EQ(V(), (std::vector<int32_t>{0, 200, 120}));
  EXPECT_EQ(window_->Editor().Slices().Get({1, 1}).Alt, "Door");
  EXPECT_TRUE(window_->isWindowModified());
  // Save, but the save dialog is cancelled: still open.
  test::AnswerNextModal(press(QMessageBox::Save));
  EXPECT_FALSE(window_->close());
  EXPECT_EQ(fileCaptions_, QStringList({"Save Project"}));
  // Save into a folder that is not there: the error is shown and the window stays.
  const QString nowhere = dir_.filePath("gone/photo.tessel");
  files_ << nowhere;
  QString error;
  test::AnswerModals({press(QMessageBox::Save), [&](QWidget* modal) {
                        error = static_cast<QMessageBox*>(modal)->text();
                        static_cast<QDialog*>(modal)->accept();
                      }});
  EXPECT_FALSE(window_->close());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(error.contains("gone")) << error.toStdString();
  EXPECT_TRUE(window_->ProjectPath().isEmpty());
  // Discard closes.
  test::AnswerNextModal(press(QMessageBox::Discard));
  EXPECT_TRUE(window_->close());
  EXPECT_FALSE(window_->isVisible());
  EXPECT_FALSE(QFile::exists(nowhere));
}

TEST_F(ProjectWindowTest, SaveInTheQuestionSavesTheProjectAndGoesOn) {
  OpenAndEdit();
  const QString project = dir_.filePath("job.tessel");
  files_ << project;
  answers_ << QMessageBox::Save;
  EXPECT_TRUE(window_->close());
  ASSERT_EQ(questions_.size(), 1);
  const TProject saved = LoadProject(project.toStdString());
  EXPECT_EQ(saved.Grid.VerticalSplits.Values(), (std::vector<int32_t>{0, 200, 120}));
  EXPECT_EQ(saved.Slices.Get({1, 1}).Url, "https://example.com/a");
  // Without changes nothing is asked.
  window_ = NewWindow();
  ASSERT_TRUE(window_->OpenImage(picture_));
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(questions_.size(), 1);
}

TEST_F(ProjectWindowTest, OpeningAnotherPictureOrProjectAsksFirstAndCancelKeepsAll) {
  const QString other = dir_.filePath("other.bmp");
  test::WritePicture(other.toStdString(), 50, 60);
  ASSERT_TRUE(window_->OpenImage(other));
  OpenAndEdit();
  const auto unchanged = [this] {
    EXPECT_EQ(window_->ImageWidth(), 200);
    EXPECT_EQ(V(), (std::vector<int32_t>{0, 200, 120}));
    EXPECT_EQ(window_->Editor().Slices().Get({1, 1}).Alt, "Door");
    EXPECT_TRUE(window_->isWindowModified());
  };
  // File > Open: Cancel comes before the file dialog, which is not shown.
  files_ << other;
  Action("Open")->trigger();
  EXPECT_EQ(questions_.size(), 1);
  EXPECT_TRUE(fileCaptions_.isEmpty());
  unchanged();
  // A recent picture, Paste as New Image and Open Project, likewise.
  QMenu* reopen = window_->findChild<QMenu*>("ReopenImageMenu");
  emit reopen->aboutToShow();
  ASSERT_EQ(reopen->actions().size(), 2);
  ASSERT_EQ(reopen->actions()[1]->data().toString(), QFileInfo(other).absoluteFilePath());
  reopen->actions()[1]->trigger();
  EXPECT_EQ(questions_.size(), 2);
  unchanged();
  pg::CopyToClipboard(*test::MakePicture(30, 20));
  Action("PasteImage")->trigger();
  EXPECT_EQ(questions_.size(), 3);
  unchanged();
  Action("OpenProject")->trigger();
  EXPECT_EQ(questions_.size(), 4);
  EXPECT_TRUE(fileCaptions_.isEmpty());
  unchanged();
  // Discard lets the project come.
  const QString project = dir_.filePath("p.tessel");
  ASSERT_TRUE(window_->SaveProject(project));
  window_->DivideImage(4, 1, true);
  answers_ << QMessageBox::Discard;
  files_ = {project};
  Action("OpenProject")->trigger();
  EXPECT_EQ(questions_.size(), 5);
  EXPECT_EQ(fileCaptions_, QStringList({"Open Project"}));
  EXPECT_EQ(V(), (std::vector<int32_t>{0, 200, 120}));
  EXPECT_FALSE(window_->isWindowModified());
}

TEST_F(ProjectWindowTest, AProjectSavedAndOpenedAgainBringsBackTheWholeJob) {
  OpenAndEdit();
  window_->SetOutputFormat("png");
  window_->OptionsDialog()->IncAltTags()->setChecked(true);
  window_->OptionsDialog()->UpperCase()->setChecked(true);
  TExportOptions options = window_->OptionsDialog()->Options();
  const QString project = dir_.filePath("work/job.tessel");
  ASSERT_TRUE(QDir(dir_.path()).mkdir("work"));
  files_ << project;
  Action("SaveProject")->trigger();
  ASSERT_EQ(window_->ProjectPath(), project);
  EXPECT_EQ(window_->RecentProjects().value(0), project);
  // The picture is named from the project's folder.
  QFile file(project);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("\"../photo.bmp\""));
  // Save Project again writes to the same file without asking.
  window_->SelectSlice(TSliceKey{2, 1});
  window_->SetSelectedSliceProperties({"", "", "Corner", ""});
  Action("SaveProject")->trigger();
  EXPECT_EQ(fileCaptions_.size(), 1);
  EXPECT_EQ(LoadProject(project.toStdString()).Slices.Get({2, 1}).Alt, "Corner");

  // Another window, other settings, then the project from the recent list.
  window_ = NewWindow();
  window_->OptionsDialog()->IncAltTags()->setChecked(false);
  window_->OptionsDialog()->UpperCase()->setChecked(false);
  ASSERT_EQ(window_->RecentProjects().value(0), project);
  QMenu* reopen = window_->findChild<QMenu*>("ReopenProjectMenu");
  emit reopen->aboutToShow();
  ASSERT_EQ(reopen->actions().size(), 1);
  reopen->actions().first()->trigger();
  EXPECT_EQ(window_->ProjectPath(), project);
  EXPECT_EQ(window_->ImageWidth(), 200);
  EXPECT_EQ(window_->windowTitle(), "Tessel! - [" + QFileInfo(picture_).absoluteFilePath() + "][*]");
  EXPECT_FALSE(window_->isWindowModified());
  EXPECT_EQ(V(), (std::vector<int32_t>{0, 200, 120}));
  EXPECT_EQ(window_->Grid().HorizontalSplits.Values(), (std::vector<int32_t>{0, 100, 40}));
  EXPECT_EQ(window_->Editor().Slices().Get({1, 1}).Target, "_blank");
  EXPECT_EQ(window_->Editor().Slices().Get({2, 1}).Alt, "Corner");
  EXPECT_EQ(window_->OutputFormat(), "png");
  EXPECT_TRUE(window_->OptionsDialog()->Options() == options);

  // The export writes over no project: a page named like it is refused before anything is written.
  const QByteArray before = [&] {
    QFile read(project);
    return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
  }();
  window_->OptionsDialog()->ShowOptionsBox()->setChecked(false);
  window_->OptionsDialog()->IncAltTags()->setChecked(false);
  QString refused;
  test::AnswerNextModal([&](QWidget* modal) {
    refused = static_cast<QMessageBox*>(modal)->text();
    static_cast<QDialog*>(modal)->accept();
  });
  window_->AskOkCancel = [](const QString&, const QString&) { return true; };
  EXPECT_FALSE(window_->Export(project));
  EXPECT_TRUE(refused.contains("a file the export reads")) << refused.toStdString();
  QFile after(project);
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_EQ(after.readAll(), before);
  EXPECT_FALSE(QFile::exists(dir_.filePath("work/job_11.png")));

  // A project whose picture is gone: the message names both, and nothing changes.
  const QString lost = dir_.filePath("lost.tessel");
  ASSERT_TRUE(window_->SaveProject(lost));
  window_ = NewWindow();
  ASSERT_TRUE(QFile::remove(picture_));
  QString message;
  test::AnswerNextModal([&](QWidget* modal) {
    message = static_cast<QMessageBox*>(modal)->text();
    static_cast<QDialog*>(modal)->accept();
  });
  EXPECT_FALSE(window_->OpenProject(lost));
  EXPECT_TRUE(message.contains("lost.tessel") && message.contains("photo.bmp")) << message.toStdString();
  EXPECT_FALSE(window_->HasImage());
  EXPECT_TRUE(window_->ProjectPath().isEmpty());
  EXPECT_EQ(window_->windowTitle(), "Tessel!");
}

TEST_F(ProjectWindowTest, ADroppedProjectOpensAsAProject) {
  OpenAndEdit();
  const QString project = dir_.filePath("Dropped.TESSEL");
  ASSERT_TRUE(window_->SaveProject(project));
  EXPECT_TRUE(TMainWindow::IsProjectFile(project));
  EXPECT_FALSE(TMainWindow::IsProjectFile(picture_));
  window_ = NewWindow();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(project)});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter);
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);
  QApplication::processEvents();
  EXPECT_EQ(window_->ProjectPath(), project);
  EXPECT_EQ(V(), (std::vector<int32_t>{0, 200, 120}));
  EXPECT_EQ(window_->Editor().Slices().Get({1, 1}).Alt, "Door");
}

TEST_F(ProjectWindowTest, CopyAndPasteAsNewImageThroughTheClipboard) {
  ASSERT_TRUE(window_->OpenImage(picture_));
  ASSERT_TRUE(window_->CopyImage());
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_FALSE(data->data(pg::kClipboardDibFormat).isEmpty());
  ASSERT_TRUE(data->hasImage());
  EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).size(), QSize(200, 100));

  // A screenshot of another size becomes the picture to slice, with a fresh grid.
  QImage screenshot(64, 48, QImage::Format_RGB32);
  screenshot.fill(qRgb(1, 2, 3));
  QGuiApplication::clipboard()->setImage(screenshot);
  window_->DivideImage(2, 2);
  answers_ << QMessageBox::Discard;
  Action("PasteImage")->trigger();
  EXPECT_EQ(questions_.size(), 1);
  EXPECT_EQ(window_->ImageWidth(), 64);
  EXPECT_EQ(window_->ImageHeight(), 48);
  EXPECT_EQ(V(), (std::vector<int32_t>{0, 64}));
  EXPECT_EQ(window_->windowTitle(), "Tessel! - [Pasted picture][*]");
  // Saving its project saves the picture first, beside the project.
  window_->DivideImage(2, 1);
  const QString shot = dir_.filePath("shot.png");
  files_ << dir_.filePath("shot.tessel") << shot;
  Action("SaveProject")->trigger();
  EXPECT_EQ(fileCaptions_, QStringList({"Save Project", "Save Picture"}));
  ASSERT_TRUE(QFile::exists(shot));
  QImage written(shot);
  EXPECT_EQ(written.pixel(63, 47), qRgb(1, 2, 3));
  EXPECT_EQ(LoadProject(dir_.filePath("shot.tessel").toStdString()).ImagePath,
            std::filesystem::path(shot.toStdString()));
  EXPECT_EQ(window_->SuggestedFile(".html"), dir_.filePath("shot.html"));

  // Text is no picture: the message says so, and the picture stays.
  QGuiApplication::clipboard()->setText("hello");
  QString message;
  test::AnswerNextModal([&](QWidget* modal) {
    message = static_cast<QMessageBox*>(modal)->text();
    static_cast<QDialog*>(modal)->accept();
  });
  EXPECT_FALSE(window_->PasteAsNewImage());
  EXPECT_TRUE(message.startsWith("Unknown clipboard format")) << message.toStdString();
  EXPECT_EQ(window_->ImageWidth(), 64);
  EXPECT_EQ(window_->ProjectPath(), dir_.filePath("shot.tessel"));
}

TEST_F(ProjectWindowTest, FileDialogsSuggestThePicturesNameInTheLastFolder) {
  window_->AskFileName = nullptr;
  ASSERT_TRUE(window_->OpenImage(picture_));
  const QString other = dir_.filePath("elsewhere");
  ASSERT_TRUE(QDir(dir_.path()).mkdir("elsewhere"));
  window_->DivideImage(2, 1);
  QStringList suggested;
  const auto answer = [&](const QString& path) {
    return [&suggested, path](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      suggested << dialog->selectedFiles().value(0);
      if (path.isEmpty()) {
        dialog->reject();
      } else {
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
      }
    };
  };
  // The picture's folder first; the project lands elsewhere, which becomes the folder.
  test::AnswerNextModal(answer(QDir(other).filePath("mine.tessel")));
  Action("SaveProjectAs")->trigger();
  test::AnswerNextModal(answer(QString()));
  Action("SaveGrid")->trigger();
  test::AnswerNextModal(answer(QString()));
  EXPECT_FALSE(window_->Export());
  ASSERT_EQ(suggested.size(), 3);
  EXPECT_EQ(suggested[0], dir_.filePath("photo.tessel"));
  EXPECT_EQ(suggested[1], QDir(other).filePath("photo.grd"));
  EXPECT_EQ(suggested[2], QDir(other).filePath("photo.html"));
  EXPECT_TRUE(QFile::exists(QDir(other).filePath("mine.tessel")));
  // The folder is kept for the next start.
  window_ = NewWindow();
  window_->AskFileName = nullptr;
  EXPECT_EQ(window_->LastFolder(), other);

  // A pasted picture is saved first, under a name typed without its extension.
  QImage screenshot(8, 6, QImage::Format_RGB32);
  screenshot.fill(qRgb(200, 100, 50));
  QGuiApplication::clipboard()->setImage(screenshot);
  ASSERT_TRUE(window_->PasteAsNewImage());
  suggested.clear();
  test::AnswerModals({answer(QDir(other).filePath("shot.tessel")), [&](QWidget* modal) {
                        auto* dialog = qobject_cast<QFileDialog*>(modal);
                        ASSERT_NE(dialog, nullptr);
                        suggested << dialog->selectedFiles().value(0);
                        dialog->selectFile("screen");
                        static_cast<QDialog*>(dialog)->accept();
                      }});
  Action("SaveProject")->trigger();
  ASSERT_EQ(suggested.size(), 2);
  EXPECT_EQ(suggested[0], QDir(other).filePath("picture.tessel"));
  EXPECT_EQ(suggested[1], QDir(other).filePath("shot.png"));
  EXPECT_EQ(QImage(QDir(other).filePath("screen.png")).pixel(7, 5), qRgb(200, 100, 50));
  EXPECT_EQ(window_->ProjectPath(), QDir(other).filePath("shot.tessel"));
}

}  // namespace
}  // namespace tessel
