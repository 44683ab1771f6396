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
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_image.h"
#include "workspace/grid_file.h"
#include "workspace/integer_text.h"
#include "workspace/ui/about_box.h"
#include "workspace/ui/color_dialog.h"
#include "workspace/ui/divide_dialog.h"
#include "workspace/ui/export_dialogs.h"
#include "workspace/ui/jpeg_page.h"
#include "workspace/ui/magnifier.h"
#include "workspace/ui/message_boxes.h"
#include "workspace/ui/open_image_dialog.h"
#include "workspace/ui/ruler.h"
#include "workspace/ui/settings.h"

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
  resize(600, 400);
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

  // Created once and reused, in this order, after the window itself.
  about_ = new TAboutBox(this);
  options_ = new TExportOptionsDialog(this);
  htmlExport_ = new THtmlExportDialog(this);
  editCode_ = new TEditCodeDialog(this);

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
  };
  const ToolSpec specs[4] = {{"x_speed", "Create vertical split", "|"},
                             {"y_speed", "Create horizontal split", "\u2014"},
                             {"rect_speed", "Create splits from rectangle", "\u25A1"},
                             {"cross_speed", "Create horizontal AND vertical split", "+"}};
  for (int i = 0; i < 4; ++i) {
    auto* button = new QToolButton(toolBar);
    button->setObjectName(specs[i].name);
    button->setToolTip(specs[i].hint);
    button->setText(specs[i].glyph);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setFixedSize(31, 31);
    tools_->addButton(button, i);
    toolLayout->addWidget(button);
    toolButtons_[i] = button;
  }
  toolButtons_[0]->setChecked(true);
  connect(tools_, &QButtonGroup::idClicked, this, [this](int) { ToolChanged(); });
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
  layout->addWidget(statusBar);

  view_->PicBoxOnMouseDown = [this](const void*, pg::TMouseButton button, pg::TShiftState, int32_t x,
                                    int32_t y) {
    ViewMouseDown(button, view_->PicBoxToImageX(x), view_->PicBoxToImageY(y));
  };
  view_->PicBoxOnMouseMove = [this](const void*, pg::TShiftState, int32_t x, int32_t y) {
    ViewMouseMove(view_->PicBoxToImageX(x), view_->PicBoxToImageY(y));
  };
  view_->PicBoxOnMouseUp = [this](const void*, pg::TMouseButton button, pg::TShiftState, int32_t x,
                                  int32_t y) {
    ViewMouseUp(button, view_->PicBoxToImageX(x), view_->PicBoxToImageY(y));
  };
  // Beside the picture (the bands of a small picture) the line tools do nothing; the pointer
  // goes back to the arrow there.
  view_->OnMouseMove = [this](const void*, pg::TShiftState, int32_t, int32_t) {
    if (drag_ == TDragState::None) SetPointer(TSplitPointer::Arrow);
  };
  view_->OnSelectionMade = [this](const void*) { ViewSelectionMade(); };
  view_->OnPaint = [this](const void*) { PaintGrid(); };

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
  connect(AddAction(fileMenu_, "&Export", "Export", QKeySequence("Ctrl+S")), &QAction::triggered, this,
          [this] { Export(); });
  reopenImageMenu_ = fileMenu_->addMenu("&Reopen Image");
  reopenImageMenu_->setObjectName("ReopenImageMenu");
  reopenImageMenu_->menuAction()->setObjectName("ReopenImage");
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

  toolsMenu_ = bar->addMenu("&Tools");
  toolsMenu_->setObjectName("ToolsMenu");
  colorMenu_ = toolsMenu_->addMenu("&Color Adjustment");
  colorMenu_->menuAction()->setObjectName("ColorAdjustment");
  connect(AddAction(colorMenu_, "&RGB", "RGB"), &QAction::triggered, this, [this] { ColorAdjustment(0); });
  connect(AddAction(colorMenu_, "C&MY", "CMY"), &QAction::triggered, this, [this] { ColorAdjustment(1); });
  connect(AddAction(colorMenu_, "&HLS", "HLS"), &QAction::triggered, this, [this] { ColorAdjustment(2); });
  addSplitMenu_ = toolsMenu_->addMenu("&Add Splitline");
  addSplitMenu_->menuAction()->setObjectName("AddSplitline");
  QAction* horizontal = AddAction(addSplitMenu_, "&Horizontal", "Horizontal", QKeySequence("Ctrl+X"));
  horizontal->setData(1);
  QAction* vertical = AddAction(addSplitMenu_, "&Vertical", "Vertical", QKeySequence("Ctrl+Y"));
  vertical->setData(0);
  for (QAction* action : {horizontal, vertical}) {
    connect(action, &QAction::triggered, this, [this, action] { AddSplitByNumber(action->data().toInt()); });
  }
  connect(AddAction(toolsMenu_, "&Divide...", "Divide"), &QAction::triggered, this, [this] {
    if (!HasImage()) return;
    TDivideDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted) DivideImage(dialog.Columns(), dialog.Rows());
  });
  connect(AddAction(toolsMenu_, "C&lear Splits", "ClearSplits"), &QAction::triggered, this,
          [this] { ClearSplits(); });
  toolsMenu_->addSeparator();
  connect(AddAction(toolsMenu_, "&Options", "Options"), &QAction::triggered, this,
          [this] { options_->ShowOptions(); });

  formatMenu_ = bar->addMenu("&Output Format");
  formatMenu_->setObjectName("OutputFormatMenu");
  formats_ = new QActionGroup(this);
  formats_->setExclusive(true);
  for (const char* extension : {".jpg", ".bmp", ".tif", ".png"}) {
    QAction* action = formatMenu_->addAction(extension);
    action->setObjectName(QString("Format") + extension);
    action->setCheckable(true);
    action->setChecked(QString(extension) == ".jpg");
    formats_->addAction(action);
    connect(action, &QAction::triggered, this, [this, action] { SetOutputExtension(action->text()); });
  }

  helpMenu_ = bar->addMenu("&Help");
  helpMenu_->setObjectName("HelpMenu");
  connect(AddAction(helpMenu_, "&Usage", "Usage"), &QAction::triggered, this, [this] { ShowUsage(); });
  helpMenu_->addSeparator();
  connect(AddAction(helpMenu_, "&About", "About"), &QAction::triggered, this, [this] { about_->exec(); });

  for (QMenu* menu : {fileMenu_, editMenu_, toolsMenu_, formatMenu_, helpMenu_, colorMenu_, addSplitMenu_}) {
    connect(menu, &QMenu::aboutToShow, this, &TMainWindow::UpdateMenuState);
  }
  connect(reopenImageMenu_, &QMenu::aboutToShow, this,
          [this] { FillRecentMenu(reopenImageMenu_, recentImages_, true); });
  connect(reopenGridMenu_, &QMenu::aboutToShow, this,
          [this] { FillRecentMenu(reopenGridMenu_, recentGrids_, false); });
}

