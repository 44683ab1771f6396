#include "workspace/ui/usage_text.h"

#include <QDir>
#include <QFileInfo>

namespace tessel {

QString FindUsageText(const QString& currentDir, const QString& programDir) {
  const QString name = "readme.txt";
  // The installed data folder relative to the installed program, so a relocated installation
  // (another prefix, a package unpacked elsewhere) still finds its own copy.
  const QString candidates[] = {QDir(currentDir).absoluteFilePath(name),
                                QDir(programDir).absoluteFilePath(name),
                                QDir(programDir).absoluteFilePath(TESSEL_DATA_FROM_PROGRAM "/" + name)};
  for (const QString& path : candidates) {
    const QFileInfo info(path);
    if (info.isFile()) return QDir::cleanPath(info.absoluteFilePath());
  }
  return {};
}

}  // namespace tessel
