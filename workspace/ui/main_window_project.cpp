// The main window's projects: Open Project, Save Project (As), the recent projects, the mark for
// unsaved changes with the question before they would be lost, and the file dialogs' suggested
// names and folder.
#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSlider>

#include "imaging/formats/format_options.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_image.h"
#include "workspace/grid_file.h"
#include "workspace/output_formats.h"
#include "workspace/project_file.h"
#include "workspace/ui/export_dialogs.h"
#include "workspace/ui/jpeg_page.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/message_boxes.h"

namespace tessel {

namespace {

constexpr char kProjectFilter[] = "Tessel Projects (*.tessel)";
constexpr char kPictureFilter[] = "PNG Images (*.png)";

std::filesystem::path ToPath(const QString& path) {
  return std::filesystem::path(path.toStdString());
}

QString FromPath(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

// A save dialog starting at `suggested`; a name typed without an extension takes `suffix`.
QString AskSaveName(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter,
                    const QString& suffix) {
  QFileDialog dialog(parent, caption, suggested, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

}  // namespace

// ---- Unsaved changes ------------------------------------------------------------------------------

bool TMainWindow::Modified() const {
  // The order of the lists is no change of the cut (the export sorts them).
  return !(TSortedGrid(editor_.Grid()).Grid() == savedGrid_) || !(editor_.Slices() == savedSlices_);
}

void TMainWindow::MarkSaved() {
  MarkGridSaved();
  savedSlices_ = editor_.Slices();
}

void TMainWindow::MarkGridSaved() {
  savedGrid_ = TSortedGrid(editor_.Grid()).Grid();
}

void TMainWindow::UpdateCaption() {
  if (captionPath_.isEmpty()) {
    setWindowTitle("Tessel!");
    setWindowModified(false);
    return;
  }
  // "[*]" is where the toolkit shows the mark of unsaved changes; one in the path itself is
  // doubled so that it is shown as it is.
  QString path = captionPath_;
  path.replace("[*]", "[[*]]");
  setWindowTitle("Tessel! - [" + path + "][*]");
  setWindowModified(HasImage() && Modified());
}

bool TMainWindow::MaybeSaveChanges() {
  if (!HasImage() || !Modified()) return true;
  const QString name =
      projectPath_.isEmpty() ? QFileInfo(captionPath_).fileName() : QFileInfo(projectPath_).fileName();
  const QString text = "The grid or the slices of " + name +
                       " have changed since they were last saved.\n\nSave them in a project before going on?";
  int answer = QMessageBox::Cancel;
  if (AskSaveChanges) {
    answer = AskSaveChanges(text);
  } else {
    QMessageBox box(QMessageBox::Warning, "Tessel!", text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName("SaveChanges");
    box.setDefaultButton(QMessageBox::Save);
    answer = box.exec();
  }
  if (answer == QMessageBox::Discard) return true;
  if (answer == QMessageBox::Save) return SaveProjectCommand();
  return false;
}

// ---- File dialogs ---------------------------------------------------------------------------------

QString TMainWindow::SuggestedFile(const QString& extension) const {
  // Named after the picture (a pasted one has no name yet: then the project's), in the folder last
  // used, or else the picture's.
  const QString source = !imagePath_.isEmpty() ? imagePath_ : projectPath_;
  QString base = QFileInfo(source).completeBaseName();
  if (base.isEmpty()) base = "picture";
  QString folder = lastFolder_;
  if (folder.isEmpty() && !source.isEmpty()) folder = QFileInfo(source).absolutePath();
  return folder.isEmpty() ? base + extension : QDir(folder).filePath(base + extension);
}

void TMainWindow::RememberFolder(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  if (folder == lastFolder_) return;
  lastFolder_ = folder;
  SaveSettings();
}

// ---- Projects -------------------------------------------------------------------------------------

bool TMainWindow::SaveProject(const QString& path) {
  if (!HasImage() || exporting_) return false;
  // A pasted picture has no file yet; the project needs one to name.
  if (imagePath_.isEmpty()) {
    const QString suggested =
        QFileInfo(path).absoluteDir().filePath(QFileInfo(path).completeBaseName() + ".png");
    QString picture;
    if (AskFileName) {
      picture = AskFileName("Save Picture", kPictureFilter, "png", true);
    } else {
      picture = AskSaveName(this, "Save the Pasted Picture", suggested, kPictureFilter, "png");
    }
    if (picture.isEmpty()) return false;
    if (!RunGuarded(this, [&] { pg::SaveImage(*view_->PixelGraphic(), picture.toStdString()); }))
      return false;
    imagePath_ = QFileInfo(picture).absoluteFilePath();
    SetCaption(imagePath_);
  }
  TProject project;
  project.ImagePath = ToPath(QFileInfo(imagePath_).absoluteFilePath());
  project.Grid = editor_.Grid();
  project.Slices = editor_.Slices();
  project.Export.Format = outputFormat_.toStdString();
  project.Export.Options = options_->Options();
  project.Export.Encoding = options_->FormatSettings();
  project.Export.JpegQuality = jpegPage_->Slider()->value();
  project.Export.JpegProgressive = jpegPage_->Progressive()->isChecked();
  if (!RunGuarded(this, [&] { tessel::SaveProject(project, ToPath(path)); })) return false;
  TakeProjectPath(path);
  return true;
}

void TMainWindow::TakeProjectPath(const QString& path) {
  projectPath_ = QFileInfo(path).absoluteFilePath();
  PushRecent(recentProjects_, path);
  RememberFolder(path);
  MarkSaved();
  UpdateCaption();
}

bool TMainWindow::IsProjectFile(const QString& path) {
  const QString extension = "." + QFileInfo(path).suffix();
  return extension.compare(
             QString::fromUtf8(kProjectExtension.data(), static_cast<qsizetype>(kProjectExtension.size())),
             Qt::CaseInsensitive) == 0;
}

bool TMainWindow::OpenFile(const QString& path) {
  return IsProjectFile(path) ? OpenProject(path) : OpenImage(path);
}

bool TMainWindow::OpenProject(const QString& path) {
  if (exporting_) return false;
  const std::filesystem::path file = ToPath(path);
  TProject project;
  if (!RunGuarded(this, [&] {
        project = LoadProject(file);
        CheckProjectImage(project, file);
      }))
    return false;
  if (!OpenImage(FromPath(project.ImagePath))) return false;
  // Positions beyond the picture (which may have changed since) come back to its edges, as a grid
  // file's do.
  std::vector<std::string> messages;
  ClampGridToImage(project.Grid, ImageWidth(), ImageHeight(), file.string(), messages);
  for (const std::string& message : messages) ShowError(this, QString::fromStdString(message));
  // Slices beyond a grid that was clamped are not slices of it.
  TSliceTable kept;
  const TSortedGrid sorted(project.Grid);
  for (const auto& [key, properties] : project.Slices.Entries()) {
    if (sorted.Contains(key)) kept.Set(key, properties);
  }
  editor_.LoadState(project.Grid, kept);

  options_->SetOptions(project.Export.Options);
  options_->SetFormatSettings(project.Export.Encoding);
  SetOutputFormat(QString::fromStdString(project.Export.Format));
  jpegPage_->Slider()->setValue(project.Export.JpegQuality);
  jpegPage_->Progressive()->setChecked(project.Export.JpegProgressive);
  // The export writes JPEG slices with these, as after the compression page applied them.
  pg::FormatOptions().JPEGQuality = project.Export.JpegQuality;
  pg::FormatOptions().JPEGProgressive = project.Export.JpegProgressive;

  TakeProjectPath(path);
  RedrawGrid();
  return true;
}

void TMainWindow::OpenProjectCommand() {
  if (exporting_ || !MaybeSaveChanges()) return;
  const QString path = AskFileName
                           ? AskFileName("Open Project", kProjectFilter, "tessel", false)
                           : QFileDialog::getOpenFileName(this, "Open Project", lastFolder_, kProjectFilter);
  if (!path.isEmpty()) OpenProject(path);
}

bool TMainWindow::SaveProjectCommand() {
  if (projectPath_.isEmpty()) return SaveProjectAsCommand();
  return SaveProject(projectPath_);
}

bool TMainWindow::SaveProjectAsCommand() {
  if (!HasImage() || exporting_) return false;
  QString path;
  if (AskFileName) {
    path = AskFileName("Save Project", kProjectFilter, "tessel", true);
  } else {
    path = AskSaveName(this, "Save Project", SuggestedFile(".tessel"), kProjectFilter, "tessel");
  }
  return !path.isEmpty() && SaveProject(path);
}

void TMainWindow::ReopenProject(const QString& path) {
  if (!MaybeSaveChanges()) return;
  if (!QFileInfo::exists(path)) {
    ShowError(this, "File " + path + " not found.");
    return;
  }
  OpenProject(path);
}

}  // namespace tessel
