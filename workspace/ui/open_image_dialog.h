// The open dialog for images: the readers' filter, and beside the file list a preview of the
// selected file with the header information the format framework reports.
#pragma once

#include <QFileDialog>
#include <QStringList>
#include <string>

class QLabel;

namespace pg {
class TPGImage;
}

namespace tessel {

// "Name|*.a; *.b|Name2|*.c" (the readers' filter) as the toolkit's list "Name (*.a *.b)", ...
QStringList ReaderFilterToQt(const std::string& filter);

class TOpenImageDialog : public QFileDialog {
  Q_OBJECT
 public:
  explicit TOpenImageDialog(QWidget* parent = nullptr);

  // Shows the header information and a preview of `path` (nothing for a file no reader knows).
  void ShowPreview(const QString& path);
  QLabel* InfoLabel() const { return info_; }
  pg::TPGImage* Preview() const { return preview_; }

 private:
  QLabel* info_;
  pg::TPGImage* preview_;
};

}  // namespace tessel
