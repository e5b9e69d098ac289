#include "tests/support/testsupport.h"

#include <QtTest>

#include <cstddef>
#include <cstdint>

// The fuzz targets' entry points, built into this test under their names.
extern "C" int fuzz_qlxfat(const uint8_t *data, size_t size);
extern "C" int fuzz_projectreader(const uint8_t *data, size_t size);
extern "C" int fuzz_transferreceiver(const uint8_t *data, size_t size);
extern "C" int fuzz_msgline(const uint8_t *data, size_t size);
extern "C" int fuzz_mqttpayload(const uint8_t *data, size_t size);
extern "C" int fuzz_discovery(const uint8_t *data, size_t size);

// Every input a fuzz target was seeded with or kept from a run goes through
// the target's own checks again, so a fault fuzzing once found stays found.
class TestFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void storedInputs_data();
    void storedInputs();
};

void TestFuzzReplay::storedInputs_data()
{
    // The fixtures and seeds of every fuzz target, and the inputs kept from
    // fuzzing (any crash it ever finds belongs in fuzzed/ as well).
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("file");
    for (const QString target :
         {"qlxfat", "projectreader", "transferreceiver", "msgline", "mqttpayload", "discovery"}) {
        for (const QString &folder : {QString(), QStringLiteral("fuzzed")}) {
            const QDir dir(QStringLiteral(QALIX_TEST_DATA "/") + target + QLatin1Char('/') + folder);
            const QString prefix = folder.isEmpty() ? target : target + QLatin1Char('/') + folder;
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
                QTest::newRow(qPrintable(prefix + QLatin1Char('/') + name)) << target << dir.filePath(name);
        }
    }
}

void TestFuzzReplay::storedInputs()
{
    QFETCH(QString, target);
    QFETCH(QString, file);

    // The target's own checks abort on a fault.
    const QByteArray input = readFile(file);
    const auto bytes = reinterpret_cast<const uint8_t *>(input.constData());
    const size_t size = size_t(input.size());
    if (target == QLatin1String("projectreader"))
        QCOMPARE(fuzz_projectreader(bytes, size), 0);
    else if (target == QLatin1String("transferreceiver"))
        QCOMPARE(fuzz_transferreceiver(bytes, size), 0);
    else if (target == QLatin1String("msgline"))
        QCOMPARE(fuzz_msgline(bytes, size), 0);
    else if (target == QLatin1String("mqttpayload"))
        QCOMPARE(fuzz_mqttpayload(bytes, size), 0);
    else if (target == QLatin1String("discovery"))
        QCOMPARE(fuzz_discovery(bytes, size), 0);
    else
        QCOMPARE(fuzz_qlxfat(bytes, size), 0);
}

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzzreplay.moc"
