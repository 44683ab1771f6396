// The main window's clipboard: Edit > Copy Image puts the picture there, Edit > Paste as New Image
// makes the clipboard's picture (a screenshot, say) the one to slice.
#include <QApplication>

#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_clipboard.h"
#include "imaging/view/qt_pg_image.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/message_boxes.h"

namespace tessel {

bool TMainWindow::CopyImage() {
  if (!HasImage()) return false;
  return RunGuarded(this, [this] { pg::CopyToClipboard(*view_->SharedPixelGraphic()); });
}

bool TMainWindow::PasteAsNewImage() {
  if (exporting_ || !MaybeSaveChanges()) return false;
  auto graphic = std::make_unique<pg::TPixelGraphic>();
  try {
    pg::PasteFromClipboard(*graphic);
  } catch (const pg::EPGUnknownClipboardFormat& error) {
    ShowError(this, QString::fromStdString(error.what()) +
                        ": the clipboard holds no picture. Copy a picture (or take a screenshot) first.");
    return false;
  } catch (const std::exception& error) {
    ShowError(this, "Clipboard: " + ErrorText(error));
    return false;
  }
  ShowNewPicture(std::move(graphic), QString());
  return true;
}

}  // namespace tessel
