// Where Help > Usage finds the usage text.
#pragma once

#include <QString>

namespace tessel {

// The usage text "readme.txt": in the current folder, else beside the program (a build tree), else
// in the data folder of an installation, reached from the program's folder (bin/../share/tessel).
// Returns the absolute path of the first that exists, or an empty string when there is none.
QString FindUsageText(const QString& currentDir, const QString& programDir);

}  // namespace tessel
