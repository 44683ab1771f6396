// What the window says about files it cannot use: each message names the file and says what to
// do, and a question about a damaged picture says what its buttons do.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>

#include "tests/workspace/ui/ui_test_support.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/settings.h"

namespace tessel {
namespace {

class FileMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OpenSettings().clear();
    window_ = std::make_unique<TMainWindow>();
    window_->show();
    picture_ = dir_.filePath("picture.bmp");
    test::WritePicture(picture_.toStdString(), 200, 100);
    ASSERT_TRUE(window_->OpenImage(picture_));
  }

  QString Write(const QString& name, const QByteArray& bytes) {
    QFile file(dir_.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  }

  // Every message box that opens while `action` runs, answered with `button`.
  QStringList BoxesDuring(const std::function<void()>& action,
                          QMessageBox::StandardButton button = QMessageBox::Ok) {
    QStringList texts;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      texts << box->text();
      QAbstractButton* pressed = box->button(button);
      (pressed != nullptr ? pressed : box->button(QMessageBox::Ok))->click();
    });
    answer.start();
    action();
    return texts;
  }

  QTemporaryDir dir_;
  QString picture_;
  std::unique_ptr<TMainWindow> window_;
};

TEST_F(FileMessagesTest, PicturesThatCannotBeOpenedAreNamedWithWhatToDo) {
  const QString text = Write("photo.txt", "just some words\n");
  QStringList shown = BoxesDuring([&] { EXPECT_FALSE(window_->OpenImage(text)); });
  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(shown[0].startsWith("photo.txt is not an image Tessel can read. Tessel reads .avif, .bmp, "))
      << shown[0].toStdString();
  EXPECT_TRUE(shown[0].endsWith(", .tiff and .webp files.")) << shown[0].toStdString();

  ASSERT_TRUE(QDir(dir_.path()).mkdir("photos"));
  shown = BoxesDuring([&] { EXPECT_FALSE(window_->OpenImage(dir_.filePath("photos"))); });
  EXPECT_EQ(shown, QStringList{"photos is a folder, not an image. Open one of the pictures in it."});

  // A damaged file of a known format: the reader's words, with the file's name.
  const QString bad = Write("bad.bmp", "BM not a bitmap");
  shown = BoxesDuring([&] { EXPECT_FALSE(window_->OpenImage(bad)); });
  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(shown[0].startsWith("bad.bmp: ")) << shown[0].toStdString();
  EXPECT_EQ(window_->ImageWidth(), 200);
}

TEST_F(FileMessagesTest, GridFilesThatAreEmptyBinaryOrAFolderAreNamed) {
  window_->Grid().AddVertical(50);
  const TSplitGrid before = window_->Grid();
  const QString empty = Write("empty.grd", "");
  QStringList shown = BoxesDuring([&] { EXPECT_FALSE(window_->LoadGridFile(empty)); });
  EXPECT_EQ(shown, QStringList{empty + " is empty; a grid file holds split positions, one number a line. The "
                                       "grid was left as it was."});
  const QString binary = Write("photo.grd", QByteArray("\x89PNG\r\n\x1a\n\0\0", 10));
  shown = BoxesDuring([&] { EXPECT_FALSE(window_->LoadGridFile(binary)); });
  EXPECT_EQ(shown,
            QStringList{binary + " is not a grid file: it holds binary data. A grid file is text with one "
                                 "split position a line, as Save Grid writes it."});
  shown = BoxesDuring([&] { EXPECT_FALSE(window_->LoadGridFile(dir_.path())); });
  EXPECT_EQ(shown, QStringList{dir_.path() + " is a folder, not a grid file; choose a .grd file"});
  EXPECT_EQ(window_->Grid(), before);
}

TEST_F(FileMessagesTest, ACutJpegAsksWhatOkAndCancelDoAndCancelSaysNoMore) {
  const QString whole = dir_.filePath("whole.jpg");
  test::WritePicture(whole.toStdString(), 64, 64);
  QFile file(whole);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  const QString cut = Write("cut.jpg", bytes.left(bytes.size() / 2));

  QStringList shown = BoxesDuring([&] { EXPECT_FALSE(window_->OpenImage(cut)); }, QMessageBox::Cancel);
  ASSERT_EQ(shown.size(), 1) << shown.join(" | ").toStdString();
  EXPECT_EQ(shown[0],
            "cut.jpg: Premature end of JPEG file\n\nOK opens the part of cut.jpg that could be read; "
            "Cancel leaves it closed.");
  EXPECT_EQ(window_->ImageWidth(), 200);

  shown = BoxesDuring([&] { EXPECT_TRUE(window_->OpenImage(cut)); }, QMessageBox::Ok);
  EXPECT_EQ(shown.size(), 1);
  EXPECT_EQ(window_->ImageWidth(), 64);
}

}  // namespace
}  // namespace tessel