void TMainWindow::UpdateMenuState() {
  const bool image = HasImage();
  const bool source = pages_->currentWidget() == sourcePage_;
  auto set = [this](const char* name, bool enabled) { findChild<QAction*>(name)->setEnabled(enabled); };
  set("Export", image);
  set("LoadGrid", image);
  set("SaveGrid", image);
  reopenGridMenu_->menuAction()->setEnabled(image);
  reopenImageMenu_->menuAction()->setEnabled(!recentImages_.isEmpty());
  set("Undo", history_.CanUndo());
  set("Redo", history_.CanRedo());
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
}

// ---- Settings and recent lists ---------------------------------------------------------------

void TMainWindow::RestoreSettings() {
  QSettings settings = OpenSettings();
  settings.beginGroup(kWindowGroup);
  const int width = settings.value("Width", 600).toInt();
  const int height = settings.value("Height", 400).toInt();
  if (width > 100 && height > 100) resize(width, height);
  if (settings.contains("Left") && settings.contains("Top")) {
    const QPoint at(settings.value("Left").toInt(), settings.value("Top").toInt());
    // Only a place that lies on some screen is taken back, so the window never opens out of reach.
    for (QScreen* screen : QGuiApplication::screens()) {
      if (screen->availableGeometry().contains(at)) {
        move(at);
        break;
      }
    }
  }
  if (settings.value("Maximized", false).toBool()) setWindowState(windowState() | Qt::WindowMaximized);
  recentImages_ = settings.value("RecentImages").toStringList().mid(0, kRecentLimit);
  recentGrids_ = settings.value("RecentGrids").toStringList().mid(0, kRecentLimit);
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
}

