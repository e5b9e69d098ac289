#include "core/startup/stoprequest.h"

#include <QtTest>

#include <csignal>

// A request to end the process reaches the event loop as the signal it came
// as, once per request, while the process goes on.
class TestStopRequest : public QObject
{
    Q_OBJECT

private slots:
    void requested_data();
    void requested();
};

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
#ifdef Q_OS_WIN
    QSKIP("Ctrl+C sent to oneself reaches every program of the console; ./panel.sh wine-check sends it from outside");
#else
    QFETCH(int, source);
    QFETCH(int, times);
    StopRequest request({StopRequest::Terminate, StopRequest::Interrupt, StopRequest::HangUp});
    QVERIFY(request.isWatching());
    QSignalSpy spy(&request, &StopRequest::requested);
    for (int i = 0; i < times; ++i) {
        QCOMPARE(::raise(source), 0);
        QTRY_COMPARE(spy.count(), i + 1);
        QCOMPARE(spy.at(i).at(0).toInt(), source);
    }
    // Nothing more than was sent.
    QTest::qWait(50);
    QCOMPARE(spy.count(), times);
#endif
}

QTEST_GUILESS_MAIN(TestStopRequest)
#include "tst_stoprequest.moc"
