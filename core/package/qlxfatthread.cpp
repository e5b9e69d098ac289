#include "core/package/qlxfatthread.h"
#include "core/logging/logcategories.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr qint64 BlockSize = 1024;

quint8 share(int span, int done, int total, int base)
{
    if (total <= 0)
        return quint8(base + span);
    return quint8(int(double(span) * done / total) + base);
}

} // namespace

QLXFatThread::QLXFatThread(const QVector<FatEntry> *table, const QMap<QString, QString> *headerProperties,
                           QSaveFile *packageFile, QObject *parent)
    : QThread(parent)
    , m_table(table)
    , m_headerProperties(headerProperties)
    , m_packageFile(packageFile)
{
}

bool QLXFatThread::writeBytes(const QByteArray &bytes)
{
    return m_packageFile->write(bytes) == bytes.size();
}

void QLXFatThread::pause()
{
    const int milliseconds = m_stepPause;
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void QLXFatThread::run()
{
    // The stop flag is not cleared here: a stop requested between start() and
    // the first step must still be seen, or close() would wait for the whole
    // package. Every save() gets a new writer with a clear flag instead.
    m_error = 0;
    if (!m_packageFile->isOpen() || !m_packageFile->isWritable() || !m_packageFile->seek(0)) {
        m_error = 1;
        m_progress = ProgressFailed;
        return;
    }
    m_progress = 0;

    enum Phase { HeaderPhase, TablePhase, DataPhase, Done };
    Phase phase = HeaderPhase;
    bool failed = !writeBytes(QByteArrayLiteral("SOH\n"));

    const QStringList keys = m_headerProperties->keys(); // ascending, ordinal
    const int entryCount = m_table->size();
    // Sizes as the table states them: the data phase copies exactly these, so a
    // source that changes on disk meanwhile cannot shift the entries after it.
    QVector<qint64> tableSizes;
    tableSizes.reserve(entryCount);
    int index = 0;
    QFile source;
    qint64 remaining = 0;

    while (!failed && phase != Done && !m_stop) {
        switch (phase) {
        case HeaderPhase:
            if (index < keys.size()) {
                const QString &key = keys.at(index);
                failed = !writeBytes(
                    QString(key + QLatin1Char(':') + m_headerProperties->value(key) + QLatin1Char('\n')).toLatin1());
                ++index;
                m_progress = share(30, index, keys.size(), 0);
            }
            if (!failed && index >= keys.size()) {
                failed = !writeBytes(QByteArrayLiteral("SOFAT\n"));
                m_progress = 30;
                phase = TablePhase;
                index = 0;
            }
            break;
        case TablePhase:
            if (index < entryCount) {
                const FatEntry &entry = m_table->at(index);
                const qint64 size = entry.inMemory ? entry.data.size() : QFileInfo(entry.sourcePath).size();
                tableSizes.append(size);
                failed = !writeBytes(
                    QString(entry.name + QLatin1Char('|') + QString::number(size) + QLatin1Char('\n')).toLatin1());
                ++index;
                m_progress = share(30, index, entryCount, 30);
            }
            if (!failed && index >= entryCount) {
                failed = !writeBytes(QByteArrayLiteral("EOFAT\nEOH\n"));
                m_progress = 60;
                phase = entryCount > 0 ? DataPhase : Done;
                index = 0;
            }
            break;
        case DataPhase: {
            m_progress = share(40, index, entryCount, 60);
            const FatEntry &entry = m_table->at(index);
            if (entry.inMemory) {
                failed = !writeBytes(entry.data.toLatin1());
                ++index;
            } else if (!source.isOpen()) {
                qCDebug(lcPackage).noquote() << "Save File into QLXFAT" << entry.sourcePath;
                source.setFileName(entry.sourcePath);
                if (!source.open(QIODevice::ReadOnly)) {
                    qCDebug(lcPackage) << "File Open FAILED";
                    failed = true;
                    break;
                }
                remaining = tableSizes.at(index);
            } else {
                char block[BlockSize];
                const qint64 read = remaining > 0 ? source.read(block, qMin(remaining, BlockSize)) : 0;
                if (read < 0 || (read == 0 && remaining > 0)) {
                    qCDebug(lcPackage).noquote() << "File Read FAILED" << entry.sourcePath;
                    failed = true;
                    break;
                }
                failed = m_packageFile->write(block, read) != read;
                remaining -= read;
                if (remaining == 0) {
                    source.close();
                    ++index;
                }
            }
            if (index >= entryCount)
                phase = Done;
            break;
        }
        case Done:
            break;
        }
        pause();
    }

    // Only a whole package replaces the old one.
    if (failed || phase != Done)
        m_packageFile->cancelWriting();
    if (!m_packageFile->commit() && phase == Done)
        failed = true;
    if (failed) {
        m_stop = true;
        m_progress = ProgressFailed;
    } else if (phase == Done) {
        m_progress = 100;
    }
    // Stopped on request: progress stays below 100, the old package stays.
}
