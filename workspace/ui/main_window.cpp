#include "workspace/ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_image.h"
#include "workspace/file_messages.h"
#include "workspace/grid_file.h"
#include "workspace/output_formats.h"
#include "workspace/ui/about_box.h"
#include "workspace/ui/color_dialog.h"
#include "workspace/ui/divide_dialog.h"
#include "workspace/ui/export_dialogs.h"
#include "workspace/ui/export_summary.h"
#include "workspace/ui/jpeg_page.h"
#include "workspace/ui/magnifier.h"
#include "workspace/ui/message_boxes.h"
#include "workspace/ui/open_image_dialog.h"
#include "workspace/ui/preferences_dialog.h"
#include "workspace/ui/ruler.h"
#include "workspace/ui/settings.h"
#include "workspace/ui/tool_icons.h"
#include "workspace/ui/usage_text.h"

namespace tessel {

namespace {

constexpr int kRecentLimit = 10;
constexpr char kGridFilter[] = "Grid Files (*.grd)";

std::filesystem::path ToPath(const QString& path) {
  return std::filesystem::path(path.toStdString());
}

}  // namespace

TMainWindow::TMainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName("MainWindow");
  setWindowTitle("Tessel!");
  setAcceptDrops(true);
  slice_ = std::make_unique<pg::TPixelGraphic>();

  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl");
  setCentralWidget(pages_);
  BuildSourcePage();
  jpegPage_ = new TJpegPage(this);
  pages_->addTab(sourcePage_, "Source");
  pages_->addTab(jpegPage_, "JPEG Compression");
  connect(pages_, &QTabWidget::currentChanged, this, &TMainWindow::PageChanged);
  BuildMenus();
  BuildZoomButtons(sourcePage_->findChild<QWidget*>("ToolBar"));
  BuildSlicePanel();

  // Created once and reused, in this order, after the window itself.
  about_ = new TAboutBox(this);
  options_ = new TExportOptionsDialog(this);
  htmlExport_ = new THtmlExportDialog(this);
  editCode_ = new TEditCodeDialog(this);
  summary_ = new TExportSummaryDialog(this);

  RestoreSettings();
  UpdateMenuState();
}

TMainWindow::~TMainWindow() {
  if (overrideCursor_) QApplication::restoreOverrideCursor();
}

// ---- Construction ---------------------------------------------------------------------------

