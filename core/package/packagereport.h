#ifndef PACKAGEREPORT_H
#define PACKAGEREPORT_H

#include <QString>

#include "core/package/qlxfat.h"

// What the operator and standard error are told about a package that does not
// load as packed: one that does not open, one cut short, and a project
// document that is missing or does not parse. Lines for standard error follow
// "Package <path>: "; box texts are German and name the package.
class PackageReport
{
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
};

#endif // PACKAGEREPORT_H
