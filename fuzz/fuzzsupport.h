#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

// What the fuzz targets share. Inline: the replay test links every target
// into one program.

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdlib>

// A folder of `target`'s own for the whole run; no run without one.
inline QString fuzzWorkDir(const QString &target)
{
    static QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/') + target;
    if (!dir.isValid() || !QDir().mkpath(path))
        std::abort();
    return path;
}

// Debug lines off, once: a run feeds millions of inputs.
inline void fuzzQuietly()
{
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return true;
    }();
    Q_UNUSED(quiet);
}

// An application object, for what looks up the application's folder, with
// information lines off too; the replay test brings its own.
inline void fuzzApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static const QCoreApplication *application = [] {
        if (QCoreApplication::instance())
            return QCoreApplication::instance();
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
        return new QCoreApplication(argc, argv);
    }();
    Q_UNUSED(application);
}

#endif // FUZZSUPPORT_H
