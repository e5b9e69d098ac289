#include "app/projectreader.h"

#include <QtTest>

// The project document read in one streaming pass, as a parsed document
// would read: the first element of a name counts, white space is no node, a
// document that is not well-formed reads as empty.
class TestProjectReader : public QObject
{
    Q_OBJECT

private slots:
    void documentSettings_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<QSize>("page");
        QTest::addColumn<QString>("connection"); // host|username|password

        const QString connections = QStringLiteral(
            "<Connections><host>10.0.0.2</host><password>pw</password><port>1</port>"
            "<username>admin</username></Connections>");
        QTest::newRow("complete") << "<P><pagex>1024</pagex><pagey>768</pagey>" + connections + "</P>"
                                  << QSize(1024, 768) << "10.0.0.2|admin|pw";
        QTest::newRow("order does not matter")
            << "<P>" + connections + "<pagey> 600 </pagey><other/><pagex>800</pagex></P>" << QSize(800, 600)
            << "10.0.0.2|admin|pw";
        QTest::newRow("page width not a number") << "<P><pagex>abc</pagex><pagey>7</pagey></P>" << QSize(0, 7) << "||";
        QTest::newRow("comment before host")
            << "<P><Connections><!-- c --><host>h</host><username>u</username></Connections></P>" << QSize() << "||";
        QTest::newRow("text before host") << "<P><Connections>t<host>h</host></Connections></P>" << QSize() << "||";
        QTest::newRow("white space before host is no node")
            << "<P>\n <Connections>\n  <host>h</host>\n  <username>u<!-- x --></username></Connections></P>" << QSize()
            << "h|u|";
        QTest::newRow("first of each name counts")
            << "<P><pagex>1</pagex><pagex>2</pagex><pagey>3</pagey><Connections><host>a</host><host>b</host>"
               "</Connections><Connections><host>c</host></Connections></P>" << QSize(1, 3) << "a||";
        QTest::newRow("declaration and document type")
            << "<?xml version=\"1.0\"?><!DOCTYPE QalixPlusDesignerFile><P><pagex>4</pagex></P>" << QSize(4, 0) << "||";
        QTest::newRow("missing elements") << "<P><Connections><host>h</host></Connections></P>" << QSize() << "h||";
        QTest::newRow("case matters") << "<P><PageX>5</PageX><connections><host>h</host></connections></P>" << QSize()
                                      << "||";
        QTest::newRow("not xml") << "<P><pagex>5</pagex>" << QSize() << "||";
        QTest::newRow("broken after everything was read")
            << "<P><pagex>5</pagex><Connections><host>h</host></Connections></P><after>" << QSize() << "||";
        QTest::newRow("empty") << "" << QSize() << "||";
    }

    void documentSettings()
    {
        QFETCH(QString, xml);
        QFETCH(QSize, page);
        QFETCH(QString, connection);

        ProjectReader reader;
        reader.read(xml.toUtf8());
        QCOMPARE(QSize(reader.pageX(), reader.pageY()), page.isValid() ? page : QSize(0, 0));
        const ProjectReader::Connection &c = reader.connection();
        QCOMPARE(QStringList({c.host, c.username, c.password}).join('|'), connection);
        QVERIFY(reader.pages().isEmpty());
    }

    void pagesAndItems()
    {
        const QByteArray xml =
            "<P><pagex>800</pagex><Pages>\n"
            " <page><name>Eins</name><id>A</id><background>bg.png</background><name>x</name>"
            "  <components><component><x>10</x><type>StateButton</type><port>ITM_X_OUT1</port>"
            "   <image_active>nowhere.png</image_active></component>"
            "   <!-- note -->text<item><type>Link</type></item></components><components><c/></components></page>\n"
            " <!-- between -->\n"
            " <seite><id>B</id></seite>"
            "</Pages><Pages><page><id>ignored</id></page></Pages></P>";
        ProjectReader reader;
        QVERIFY(reader.read(xml));
        // Page elements, a comment, a page element: three nodes.
        QCOMPARE(reader.pageNodeCount(), 3);
        const QList<ProjectReader::PageRecord> pages = reader.pages();
        QCOMPARE(pages.size(), 2);
        QCOMPARE(pages.at(0).name, QStringLiteral("Eins"));
        QCOMPARE(pages.at(0).id, QStringLiteral("A"));
        QCOMPARE(pages.at(0).background, QStringLiteral("bg.png"));
        QCOMPARE(pages.at(0).node, 0);
        QCOMPARE(pages.at(1).id, QStringLiteral("B"));
        QCOMPARE(pages.at(1).node, 2);
        QVERIFY(pages.at(1).itemElements().isEmpty());

        // Every child element of the first "components" is an item element.
        const QList<ItemElement> items = pages.at(0).itemElements();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(0).type, QStringLiteral("StateButton"));
        QCOMPARE(items.at(0).x, 10);
        QCOMPARE(items.at(0).record.port, QStringLiteral("ITM_X_OUT1"));
        QCOMPARE(items.at(0).record.imageActive, QStringLiteral("nowhere.png")); // as stored
        QCOMPARE(items.at(1).type, QStringLiteral("Link"));
    }

    void itemsReadLaterAsInThePass_data()
    {
        QTest::addColumn<QByteArray>("declaration");
        QTest::addColumn<bool>("later");
        QTest::newRow("utf-8: read when built") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") << true;
        QTest::newRow("no declaration") << QByteArray() << true;
        QTest::newRow("latin-1: read in the pass") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>")
                                                   << false;
        QTest::newRow("entities of the document type: read in the pass")
            << QByteArray("<!DOCTYPE P [<!ENTITY lamp \"lamp.png\">]>") << false;
    }

    void itemsReadLaterAsInThePass()
    {
        QFETCH(QByteArray, declaration);
        QFETCH(bool, later);

        // Umlauts before and inside the components move the character offsets.
        const QString body = QString::fromUtf8(
            "<P><Pages><page><name>K\xc3\xbc" "che</name><components>"
            "<component><x>5</x><port>ITM_K\xc3\xbc" "che_OUT1</port><type>Text</type>"
            "<text_active>Gr\xc3\xbc\xc3\x9f" "e &amp; &#x20AC;</text_active></component>"
            "<!-- c --><component><y>7</y><image_active>%1</image_active></component></components>"
            "</page><page><components/></page></Pages></P>");
        const bool entity = declaration.contains("ENTITY");
        const QString xml = body.arg(entity ? QStringLiteral("&lamp;") : QStringLiteral("lamp.png"));
        const bool latin1 = declaration.contains("8859");
        ProjectReader reader;
        QVERIFY(reader.read(declaration + (latin1 ? xml.toLatin1() : xml.toUtf8())));
        QCOMPARE(reader.pages().size(), 2);
        const ProjectReader::PageRecord &page = reader.pages().first();
        QCOMPARE(page.name, QString::fromUtf8("K\xc3\xbc" "che"));
        QCOMPARE(page.itemsXml.isEmpty(), !later);
        const QList<ItemElement> items = page.itemElements();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(0).x, 5);
        QCOMPARE(items.at(0).record.port, QString::fromUtf8("ITM_K\xc3\xbc" "che_OUT1"));
        QCOMPARE(items.at(0).record.textActive, QString::fromUtf8("Gr\xc3\xbc\xc3\x9f" "e & \xe2\x82\xac"));
        QCOMPARE(items.at(1).y, 7);
        QCOMPARE(items.at(1).record.imageActive, QStringLiteral("lamp.png"));
        QVERIFY(reader.pages().at(1).itemElements().isEmpty());
    }

    void brokenDocumentKeepsNoPage()
    {
        ProjectReader reader;
        QVERIFY(!reader.read("<P><Pages><page><id>A</id></page></Pages><pagex>5</pagex>"));
        QVERIFY(reader.pages().isEmpty());
        QCOMPARE(reader.pageNodeCount(), 0);
        QCOMPARE(reader.pageX(), 0);
        QVERIFY(!reader.errorString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProjectReader)
#include "tst_projectreader.moc"