void TMainWindow::BuildSourcePage() {
  sourcePage_ = new QWidget(this);
  sourcePage_->setObjectName("Source");
  auto* layout = new QVBoxLayout(sourcePage_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* toolBar = new QWidget(sourcePage_);
  toolBar->setObjectName("ToolBar");
  toolBar->setFixedHeight(33);
  auto* toolLayout = new QHBoxLayout(toolBar);
  toolLayout->setContentsMargins(2, 1, 2, 1);
  toolLayout->setSpacing(1);
  tools_ = new QButtonGroup(this);
  tools_->setExclusive(true);
  struct ToolSpec {
    const char* name;
    const char* hint;
    const char* glyph;
    TToolIcon icon;
  };
  const ToolSpec specs[5] = {
      {"x_speed", "Create vertical split", "|", TToolIcon::VerticalLine},
      {"y_speed", "Create horizontal split", "\u2014", TToolIcon::HorizontalLine},
      {"rect_speed", "Create splits from rectangle", "\u25A1", TToolIcon::Rectangle},
      {"cross_speed", "Create horizontal AND vertical split", "+", TToolIcon::Cross},
      {"select_speed", "Select a slice to give it a link, ALT text or format", "\u2196", TToolIcon::Select}};
  for (int i = 0; i < 5; ++i) {
    auto* button = new QToolButton(toolBar);
    button->setObjectName(specs[i].name);
    button->setToolTip(specs[i].hint);
    button->setText(specs[i].glyph);
    button->setIcon(ToolIcon(specs[i].icon));
    button->setIconSize(QSize(20, 20));
    button->setFocusPolicy(Qt::NoFocus);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setFixedSize(31, 31);
    tools_->addButton(button, i);
    toolLayout->addWidget(button);
    toolButtons_[i] = button;
  }
  toolButtons_[0]->setChecked(true);
  connect(tools_, &QButtonGroup::idClicked, this,
          [this](int id) { SelectTool(static_cast<TSplitTool>(id)); });
  toolLayout->addStretch(1);
  magnifier_ = new TMagnifier(toolBar);
  toolLayout->addWidget(magnifier_);
  layout->addWidget(toolBar);

  auto* area = new QWidget(sourcePage_);
  auto* grid = new QGridLayout(area);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  topRuler_ = new TRuler(TRulerKind::Top, area);
  leftRuler_ = new TRuler(TRulerKind::Left, area);
  view_ = new pg::TPGImage(area);
  view_->setObjectName("PGImage1");
  view_->setFrameShape(QFrame::NoFrame);
  const QColor face = palette().color(QPalette::Button);
  view_->SetColor(pg::RGBColor(static_cast<uint8_t>(face.red()), static_cast<uint8_t>(face.green()),
                               static_cast<uint8_t>(face.blue())));
  view_->SetStretch(pg::sZoomKAR);
  view_->SetZoomFactor(1.0L);
  view_->SetStretchMode(pg::smPrecise);
  view_->SetActionMode(pg::amNone);
  // While zooming, the last display copy stands in until the next one is ready.
  view_->SetKeepOldPaintPixelGraphic(true);
  // The picture takes the keys that move and delete lines.
  view_->setFocusPolicy(Qt::StrongFocus);
  grid->addWidget(topRuler_, 0, 0, 1, 2);
  grid->addWidget(leftRuler_, 1, 0);
  grid->addWidget(view_, 1, 1);
  layout->addWidget(area, 1);

  auto* statusBar = new QStatusBar(sourcePage_);
  statusBar->setObjectName("StatusBar");
  statusBar->setFixedHeight(18);
  statusBar->setSizeGripEnabled(false);
  status_ = new QLabel(statusBar);
  status_->setObjectName("StatusText");
  QFont bold("Arial");
  bold.setBold(true);
  status_->setFont(bold);
  statusBar->addWidget(status_, 1);
  zoomLabel_ = new QLabel(statusBar);
  zoomLabel_->setObjectName("ZoomText");
  zoomLabel_->setFont(bold);
  statusBar->addPermanentWidget(zoomLabel_);
  layout->addWidget(statusBar);

  view_->PicBoxOnMouseDown = [this](const void*, pg::TMouseButton button, pg::TShiftState, int32_t x,
                                    int32_t y) { ViewMouseDown(button, x, y); };
  view_->PicBoxOnMouseMove = [this](const void*, pg::TShiftState, int32_t x, int32_t y) {
    ViewMouseMove(x, y);
  };
  view_->PicBoxOnMouseUp = [this](const void*, pg::TMouseButton button, pg::TShiftState, int32_t x,
                                  int32_t y) { ViewMouseUp(button, x, y); };
  // Beside the picture (the bands of a small picture) the line tools do nothing; the pointer
  // goes back to the arrow there.
  view_->OnMouseMove = [this](const void*, pg::TShiftState, int32_t, int32_t) {
    editor_.PointerAway();
    ApplyPointer();
  };
  view_->OnSelectionMade = [this](const void*) { ViewSelectionMade(); };
  view_->OnPaint = [this](const void*) { PaintGrid(); };
  // The editing paths check positions against the picture's size, also after it changed in place.
  view_->OnPixelGraphicChange = [this](const void*) {
    editor_.SetImageSize(view_->PixelGraphicWidth(), view_->PixelGraphicHeight());
    ScaleChanged();
  };
  view_->OnZoomFactorChange = [this](const void*) { ScaleChanged(); };
  view_->installEventFilter(this);
  view_->viewport()->installEventFilter(this);

  for (TRuler* ruler : {topRuler_, leftRuler_}) {
    ruler->OnPress = [this, ruler](Qt::MouseButton button, QPoint) { RulerPress(ruler, button); };
    ruler->OnRelease = [this, ruler](Qt::MouseButton button, QPoint at) { RulerRelease(ruler, button, at); };
    ruler->OnMove = [this, ruler](QPoint at) { RulerMove(ruler, at); };
  }
  sourcePage_->setMouseTracking(true);
  toolBar->setMouseTracking(true);
  sourcePage_->installEventFilter(this);
  toolBar->installEventFilter(this);
}

QAction* TMainWindow::AddAction(QMenu* menu, const QString& caption, const char* name,
                                const QKeySequence& shortcut) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  return action;
}

void TMainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  fileMenu_ = bar->addMenu("&File");
  fileMenu_->setObjectName("FileMenu");
  connect(AddAction(fileMenu_, "&Open...", "Open", QKeySequence("Ctrl+L")), &QAction::triggered, this,
          [this] { OpenCommand(); });
  connect(AddAction(fileMenu_, "Open &Project...", "OpenProject", QKeySequence("Ctrl+O")),
          &QAction::triggered, this, [this] { OpenProjectCommand(); });
  connect(AddAction(fileMenu_, "&Export", "Export", QKeySequence("Ctrl+S")), &QAction::triggered, this,
          [this] { Export(); });
  reopenImageMenu_ = fileMenu_->addMenu("&Reopen Image");
  reopenImageMenu_->setObjectName("ReopenImageMenu");
  reopenImageMenu_->menuAction()->setObjectName("ReopenImage");
  reopenProjectMenu_ = fileMenu_->addMenu("Reopen Pro&ject");
  reopenProjectMenu_->setObjectName("ReopenProjectMenu");
  reopenProjectMenu_->menuAction()->setObjectName("ReopenProject");
  fileMenu_->addSeparator();
  connect(AddAction(fileMenu_, "Sa&ve Project", "SaveProject", QKeySequence("Ctrl+Shift+S")),
          &QAction::triggered, this, [this] { SaveProjectCommand(); });
  connect(AddAction(fileMenu_, "Save Project &As...", "SaveProjectAs"), &QAction::triggered, this,
          [this] { SaveProjectAsCommand(); });
  fileMenu_->addSeparator();
  connect(AddAction(fileMenu_, "&Load Grid", "LoadGrid"), &QAction::triggered, this,
          [this] { LoadGridCommand(); });
  connect(AddAction(fileMenu_, "&Save Grid", "SaveGrid"), &QAction::triggered, this,
          [this] { SaveGridCommand(); });
  reopenGridMenu_ = fileMenu_->addMenu("&Reopen Grid");
  reopenGridMenu_->setObjectName("ReopenGridMenu");
  reopenGridMenu_->menuAction()->setObjectName("ReopenGrid");
  fileMenu_->addSeparator();
  connect(AddAction(fileMenu_, "E&xit", "Exit"), &QAction::triggered, this, &QWidget::close);

  editMenu_ = bar->addMenu("&Edit");
  editMenu_->setObjectName("EditMenu");
  connect(AddAction(editMenu_, "&Undo", "Undo", QKeySequence("Ctrl+Z")), &QAction::triggered, this,
          [this] { Undo(); });
  connect(AddAction(editMenu_, "&Redo", "Redo", QKeySequence("Ctrl+Shift+Z")), &QAction::triggered, this,
          [this] { Redo(); });
  editMenu_->addSeparator();
  connect(AddAction(editMenu_, "&Copy Image", "CopyImage", QKeySequence("Ctrl+C")), &QAction::triggered, this,
          [this] { CopyImage(); });
  connect(AddAction(editMenu_, "&Paste as New Image", "PasteImage", QKeySequence("Ctrl+V")),
          &QAction::triggered, this, [this] { PasteAsNewImage(); });
  editMenu_->addSeparator();
  connect(AddAction(editMenu_, "&Delete Line", "DeleteLine", QKeySequence(Qt::Key_Delete)),
          &QAction::triggered, this, [this] { DeleteSelectedLine(); });
  editMenu_->addSeparator();
  connect(AddAction(editMenu_, "Pr&eferences...", "Preferences"), &QAction::triggered, this,
          [this] { ShowPreferences(); });

  BuildViewMenu();

  toolsMenu_ = bar->addMenu("&Tools");
  toolsMenu_->setObjectName("ToolsMenu");
  // The four split tools and the select tool, also with a key each (as the tool bar's buttons).
  toolActions_ = new QActionGroup(this);
  toolActions_->setExclusive(true);
  struct ToolEntry {
    const char* caption;
    const char* name;
    Qt::Key key;
    TSplitTool tool;
  };
  for (const ToolEntry& entry :
       {ToolEntry{"&Vertical Line Tool", "VerticalTool", Qt::Key_V, TSplitTool::Vertical},
        ToolEntry{"&Horizontal Line Tool", "HorizontalTool", Qt::Key_H, TSplitTool::Horizontal},
        ToolEntry{"&Rectangle Tool", "RectangleTool", Qt::Key_R, TSplitTool::Rectangle},
        ToolEntry{"Cro&ss Tool", "CrossTool", Qt::Key_C, TSplitTool::Cross},
        ToolEntry{"S&elect Tool", "SelectTool", Qt::Key_S, TSplitTool::Select}}) {
    QAction* action = AddAction(toolsMenu_, entry.caption, entry.name, QKeySequence(entry.key));
    action->setCheckable(true);
    action->setChecked(entry.tool == editor_.Tool());
    action->setData(static_cast<int>(entry.tool));
    toolActions_->addAction(action);
    const TSplitTool tool = entry.tool;
    connect(action, &QAction::triggered, this, [this, tool] { SelectTool(tool); });
  }
  toolsMenu_->addSeparator();
  colorMenu_ = toolsMenu_->addMenu("&Color Adjustment");
  colorMenu_->menuAction()->setObjectName("ColorAdjustment");
  connect(AddAction(colorMenu_, "&RGB", "RGB"), &QAction::triggered, this, [this] { ColorAdjustment(0); });
  connect(AddAction(colorMenu_, "C&MY", "CMY"), &QAction::triggered, this, [this] { ColorAdjustment(1); });
  connect(AddAction(colorMenu_, "&HLS", "HLS"), &QAction::triggered, this, [this] { ColorAdjustment(2); });
  addSplitMenu_ = toolsMenu_->addMenu("&Add Splitline");
  addSplitMenu_->menuAction()->setObjectName("AddSplitline");
  // Ctrl+Alt rather than Ctrl+X and Ctrl+Y, which are Cut and Redo everywhere else.
  QAction* horizontal = AddAction(addSplitMenu_, "&Horizontal", "Horizontal", QKeySequence("Ctrl+Alt+H"));
  horizontal->setData(1);
  QAction* vertical = AddAction(addSplitMenu_, "&Vertical", "Vertical", QKeySequence("Ctrl+Alt+V"));
  vertical->setData(0);
  for (QAction* action : {horizontal, vertical}) {
    connect(action, &QAction::triggered, this, [this, action] { AddSplitByNumber(action->data().toInt()); });
  }
  connect(AddAction(toolsMenu_, "&Divide...", "Divide"), &QAction::triggered, this,
          [this] { DivideCommand(); });
  connect(AddAction(toolsMenu_, "C&lear Splits", "ClearSplits"), &QAction::triggered, this,
          [this] { ClearSplits(); });
  toolsMenu_->addSeparator();
  connect(AddAction(toolsMenu_, "&Options", "Options"), &QAction::triggered, this,
          [this] { options_->ShowOptions(); });

  formatMenu_ = bar->addMenu("&Output Format");
  formatMenu_->setObjectName("OutputFormatMenu");
  formats_ = new QActionGroup(this);
  formats_->setExclusive(true);
  for (const TSliceFormat& format : SliceFormats()) {
    const QString name = QString::fromUtf8(format.Name.data(), static_cast<qsizetype>(format.Name.size()));
    QAction* action = formatMenu_->addAction(
        QString::fromUtf8(format.MenuText.data(), static_cast<qsizetype>(format.MenuText.size())));
    action->setObjectName("Format." + name);
    action->setData(name);
    action->setCheckable(true);
    action->setChecked(name == outputFormat_);
    formats_->addAction(action);
    connect(action, &QAction::triggered, this, [this, name] { SetOutputFormat(name); });
  }

  helpMenu_ = bar->addMenu("&Help");
  helpMenu_->setObjectName("HelpMenu");
  connect(AddAction(helpMenu_, "&Usage", "Usage"), &QAction::triggered, this, [this] { ShowUsage(); });
  helpMenu_->addSeparator();
  connect(AddAction(helpMenu_, "&About", "About"), &QAction::triggered, this, [this] { about_->exec(); });

  for (QMenu* menu :
       {fileMenu_, editMenu_, viewMenu_, toolsMenu_, formatMenu_, helpMenu_, colorMenu_, addSplitMenu_}) {
    connect(menu, &QMenu::aboutToShow, this, &TMainWindow::UpdateMenuState);
  }
  connect(reopenImageMenu_, &QMenu::aboutToShow, this, [this] {
    FillRecentMenu(reopenImageMenu_, recentImages_, [this](const QString& path) { ReopenImage(path); });
  });
  connect(reopenGridMenu_, &QMenu::aboutToShow, this, [this] {
    FillRecentMenu(reopenGridMenu_, recentGrids_, [this](const QString& path) { LoadGridFile(path); });
  });
  connect(reopenProjectMenu_, &QMenu::aboutToShow, this, [this] {
    FillRecentMenu(reopenProjectMenu_, recentProjects_, [this](const QString& path) { ReopenProject(path); });
  });
}

