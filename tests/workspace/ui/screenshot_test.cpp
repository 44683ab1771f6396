// Runs the program under Xvfb on a picture with a grid and checks the screen: the picture is shown
// at natural size with every split line over it, dashed black and white in steps of four pixels
// counted from the picture's corner (a vertical line drawn over a horizontal one where they cross).
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>

#include "tests/workspace/ui/ui_test_support.h"

namespace tessel {
namespace {

#ifdef TESSEL_PROGRAM

QRgb PictureColor(const pg::TPixelGraphic& picture, int x, int y) {
  const uint8_t* p = picture.ScanLine(y) + 3 * x;
  return qRgb(p[2], p[1], p[0]);
}

TEST(ScreenshotTest, WindowShowsThePictureWithItsSplitLines) {
  if (QStandardPaths::findExecutable("xvfb-run").isEmpty() ||
      QStandardPaths::findExecutable("xwininfo").isEmpty() ||
      QStandardPaths::findExecutable("import").isEmpty()) {
    GTEST_SKIP() << "xvfb-run, xwininfo or import (ImageMagick) is not installed";
  }
  QTemporaryDir dir;
  const QString image = dir.filePath("picture.bmp");
  const QString grid = dir.filePath("picture.grd");
  const QString shot = dir.filePath("shot.png");
  test::WritePicture(image.toStdString(), 160, 120);
  const std::vector<int> vertical = {0, 70, 160}, horizontal = {0, 50, 120};
  {
    QFile file(grid);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0\r\n50\r\n120\r\n-\r\n0\r\n70\r\n160\r\n");
  }
  // The program runs on the X server of its own, with settings of its own; the screen is taken
  // once its window is up. The slice numbers are off, so the picture shows nothing but its lines.
  ASSERT_TRUE(QDir(dir.path()).mkpath("config/Orlenwick"));
  {
    QFile file(dir.filePath("config/Orlenwick/Tessel.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Software]\nOrlenwick\\Tessel\\ShowSliceNumbers=false\n");
  }
  const QString script = dir.filePath("run.sh");
  {
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QString("export XDG_CONFIG_HOME='%1/config' XDG_CACHE_HOME='%1/cache'\n"
                       "unset QT_QPA_PLATFORM\n"
                       "'%2' --grid '%3' '%4' &\n"
                       "pid=$!\n"
                       // Wait until the window with the picture's caption exists (a slow,
                       // sanitized build may need long), then give it a moment to paint.
                       "i=0\n"
                       "sleep 1\n"
                       "until xwininfo -name 'Tessel! - [%4]' >/dev/null 2>&1; do\n"
                       "  i=$((i+1)); [ $i -ge 60 ] && break; sleep 1\n"
                       "done\n"
                       "sleep 2\n"
                       "import -window root '%5'\n"
                       "kill $pid\n"
                       "wait $pid\n"
                       "exit 0\n")
                   .arg(dir.path(), TESSEL_PROGRAM, grid, image, shot)
                   .toLocal8Bit());
  }
  const QString command = "timeout 120 xvfb-run -a -s '-screen 0 1024x768x24' sh '" + script + "' >'" +
                          dir.filePath("log") + "' 2>&1";
  ASSERT_EQ(std::system(command.toLocal8Bit().constData()), 0);
  QImage screen(shot);
  ASSERT_FALSE(screen.isNull()) << "no screenshot was taken";
  screen = screen.convertToFormat(QImage::Format_RGB32);

  auto picture = test::MakePicture(160, 120);
  auto expected = [&](int x, int y) {
    const bool onV = std::find(vertical.begin(), vertical.end(), x) != vertical.end();
    const bool onH = std::find(horizontal.begin(), horizontal.end(), y) != horizontal.end();
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    if (onV) return y % 8 < 4 ? black : white;
    if (onH) return x % 8 < 4 ? black : white;
    return PictureColor(*picture, x, y);
  };
  // Find the picture on the screen by its pixel (1, 1), then compare every pixel of it.
  int bestMatches = 0;
  for (int oy = 0; oy + 120 <= screen.height(); ++oy) {
    for (int ox = 0; ox + 160 <= screen.width(); ++ox) {
      if ((screen.pixel(ox + 1, oy + 1) & 0xFFFFFF) != (expected(1, 1) & 0xFFFFFF)) continue;
      if ((screen.pixel(ox + 2, oy + 3) & 0xFFFFFF) != (expected(2, 3) & 0xFFFFFF)) continue;
      int matches = 0;
      for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x) {
          if ((screen.pixel(ox + x, oy + y) & 0xFFFFFF) == (expected(x, y) & 0xFFFFFF)) ++matches;
        }
      }
      bestMatches = std::max(bestMatches, matches);
    }
  }
  EXPECT_EQ(bestMatches, 160 * 120) << "the picture with its dashed split lines was not found on the screen";
}

#endif

}  // namespace
}  // namespace tessel
