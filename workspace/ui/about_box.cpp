#include "workspace/ui/about_box.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

#include "tessel/version.h"

namespace tessel {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About Tessel!");
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel("Tessel!", this);
  name->setObjectName("ProductName");
  QFont big = name->font();
  big.setPointSize(big.pointSize() * 2);
  big.setBold(true);
  name->setFont(big);
  name->setAlignment(Qt::AlignCenter);
  auto* version = new QLabel(QString("Version ") + kVersion, this);
  version->setObjectName("Version");
  version->setAlignment(Qt::AlignCenter);
  auto* blurb = new QLabel("Cuts pictures into slices for web pages.", this);
  blurb->setAlignment(Qt::AlignCenter);
  link_ = new QLabel("<a href=\"https://tessel.orlenwick.example/\">tessel.orlenwick.example</a>", this);
  link_->setObjectName("Link");
  link_->setAlignment(Qt::AlignCenter);
  link_->setTextFormat(Qt::RichText);
  link_->setTextInteractionFlags(Qt::TextBrowserInteraction);
  link_->setOpenExternalLinks(true);  // the system's handler for web pages
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(name);
  layout->addWidget(version);
  layout->addWidget(blurb);
  layout->addWidget(link_);
  layout->addWidget(buttons);
  setModal(true);
}

}  // namespace tessel
