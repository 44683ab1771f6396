#include "workspace/ui/message_boxes.h"

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <limits>

#include "imaging/image/exceptions.h"
#include "imaging/image/question.h"

namespace tessel {

QString ErrorText(const std::exception& error) {
  QString text = QString::fromStdString(error.what());
  if (const auto* limit = dynamic_cast<const pg::EPGPixelLimit*>(&error)) {
    const int64_t width = std::max<int64_t>(limit->Width(), 1);
    const int64_t height = std::max<int64_t>(limit->Height(), 1);
    const int64_t pixels = width > std::numeric_limits<int64_t>::max() / height
                               ? std::numeric_limits<int64_t>::max()
                               : width * height;
    const QLocale locale;
    text += QString(
                "\n\nThe largest picture Tessel opens is set to %1 pixels. To open this one, raise "
                "\"Largest picture\" under Edit > Preferences... to at least %2 pixels.")
                .arg(locale.toString(static_cast<qlonglong>(limit->Limit())))
                .arg(locale.toString(static_cast<qlonglong>(pixels)));
  }
  return text;
}

void ShowError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, "Tessel!", text, QMessageBox::Ok, parent);
  box.exec();
}

bool RunGuarded(QWidget* parent, const std::function<void()>& work) {
  try {
    work();
    return true;
  } catch (const std::exception& error) {
    ShowError(parent, ErrorText(error));
  } catch (...) {
    ShowError(parent, "Unknown error.");
  }
  return false;
}

pg::TQuestionAnswer AskQuestionBox(QWidget* parent, const std::string& caption, const std::string& text,
                                   pg::TQuestionButtons buttons) {
  // A box can only be shown on the user-interface thread. The export's slice workers could in
  // principle meet a codec warning; they go on as the box's OK would, rather than blocking on a
  // user-interface thread that is waiting for them.
  if (QThread::currentThread() != QApplication::instance()->thread()) return pg::TQuestionAnswer::OK;
  const auto standard = buttons == pg::TQuestionButtons::OKCancel
                            ? QMessageBox::Ok | QMessageBox::Cancel
                            : QMessageBox::StandardButtons(QMessageBox::Ok);
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption), QString::fromStdString(text),
                  standard, parent);
  box.setObjectName("Question");
  return box.exec() == QMessageBox::Cancel ? pg::TQuestionAnswer::Cancel : pg::TQuestionAnswer::OK;
}

void InstallQuestionHandler() {
  pg::SetQuestionHandler(
      [](const std::string& caption, const std::string& text, pg::TQuestionButtons buttons) {
        return AskQuestionBox(QApplication::activeWindow(), caption, text, buttons);
      });
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowError(activeWindow(), ErrorText(error));
  } catch (...) {
    ShowError(activeWindow(), "Unknown error.");
  }
  return false;
}

}  // namespace tessel
