// The main window: menus, the "Source" page (tool bar, magnifier, rulers, the image view with the
// split grid drawn over it, status bar) and the "JPEG Compression" page; split editing with the
// four tools and the rulers, opening images, grid files, export and colour adjustment.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "imaging/view/view_types.h"
#include "workspace/split_editor.h"
#include "workspace/view_zoom.h"

class QAction;
class QActionGroup;
class QKeyEvent;
class QWheelEvent;
class QButtonGroup;
class QLabel;
class QMenu;
class QPainter;
class QTabWidget;
class QToolButton;

namespace pg {
class TPGImage;
class TPixelGraphic;
}  // namespace pg

namespace tessel {

class TAboutBox;
class TEditCodeDialog;
class TExportOptionsDialog;
class TExportSummaryDialog;
class THtmlExportDialog;
class TJpegPage;
class TMagnifier;
class TRuler;
class TSlicePanel;

// An undo step's picture: the one shown before a colour adjustment (after it, once undone).
struct TPicturePayload : THistoryPayload {
  std::shared_ptr<pg::TPixelGraphic> Picture;
  size_t Bytes() const override;
};

class TMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainWindow(QWidget* parent = nullptr);
  ~TMainWindow() override;

  // ---- Commands (what the menus do; public so main() and the tests can call them) ----------
  // Opens an image; a failure shows its message and leaves everything as it was. Returns success.
  bool OpenImage(const QString& path);
  bool LoadGridFile(const QString& path);
  bool SaveGridFile(const QString& path);
  // The whole export with its dialogs; `htmlPath` empty asks with the save dialog.
  bool Export(const QString& htmlPath = QString());
  void ClearSplits();
  // Add by number: tag 1 horizontal, tag 0 vertical.
  void AddSplitByNumber(int tag);
  // `replace`: the lines there are give way to the division.
  void DivideImage(int32_t columns, int32_t rows, bool replace = false);
  // "Divide...": the dialog, with the grid it would give previewed on the picture while it is open.
  void DivideCommand();
  void Undo();
  void Redo();
  // The selected line (the one last grabbed with a line tool) moved by `delta` picture pixels,
  // or removed.
  void MoveSelectedLine(int32_t delta);
  void DeleteSelectedLine();

  // ---- Zoom of the source page --------------------------------------------------------------
  long double Zoom() const;
  // Zooms to `zoom` (brought into the zoom range) keeping the picture point under `anchor`
  // (view client pixels) where it is; without an anchor, the point in the middle of the view.
  void SetZoom(long double zoom, std::optional<QPoint> anchor = std::nullopt);
  void ZoomIn();
  void ZoomOut();
  // The whole picture in the view (a small one enlarged), and again after every resize of the
  // view until another zoom is chosen.
  void ZoomToFit();
  void ActualSize();
  // Picture pixels over screen pixels along each axis of the source view.
  TAxisScale ScaleX() const;
  TAxisScale ScaleY() const;
  // The grid the Divide dialog would give, shown over the picture while the dialog is open.
  const std::optional<TSplitGrid>& PreviewGrid() const { return previewGrid_; }
  void SetSnapping(bool on);
  void SetSnapStep(int32_t pixels);
  // The slices' format, by its name in the format list ("png8"): the Output Format menu's choice.
  void SetOutputFormat(const QString& name);
  // The same by extension: ".png" is the plain PNG format.
  void SetOutputExtension(const QString& extension);
  // The largest picture (width x height) the window opens; kept in the settings.
  int64_t MaxPixels() const { return maxPixels_; }
  void SetMaxPixels(int64_t pixels);
  // "Preferences...": the dialog for the settings above.
  void ShowPreferences();
  void SelectTool(TSplitTool tool);

  // ---- Projects and unsaved changes (main_window_project.cpp) -------------------------------
  // Opens a project: its picture, grid, slices and export settings. A failure shows its message
  // and leaves everything as it was. Returns success.
  bool OpenProject(const QString& path);
  // A project (by its extension) or else an image, as given on the command line or dropped.
  bool OpenFile(const QString& path);
  static bool IsProjectFile(const QString& path);
  // Saves the project to `path` (the picture first, when it was pasted and has no file yet).
  bool SaveProject(const QString& path);
  // The project file the work was last opened from or saved to; empty when there is none.
  QString ProjectPath() const { return projectPath_; }
  const QStringList& RecentProjects() const { return recentProjects_; }
  // Whether the grid or the slices' properties changed since they were last saved or opened.
  bool Modified() const;
  // With unsaved changes, asks Save, Discard or Cancel. False means: stay (Cancel, or a save that
  // did not happen).
  bool MaybeSaveChanges();
  // The name the file dialogs suggest: the picture's name (a pasted picture's: the project's) with
  // `extension`, in the folder last used (or else the picture's).
  QString SuggestedFile(const QString& extension) const;
  QString LastFolder() const { return lastFolder_; }
  // The question about unsaved changes; tests replace it. Returns QMessageBox::Save, Discard or
  // Cancel.
  std::function<int(const QString& text)> AskSaveChanges;

