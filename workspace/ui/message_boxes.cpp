#include "workspace/ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

#include "imaging/image/question.h"

namespace tessel {

void ShowError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, "Tessel!", text, QMessageBox::Ok, parent);
  box.exec();
}

bool RunGuarded(QWidget* parent, const std::function<void()>& work) {
  try {
    work();
    return true;
  } catch (const std::exception& error) {
    ShowError(parent, QString::fromStdString(error.what()));
  } catch (...) {
    ShowError(parent, "Unknown error.");
  }
  return false;
}

void InstallQuestionHandler() {
  pg::SetQuestionHandler(
      [](const std::string& caption, const std::string& text, pg::TQuestionButtons buttons) {
        // A box can only be shown on the user-interface thread. The export's slice workers could in
        // principle meet a codec warning; they go on as the box's OK would, rather than blocking on
        // a user-interface thread that is waiting for them.
        if (QThread::currentThread() != QApplication::instance()->thread()) return pg::TQuestionAnswer::OK;
        const auto standard = buttons == pg::TQuestionButtons::OKCancel
                                  ? QMessageBox::Ok | QMessageBox::Cancel
                                  : QMessageBox::StandardButtons(QMessageBox::Ok);
        QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption), QString::fromStdString(text),
                        standard, QApplication::activeWindow());
        return box.exec() == QMessageBox::Cancel ? pg::TQuestionAnswer::Cancel : pg::TQuestionAnswer::OK;
      });
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowError(activeWindow(), QString::fromStdString(error.what()));
  } catch (...) {
    ShowError(activeWindow(), "Unknown error.");
  }
  return false;
}

}  // namespace tessel
