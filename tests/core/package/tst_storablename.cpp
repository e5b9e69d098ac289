#include "core/download/transferprotocol.h"
#include "core/package/qlxfat.h"
#include "core/package/storablename.h"

#include <QtTest>

// Names a package or a transfer may bring that Windows would not store as
// the file they name: refused there, for pictures and packages alike, and
// kept on Linux, where they are plain files of a designer's.
class TestStorableName : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
};

void TestStorableName::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("onWindows"); // stored as this very file there

    QTest::newRow("plain") << "a.png" << true;
    QTest::newRow("a device") << "con" << false;
    QTest::newRow("a device with an extension") << "NUL.png" << false;
    QTest::newRow("blank before the dot") << "Prn .png" << false;
    QTest::newRow("a serial port") << "com1.png" << false;
    QTest::newRow("a printer port, superscript") << "LPT\u00b2.png" << false;
    QTest::newRow("named like a device") << "console.png" << true;
    QTest::newRow("a port number of two digits") << "COM10.png" << true;
    QTest::newRow("the device after the dot") << "a.con" << true;
    QTest::newRow("trailing dot") << "a.png." << false;
    QTest::newRow("trailing blank") << "a.png " << false;
    QTest::newRow("pipe") << "a|b.png" << false;
}

void TestStorableName::names()
{
    QFETCH(QString, name);
    QFETCH(bool, onWindows);
#ifdef Q_OS_WIN
    const bool expected = onWindows;
#else
    Q_UNUSED(onWindows)
    const bool expected = true; // Linux stores every one of them
#endif
    QCOMPARE(isStorableName(name), expected);
    // The picture's entry name, and the file name of a package the designer sends.
    QCOMPARE(QLXFat::isSafeEntryPath("sub/" + name), expected);
    QCOMPARE(QLXFat::destinationBelow(QStringLiteral("projects/icons/project"), "sub/" + name).isEmpty(), !expected);
    QCOMPARE(TransferProtocol::isPlainFileName(name), expected);
}

QTEST_APPLESS_MAIN(TestStorableName)
#include "tst_storablename.moc"