void TMainWindow::UpdateMenuState() {
  // While an export runs nothing may change the picture or the grid, nor start another export.
  const bool idle = !exporting_;
  const bool image = HasImage() && idle;
  const bool source = pages_->currentWidget() == sourcePage_ && idle;
  auto set = [this](const char* name, bool enabled) { findChild<QAction*>(name)->setEnabled(enabled); };
  set("Open", idle);
  set("Export", image);
  set("LoadGrid", image);
  set("SaveGrid", image);
  reopenGridMenu_->menuAction()->setEnabled(image);
  reopenImageMenu_->menuAction()->setEnabled(!recentImages_.isEmpty() && idle);
  set("OpenProject", idle);
  set("CopyImage", HasImage());
  set("PasteImage", idle);
  set("SaveProject", image);
  set("SaveProjectAs", image);
  reopenProjectMenu_->menuAction()->setEnabled(!recentProjects_.isEmpty() && idle);
  set("Undo", editor_.CanUndo() && idle);
  set("Redo", editor_.CanRedo() && idle);
  set("Preferences", idle);
  // The entries name the step they take: "Undo Divide".
  const auto caption = [](const char* verb, const std::string& label) {
    return label.empty() ? QString(verb) : QString(verb) + " " + QString::fromStdString(label);
  };
  findChild<QAction*>("Undo")->setText(caption("&Undo", editor_.UndoLabel()));
  findChild<QAction*>("Redo")->setText(caption("&Redo", editor_.RedoLabel()));
  set("DeleteLine", editor_.SelectedLine().Kind != TSplitKind::None && source);
  for (const char* name : {"ZoomIn", "ZoomOut", "ZoomFit", "ActualSize"}) set(name, source && HasImage());
  // The whole Tools menu is usable only on the Source page; its entries follow, so that their
  // shortcuts obey the same rule.
  toolsMenu_->menuAction()->setEnabled(source);
  colorMenu_->menuAction()->setEnabled(source && image);
  addSplitMenu_->menuAction()->setEnabled(source && image);
  set("RGB", false);
  set("CMY", source && image);
  set("HLS", source && image);
  set("Horizontal", source && image);
  set("Vertical", source && image);
  set("Divide", source && image);
  set("ClearSplits", source && image);
  set("Options", source);
  for (QAction* action : toolActions_->actions()) action->setEnabled(source);
}

