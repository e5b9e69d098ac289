#include "storage/xmlelements.h"

#include <QtTest>

class TestXmlElements : public QObject
{
    Q_OBJECT

private slots:
    void childElementFindsFirstMatchingElement_data();
    void childElementFindsFirstMatchingElement();
    void appendElementText_data();
    void appendElementText();
};

void TestXmlElements::childElementFindsFirstMatchingElement_data()
{
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("text");

    QTest::newRow("first of two") << "<r><a>1</a><a>2</a></r>" << "a" << true << "1";
    QTest::newRow("after other siblings") << "<r><b>x</b><!--c--><a>3</a></r>" << "a" << true << "3";
    QTest::newRow("case-sensitive") << "<r><A>1</A></r>" << "a" << false << "";
    QTest::newRow("only direct children") << "<r><b><a>1</a></b></r>" << "a" << false << "";
    QTest::newRow("text node is no element") << "<r>a</r>" << "a" << false << "";
    QTest::newRow("empty list") << "<r/>" << "a" << false << "";
}

void TestXmlElements::childElementFindsFirstMatchingElement()
{
    QFETCH(QString, xml);
    QFETCH(QString, tag);
    QFETCH(bool, found);
    QFETCH(QString, text);

    QDomDocument doc;
    QVERIFY(doc.setContent(xml));
    const QDomElement element = childElement(doc.documentElement().childNodes(), tag);
    QCOMPARE(!element.isNull(), found);
    QCOMPARE(element.text(), text);
}

void TestXmlElements::appendElementText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("children");
    QTest::addColumn<QString>("written");

    QTest::newRow("null text: no child") << QString() << 0 << "<r>\n <t/>\n</r>\n";
    QTest::newRow("empty text: one empty text node") << QString("") << 1 << "<r>\n <t></t>\n</r>\n";
    QTest::newRow("text") << QString("a<b") << 1 << "<r>\n <t>a&lt;b</t>\n</r>\n";
}

void TestXmlElements::appendElementText()
{
    QFETCH(QString, text);
    QFETCH(int, children);
    QFETCH(QString, written);

    QDomDocument doc;
    QDomElement root = doc.createElement("r");
    doc.appendChild(root);
    const QDomElement element = appendElement(doc, root, "t", text);
    QCOMPARE(element.tagName(), QString("t"));
    QCOMPARE(element.parentNode(), QDomNode(root));
    QCOMPARE(element.childNodes().count(), children);
    QCOMPARE(doc.toString(1), written);
}

QTEST_GUILESS_MAIN(TestXmlElements)
#include "tst_xmlelements.moc"
