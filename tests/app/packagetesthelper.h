#ifndef PACKAGETESTHELPER_H
#define PACKAGETESTHELPER_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

using PackageEntries = QList<QPair<QString, QByteArray>>;

// The bytes of a package holding `entries` in this order.
QByteArray packageBytes(const PackageEntries &entries);
bool writePackage(const QString &path, const PackageEntries &entries);

// A small PNG of one colour.
QByteArray pngBytes(int w, int h, unsigned rgb = 0x3080ff);

// Every file and folder below `root` with its size, for before/after checks;
// links are listed, not followed.
QStringList treeListing(const QString &root);

#endif // PACKAGETESTHELPER_H
