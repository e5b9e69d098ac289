#ifndef LIBRARYLOG_H
#define LIBRARYLOG_H

#include <QString>
#include <QStringList>

// What libmosquitto writes while one connection attempt runs, kept to say
// why the attempt failed: the result code only says "A TLS error occurred.",
// the library's own lines are OpenSSL's ("error:0A000086:SSL
// routines::certificate verify failed").
class LibraryLog
{
public:
    static constexpr int maxLines = 16;

    struct Context
    {
        QString host;
        QString cafile;
        QString certfile;
    };

    void clear() { m_lines.clear(); }
    void add(const QString &line);
    bool isEmpty() const { return m_lines.isEmpty(); }
    // The reason in an integrator's words; else `fallback` and the library's
    // first line.
    QString reason(const QString &fallback, const Context &context) const;

private:
    QStringList m_lines;
};

#endif // LIBRARYLOG_H
