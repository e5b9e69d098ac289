#include "core/startup/stoprequest.h"

#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#endif

// A request to end the process reaches the event loop as the signal it came
// as, once per request, while the process goes on.
class TestStopRequest : public QObject
{
    Q_OBJECT

private slots:
    void requested_data();
    void requested();
};

namespace {

// Sends `source` to this process as the platform would; false with the
// reason when it cannot.
bool sendToSelf(StopRequest::Source source, QString *why)
{
#ifdef Q_OS_WIN
    // Only Ctrl+C can be sent to oneself; the console's window is not ours to close.
    if (source != StopRequest::Interrupt) {
        *why = QStringLiteral("Windows sends only Ctrl+C and Ctrl+Break to a process group");
        return false;
    }
    if (::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
        return true;
    *why = QStringLiteral("no console to send Ctrl+C through (error %1)").arg(::GetLastError());
    return false;
#else
    Q_UNUSED(why)
    return ::raise(int(source)) == 0;
#endif
}

} // namespace

void TestStopRequest::requested_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("times");

    QTest::newRow("terminate") << int(StopRequest::Terminate) << 1;
    QTest::newRow("interrupt, twice") << int(StopRequest::Interrupt) << 2;
    QTest::newRow("hang-up") << int(StopRequest::HangUp) << 1;
}

void TestStopRequest::requested()
{
    QFETCH(int, source);
    QFETCH(int, times);
    StopRequest request({StopRequest::Terminate, StopRequest::Interrupt, StopRequest::HangUp});
    QVERIFY(request.isWatching());
    QSignalSpy spy(&request, &StopRequest::requested);
    for (int i = 0; i < times; ++i) {
        QString why;
        if (!sendToSelf(StopRequest::Source(source), &why))
            QSKIP(qPrintable(why));
        QTRY_COMPARE(spy.count(), i + 1);
        QCOMPARE(spy.at(i).at(0).toInt(), source);
    }
    // Nothing more than was sent.
    QTest::qWait(50);
    QCOMPARE(spy.count(), times);
}

QTEST_GUILESS_MAIN(TestStopRequest)
#include "tst_stoprequest.moc"