// ---- Settings and recent lists ---------------------------------------------------------------

void TMainWindow::PlaceFirstTime() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) {
    resize(1024, 720);
    return;
  }
  // Room for a picture and the tools beside it, yet the desktop still shows around the window.
  const QRect available = screen->availableGeometry();
  const QSize size(std::min(available.width(), std::max(800, available.width() * 4 / 5)),
                   std::min(available.height(), std::max(600, available.height() * 4 / 5)));
  resize(size);
  move(available.center() - QPoint(size.width() / 2, size.height() / 2));
}

void TMainWindow::RestoreSettings() {
  QSettings settings = OpenSettings();
  settings.beginGroup(kWindowGroup);
  const int width = settings.value("Width", 0).toInt();
  const int height = settings.value("Height", 0).toInt();
  if (width > 100 && height > 100) {
    resize(width, height);
  } else {
    PlaceFirstTime();
  }
  if (settings.contains("Left") && settings.contains("Top")) {
    const QPoint at(settings.value("Left").toInt(), settings.value("Top").toInt());
    // Only a place that lies on some screen is taken back, so the window never opens out of reach.
    for (QScreen* screen : QGuiApplication::screens()) {
      if (screen->availableGeometry().contains(at)) {
        // The place saved is that of the window's contents (the frame's title bar lies above it),
        // so it is given back as such: moving the frame there would lower the window by its title
        // bar at every start.
        setGeometry(QRect(at, size()));
        break;
      }
    }
  }
  if (settings.value("Maximized", false).toBool()) setWindowState(windowState() | Qt::WindowMaximized);
  recentImages_ = settings.value("RecentImages").toStringList().mid(0, kRecentLimit);
  bool valid = false;
  const qlonglong maxPixels = settings.value(kMaxPixelsKey).toLongLong(&valid);
  ApplyMaxPixels(valid && maxPixels > 0 ? maxPixels : pg::kDefaultMaxPixels);
  recentGrids_ = settings.value("RecentGrids").toStringList().mid(0, kRecentLimit);
  recentProjects_ = settings.value("RecentProjects").toStringList().mid(0, kRecentLimit);
  lastFolder_ = settings.value("LastFolder").toString();
  SetSnapping(settings.value("Snapping", true).toBool());
  SetSnapStep(settings.value("SnapStep", 0).toInt());
}

