// The About box: product name, version and a link that opens the project's web page.
#pragma once

#include <QDialog>

class QLabel;

namespace tessel {

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  QLabel* LinkLabel() const { return link_; }

 private:
  QLabel* link_;
};

}  // namespace tessel
