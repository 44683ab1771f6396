// The smaller pieces of the window: the About box, the open dialog's filter and preview, dropping
// a file onto the window, and the question handler.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "imaging/formats/file_format.h"
#include "imaging/image/question.h"
#include "tests/workspace/ui/ui_test_support.h"
#include "workspace/ui/about_box.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/message_boxes.h"
#include "workspace/ui/open_image_dialog.h"

namespace tessel {
namespace {

TEST(AboutBoxTest, NameVersionAndLink) {
  TAboutBox about;
  EXPECT_EQ(about.findChild<QLabel*>("ProductName")->text(), "Tessel!");
  EXPECT_EQ(about.findChild<QLabel*>("Version")->text(), "Version 1.43");
  EXPECT_TRUE(about.LinkLabel()->openExternalLinks());
  EXPECT_TRUE(about.LinkLabel()->text().contains("href="));
}

TEST(OpenImageDialogTest, ReaderFilterBecomesToolkitFilters) {
  const QStringList filters =
      ReaderFilterToQt("Image files|*.bmp; *.dib; *.jpg|BMP - Bitmap|*.bmp|All files|*.*");
  EXPECT_EQ(filters,
            QStringList({"Image files (*.bmp *.dib *.jpg)", "BMP - Bitmap (*.bmp)", "All files (*.*)"}));
  EXPECT_TRUE(ReaderFilterToQt("").isEmpty());
  EXPECT_TRUE(ReaderFilterToQt("Lonely name").isEmpty());
}

TEST(OpenImageDialogTest, PreviewShowsHeaderInformationAndPicture) {
  QTemporaryDir dir;
  const QString path = dir.filePath("p.bmp");
  test::WritePicture(path.toStdString(), 30, 20);
  TOpenImageDialog dialog;
  EXPECT_EQ(dialog.nameFilters().first().left(12), "Image files ");
  EXPECT_EQ(dialog.nameFilters().last(), "All files (*.*)");
  dialog.ShowPreview(path);
  EXPECT_TRUE(dialog.InfoLabel()->text().contains("30 x 20 pixels"));
  EXPECT_EQ(dialog.Preview()->PixelGraphicWidth(), 30);
  // A file no reader knows leaves the preview empty.
  const QString text = dir.filePath("t.txt");
  QFile file(text);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("hello");
  file.close();
  dialog.ShowPreview(text);
  EXPECT_TRUE(dialog.InfoLabel()->text().isEmpty());
  EXPECT_EQ(dialog.Preview()->PixelGraphicWidth(), 0);
}

TEST(MainWindowDropTest, DroppedFileOpens) {
  QTemporaryDir dir;
  const QString path = dir.filePath("dropped.bmp");
  test::WritePicture(path.toStdString(), 12, 8);
  TMainWindow window;
  window.show();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path)});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
  QApplication::processEvents();
  EXPECT_EQ(window.ImageWidth(), 12);
  EXPECT_EQ(window.windowTitle(), "Tessel! - [" + path + "][*]");
}

TEST(QuestionHandlerTest, LibraryQuestionsBecomeMessageBoxes) {
  InstallQuestionHandler();
  QString caption, text;
  test::AnswerNextModal([&](QWidget* modal) {
    auto* box = static_cast<QMessageBox*>(modal);
    caption = box->windowTitle();
    text = box->text();
    box->button(QMessageBox::Cancel)->click();
  });
  EXPECT_EQ(pg::AskQuestion("Caption", "Reduce colours?", pg::TQuestionButtons::OKCancel),
            pg::TQuestionAnswer::Cancel);
  EXPECT_EQ(caption, "Caption");
  EXPECT_EQ(text, "Reduce colours?");
  test::AnswerNextModal(
      [](QWidget* modal) { static_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click(); });
  EXPECT_EQ(pg::AskQuestion("C", "T", pg::TQuestionButtons::OK), pg::TQuestionAnswer::OK);
  pg::SetQuestionHandler({});
}

}  // namespace
}  // namespace tessel
