#include "tools/standins/standardinput.h"

#include <QSocketNotifier>

#include <unistd.h>

StandardInput::StandardInput(QObject *parent)
    : QObject(parent)
{
    auto *notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof(buffer));
        if (n <= 0) {
            notifier->setEnabled(false);
            emit ended();
            return;
        }
        emit received(QByteArray(buffer, int(n)));
    });
}

StandardInput::~StandardInput() = default;
