#include "net/msglinebuffer.h"

#include <QtTest>

class TestMsgLineBuffer : public QObject
{
    Q_OBJECT

private slots:
    void splitAtEveryByte();
    void manyLinesInOneChunk();
    void lengthLimit_data();
    void lengthLimit();
    void overflowWithoutLineFeedStaysBounded();
    void clearResets();
};

namespace {

QList<QByteArray> drain(MsgLineBuffer &buffer)
{
    QList<QByteArray> lines;
    QByteArray line;
    while (buffer.takeLine(&line))
        lines << line;
    return lines;
}

} // namespace

void TestMsgLineBuffer::splitAtEveryByte()
{
    const QByteArray stream("POUT.Kueche.3=1\r\nE3=Timeout occured\n\nCB\n");
    const QList<QByteArray> expected{"POUT.Kueche.3=1\r", "E3=Timeout occured", "", "CB"};
    for (int a = 0; a <= stream.size(); ++a) {
        for (int b = a; b <= stream.size(); ++b) {
            MsgLineBuffer buffer;
            QList<QByteArray> lines;
            buffer.append(stream.left(a));
            lines << drain(buffer);
            buffer.append(stream.mid(a, b - a));
            lines << drain(buffer);
            buffer.append(stream.mid(b));
            lines << drain(buffer);
            QVERIFY2(lines == expected, qPrintable(QStringLiteral("split at %1 and %2").arg(a).arg(b)));
            QCOMPARE(buffer.pending(), 0);
            QVERIFY(!buffer.overflowed());
        }
    }
}

void TestMsgLineBuffer::manyLinesInOneChunk()
{
    MsgLineBuffer buffer(16);
    QByteArray chunk;
    for (int i = 0; i < 1000; ++i)
        chunk += "PIN.a." + QByteArray::number(i) + "=1\n";
    chunk += "partial";
    buffer.append(chunk);
    const QList<QByteArray> lines = drain(buffer);
    QCOMPARE(lines.size(), 1000);
    QCOMPARE(lines.last(), QByteArray("PIN.a.999=1"));
    QCOMPARE(buffer.pending(), 7);
    buffer.append("\n", 1);
    QCOMPARE(drain(buffer), QList<QByteArray>{"partial"});
}

void TestMsgLineBuffer::lengthLimit_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("withLineFeed");
    QTest::addColumn<bool>("handedOut");

    QTest::newRow("at the limit, complete") << 100 << true << true;
    QTest::newRow("one past, complete") << 101 << true << false;
    QTest::newRow("at the limit, open") << 100 << false << false;
    QTest::newRow("one past, open") << 101 << false << false;
}

void TestMsgLineBuffer::lengthLimit()
{
    QFETCH(int, length);
    QFETCH(bool, withLineFeed);
    QFETCH(bool, handedOut);

    MsgLineBuffer buffer(100);
    buffer.append("ok\n", 3);
    buffer.append(QByteArray(length, 'x') + (withLineFeed ? "\n" : ""));
    buffer.append("next\n", 5);
    const QList<QByteArray> lines = drain(buffer);
    QCOMPARE(lines.value(0), QByteArray("ok"));
    if (handedOut) {
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(1).size(), length);
        QVERIFY(!buffer.overflowed());
    } else {
        // With no line feed the line is still open ("next" belongs to it): too long either way.
        QCOMPARE(lines.size(), 1);
        QVERIFY(buffer.overflowed());
    }
}

void TestMsgLineBuffer::overflowWithoutLineFeedStaysBounded()
{
    MsgLineBuffer buffer(1024);
    QByteArray line;
    int appended = 0;
    while (!buffer.overflowed()) {
        buffer.append(QByteArray(100, 'A'));
        appended += 100;
        QVERIFY(!buffer.takeLine(&line));
        QVERIFY(appended < 10000);
    }
    QCOMPARE(appended, 1100);
    QCOMPARE(buffer.pending(), 1100);
}

void TestMsgLineBuffer::clearResets()
{
    MsgLineBuffer buffer(4);
    buffer.append("abcdefgh", 8);
    QByteArray line;
    QVERIFY(!buffer.takeLine(&line));
    QVERIFY(buffer.overflowed());
    buffer.clear();
    QVERIFY(!buffer.overflowed());
    QCOMPARE(buffer.pending(), 0);
    buffer.append("ab\n", 3);
    QVERIFY(buffer.takeLine(&line));
    QCOMPARE(line, QByteArray("ab"));
}

QTEST_GUILESS_MAIN(TestMsgLineBuffer)
#include "tst_msglinebuffer.moc"
