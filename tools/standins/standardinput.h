#ifndef STANDARDINPUT_H
#define STANDARDINPUT_H

#include <QByteArray>
#include <QObject>

// Standard input's bytes as they arrive, on the event loop: a terminal's
// lines, or what a test or a script writes. On Linux the event loop watches
// the descriptor; on Windows, whose event loop watches only sockets, a thread
// of its own reads and hands the bytes over.
class StandardInput : public QObject
{
    Q_OBJECT
public:
    explicit StandardInput(QObject *parent = nullptr);
    ~StandardInput() override;

signals:
    void received(const QByteArray &bytes);
    // At its end or an error; nothing comes after.
    void ended();
};

#endif // STANDARDINPUT_H
