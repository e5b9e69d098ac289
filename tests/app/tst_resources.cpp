#include <QtTest>
#include <QFontDatabase>
#include <QImage>
#include <QResource>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pictures_data();
    void pictures();
    void styleSheets_data();
    void styleSheets();
    void font();
};

void TestResources::initTestCase()
{
    // This test uses no other symbol of the library, so name its resources
    // explicitly or the linker drops the library altogether.
    Q_INIT_RESOURCE(resources);
}

void TestResources::pictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    QTest::newRow("ok") << ":/icons/ok" << QSize(32, 32);
    QTest::newRow("error") << ":/icons/error" << QSize(32, 32);
    QTest::newRow("exit") << ":/icons/exit" << QSize(32, 32);
    QTest::newRow("options") << ":/icons/options" << QSize(32, 32);
    QTest::newRow("checked") << ":/icons/checked" << QSize(16, 16);
    QTest::newRow("unchecked") << ":/icons/unchecked" << QSize(16, 16);
    QTest::newRow("noicon") << ":/images/noicon" << QSize(100, 100);
}

void TestResources::pictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.peek(8).startsWith("\x89PNG"));
    QImage image;
    QVERIFY(image.load(path));
    QCOMPARE(image.size(), size);
    // Light strokes for the dark look: something in it is bright and opaque.
    bool bright = false;
    for (int y = 0; y < image.height() && !bright; ++y)
        for (int x = 0; x < image.width() && !bright; ++x) {
            const QColor c = image.pixelColor(x, y);
            bright = c.alpha() > 200 && c.lightness() > 180;
        }
    QVERIFY(bright);
}

void TestResources::styleSheets_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<QStringList>("mustContain");

    // The check boxes take their marks from the resources themselves.
    QTest::newRow("css") << ":/style/css" << true
                         << QStringList{ "url(:/icons/checked)", "url(:/icons/unchecked)", "QProgressBar::chunk" };
    QTest::newRow("css_android") << ":/style/css_android" << true << QStringList{ "font-size: 30px" };
}

void TestResources::styleSheets()
{
    QFETCH(QString, path);
    QFETCH(bool, compressed);
    QFETCH(QStringList, mustContain);

    QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm() != QResource::NoCompression, compressed);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString &piece : mustContain)
        QVERIFY2(text.contains(piece), qPrintable(piece));
    QCOMPARE(text.count('{'), text.count('}'));
}

void TestResources::font()
{
    QFile file(":/font/normal");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY(data.startsWith(QByteArray("\x00\x01\x00\x00", 4))); // TrueType outlines
    const int id = QFontDatabase::addApplicationFontFromData(data);
    QVERIFY(id >= 0);
    QCOMPARE(QFontDatabase::applicationFontFamilies(id), QStringList{ "Prototype" });
    // German texts need their umlauts.
    const QFont prototype(QStringLiteral("Prototype"));
    QFontMetrics metrics(prototype);
    for (const QChar c : QString::fromUtf8("\u00c4\u00d6\u00dc\u00e4\u00f6\u00fc\u00df\u20ac\u00b0"))
        QVERIFY2(metrics.inFont(c), qPrintable(QString(c)));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
