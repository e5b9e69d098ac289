#ifndef QLXFATTESTHELPER_H
#define QLXFATTESTHELPER_H

#include "storage/fatentry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTest>

class QLXFat;

namespace QlxFatTest {

// Writes `bytes` to `path` (creating parent directories); false on failure.
bool writeFile(const QString &path, const QByteArray &bytes);
// The whole file, or a null array when it cannot be read.
QByteArray readFile(const QString &path);

// A package in the container's format, assembled here by hand: header lines,
// then one table line per entry ("name|size"), then the entries' bytes.
QByteArray packageBytes(const QStringList &headerLines, const QList<QPair<QString, QByteArray>> &entries);

// Bytes that are not a repeating pattern, so misplaced blocks show.
QByteArray patternBytes(int size, int seed);

// Blocks until the container's writer has finished; false after `timeoutMs`.
bool waitForWriter(QLXFat &fat, int timeoutMs = 60000);

} // namespace QlxFatTest

// Readable QCOMPARE failures for entries.
namespace QTest {
template<>
inline char *toString(const FatEntry &entry)
{
    return qstrdup(entry.toString().toUtf8().constData());
}
} // namespace QTest

#endif // QLXFATTESTHELPER_H