void TMainWindow::SaveSettings() const {
  QSettings settings = OpenSettings();
  settings.beginGroup(kWindowGroup);
  const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
  settings.setValue("Left", normal.left());
  settings.setValue("Top", normal.top());
  settings.setValue("Width", normal.width());
  settings.setValue("Height", normal.height());
  settings.setValue("Maximized", isMaximized());
  settings.setValue("RecentImages", recentImages_);
  settings.setValue("RecentGrids", recentGrids_);
  settings.setValue("RecentProjects", recentProjects_);
  settings.setValue("LastFolder", lastFolder_);
  settings.setValue("Snapping", editor_.Snapping());
  settings.setValue("SnapStep", editor_.SnapStep());
}

// ---- Preferences --------------------------------------------------------------------------------

void TMainWindow::ApplyMaxPixels(int64_t pixels) {
  maxPixels_ = pixels;
  // Every picture the window, its pages and its dialogs read is read under this limit.
  pg::FormatOptions().MaxPixels = pixels;
}

void TMainWindow::SetMaxPixels(int64_t pixels) {
  if (pixels < 1 || exporting_) return;
  ApplyMaxPixels(pixels);
  QSettings settings = OpenSettings();
  settings.beginGroup(kWindowGroup);
  settings.setValue(kMaxPixelsKey, static_cast<qlonglong>(pixels));
}

void TMainWindow::ShowPreferences() {
  if (exporting_) return;
  TPreferencesDialog dialog(maxPixels_, this);
  if (dialog.exec() == QDialog::Accepted) SetMaxPixels(dialog.MaxPixels());
}

void TMainWindow::PushRecent(QStringList& list, const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  list.removeAll(absolute);
  list.prepend(absolute);
  while (list.size() > kRecentLimit) list.removeLast();
  SaveSettings();
}

void TMainWindow::FillRecentMenu(QMenu* menu, const QStringList& list,
                                 const std::function<void(const QString&)>& open) {
  menu->clear();
  for (const QString& path : list) {
    QString caption = path;
    caption.replace("&", "&&");
    QAction* action = menu->addAction(caption);
    action->setData(path);
    connect(action, &QAction::triggered, this, [open, path] { open(path); });
  }
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (exporting_) {
    // The export is cancelled and the window closes once it has stopped.
    closeAfterExport_ = true;
    if (exportCancel_ != nullptr) *exportCancel_ = true;
    event->ignore();
    return;
  }
  if (!MaybeSaveChanges()) {
    event->ignore();
    return;
  }
  SaveSettings();
  if (jpegPage_) jpegPage_->Stop();
  QMainWindow::closeEvent(event);
}

// ---- Images and grids -----------------------------------------------------------------------

bool TMainWindow::HasImage() const {
  return view_->PixelGraphicWidth() > 0 && view_->PixelGraphicHeight() > 0;
}
int32_t TMainWindow::ImageWidth() const {
  return view_->PixelGraphicWidth();
}
int32_t TMainWindow::ImageHeight() const {
  return view_->PixelGraphicHeight();
}

void TMainWindow::SetCaption(const QString& path) {
  captionPath_ = path;
  UpdateCaption();
}

bool TMainWindow::OpenImage(const QString& path) {
  if (exporting_) return false;
  const std::filesystem::path file = ToPath(path);
  std::error_code ignored;
  if (std::filesystem::is_directory(file, ignored)) {
    ShowError(this,
              QString::fromStdString(FolderMessage(file, "an image", "Open one of the pictures in it.")));
    return false;
  }
  // The file is read into an image of its own first, so a failure leaves the shown one in place.
  auto graphic = std::make_unique<pg::TPixelGraphic>();
  graphic->SetReadWarningAction(view_->ReadWarningAction());
  // A reader's warning (a cut JPEG file) is asked about with what OK and Cancel do; after Cancel the
  // reader's "aborted" error is no news to the user.
  pg::TLoadOptions options = pg::DefaultLoadOptions();
  bool declined = false;
  options.Question = [this, &file, &declined](const std::string& caption, const std::string& text,
                                              pg::TQuestionButtons buttons) {
    const pg::TQuestionAnswer answer = AskQuestionBox(
        this, caption, OpenWarningQuestion(file, text, buttons == pg::TQuestionButtons::OKCancel), buttons);
    if (answer == pg::TQuestionAnswer::Cancel) declined = true;
    return answer;
  };
  QString failure;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    pg::LoadImage(*graphic, path.toStdString(), 0, options);
  } catch (const pg::EPGUnknownFileFormat&) {
    failure = QString::fromStdString(NotAnImageMessage(file));
  } catch (const std::exception& error) {
    failure = QString::fromStdString(NamingFile(file, ErrorText(error).toStdString()));
  }
  QApplication::restoreOverrideCursor();
  if (!failure.isEmpty()) {
    if (!declined) ShowError(this, failure);
    return false;
  }
  ShowNewPicture(std::move(graphic), path);
  return true;
}

