#include "app/startup.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QTime>

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

int registerApplicationFont()
{
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/font/normal"));
    qInfo() << id << QFontDatabase::applicationFontFamilies(id);
    return id;
}

void seedRandomGenerator()
{
    // msecsSinceStartOfDay() is 0 for an invalid time.
    const uint seed = uint(QTime::currentTime().msecsSinceStartOfDay());
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(seed);
    QT_WARNING_POP
}

bool readStyleSheet(const QString &mainPath, const QString &platformPath, QString *styleSheet)
{
    QFile mainFile(mainPath);
    if (!mainFile.open(QIODevice::ReadOnly)) {
        qDebug() << "Can not open style sheet" << mainPath;
        return false;
    }
    QFile platformFile(platformPath);
    if (!platformFile.open(QIODevice::ReadOnly)) {
        qDebug() << "Can not open style sheet" << platformPath;
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
