// Message boxes for errors and for the imaging library's questions, and the application object
// that turns an exception reaching the event loop into a message box.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>
#include <string>

#include "imaging/image/question.h"

class QWidget;

namespace tessel {

// The text an error box shows for `error`: its message, and for a picture larger than the pixel
// limit also how to raise the limit in the preferences.
QString ErrorText(const std::exception& error);

// An error box with the text and one OK button.
void ShowError(QWidget* parent, const QString& text);

// Runs `work`; an exception it raises is shown in an error box. Returns false when one was raised.
bool RunGuarded(QWidget* parent, const std::function<void()>& work);

// A warning box with OK, or OK and Cancel, for a question of the imaging library. Asked from
// another thread than the user interface's, it shows nothing and answers OK.
pg::TQuestionAnswer AskQuestionBox(QWidget* parent, const std::string& caption, const std::string& text,
                                   pg::TQuestionButtons buttons);

// Makes pg::AskQuestion show a warning box with OK or OK and Cancel.
void InstallQuestionHandler();

class TApplication : public QApplication {
  Q_OBJECT
 public:
  TApplication(int& argc, char** argv);
  // Every exception that escapes an event handler is shown to the user; the program continues.
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tessel
