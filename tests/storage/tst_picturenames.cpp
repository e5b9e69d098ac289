#include "storage/picturenames.h"
#include "tests/items/testhelper.h"

#include <QtTest>

class TestPictureNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void resolve_data();
    void resolve();
    void storedName_data();
    void storedName();
    void bareNameResolvesToTheSameFile_data();
    void bareNameResolvesToTheSameFile();
};

void TestPictureNames::initTestCase()
{
    writeProjectPicture(QStringLiteral("both.png"), 2, 2, Qt::red);
    writeProjectPicture(QStringLiteral("both.png"), 2, 2, Qt::blue, QStringLiteral("icons/"));
    writeProjectPicture(QStringLiteral("common.png"), 2, 2, Qt::blue, QStringLiteral("icons/"));
    writeProjectPicture(QStringLiteral("projector.png"), 2, 2, Qt::green);
}

void TestPictureNames::resolve_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("notFoundLines");

    const QString d = projectDirectory();
    QTest::newRow("empty name, although the folders exist") << "" << ":/images/noicon" << 0;
    QTest::newRow("project picture wins") << "both.png" << d + "icons/project/both.png" << 0;
    QTest::newRow("common picture") << "common.png" << d + "icons/common.png" << 1;
    QTest::newRow("unknown") << "nowhere.png" << ":/images/noicon" << 0;
}

void TestPictureNames::resolve()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    QFETCH(int, notFoundLines);

    LogCapture log;
    QCOMPARE(resolvePictureName(name), path);
    QCOMPARE(log.count(QStringLiteral("Project Item not found")), notFoundLines);
}

void TestPictureNames::storedName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("bare");
    QTest::addColumn<QString>("stored");

    const QString d = projectDirectory();
    QTest::newRow("project icon") << d + "icons/project/lamp.png" << false << "icons/project/lamp.png";
    QTest::newRow("project icon, bare") << d + "icons/project/lamp.png" << true << "lamp.png";
    QTest::newRow("common icon") << d + "icons/lamp.png" << false << "icons/lamp.png";
    QTest::newRow("common icon, bare") << d + "icons/lamp.png" << true << "lamp.png";
    QTest::newRow("doubled separator of loadPicture") << d + "/icons/project/lamp.png" << true << "lamp.png";
    QTest::newRow("background, bare") << d + "background/project/sky.png" << true << "sky.png";
    QTest::newRow("common background, bare") << d + "background/sky.png" << true << "sky.png";
    QTest::newRow("no icon") << ":/images/noicon" << false << "";
    QTest::newRow("no icon, bare") << ":/images/noicon" << true << "";
    QTest::newRow("name holding /project keeps it") << d + "icons/project/projector.png" << true << "projector.png";
    QTest::newRow("name holding icons/ keeps it") << d + "icons/project/myicons/x.png" << true << "myicons/x.png";
    QTest::newRow("outside the project directory") << "/opt/pictures/lamp.png" << false << "opt/pictures/lamp.png";
    QTest::newRow("empty") << "" << true << "";
}

void TestPictureNames::storedName()
{
    QFETCH(QString, path);
    QFETCH(bool, bare);
    QFETCH(QString, stored);
    QCOMPARE(storedPictureName(path, bare), stored);
}

void TestPictureNames::bareNameResolvesToTheSameFile_data()
{
    QTest::addColumn<QString>("path");

    const QString d = projectDirectory();
    QTest::newRow("lamp-like") << d + "icons/project/both.png";
    QTest::newRow("projector") << d + "icons/project/projector.png";
    QTest::newRow("common only") << d + "icons/common.png";
}

void TestPictureNames::bareNameResolvesToTheSameFile()
{
    QFETCH(QString, path);
    QCOMPARE(resolvePictureName(storedPictureName(path, true)), path);
}

QTEST_MAIN(TestPictureNames)
#include "tst_picturenames.moc"
