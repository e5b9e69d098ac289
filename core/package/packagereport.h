#ifndef PACKAGEREPORT_H
#define PACKAGEREPORT_H

#include <QString>
#include <QCoreApplication>

#include "core/package/qlxfat.h"

// What the operator and standard error are told about a package that does not
// load as packed: one that does not open, one cut short, and a project
// document that is missing or does not parse. Lines for standard error follow
// "Package <path>: "; box texts are German and name the package.
class PackageReport
{
    Q_DECLARE_TR_FUNCTIONS(PackageReport)

public:
    // Lines and boxes name this many entries at most, then how many more.
    static constexpr int NamesListed = 5;

    // The box for a package that did not open.
    static QString openFailureText(const QString &path, QLXFat::OpenError error);

    // For a package whose table reaches past its end; empty lines and texts
    // for a whole one. The line names what is left out.
    static QString cutShortLine(const QLXFat &package);
    static QString damagedText(const QString &path);

    // Why the document gave no project: `readerError` is the reader's reason,
    // `bytes` the size of what the entry held. Empty when a cut-short package
    // already explains it.
    static QString documentLine(const QLXFat &package, int bytes, const QString &readerError);

    // For `count` picture entries that could not be unpacked, of which
    // `names` are the first (NamesListed at most): one line and one box for
    // the package, however many there are.
    static QString unpackLine(int count, const QStringList &names);
    static QString unpackText(const QString &path, int count, const QStringList &names);
    // Why a picture of `size` bytes could not be written to `destination`
    // (its folder, then its name), for the box: its name leads out of the
    // picture folder (`refused`), its folder is not there (a nested name),
    // the `available` bytes there (negative: not known) do not hold it, or
    // the folder may not be written. Empty when none of these explains it.
    static QString unpackReason(const QString &destination, qint64 size, bool refused, qint64 available);
};

#endif // PACKAGEREPORT_H
