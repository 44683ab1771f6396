// Help > Usage finds its text in the current folder, beside the program (a build tree), or in the
// data folder of an installation laid out as bin/ and share/tessel/.
#include "workspace/ui/usage_text.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace tessel {
namespace {

void WriteFile(const QString& path) {
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("usage\n");
}

TEST(UsageTextTest, CurrentFolderThenBesideTheProgramThenInstalledDataFolder) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString current = root.filePath("work");
  const QString program = root.filePath("usr/bin");
  ASSERT_TRUE(QDir().mkpath(current));
  ASSERT_TRUE(QDir().mkpath(program));

  EXPECT_EQ(FindUsageText(current, program), QString());

  // A folder of that name is not the text.
  ASSERT_TRUE(QDir().mkpath(current + "/readme.txt"));
  EXPECT_EQ(FindUsageText(current, program), QString());
  ASSERT_TRUE(QDir(current).rmdir("readme.txt"));

  const QString installed = root.filePath("usr/share/tessel/readme.txt");
  WriteFile(installed);
  EXPECT_EQ(FindUsageText(current, program), QDir::cleanPath(installed));

  WriteFile(program + "/readme.txt");
  EXPECT_EQ(FindUsageText(current, program), program + "/readme.txt");

  WriteFile(current + "/readme.txt");
  EXPECT_EQ(FindUsageText(current, program), current + "/readme.txt");
}

}  // namespace
}  // namespace tessel
