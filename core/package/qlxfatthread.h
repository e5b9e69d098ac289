#ifndef QLXFATTHREAD_H
#define QLXFATTHREAD_H

#include "core/package/fatentry.h"

#include <QMap>
#include <QString>
#include <QThread>
#include <QVector>

#include <atomic>

class QSaveFile;

// Writes a package from a container's table and header properties into its
// open package file, one small step at a time with a pause after each step.
// The file replaces the package only when the whole package is written; a
// failure or a stop leaves what was there before.
// It borrows all three from the container, which must leave them alone while
// the writer runs. Completion shows in progress() (100, or 255 after a
// failure) and in QThread::finished().
class QLXFatThread : public QThread
{
public:
    static constexpr int DefaultStepPause = 10; // milliseconds
    static constexpr quint8 ProgressFailed = 255;

    QLXFatThread(const QVector<FatEntry> *table, const QMap<QString, QString> *headerProperties, QSaveFile *packageFile,
                 QObject *parent = nullptr);

    // Asks run() to leave after the step it is in; nothing is then replaced.
    void stop() { m_stop = true; }
    bool isStopRequested() const { return m_stop; }

    // 0 to 100 while working and when done, 255 after a failure.
    quint8 progress() const { return m_progress; }
    // 0, or 1 when the package file could not be rewound (nothing was written).
    qint32 error() const { return m_error; }

    void setStepPause(int milliseconds) { m_stepPause = qMax(0, milliseconds); }
    int stepPause() const { return m_stepPause; }

protected:
    void run() override;

private:
    bool writeBytes(const QByteArray &bytes);
    void pause();

    const QVector<FatEntry> *m_table;
    const QMap<QString, QString> *m_headerProperties;
    QSaveFile *m_packageFile;
    std::atomic<bool> m_stop{false};
    std::atomic<quint8> m_progress{0};
    std::atomic<qint32> m_error{0};
    std::atomic<int> m_stepPause{DefaultStepPause};
};

#endif // QLXFATTHREAD_H