void TMainWindow::ShowNewPicture(std::unique_ptr<pg::TPixelGraphic> graphic, const QString& path) {
  // The display copy of the picture shown until now is no stand-in for another picture.
  view_->SetKeepOldPaintPixelGraphic(false);
  view_->AdoptPixelGraphic(std::move(graphic));
  view_->SetKeepOldPaintPixelGraphic(true);
  imagePath_ = path;
  gridPath_.clear();
  editor_.NewImage(view_->PixelGraphicWidth(), view_->PixelGraphicHeight());
  // A picture larger than the view opens whole; a smaller one at its actual size.
  SetZoom(FitZoom(ImageWidth(), ImageHeight(), view_->width() - 2 * view_->FrameWidth(),
                  view_->height() - 2 * view_->FrameWidth(), 1.0L));
  view_->SetHorzScrollPos(0);
  view_->SetVertScrollPos(0);
  fitting_ = Zoom() < 1.0L;
  projectPath_.clear();
  MarkSaved();
  if (path.isEmpty()) {
    SetCaption("Pasted picture");
  } else {
    SetCaption(path);
    PushRecent(recentImages_, path);
    RememberFolder(path);
  }
  if (pages_->currentWidget() == jpegPage_) jpegPage_->SourceChanged(view_->PixelGraphic());
  RedrawGrid();
  UpdateMenuState();
}

void TMainWindow::ReopenImage(const QString& path) {
  if (!MaybeSaveChanges()) return;
  if (!QFileInfo::exists(path)) {
    ShowError(this, "File " + path + " not found.");
    return;
  }
  OpenImage(path);
}

bool TMainWindow::LoadGridFile(const QString& path) {
  if (exporting_) return false;
  TGridFileHooks hooks;
  hooks.OnClamp = [this](const std::string& message) { ShowError(this, QString::fromStdString(message)); };
  bool used = false;
  hooks.OnUsed = [&used](const std::filesystem::path&) { used = true; };
  const bool ok = RunGuarded(this, [&] {
    editor_.Edit([&](TSplitGrid& grid) { LoadGrid(grid, ToPath(path), ImageWidth(), ImageHeight(), hooks); },
                 "Load Grid");
  });
  if (used) {
    gridPath_ = path;
    PushRecent(recentGrids_, path);
    RememberFolder(path);
    MarkGridSaved();
  }
  RedrawGrid();
  return ok;
}

bool TMainWindow::SaveGridFile(const QString& path) {
  bool used = false;
  TGridFileHooks hooks;
  hooks.OnUsed = [&used](const std::filesystem::path&) { used = true; };
  const bool ok = RunGuarded(this, [&] { SaveGrid(editor_.Grid(), ToPath(path), hooks); });
  if (used) {
    PushRecent(recentGrids_, path);
    RememberFolder(path);
    MarkGridSaved();
    UpdateCaption();
  }
  return ok;
}

void TMainWindow::OpenCommand() {
  if (!MaybeSaveChanges()) return;
  QString path;
  if (AskFileName) {
    path = AskFileName("Open", "", "", false);
  } else {
    TOpenImageDialog dialog(this);
    if (!lastFolder_.isEmpty()) dialog.setDirectory(lastFolder_);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      path = dialog.selectedFiles().first();
  }
  if (!path.isEmpty()) OpenImage(path);
}