void TMainWindow::PushRecent(QStringList& list, const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  list.removeAll(absolute);
  list.prepend(absolute);
  while (list.size() > kRecentLimit) list.removeLast();
  SaveSettings();
}

void TMainWindow::FillRecentMenu(QMenu* menu, const QStringList& list, bool images) {
  menu->clear();
  for (const QString& path : list) {
    QString caption = path;
    caption.replace("&", "&&");
    QAction* action = menu->addAction(caption);
    action->setData(path);
    connect(action, &QAction::triggered, this, [this, path, images] {
      if (images) {
        ReopenImage(path);
      } else {
        LoadGridFile(path);
      }
    });
  }
}

void TMainWindow::closeEvent(QCloseEvent* event) {
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
  setWindowTitle("Tessel! - [" + path + "]");
}

bool TMainWindow::OpenImage(const QString& path) {
  // The file is read into an image of its own first, so a failure leaves the shown one in place.
  auto graphic = std::make_unique<pg::TPixelGraphic>();
  graphic->SetReadWarningAction(view_->ReadWarningAction());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool loaded = RunGuarded(this, [&] { graphic->LoadFromFile(path.toStdString()); });
  QApplication::restoreOverrideCursor();
  if (!loaded) return false;
  view_->AdoptPixelGraphic(std::move(graphic));
  grid_.ResetGrid(view_->PixelGraphicWidth(), view_->PixelGraphicHeight());
  // Grid edits of the previous picture do not apply to this one.
  history_.Clear();
  SetCaption(path);
  PushRecent(recentImages_, path);
  if (pages_->currentWidget() == jpegPage_) jpegPage_->SourceChanged(view_->PixelGraphic());
  RedrawGrid();
  UpdateMenuState();
  return true;
}

void TMainWindow::ReopenImage(const QString& path) {
  if (!QFileInfo::exists(path)) {
    ShowError(this, "File " + path + " not found.");
    return;
  }
  OpenImage(path);
}

bool TMainWindow::LoadGridFile(const QString& path) {
  TGridFileHooks hooks;
  hooks.OnClamp = [this](const std::string& message) { ShowError(this, QString::fromStdString(message)); };
  bool used = false;
  hooks.OnUsed = [&used](const std::filesystem::path&) { used = true; };
  const bool ok = RunGuarded(
      this, [&] { EditGrid([&] { LoadGrid(grid_, ToPath(path), ImageWidth(), ImageHeight(), hooks); }); });
  if (used) PushRecent(recentGrids_, path);
  RedrawGrid();
  return ok;
}

bool TMainWindow::SaveGridFile(const QString& path) {
  bool used = false;
  TGridFileHooks hooks;
  hooks.OnUsed = [&used](const std::filesystem::path&) { used = true; };
  const bool ok = RunGuarded(this, [&] { SaveGrid(grid_, ToPath(path), hooks); });
  if (used) PushRecent(recentGrids_, path);
  return ok;
}

void TMainWindow::OpenCommand() {
  QString path;
  if (AskFileName) {
    path = AskFileName("Open", "", "", false);
  } else {
    TOpenImageDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      path = dialog.selectedFiles().first();
  }
  if (!path.isEmpty()) OpenImage(path);
}

