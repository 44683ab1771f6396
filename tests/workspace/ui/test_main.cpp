// The UI tests' entry point: a QApplication on the offscreen platform with the settings store and
// the cache in a temporary directory of their own, then every GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

#include "workspace/ui/message_boxes.h"
#include "workspace/ui/settings.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir home;
  // Settings and caches of the tests never touch the user's own.
  setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
  setenv("XDG_CACHE_HOME", (home.path() + "/cache").toLocal8Bit().constData(), 1);
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(tessel::kOrganisation);
  QCoreApplication::setApplicationName(tessel::kApplication);
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path() + "/config");
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path() + "/config");
  return RUN_ALL_TESTS();
}
