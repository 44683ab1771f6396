// Drives the program under Xvfb, with a window manager, as a user would with mouse and keys: a
// 6000 x 4000 picture is opened and fitted to the window, split lines are dragged onto it with
// snapping on, a slice is selected and given its ALT text in the Slice panel, the project is saved,
// the program quits and opens the project again, and the export's page is compared with the one
// the grid gives. Where the test needs to know where something is on the screen (the picture), it
// takes a screenshot and finds it there.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "imaging/image/pixel_graphic.h"

namespace tessel {
namespace {

#ifdef TESSEL_PROGRAM

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
// The picture's quarters (top left, top right, bottom left, bottom right), in colours nothing else
// on the screen has, so the picture can be told from the window around it at any zoom.
const QRgb kQuarters[4] = {qRgb(255, 0, 140), qRgb(0, 200, 90), qRgb(250, 170, 0), qRgb(40, 90, 255)};

void WriteQuarters(const std::string& path) {
  pg::TPixelGraphic picture;
  picture.NewImage(kWidth, kHeight, pg::bc24Bit);
  std::vector<uint8_t> rows[2];
  for (int half = 0; half < 2; ++half) {
    rows[half].resize(3 * kWidth);
    for (int x = 0; x < kWidth; ++x) {
      const QRgb color = kQuarters[2 * half + (x >= kWidth / 2 ? 1 : 0)];
      rows[half][3 * x + 0] = static_cast<uint8_t>(qBlue(color));
      rows[half][3 * x + 1] = static_cast<uint8_t>(qGreen(color));
      rows[half][3 * x + 2] = static_cast<uint8_t>(qRed(color));
    }
  }
  for (int y = 0; y < kHeight; ++y)
    std::memcpy(picture.ScanLine(y), rows[y >= kHeight / 2 ? 1 : 0].data(), 3 * kWidth);
  picture.SaveToFile(path);
}

bool IsQuarterColor(QRgb pixel) {
  for (const QRgb color : kQuarters) {
    if (std::abs(qRed(pixel) - qRed(color)) <= 8 && std::abs(qGreen(pixel) - qGreen(color)) <= 8 &&
        std::abs(qBlue(pixel) - qBlue(color)) <= 8)
      return true;
  }
  return false;
}

// Where the picture lies on the screen: from its first pixel to past its last.
struct TPlacement {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  // The screen point of picture position (x, y).
  QPoint At(double x, double y) const {
    return QPoint(Left + static_cast<int>(std::lround(x * (Right - Left) / kWidth)),
                  Top + static_cast<int>(std::lround(y * (Bottom - Top) / kHeight)));
  }
  // Screen pixels per picture pixel.
  double Scale() const { return static_cast<double>(Right - Left) / kWidth; }
  friend bool operator==(const TPlacement&, const TPlacement&) = default;
};

// Finds the picture by its colours: the columns and rows that are mostly picture. The split lines
// at the picture's left and top edges lie over its first column and row, the ones at its right and
// bottom edges just outside it, so the colours start one pixel in.
std::optional<TPlacement> FindPicture(const QImage& screen) {
  if (screen.isNull()) return std::nullopt;
  std::vector<int> columns(static_cast<size_t>(screen.width())), rows(static_cast<size_t>(screen.height()));
  for (int y = 0; y < screen.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
    for (int x = 0; x < screen.width(); ++x) {
      if (IsQuarterColor(line[x])) {
        ++columns[static_cast<size_t>(x)];
        ++rows[static_cast<size_t>(y)];
      }
    }
  }
  // The extent of the entries of at least half the largest count (a line across the picture or a
  // magnified piece of it elsewhere does not move it).
  const auto extent = [](const std::vector<int>& counts) -> std::optional<std::pair<int, int>> {
    const int most = *std::max_element(counts.begin(), counts.end());
    if (most < 20) return std::nullopt;
    int first = -1, last = -1;
    for (size_t i = 0; i < counts.size(); ++i) {
      if (counts[i] * 2 >= most) {
        if (first < 0) first = static_cast<int>(i);
        last = static_cast<int>(i);
      }
    }
    return std::make_pair(first, last);
  };
  const auto across = extent(columns), down = extent(rows);
  if (!across || !down) return std::nullopt;
  TPlacement placement{across->first - 1, down->first - 1, across->second + 1, down->second + 1};
  // The whole picture at one scale both ways, or it is not all on the screen yet.
  const double scaleX = placement.Scale();
  const double scaleY = static_cast<double>(placement.Bottom - placement.Top) / kHeight;
  if (std::abs(scaleX - scaleY) * kWidth > 3.0) return std::nullopt;
  return placement;
}

// The screen columns (vertical lines) or rows inside the picture that are split lines: black and
// white dashes nearly all along.
std::vector<int> LinesOnScreen(const QImage& screen, const TPlacement& at, bool vertical) {
  std::vector<int> lines;
  const int from = vertical ? at.Left : at.Top, to = vertical ? at.Right : at.Bottom;
  const int acrossFrom = vertical ? at.Top : at.Left, acrossTo = vertical ? at.Bottom : at.Right;
  // The lines on the picture's edges are not counted.
  for (int i = from + 2; i < to - 2; ++i) {
    int dashes = 0;
    for (int j = acrossFrom + 2; j < acrossTo - 2; ++j) {
      const QRgb pixel = (vertical ? screen.pixel(i, j) : screen.pixel(j, i)) & 0xFFFFFF;
      if (pixel == 0 || pixel == 0xFFFFFF) ++dashes;
    }
    if (dashes * 10 >= (acrossTo - acrossFrom - 4) * 9) lines.push_back(i);
  }
  return lines;
}

// Whether `found` are the screen positions of `expected` (off by a pixel at most, from rounding).
bool SameLines(const std::vector<int>& found, const std::vector<int>& expected) {
  if (found.size() != expected.size()) return false;
  for (size_t i = 0; i < found.size(); ++i) {
    if (std::abs(found[i] - expected[i]) > 1) return false;
  }
  return true;
}

std::string Listed(const std::vector<int>& values) {
  std::string text;
  for (const int value : values) text += (text.empty() ? "" : ", ") + std::to_string(value);
  return text;
}

// Waits for `condition`, looking again every 100 ms, for up to `milliseconds`.
bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 30000) {
  QElapsedTimer timer;
  timer.start();
  for (;;) {
    if (condition()) return true;
    if (timer.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents();
    QThread::msleep(100);
  }
}

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

// An X server of its own (xvfb-run) with a window manager (openbox), for the program and the tools
// that drive it. It ends when the test does.
class TXSession {
 public:
  explicit TXSession(const QString& dir) : dir_(dir) {}
  ~TXSession() { Stop(); }

  // Starts the server and the window manager and waits until the window manager runs.
  bool Start(QString& error) {
    const QString script = dir_ + "/session.sh";
    {
      QFile file(script);
      if (!file.open(QIODevice::WriteOnly)) return error = "cannot write " + script, false;
      // The display and its key are handed to the test through a file; the session lasts until
      // the test leaves the file "stop".
      file.write(
          "printf '%s\\n%s\\n' \"$DISPLAY\" \"$XAUTHORITY\" >\"$1/display.part\"\n"
          "mv \"$1/display.part\" \"$1/display\"\n"
          "openbox --sm-disable >\"$1/openbox.log\" 2>&1 &\n"
          "wm=$!\n"
          "while [ ! -e \"$1/stop\" ]; do sleep 0.1; done\n"
          "kill $wm 2>/dev/null\n"
          "wait $wm 2>/dev/null\n"
          "exit 0\n");
    }
    server_.setProgram("xvfb-run");
    server_.setArguments({"-a", "-s", "-screen 0 1280x1024x24", "sh", script, dir_});
    server_.setStandardOutputFile(dir_ + "/xvfb.log", QIODevice::Append);
    server_.setStandardErrorFile(dir_ + "/xvfb.log", QIODevice::Append);
    // xvfb-run -a takes the first free display, which another run starting at the same moment may
    // take first: then its server fails, and another try finds the next one.
    for (int attempt = 1; !QFile::exists(dir_ + "/display"); ++attempt) {
      if (attempt > 3) return error = "the X server did not come up: " + ReadText(dir_ + "/xvfb.log"), false;
      server_.start();
      if (!server_.waitForStarted(10000)) return error = "xvfb-run did not start", false;
      WaitUntil([&] { return QFile::exists(dir_ + "/display") || server_.state() == QProcess::NotRunning; },
                30000);
      if (!QFile::exists(dir_ + "/display") && server_.state() != QProcess::NotRunning)
        return error = "the X server is not ready after 30 s: " + ReadText(dir_ + "/xvfb.log"), false;
    }
    const QStringList lines = ReadText(dir_ + "/display").split('\n');
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.remove("QT_QPA_PLATFORM");
    environment_.insert("DISPLAY", lines.value(0));
    if (!lines.value(1).isEmpty()) environment_.insert("XAUTHORITY", lines.value(1));
    // The window manager announces itself on the root window.
    if (!WaitUntil([&] {
          return Run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
        })) {
      return error = "openbox did not start: " + ReadText(dir_ + "/openbox.log"), false;
    }
    return true;
  }

  void Stop() {
    if (server_.state() == QProcess::NotRunning) return;
    QFile(dir_ + "/stop").open(QIODevice::WriteOnly);
    if (!server_.waitForFinished(20000)) {
      server_.terminate();
      server_.waitForFinished(5000);
    }
  }

  // The environment of programs on this display; `settings` holds their settings and caches.
  QProcessEnvironment Environment(const QString& settings) const {
    QProcessEnvironment environment = environment_;
    environment.insert("XDG_CONFIG_HOME", settings + "/config");
    environment.insert("XDG_CACHE_HOME", settings + "/cache");
    return environment;
  }

  // Runs a tool on this display to its end and returns its standard output.
  QString Run(const QString& program, const QStringList& arguments) const {
    QProcess process;
    process.setProcessEnvironment(environment_);
    process.start(program, arguments);
    if (!process.waitForFinished(20000)) {
      process.kill();
      process.waitForFinished(2000);
      return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
  }

  QImage Screen() const {
    const QString path = dir_ + "/screen.png";
    QFile::remove(path);
    Run("import", {"-window", "root", path});
    return QImage(path).convertToFormat(QImage::Format_RGB32);
  }

  // The visible windows whose name matches `pattern` (a regular expression).
  QStringList Windows(const QString& pattern) const {
    return Run("xdotool", {"search", "--onlyvisible", "--name", pattern}).split('\n', Qt::SkipEmptyParts);
  }

  // Keys (xdotool's names, "ctrl+shift+s") and text to the window that has the focus.
  void Keys(const QStringList& keys) const { Run("xdotool", QStringList{"key", "--clearmodifiers"} + keys); }
  void Type(const QString& text) const { Run("xdotool", {"type", "--delay", "30", text}); }

  // Activates a window (for the keys that follow).
  void Activate(const QString& window) const { Run("xdotool", {"windowactivate", "--sync", window}); }

  // A press at `from`, a move in steps and the release at `to`, with the left button.
  void Drag(QPoint from, QPoint to) const {
    QStringList arguments = {"mousemove",
                             "--sync",
                             QString::number(from.x()),
                             QString::number(from.y()),
                             "sleep",
                             "0.1",
                             "mousedown",
                             "1",
                             "sleep",
                             "0.1"};
    for (int step = 1; step <= 4; ++step) {
      const QPoint at = from + (to - from) * step / 4;
      arguments << "mousemove"
                << "--sync" << QString::number(at.x()) << QString::number(at.y()) << "sleep"
                << "0.05";
    }
    arguments << "sleep"
              << "0.1"
              << "mouseup"
              << "1"
              << "sleep"
              << "0.1";
    Run("xdotool", arguments);
  }

  void Click(QPoint at) const {
    Run("xdotool", {"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()), "sleep", "0.1",
                    "click", "1"});
  }

  // The pointer out of the way of the picture. (Not waited for: xdotool would wait for ever for a
  // pointer already there to move.)
  void PointerAway() const { Run("xdotool", {"mousemove", "1279", "1023"}); }

 private:
  QString dir_;
  QProcess server_;
  QProcessEnvironment environment_;
};

// The program on the session's display, with its output kept for the failure message.
class TProgram {
 public:
  TProgram(const TXSession& session, const QString& settings, const QString& log) : log_(log) {
    QProcessEnvironment environment = session.Environment(settings);
    // The system's D-Bus library keeps a buffer to the end, which the leak check would report as
    // the program's.
    const QString suppressions = settings + "/leaks.supp";
    QFile file(suppressions);
    if (file.open(QIODevice::WriteOnly)) file.write("leak:libdbus-1.so\n");
    const QString options = environment.value("LSAN_OPTIONS");
    environment.insert("LSAN_OPTIONS",
                       (options.isEmpty() ? "" : options + ":") + "suppressions=" + suppressions);
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(log, QIODevice::Append);
  }
  ~TProgram() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  bool Start(const QStringList& arguments) {
    process_.start(TESSEL_PROGRAM, arguments);
    return process_.waitForStarted(10000);
  }
  bool Running() {
    process_.waitForFinished(0);
    return process_.state() != QProcess::NotRunning;
  }
  int ExitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }
  QString Log() const { return ReadText(log_); }

 private:
  QString log_;
  QProcess process_;
};

// A placement that two screenshots in a row agree on, and that `accept` takes.
std::optional<TPlacement> SettledPicture(const TXSession& session,
                                         const std::function<bool(const TPlacement&)>& accept,
                                         int milliseconds) {
  std::optional<TPlacement> last, settled;
  WaitUntil(
      [&] {
        const std::optional<TPlacement> now = FindPicture(session.Screen());
        if (now && last && *now == *last && accept(*now)) settled = now;
        last = now;
        return settled.has_value();
      },
      milliseconds);
  return settled;
}

TEST(WorkflowScreenshotTest, LinesSnappedAndAltTextSurviveTheProjectIntoTheExportedPage) {
  for (const char* tool : {"xvfb-run", "openbox", "xdotool", "import", "xprop"}) {
    if (QStandardPaths::findExecutable(tool).isEmpty()) {
      GTEST_SKIP() << tool << " is not installed (the packages xvfb, openbox, xdotool, imagemagick and "
                   << "x11-utils drive the program under Xvfb)";
    }
  }
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString image = dir.filePath("shop.bmp");
  const QString grid = dir.filePath("shop.grd");
  const QString project = dir.filePath("front.tessel");
  const QString page = dir.filePath("page.html");
  const QString log = dir.filePath("tessel.log");
  WriteQuarters(image.toStdString());
  {
    // A vertical line at 1234, off every step of the snapping, for a drop to snap onto.
    QFile file(grid);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0\r\n4000\r\n-\r\n0\r\n1234\r\n6000\r\n");
  }
  // Settings of the program's own: a window of a known size (wider than the picture's proportions
  // allow at its height, so the Slice panel coming up narrows the fitted picture), snapping to
  // lines, edges and every 1000 pixels, and no slice numbers over the picture.
  ASSERT_TRUE(QDir(dir.path()).mkpath("config/Orlenwick"));
  {
    QFile file(dir.filePath("config/Orlenwick/Tessel.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[Software]\n"
        "Orlenwick\\Tessel\\Left=40\nOrlenwick\\Tessel\\Top=60\n"
        "Orlenwick\\Tessel\\Width=1100\nOrlenwick\\Tessel\\Height=900\n"
        "Orlenwick\\Tessel\\Snapping=true\nOrlenwick\\Tessel\\SnapStep=1000\n"
        "Orlenwick\\Tessel\\ShowSliceNumbers=false\n");
  }

  TXSession session(dir.path());
  QString error;
  ASSERT_TRUE(session.Start(error)) << error.toStdString();
  std::string steps;
  const auto trace = [&] {
    return "steps done:" + steps + "\nprogram output:\n" + ReadText(log).toStdString();
  };
  QElapsedTimer clock;
  clock.start();
  const auto done = [&](const char* step) {
    steps += std::string(" ") + step + " (" +
             QString::number(clock.elapsed() / 1000.0, 'f', 1).toStdString() + " s);";
  };

  // The main window of the program just started, activated.
  QString window;
  const auto mainWindow = [&] {
    const bool found = WaitUntil([&] {
      const QStringList windows = session.Windows("^Tessel! - \\[");
      window = windows.value(0);
      return !windows.isEmpty();
    });
    if (found) session.Activate(window);
    return found;
  };
  // Waits for the window of title `title` and activates it.
  const auto dialog = [&](const QString& title) {
    QStringList found;
    if (!WaitUntil([&] { return !(found = session.Windows("^" + title + "$")).isEmpty(); })) return false;
    session.Activate(found.first());
    return true;
  };
  // The path typed into the file dialog with the focus, over the name it suggests, and accepted.
  const auto typePath = [&](const QString& path) {
    session.Keys({"ctrl+a"});
    session.Type(path);
    session.Keys({"Return"});
  };
  const auto title = [&] { return session.Run("xdotool", {"getwindowname", window}).trimmed(); };
  // Alt+F4 through the window manager; the program must end without asking anything.
  const auto quit = [&](TProgram& program) {
    session.Activate(window);
    session.Keys({"alt+F4"});
    bool asked = false;
    WaitUntil([&] { return !program.Running() || (asked = !session.Windows("^Tessel!$").isEmpty()); });
    return !asked && !program.Running() && program.ExitCode() == 0;
  };
  // The lines inside the picture on the screen: the vertical ones at 1234 and 3000 and the
  // horizontal one at 2000, nothing else (a drop that did not snap leaves a line a few pixels off).
  const auto expectLines = [&](const TPlacement& at) {
    const std::vector<int> vertical = {at.At(1234, 0).x(), at.At(3000, 0).x()};
    const std::vector<int> horizontal = {at.At(0, 2000).y()};
    std::vector<int> verticalFound, horizontalFound;
    EXPECT_TRUE(WaitUntil(
        [&] {
          const QImage screen = session.Screen();
          verticalFound = LinesOnScreen(screen, at, true);
          horizontalFound = LinesOnScreen(screen, at, false);
          return SameLines(verticalFound, vertical) && SameLines(horizontalFound, horizontal);
        },
        20000))
        << "vertical lines at screen columns " << Listed(verticalFound) << " (expected " << Listed(vertical)
        << "), horizontal at rows " << Listed(horizontalFound) << " (expected " << Listed(horizontal) << "); "
        << trace();
  };
  const auto anywhere = [](const TPlacement&) { return true; };

  {
    TProgram program(session, dir.path(), log);
    ASSERT_TRUE(program.Start({"--grid", grid, image}));
    ASSERT_TRUE(mainWindow()) << trace();
    session.PointerAway();
    // The whole picture in the window.
    session.Keys({"ctrl+0"});
    std::optional<TPlacement> at = SettledPicture(session, anywhere, 30000);
    ASSERT_TRUE(at) << "the picture was not found on the screen; " << trace();
    EXPECT_LT(at->Scale(), 0.25) << "the picture is not fitted to the window";
    done("fitted");

    // Split lines dragged with the line tools from a place away from every line, dropped three
    // screen pixels beside where they should snap to (snapping reaches 8, a screen pixel is about 6
    // picture pixels): without snapping each would land some 20 pixels off.
    const QPoint start = at->At(4500, 3000);
    const int off = 3;
    session.Keys({"v"});
    session.Drag(start, at->At(3000, 3000) + QPoint(off, 0));  // onto the step: 3000
    session.Drag(start, at->At(1234, 3000) + QPoint(off, 0));  // onto the line at 1234
    session.Drag(start, at->At(6000, 3000) - QPoint(off, 0));  // onto the right edge
    session.Keys({"h"});
    session.Drag(start, at->At(4500, 2000) - QPoint(0, off));  // onto the step: 2000
    session.Drag(start, at->At(4500, 4000) - QPoint(0, off));  // onto the bottom edge
    session.PointerAway();
    expectLines(*at);
    done("lines dragged");

    // The select tool brings up the Slice panel, which narrows the view: the picture is fitted
    // anew.
    session.Keys({"s"});
    const int wide = at->Right - at->Left;
    at = SettledPicture(
        session, [&](const TPlacement& now) { return now.Right - now.Left < wide; }, 30000);
    ASSERT_TRUE(at) << "the picture did not fit itself to the view beside the Slice panel; " << trace();
    // The slice between the lines at 1234 and 3000, below 2000: column 2, row 2.
    session.Click(at->At(2100, 3000));
    session.PointerAway();
    session.Keys({"alt+a"});
    session.Type("Blue \"shop\" door");
    EXPECT_TRUE(WaitUntil([&] { return title().endsWith('*'); }))
        << "no mark of unsaved changes in the caption: " << title().toStdString() << "; " << trace();
    done("ALT text typed");

    session.Keys({"ctrl+shift+s"});
    ASSERT_TRUE(dialog("Save Project")) << "no save dialog for the project; " << trace();
    typePath(project);
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(project); })) << "no project was saved; " << trace();
    session.Activate(window);
    EXPECT_TRUE(WaitUntil([&] { return !title().endsWith('*'); }))
        << "the caption still marks unsaved changes: " << title().toStdString() << "; " << trace();
    done("project saved");
    ASSERT_TRUE(quit(program)) << "the program did not end cleanly; " << trace();
    done("quit");
  }

