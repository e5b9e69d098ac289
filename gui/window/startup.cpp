#include "gui/window/startup.h"
#include "gui/logging/guilogcategories.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLocale>
#include <QPointer>
#include <QStringList>
#include <QTime>
#include <QTranslator>

#include "gui/pages/page.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

bool probeProjectDirectory(const QString &directory)
{
    // A fresh installation has no projects directory yet; without it the
    // panel could neither store nor unpack a package.
    if (!QDir(directory).exists() && !QDir().mkpath(directory))
        return false;
    QFile probe(QDir(directory).filePath(QStringLiteral("testFile")));
    if (!probe.open(QIODevice::ReadWrite))
        return false;
    probe.close();
    return true;
}

void shareProjectFilesWithGroup(const QString &directory)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(directory).constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || !(info.st_mode & S_IWGRP))
        return;
    ::umask(::umask(0) & ~mode_t(S_IRWXG));
#else
    Q_UNUSED(directory)
#endif
}

int registerApplicationFont()
{
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/font/normal"));
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    // Qt 5's debug form of a list, 0 ("Prototype"), spelt out: Qt 6 writes
    // QList("Prototype").
    QDebug line = qInfo();
    line << id;
    line.nospace() << '(';
    for (int i = 0; i < families.size(); ++i)
        line << (i == 0 ? "" : ", ") << families.at(i);
    line << ')';
    return id;
}

void seedRandomGenerator()
{
    // msecsSinceStartOfDay() is 0 for an invalid time.
    Page::seedIds(quint32(QTime::currentTime().msecsSinceStartOfDay()));
}

QString topmostProblem(const QString &platformName)
{
    if (!platformName.startsWith(QLatin1String("wayland")))
        return QString();
    return QStringLiteral("-topmost has no effect on Wayland, where the compositor decides which window is on "
                          "top; ignored");
}

bool installTranslation(const QString &language)
{
    static QPointer<QTranslator> installed;
    delete installed;
    const bool english = language == QLatin1String("en");
    QLocale::setDefault(
        QLocale(english ? QLocale::English : QLocale::German, english ? QLocale::UnitedKingdom : QLocale::Germany));
    if (!english)
        return language == QLatin1String("de");
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/i18n/qalix-plus-control_%1.qm").arg(language))) {
        delete translator;
        return false;
    }
    installed = translator;
    return QCoreApplication::installTranslator(translator);
}

bool readStyleSheet(const QString &mainPath, const QString &platformPath, QString *styleSheet)
{
    QFile mainFile(mainPath);
    if (!mainFile.open(QIODevice::ReadOnly)) {
        qCDebug(lcWindow) << "Can not open style sheet" << mainPath;
        return false;
    }
    QFile platformFile(platformPath);
    if (!platformFile.open(QIODevice::ReadOnly)) {
        qCDebug(lcWindow) << "Can not open style sheet" << platformPath;
        return false;
    }
    *styleSheet = joinStyleSheets(mainFile.readAll(), platformFile.readAll());
    return true;
}

static QString textUpToZero(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

QString joinStyleSheets(const QByteArray &mainSheet, const QByteArray &platformSheet)
{
    return textUpToZero(mainSheet) + QStringLiteral("\n\n") + textUpToZero(platformSheet);
}
