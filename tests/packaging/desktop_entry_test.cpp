// The desktop entry offers Tessel for exactly the kinds of image it reads: every MIME type it
// names exists, and every extension a reader is registered for maps to one of them, so a reader
// added later without the entry following fails here.
#include <gtest/gtest.h>

#include <QFile>
#include <QMimeDatabase>
#include <QSet>
#include <QString>
#include <QStringList>

#include "imaging/formats/file_format.h"

namespace tessel {
namespace {

QString DesktopEntryValue(const QString& key) {
  QFile file(TESSEL_SOURCE_DIR "/packaging/tessel.desktop");
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
  for (const QString& line : lines) {
    if (line.startsWith(key + "=")) return line.mid(key.size() + 1);
  }
  return {};
}

TEST(DesktopEntry, MimeTypesCoverEveryReaderAndExist) {
  const QString value = DesktopEntryValue("MimeType");
  ASSERT_FALSE(value.isEmpty()) << "no MimeType in packaging/tessel.desktop";
  ASSERT_TRUE(value.endsWith(';')) << "a desktop entry list ends with ';'";

  const QMimeDatabase mimeDatabase;
  QSet<QString> offered;  // canonical names, so that an alias in the entry counts as its type
  for (const QString& name : value.split(';', Qt::SkipEmptyParts)) {
    const QMimeType type = mimeDatabase.mimeTypeForName(name);
    EXPECT_TRUE(type.isValid()) << name.toStdString() << " is not a known MIME type";
    EXPECT_TRUE(name.startsWith("image/")) << name.toStdString();
    offered.insert(type.name());
  }

  int readersChecked = 0;
  for (const auto& reader : pg::FileFormatReaders()) {
    const QList<QMimeType> types =
        mimeDatabase.mimeTypesForFileName(QString::fromStdString("picture." + reader->Extension));
    if (types.isEmpty()) continue;  // an extension no MIME type claims cannot be associated
    ++readersChecked;
    bool found = false;
    for (const QMimeType& type : types) found = found || offered.contains(type.name());
    EXPECT_TRUE(found) << "." << reader->Extension << " (" << types.first().name().toStdString()
                       << ") is read but not offered in MimeType";
  }
  EXPECT_GE(readersChecked, 10) << "the system's MIME database knows too few image types to check";
}

}  // namespace
}  // namespace tessel
