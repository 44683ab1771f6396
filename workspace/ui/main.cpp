// tessel: the desktop program. Usage: tessel [--grid FILE.grd] [IMAGE | PROJECT.tessel]
#include <QCommandLineParser>
#include <QStringList>

#include "tessel/version.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/message_boxes.h"
#include "workspace/ui/settings.h"

int main(int argc, char** argv) {
  tessel::TApplication app(argc, argv);
  QCoreApplication::setOrganizationName(tessel::kOrganisation);
  QCoreApplication::setApplicationName(tessel::kApplication);
  QCoreApplication::setApplicationVersion(tessel::kVersion);
  tessel::InstallQuestionHandler();

  QCommandLineParser parser;
  parser.setApplicationDescription("Cuts a picture into slices for web pages.");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption gridOption("grid", "Load the grid file FILE after opening the image.", "FILE");
  parser.addOption(gridOption);
  parser.addPositionalArgument("file", "The image or the project (.tessel) to open.",
                               "[IMAGE | PROJECT.tessel]");
  parser.process(app);

  tessel::TMainWindow window;
  window.show();
  const QStringList files = parser.positionalArguments();
  const QString file = files.value(0);
  const bool project = tessel::TMainWindow::IsProjectFile(file);
  if (project && parser.isSet(gridOption)) {
    tessel::ShowError(&window, "A project brings its own grid: give either the project or --grid FILE.");
  } else if (!files.isEmpty() && window.OpenFile(file) && parser.isSet(gridOption)) {
    window.LoadGridFile(parser.value(gridOption));
  } else if (files.isEmpty() && parser.isSet(gridOption)) {
    tessel::ShowError(&window, "A grid needs an image: give the image after --grid FILE.");
  }
  return app.exec();
}
