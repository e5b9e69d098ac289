#include "tools/standins/standardinput.h"

#include <QCoreApplication>
#include <QPointer>

#include <thread>
#include <windows.h>

// A read of a console or a pipe cannot be given up: the thread blocks in it
// until the process ends, and hands nothing to an object that is gone.
StandardInput::StandardInput(QObject *parent)
    : QObject(parent)
{
    const QPointer<StandardInput> self(this);
    std::thread([self] {
        const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
        char buffer[256];
        DWORD n = 0;
        const auto hand = [&self](auto what) {
            if (QCoreApplication *app = QCoreApplication::instance()) {
                QMetaObject::invokeMethod(
                    app,
                    [self, what] {
                        if (self)
                            what(self.data());
                    },
                    Qt::QueuedConnection);
            }
        };
        while (input && input != INVALID_HANDLE_VALUE && ::ReadFile(input, buffer, sizeof(buffer), &n, nullptr)
               && n > 0) {
            const QByteArray bytes(buffer, int(n));
            hand([bytes](StandardInput *object) { emit object->received(bytes); });
        }
        hand([](StandardInput *object) { emit object->ended(); });
    }).detach();
}

StandardInput::~StandardInput() = default;