  // ---- Clipboard ---------------------------------------------------------------------------
  // Edit > Copy Image: the picture to the clipboard.
  bool CopyImage();
  // Edit > Paste as New Image: the clipboard's picture becomes the one to slice.
  bool PasteAsNewImage();

  // ---- Slices --------------------------------------------------------------------------------
  // The Slice panel (a dock) shows the selected slice and edits its link, target, ALT text and
  // format.
  TSlicePanel* SlicePanel() const { return slicePanel_; }
  // The slices' numbers, with their link and ALT state, drawn on the picture (View menu).
  bool SliceNumbersShown() const { return sliceNumbers_; }
  void ShowSliceNumbers(bool on);
  // Selects a slice (as a click with the select tool does); none clears the selection.
  void SelectSlice(std::optional<TSliceKey> key);
  // Gives the selected slice these properties, as the panel does.
  void SetSelectedSliceProperties(const TSliceProperties& properties);

  // ---- State, for tests and the pages ----------------------------------------------------
  TSplitGrid& Grid() { return editor_.Grid(); }
  const TSplitEditor& Editor() const { return editor_; }
  pg::TPGImage* View() const { return view_; }
  TRuler* TopRuler() const { return topRuler_; }
  TRuler* LeftRuler() const { return leftRuler_; }
  QTabWidget* Pages() const { return pages_; }
  QWidget* SourcePage() const { return sourcePage_; }
  TJpegPage* JpegPage() const { return jpegPage_; }
  TExportOptionsDialog* OptionsDialog() const { return options_; }
  THtmlExportDialog* HtmlExportDialog() const { return htmlExport_; }
  TEditCodeDialog* EditCodeDialog() const { return editCode_; }
  TExportSummaryDialog* ExportSummary() const { return summary_; }
  TAboutBox* AboutBox() const { return about_; }
  QToolButton* ToolButton(TSplitTool tool) const;
  TSplitTool Tool() const { return editor_.Tool(); }
  TDragState DragState() const { return editor_.DragState(); }
  TSplitPointer SplitPointer() const { return shownPointer_; }
  QString StatusText() const;
  QString ZoomText() const;
  QString OutputFormat() const { return outputFormat_; }
  QString OutputExtension() const;
  const QStringList& RecentImages() const { return recentImages_; }
  const QStringList& RecentGrids() const { return recentGrids_; }
  QString LastNumberText() const { return lastNumberText_; }
  bool HasImage() const;
  int32_t ImageWidth() const;
  int32_t ImageHeight() const;
  // Re-evaluates the enabling of every menu entry (also done each time a menu opens).
  void UpdateMenuState();
  // True while an export runs: editing, opening, the pages and the menus that change the picture
  // or the grid are off until it ends.
  bool Exporting() const { return exporting_; }

  // Asks for a file name (open or save); tests replace it. Empty means cancelled.
  std::function<QString(const QString& caption, const QString& filter, const QString& defaultSuffix,
                        bool save)>
      AskFileName;
  // Shows a question with OK and Cancel; tests replace it. True for OK.
  std::function<bool(const QString& caption, const QString& text)> AskOkCancel;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // How far, in screen pixels, the pointer reaches to grab a line, and a dragged line to snap.
  static constexpr int32_t kGrabPixels = 4;
  static constexpr int32_t kSnapPixels = 8;

  void BuildMenus();
  void BuildViewMenu();
  void BuildSourcePage();
  void BuildZoomButtons(QWidget* toolBar);
  QAction* AddAction(QMenu* menu, const QString& caption, const char* name,
                     const QKeySequence& shortcut = QKeySequence());
  void RestoreSettings();
  void SaveSettings() const;
  // The size of a first start, without saved placement: most of the screen, not all of it.
  void PlaceFirstTime();
  void PushRecent(QStringList& list, const QString& path);
  void FillRecentMenu(QMenu* menu, const QStringList& list, const std::function<void(const QString&)>& open);
  void SetCaption(const QString& path);
  void SetExporting(bool exporting);
  void ApplyMaxPixels(int64_t pixels);

  // Split editing: mouse events turned into the editor's calls, and what they changed redrawn.
  void RedrawGrid();
  // The zoom-dependent state follows the view's scale: grab and snap reach, rulers, zoom text.
  void ScaleChanged();
  // The picture was replaced in place (colour adjustment, undo of one).
  void PictureReplaced();
  void StepHistory(bool redo);
  bool ViewKeyPress(QKeyEvent* event);
  bool ViewWheel(QWheelEvent* event);
  // Shows the pointer the editor asks for (the split pointers hold application-wide).
  void ApplyPointer();
  // Positions in picture-box pixels.
  void ViewMouseDown(pg::TMouseButton button, int32_t x, int32_t y);
  void ViewMouseMove(int32_t x, int32_t y);
  // Repaints the strip of a line drawn over the picture.
  void InvalidateLine(TSplitKind kind, int32_t position);
  void ViewMouseUp(pg::TMouseButton button, int32_t x, int32_t y);
  void ViewSelectionMade();
  void PaintGrid();
  void RulerPress(TRuler* ruler, Qt::MouseButton button);
  void RulerRelease(TRuler* ruler, Qt::MouseButton button, QPoint at);
  void RulerMove(TRuler* ruler, QPoint at);
  // The tool buttons and the view's action mode follow the editor's tool.
  void ToolChanged();

