#include "storage/picturecache.h"
#include "tests/items/testhelper.h"

#include <QFile>
#include <QtTest>

class TestPictureCache : public QObject
{
    Q_OBJECT

private slots:
    void keyIsBase64OfLatin1_data();
    void keyIsBase64OfLatin1();
    void secondRequestIsServedFromTheCache();
    void textsDifferingOutsideLatin1ShareOneEntry();
    void missingFileStaysNullForTheRun();
    void insertReplacesAndKeepsTheDisplacedPicture();
    void preloadDecodesWhatIsMissing();
    void textRenderingsKeepToTheirBudget();
};

void TestPictureCache::keyIsBase64OfLatin1_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");

    QTest::newRow("resource path") << ":/images/noicon" << "Oi9pbWFnZXMvbm9pY29u";
    QTest::newRow("latin-1 umlaut is one byte") << QString::fromUtf8("\xc3\xa4") << "5A==";
    QTest::newRow("outside latin-1 becomes ?") << QString::fromUtf8("\xe2\x82\xac") << "Pw==";
    QTest::newRow("empty") << "" << "";
}

void TestPictureCache::keyIsBase64OfLatin1()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QCOMPARE(PictureCache::key(text), key);
}

void TestPictureCache::secondRequestIsServedFromTheCache()
{
    const QString path = writeProjectPicture(QStringLiteral("twice.png"), 8, 6, Qt::red);
    const int before = PictureCache::count();
    QVERIFY(!PictureCache::contains(path)); // asking does not load
    QCOMPARE(PictureCache::count(), before);
    LogCapture log;
    const QPixmap first = PictureCache::picture(path);
    QVERIFY(PictureCache::contains(path));
    QCOMPARE(PictureCache::count(), before + 1);
    QCOMPARE(log.count(QStringLiteral("New PIC")), 1);
    QCOMPARE(log.count(QStringLiteral("Send PIC")), 1);
    QCOMPARE(first.size(), QSize(8, 6));

    // The same pixels, shared: decoded once.
    const QPixmap second = PictureCache::picture(path);
    QCOMPARE(second.cacheKey(), first.cacheKey());
    QCOMPARE(log.count(QStringLiteral("New PIC")), 1);
    QCOMPARE(log.count(QStringLiteral("Send PIC")), 2);
}

void TestPictureCache::textsDifferingOutsideLatin1ShareOneEntry()
{
    const QString a = projectDirectory() + QString::fromUtf8("icons/\xe2\x82\xac.png");
    const QString b = projectDirectory() + QString::fromUtf8("icons/\xe2\x84\xa2.png");
    QVERIFY(a != b);
    QCOMPARE(PictureCache::picture(a).cacheKey(), PictureCache::picture(b).cacheKey());
}

void TestPictureCache::missingFileStaysNullForTheRun()
{
    const QString path = projectDirectory() + QStringLiteral("icons/project/later.png");
    QFile::remove(path);
    QVERIFY(PictureCache::picture(path).isNull());

    writeProjectPicture(QStringLiteral("later.png"), 4, 4, Qt::blue);
    QVERIFY(PictureCache::picture(path).isNull());
}

void TestPictureCache::insertReplacesAndKeepsTheDisplacedPicture()
{
    const QString key = QStringLiteral("inserted$10x10");
    QPixmap first(10, 10);
    first.fill(Qt::red);
    PictureCache::insert(first, key);
    const QPixmap held = PictureCache::picture(key); // as an item holds it
    QCOMPARE(held.cacheKey(), first.cacheKey());

    QPixmap second(10, 10);
    second.fill(Qt::blue);
    PictureCache::insert(second, key);
    QCOMPARE(PictureCache::picture(key).cacheKey(), second.cacheKey());
    QPixmap found;
    QVERIFY(PictureCache::find(key, &found));
    QCOMPARE(found.cacheKey(), second.cacheKey());
    QVERIFY(!PictureCache::find(QStringLiteral("never-inserted"), &found));
    // An item still draws the displaced one.
    QCOMPARE(held.toImage().pixelColor(0, 0), QColor(Qt::red));
}

void TestPictureCache::preloadDecodesWhatIsMissing()
{
    QStringList paths;
    for (int i = 0; i < 5; ++i)
        paths << writeProjectPicture(QStringLiteral("preload%1.png").arg(i), 4 + i, 3, QColor(Qt::red).darker(100 + 20 * i));
    const qint64 cached = PictureCache::picture(paths.at(3)).cacheKey();
    const QString missing = projectDirectory() + QStringLiteral("icons/project/no-such.png");
    LogCapture log;
    PictureCache::preload(paths + QStringList{missing, paths.at(0)});
    // Every file once, on whichever thread: the right picture under its path.
    for (int i = 0; i < 5; ++i) {
        QPixmap found;
        QVERIFY(PictureCache::find(paths.at(i), &found));
        QCOMPARE(found.size(), QSize(4 + i, 3));
        QCOMPARE(found.toImage().pixel(0, 0), QColor(Qt::red).darker(100 + 20 * i).rgba());
    }
    QCOMPARE(PictureCache::picture(paths.at(3)).cacheKey(), cached);
    QVERIFY(PictureCache::picture(missing).isNull());
    QCOMPARE(log.count(QStringLiteral("New PIC")), 0); // found, not loaded again
}

void TestPictureCache::textRenderingsKeepToTheirBudget()
{
    const auto rendering = [](int i) {
        QPixmap picture(20, 10);
        picture.fill(QColor::fromHsv(i * 30, 255, 255));
        return picture;
    };
    const auto key = [](int i) { return PictureCache::textPrefix() + QStringLiteral("10_%1").arg(i); };
    const QString file = writeProjectPicture(QStringLiteral("budget.png"), 20, 10, Qt::red);
    PictureCache::picture(file);

    // Equal renderings cost alike: room for three.
    PictureCache::setTextBudget(0);
    PictureCache::setTextBudget(PictureCache::defaultTextBudget);
    PictureCache::insert(rendering(0), key(0));
    const qint64 one = PictureCache::textBytes();
    QVERIFY(one >= 20 * 10 * 4);
    PictureCache::setTextBudget(3 * one + one / 2);

    const QPixmap held = PictureCache::picture(key(0)); // as an item holds it
    PictureCache::insert(rendering(1), key(1));
    PictureCache::insert(rendering(2), key(2));
    QVERIFY(PictureCache::find(key(0), nullptr)); // used: now the most recent
    PictureCache::insert(rendering(3), key(3));
    QVERIFY(!PictureCache::contains(key(1)));
    for (int i : {0, 2, 3})
        QVERIFY2(PictureCache::contains(key(i)), qPrintable(key(i)));
    PictureCache::insert(rendering(4), key(4));
    QVERIFY(!PictureCache::contains(key(2)));
    QCOMPARE(PictureCache::textBytes(), 3 * one);

    // Lowering the budget drops renderings at once; a holder keeps its
    // pixels, and pictures of files are not texts.
    PictureCache::setTextBudget(one);
    QVERIFY(!PictureCache::contains(key(0)));
    QCOMPARE(PictureCache::textBytes(), one);
    QCOMPARE(held.toImage().pixelColor(5, 5), rendering(0).toImage().pixelColor(5, 5));
    QVERIFY(PictureCache::contains(file));
    PictureCache::setTextBudget(PictureCache::defaultTextBudget);
}

QTEST_MAIN(TestPictureCache)
#include "tst_picturecache.moc"