void TMainWindow::LoadGridCommand() {
  if (!HasImage()) return;
  const QString path = AskFileName ? AskFileName("Load Grid", kGridFilter, "grd", false)
                                   : QFileDialog::getOpenFileName(this, "Load Grid", QString(), kGridFilter);
  if (!path.isEmpty()) LoadGridFile(path);
}

void TMainWindow::SaveGridCommand() {
  if (!HasImage()) return;
  QString path;
  if (AskFileName) {
    path = AskFileName("Save Grid", kGridFilter, "grd", true);
  } else {
    QFileDialog dialog(this, "Save Grid", QString(), kGridFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("grd");
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      path = dialog.selectedFiles().first();
  }
  if (!path.isEmpty()) SaveGridFile(path);
}

void TMainWindow::ShowUsage() {
  QString path = QDir::current().absoluteFilePath("readme.txt");
  if (!QFileInfo::exists(path))
    path = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("readme.txt");
  if (!QFileInfo::exists(path)) {
    ShowError(this, "File readme.txt not found.");
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !event->mimeData()->urls().isEmpty() &&
      event->mimeData()->urls().first().isLocalFile()) {
    event->acceptProposedAction();
  }
}

void TMainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile()) return;
  event->acceptProposedAction();
  const QString path = urls.first().toLocalFile();
  // Opened after the drop has finished, so a message box does not block the source application.
  QMetaObject::invokeMethod(
      this, [this, path] { OpenImage(path); }, Qt::QueuedConnection);
}

// ---- Pages and output format ------------------------------------------------------------------