  // Projects (main_window_project.cpp).
  void OpenProjectCommand();
  bool SaveProjectCommand();
  bool SaveProjectAsCommand();
  void ReopenProject(const QString& path);
  // The state now is the saved one (all of it, or only the grid after a grid file was written).
  void MarkSaved();
  void MarkGridSaved();
  // The caption: the picture's path, and a mark while there are unsaved changes.
  void UpdateCaption();
  // Shows a picture just read (from `path`) or pasted (`path` empty) with a fresh grid.
  void ShowNewPicture(std::unique_ptr<pg::TPixelGraphic> graphic, const QString& path);
  // The project at `path` is the one the work was just saved to or opened from.
  void TakeProjectPath(const QString& path);
  // The folder of `path` becomes the one the file dialogs start in.
  void RememberFolder(const QString& path);

  // Slices (main_window_slices.cpp).
  void BuildSlicePanel();
  // The panel and the picture follow the selected slice and the slices' properties.
  void SlicesChanged();
  // The numbers and the selected slice drawn over the picture.
  void PaintSlices(QPainter& canvas);

  // Menu actions.
  void OpenCommand();
  void LoadGridCommand();
  void SaveGridCommand();
  void ReopenImage(const QString& path);
  void ColorAdjustment(int kind);
  void ShowUsage();
  void PageChanged(int index);

  TSplitEditor editor_;
  int64_t maxPixels_ = 0;
  bool fitting_ = false;    // the zoom follows the view's size
  int wheelRemainder_ = 0;  // wheel turns short of a zoom step
  QPoint selectionPress_;   // where a selection drag started (picture-box pixels)
  QPoint selectionRelease_;
  std::optional<TSplitGrid> previewGrid_;
  int32_t divideColumns_ = 2;  // the Divide dialog's values, kept for its next use
  int32_t divideRows_ = 2;
  bool divideReplace_ = false;
  bool exporting_ = false;
  bool closeAfterExport_ = false;              // the window was closed while an export ran
  std::atomic<bool>* exportCancel_ = nullptr;  // the running export's cancel flag
  TSplitPointer shownPointer_ = TSplitPointer::Arrow;
  bool overrideCursor_ = false;
  TRuler* pressedRuler_ = nullptr;
  std::unique_ptr<pg::TPixelGraphic> slice_;  // the working slice image, reused by every export
  QString outputFormat_ = "jpg";              // a name of the format list
  // The files the shown image and the grid were read from (empty when there is none): the export
  // must not write over them.
  QString imagePath_;
  QString gridPath_;
  QString projectPath_;
  QString captionPath_;
  QString lastFolder_;
  QStringList recentProjects_;
  // The grid (sorted) and the slices as last saved or opened, to tell unsaved changes.
  TSplitGrid savedGrid_;
  TSliceTable savedSlices_;
  QString lastNumberText_;
  QStringList recentImages_;
  QStringList recentGrids_;

  QTabWidget* pages_ = nullptr;
  QWidget* sourcePage_ = nullptr;
  TJpegPage* jpegPage_ = nullptr;
  QButtonGroup* tools_ = nullptr;
  QToolButton* toolButtons_[5] = {};
  TSlicePanel* slicePanel_ = nullptr;
  bool sliceNumbers_ = true;
  TMagnifier* magnifier_ = nullptr;
  TRuler* topRuler_ = nullptr;
  TRuler* leftRuler_ = nullptr;
  pg::TPGImage* view_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* zoomLabel_ = nullptr;
  QActionGroup* toolActions_ = nullptr;

  QMenu* fileMenu_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QMenu* viewMenu_ = nullptr;
  QMenu* toolsMenu_ = nullptr;
  QMenu* formatMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  QMenu* reopenImageMenu_ = nullptr;
  QMenu* reopenGridMenu_ = nullptr;
  QMenu* reopenProjectMenu_ = nullptr;
  QMenu* colorMenu_ = nullptr;
  QMenu* addSplitMenu_ = nullptr;
  QActionGroup* formats_ = nullptr;

  TAboutBox* about_ = nullptr;
  TExportOptionsDialog* options_ = nullptr;
  THtmlExportDialog* htmlExport_ = nullptr;
  TEditCodeDialog* editCode_ = nullptr;
  TExportSummaryDialog* summary_ = nullptr;
};

}  // namespace tessel