void TMainWindow::LoadGridCommand() {
  if (!HasImage()) return;
  QString path;
  if (AskFileName) {
    path = AskFileName("Load Grid", kGridFilter, "grd", false);
  } else {
    QFileDialog dialog(this, "Load Grid", lastFolder_, kGridFilter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("grd");
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      path = dialog.selectedFiles().first();
  }
  if (path.isEmpty()) return;
  // A name typed without an extension means the grid file of that name, also where the dialog
  // of the desktop does not add the default extension itself.
  const QFileInfo typed(path);
  if (!typed.exists() && typed.suffix().isEmpty() && QFileInfo::exists(path + ".grd")) path += ".grd";
  LoadGridFile(path);
}

void TMainWindow::SaveGridCommand() {
  if (!HasImage()) return;
  QString path;
  if (AskFileName) {
    path = AskFileName("Save Grid", kGridFilter, "grd", true);
  } else {
    QFileDialog dialog(this, "Save Grid", SuggestedFile(".grd"), kGridFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("grd");
    // Saving a grid replaces an existing file of that name without a question: the usual case
    // is writing the grid of a picture again after changing it.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      path = dialog.selectedFiles().first();
  }
  if (!path.isEmpty()) SaveGridFile(path);
}

void TMainWindow::ShowUsage() {
  const QString path = FindUsageText(QDir::currentPath(), QCoreApplication::applicationDirPath());
  if (path.isEmpty()) {
    ShowError(this, "File readme.txt not found.");
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (exporting_) return;
  if (event->mimeData()->hasUrls() && !event->mimeData()->urls().isEmpty() &&
      event->mimeData()->urls().first().isLocalFile()) {
    event->acceptProposedAction();
  }
}

void TMainWindow::dropEvent(QDropEvent* event) {
  if (exporting_) return;
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile()) return;
  event->acceptProposedAction();
  const QString path = urls.first().toLocalFile();
  // Opened after the drop has finished, so a message box does not block the source application.
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        if (MaybeSaveChanges()) OpenFile(path);
      },
      Qt::QueuedConnection);
}

// ---- Pages and output format ------------------------------------------------------------------

void TMainWindow::SetOutputFormat(const QString& name) {
  const TSliceFormat* format = FindSliceFormat(name.toStdString());
  if (format == nullptr) return;
  outputFormat_ = QString::fromUtf8(format->Name.data(), static_cast<qsizetype>(format->Name.size()));
  for (QAction* action : formats_->actions()) {
    if (action->data().toString() == outputFormat_) action->setChecked(true);
  }
  // The compression page previews JPEG only.
  const bool jpeg = outputFormat_ == "jpg";
  const int jpegIndex = pages_->indexOf(jpegPage_);
  if (!jpeg && pages_->currentWidget() == jpegPage_) pages_->setCurrentWidget(sourcePage_);
  pages_->setTabVisible(jpegIndex, jpeg);
  UpdateMenuState();
  // The Slice panel names the export's format.
  SlicesChanged();
}

void TMainWindow::SetOutputExtension(const QString& extension) {
  SetOutputFormat(extension);
}

QString TMainWindow::OutputExtension() const {
  const std::string_view extension = FindSliceFormat(outputFormat_.toStdString())->Extension;
  return QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size()));
}

void TMainWindow::PageChanged(int) {
  UpdateMenuState();
  // Whichever page becomes active, the compression page is given the current picture (it may have
  // changed meanwhile) and compresses it after the timer's second.
  if (HasImage()) {
    RunGuarded(this, [this] { jpegPage_->SourceChanged(view_->PixelGraphic()); });
  }
}

// ---- Colour adjustment ------------------------------------------------------------------------

void TMainWindow::ColorAdjustment(int kind) {
  if (!HasImage() || exporting_) return;
  TColorDialog dialog(static_cast<TColorDialog::TKind>(kind), *view_->PixelGraphic(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  RunGuarded(this, [&] {
    // The filter works on a copy; the picture as it was goes into the undo history (which keeps
    // as many such pictures as its memory budget holds, the newest always).
    auto adjusted = std::make_shared<pg::TPixelGraphic>();
    adjusted->Assign(view_->PixelGraphic());
    dialog.Apply(*adjusted);
    auto before = std::make_shared<TPicturePayload>();
    before->Picture = view_->ExchangePixelGraphic(std::move(adjusted));
    static const char* const kLabels[] = {"RGB Adjustment", "CMY Adjustment", "HLS Adjustment"};
    editor_.RecordStep(kLabels[std::clamp(kind, 0, 2)], std::move(before));
    PictureReplaced();
  });
}

}  // namespace tessel