void TMainWindow::SetOutputExtension(const QString& extension) {
  outputExtension_ = extension;
  for (QAction* action : formats_->actions()) {
    if (action->text() == extension) action->setChecked(true);
  }
  const bool jpeg = extension == ".jpg";
  const int jpegIndex = pages_->indexOf(jpegPage_);
  if (!jpeg && pages_->currentWidget() == jpegPage_) pages_->setCurrentWidget(sourcePage_);
  pages_->setTabVisible(jpegIndex, jpeg);
  UpdateMenuState();
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
  if (!HasImage()) return;
  TColorDialog dialog(static_cast<TColorDialog::TKind>(kind), *view_->PixelGraphic(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  RunGuarded(this, [&] {
    pg::TPixelGraphic* graphic = view_->PixelGraphic();
    dialog.Apply(*graphic);
    view_->PixelGraphicChanged();
    view_->Invalidate();
  });
}

// ---- Split editing ----------------------------------------------------------------------------

TGridSnapshot TMainWindow::Snapshot() const {
  return {grid_.HorizontalSplits.Values(), grid_.VerticalSplits.Values()};
}

void TMainWindow::Restore(const TGridSnapshot& snapshot) {
  grid_.HorizontalSplits.Assign(snapshot.Horizontal);
  grid_.VerticalSplits.Assign(snapshot.Vertical);
}

void TMainWindow::EditGrid(const std::function<void()>& edit) {
  const TGridSnapshot before = Snapshot();
  edit();
  if (!(Snapshot() == before)) history_.Record(before);
}

void TMainWindow::Undo() {
  if (!history_.CanUndo() || drag_ != TDragState::None) return;
  Restore(history_.Undo(Snapshot()));
  RedrawGrid();
}

void TMainWindow::Redo() {
  if (!history_.CanRedo() || drag_ != TDragState::None) return;
  Restore(history_.Redo(Snapshot()));
  RedrawGrid();
}

void TMainWindow::RedrawGrid() {
  view_->Invalidate();
  topRuler_->SetSplits(grid_.VerticalSplits.Values());
  leftRuler_->SetSplits(grid_.HorizontalSplits.Values());
  topRuler_->update();
  leftRuler_->update();
}

void TMainWindow::ClearSplits() {
  if (!HasImage()) return;
  EditGrid([this] { grid_.ResetGrid(ImageWidth(), ImageHeight()); });
  RedrawGrid();
}

void TMainWindow::AddSplitByNumber(int tag) {
  if (!HasImage()) return;
  const bool horizontal = tag == 1;
  const int32_t limit = horizontal ? ImageHeight() : ImageWidth();
  QInputDialog dialog(this);
  dialog.setObjectName("PositionInput");
  dialog.setWindowTitle(QString("Enter position (0-%1)").arg(limit));
  dialog.setLabelText(horizontal ? "Y:" : "X:");
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setTextValue(lastNumberText_);
  if (dialog.exec() == QDialog::Accepted) {
    const QString text = dialog.textValue();
    lastNumberText_ = text;
    int32_t value = 0;
    if (!TryStrToInt(text.toStdString(), value)) {
      ShowError(this, QString::fromStdString(InvalidIntegerMessage(text.toStdString())));
    } else {
      EditGrid([&] {
        if (horizontal) {
          grid_.AddHorizontalByNumber(value, limit);
        } else {
          grid_.AddVerticalByNumber(value, limit);
        }
      });
    }
  }
  RedrawGrid();
}

void TMainWindow::DivideImage(int32_t columns, int32_t rows) {
  if (!HasImage() || columns < 1 || rows < 1) return;
  const int64_t width = ImageWidth();
  const int64_t height = ImageHeight();
  EditGrid([&] {
    for (int32_t i = 1; i < columns; ++i) {
      const auto x = static_cast<int32_t>(i * width / columns);
      if (!grid_.VerticalSplits.Contains(x)) grid_.AddVertical(x);
    }
    for (int32_t j = 1; j < rows; ++j) {
      const auto y = static_cast<int32_t>(j * height / rows);
      if (!grid_.HorizontalSplits.Contains(y)) grid_.AddHorizontal(y);
    }
  });
  RedrawGrid();
}

QToolButton* TMainWindow::ToolButton(TSplitTool tool) const {
  return toolButtons_[static_cast<int>(tool)];
}

TSplitTool TMainWindow::Tool() const {
  const int id = tools_->checkedId();
  return id < 0 ? TSplitTool::Vertical : static_cast<TSplitTool>(id);
}

void TMainWindow::SelectTool(TSplitTool tool) {
  ToolButton(tool)->setChecked(true);
  ToolChanged();
}

void TMainWindow::ToolChanged() {
  const TSplitTool tool = Tool();
  view_->SetActionMode(tool == TSplitTool::Rectangle || tool == TSplitTool::Cross ? pg::amCreateSelection
                                                                                  : pg::amNone);
}

QString TMainWindow::StatusText() const {
  return status_->text();
}

void TMainWindow::SetPointer(TSplitPointer pointer) {
  if (pointer == pointer_) return;
  pointer_ = pointer;
  // The split pointers hold application-wide until set back, as during a drag the pointer may
  // leave the view.
  if (pointer == TSplitPointer::Arrow) {
    if (overrideCursor_) QApplication::restoreOverrideCursor();
    overrideCursor_ = false;
    return;
  }
  const QCursor cursor(pointer == TSplitPointer::UpDown ? Qt::SplitVCursor : Qt::SplitHCursor);
  if (overrideCursor_) {
    QApplication::changeOverrideCursor(cursor);
  } else {
    QApplication::setOverrideCursor(cursor);
    overrideCursor_ = true;
  }
}

void TMainWindow::ViewMouseDown(pg::TMouseButton button, int32_t x, int32_t y) {
  const TSplitTool tool = Tool();
  if (tool != TSplitTool::Vertical && tool != TSplitTool::Horizontal) return;
  if (button == pg::mbRight) {
    SelectTool(tool == TSplitTool::Horizontal ? TSplitTool::Vertical : TSplitTool::Horizontal);
    return;
  }
  if (button != pg::mbLeft || drag_ != TDragState::None) return;
  dragBefore_ = Snapshot();
  if (pointer_ == TSplitPointer::UpDown && grid_.FindHorizontal(y) >= 0) {
    grid_.RemoveAt(grid_.HorizontalSplits, grid_.FindHorizontal(y));
    drag_ = TDragState::Horizontal;
    lastDrawnY_ = y;
  } else if (pointer_ == TSplitPointer::LeftRight && grid_.FindVertical(x) >= 0) {
    grid_.RemoveAt(grid_.VerticalSplits, grid_.FindVertical(x));
    drag_ = TDragState::Vertical;
    lastDrawnX_ = x;
  } else if (tool == TSplitTool::Horizontal) {
    drag_ = TDragState::Horizontal;
    lastDrawnY_ = y;
    SetPointer(TSplitPointer::UpDown);
  } else {
    drag_ = TDragState::Vertical;
    lastDrawnX_ = x;
    SetPointer(TSplitPointer::LeftRight);
  }
  RedrawGrid();
}

void TMainWindow::ViewMouseMove(int32_t x, int32_t y) {
  status_->setText(QString("X: %1 Y: %2").arg(x).arg(y));
  const TSplitTool tool = Tool();
  if (tool != TSplitTool::Vertical && tool != TSplitTool::Horizontal) {
    SetPointer(TSplitPointer::Arrow);
    return;
  }
  switch (drag_) {
    case TDragState::None:
      if (grid_.FindHorizontal(y) >= 0) {
        SetPointer(TSplitPointer::UpDown);
      } else if (grid_.FindVertical(x) >= 0) {
        SetPointer(TSplitPointer::LeftRight);
      } else {
        SetPointer(TSplitPointer::Arrow);
      }
      break;
    case TDragState::Horizontal:
      // The rubber-band line follows the pointer; it is drawn with the grid in the view's paint,
      // and only the two rows it leaves and enters are repainted.
      if (y != lastDrawnY_) {
        InvalidateLine(true, lastDrawnY_);
        lastDrawnY_ = y;
        InvalidateLine(true, lastDrawnY_);
      }
      break;
    case TDragState::Vertical:
      if (x != lastDrawnX_) {
        InvalidateLine(false, lastDrawnX_);
        lastDrawnX_ = x;
        InvalidateLine(false, lastDrawnX_);
      }
      break;
  }
}

void TMainWindow::InvalidateLine(bool horizontal, int32_t position) {
  if (position == -1) return;
  const pg::TPGRect box = view_->PicBoxRect();
  QWidget* area = view_->viewport();
  if (horizontal) {
    area->update(0, box.Top + view_->ImageToPicBoxY(position), area->width(), 1);
  } else {
    area->update(box.Left + view_->ImageToPicBoxX(position), 0, 1, area->height());
  }
}

void TMainWindow::ViewMouseUp(pg::TMouseButton button, int32_t x, int32_t y) {
  const TSplitTool tool = Tool();
  // A right click does nothing with the cross tool, like with the rectangle tool.
  if (tool == TSplitTool::Cross && button == pg::mbLeft) {
    EditGrid([&] { grid_.AddCross(x, y, ImageWidth(), ImageHeight()); });
    RedrawGrid();
    return;
  }
  if (tool == TSplitTool::Cross || tool == TSplitTool::Rectangle) return;
  if (drag_ == TDragState::Horizontal) {
    grid_.DropHorizontal(y, ImageHeight());
  } else if (drag_ == TDragState::Vertical) {
    grid_.DropVertical(x, ImageWidth());
  }
  if (drag_ != TDragState::None && !(Snapshot() == dragBefore_)) history_.Record(dragBefore_);
  drag_ = TDragState::None;
  lastDrawnX_ = -1;
  lastDrawnY_ = -1;
  RedrawGrid();
  SetPointer(TSplitPointer::Arrow);
}

void TMainWindow::ViewSelectionMade() {
  const TSplitTool tool = Tool();
  if (tool == TSplitTool::Rectangle) {
    EditGrid([this] {
      grid_.AddRectangle(view_->SelectionLeft(), view_->SelectionTop(), view_->SelectionWidth(),
                         view_->SelectionHeight(), ImageWidth(), ImageHeight());
    });
  }
  if (tool == TSplitTool::Rectangle || tool == TSplitTool::Cross) {
    view_->SetSelection(false);
    RedrawGrid();
  }
}

void TMainWindow::PaintGrid() {
  QPainter* canvas = view_->Canvas();
  if (canvas) {
    canvas->save();
    canvas->setRenderHint(QPainter::Antialiasing, false);
    // Inverting pen: every pixel under a line becomes its inverse, so two splits at one position
    // cancel out and a line shows on any picture.
    canvas->setCompositionMode(QPainter::CompositionMode_Difference);
    canvas->setPen(QPen(QColor(255, 255, 255), 1));
    const pg::TPGRect box = view_->PicBoxRect();
    const int right = view_->ClientWidth() - 1;
    const int bottom = view_->ClientHeight() - 1;
    auto horizontal = [&](int32_t y) {
      const int at = box.Top + view_->ImageToPicBoxY(y);
      canvas->drawLine(0, at, right, at);
    };
    auto vertical = [&](int32_t x) {
      const int at = box.Left + view_->ImageToPicBoxX(x);
      canvas->drawLine(at, 0, at, bottom);
    };
    for (int32_t y : grid_.HorizontalSplits.Values()) horizontal(y);
    for (int32_t x : grid_.VerticalSplits.Values()) vertical(x);
    if (drag_ == TDragState::Horizontal && lastDrawnY_ != -1) horizontal(lastDrawnY_);
    if (drag_ == TDragState::Vertical && lastDrawnX_ != -1) vertical(lastDrawnX_);
    canvas->restore();
  }
  // The rulers follow the picture's scroll position.
  const pg::TPGRect box = view_->PicBoxRect();
  if (topRuler_->ScrollPosition() != -box.Left || leftRuler_->ScrollPosition() != -box.Top) {
    topRuler_->SetScrollPosition(-box.Left);
    leftRuler_->SetScrollPosition(-box.Top);
    topRuler_->update();
    leftRuler_->update();
  }
}

void TMainWindow::RulerPress(TRuler* ruler, Qt::MouseButton button) {
  pressedRuler_ = button == Qt::LeftButton ? ruler : nullptr;
}

void TMainWindow::RulerRelease(TRuler* ruler, Qt::MouseButton button, QPoint at) {
  // A left click on the top ruler takes up the horizontal line tool, on the left ruler the
  // vertical one; it is handled before the release adds its split.
  if (button == Qt::LeftButton && pressedRuler_ == ruler && ruler->rect().contains(at)) {
    SelectTool(ruler == topRuler_ ? TSplitTool::Horizontal : TSplitTool::Vertical);
  }
  pressedRuler_ = nullptr;
  // The ruler position stands for the image pixel under it, scroll position included. The corner
  // of the top ruler (and anything above the left ruler) stands for no pixel, scrolled or not.
  EditGrid([&] {
    if (ruler == topRuler_) {
      if (at.x() - kRulerThickness >= 1)
        grid_.TopRulerRelease(at.x() - view_->PicBoxRect().Left, ImageWidth());
    } else {
      if (at.y() >= 0) grid_.LeftRulerRelease(at.y() - view_->PicBoxRect().Top, ImageHeight());
    }
  });
  RedrawGrid();
}

void TMainWindow::RulerMove(TRuler* ruler, QPoint at) {
  if (ruler == topRuler_) {
    status_->setText(QString("X: %1").arg(at.x() - kRulerThickness - view_->PicBoxRect().Left));
  } else {
    status_->setText(QString("Y: %1").arg(at.y() - view_->PicBoxRect().Top));
  }
  if (drag_ == TDragState::None) SetPointer(TSplitPointer::Arrow);
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove && drag_ == TDragState::None) SetPointer(TSplitPointer::Arrow);
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace tessel