  {
    // The project given on the command line: picture, lines and ALT text as they were saved.
    TProgram program(session, dir.path(), log);
    ASSERT_TRUE(program.Start({project}));
    ASSERT_TRUE(mainWindow()) << trace();
    session.PointerAway();
    const std::optional<TPlacement> at = SettledPicture(session, anywhere, 30000);
    ASSERT_TRUE(at) << "the project's picture was not found on the screen; " << trace();
    expectLines(*at);
    done("project reopened");

    // Export: the save dialog takes the page's path, the options dialog its OK.
    session.Keys({"ctrl+s"});
    ASSERT_TRUE(dialog("Export")) << "no save dialog for the export; " << trace();
    typePath(page);
    ASSERT_TRUE(dialog("Export Options")) << "no export options; " << trace();
    session.Keys({"Return"});
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(page); }, 60000)) << "no page was written; " << trace();
    // The summary that ends the export stands beside the window; Escape closes it.
    ASSERT_TRUE(dialog("Export finished")) << "no summary after the export; " << trace();
    session.Keys({"Escape"});
    ASSERT_TRUE(WaitUntil([&] { return session.Windows("^Export finished$").isEmpty(); }))
        << "the summary stayed; " << trace();
    done("exported");
    ASSERT_TRUE(quit(program)) << "the program did not end cleanly; " << trace();
  }

  // Columns 0-1234-3000-6000, rows 0-2000-4000; the typed ALT text on column 2, row 2.
  const QString expected =
      "<table cellspacing = 0 cellpadding = 0 border = 0>\r\n"
      "<tr><td><img src='page_11.jpg' width=1234 height=2000></td>"
      "<td><img src='page_21.jpg' width=1766 height=2000></td>"
      "<td><img src='page_31.jpg' width=3000 height=2000></td></tr>\r\n"
      "<tr><td><img src='page_12.jpg' width=1234 height=2000></td>"
      "<td><img src='page_22.jpg' width=1766 height=2000 ALT=\"Blue &quot;shop&quot; door\"></td>"
      "<td><img src='page_32.jpg' width=3000 height=2000></td></tr>\r\n"
      "</TABLE>\r\n";
  EXPECT_EQ(ReadText(page).toStdString(), expected.toStdString()) << trace();
}

#endif

}  // namespace
}  // namespace tessel
