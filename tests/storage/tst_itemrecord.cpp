#include "storage/itemelement.h"
#include "storage/itemkind.h"
#include "storage/itemrecord.h"
#include "storage/projectdirectory.h"

#include <QDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

// The item element as the project document and the clipboard store it, read
// through both readers (a parsed document, a stream) and written through both
// writers; the record's answers by state; the table of kinds.
class TestItemRecord : public QObject
{
    Q_OBJECT

private:
    static QString base64(const QString &text)
    {
        return QStringLiteral("BASE64_") + QString::fromLatin1(text.toUtf8().toBase64());
    }

    // Reads <component>children</component> both ways; they must agree.
    static ItemElement read(const QString &children)
    {
        const QString xml = QStringLiteral("<component>") + children + QStringLiteral("</component>");
        QDomDocument document;
        if (!document.setContent(xml))
            qFatal("test element does not parse");
        const ItemElement fromNode = ItemElement::fromNode(document.documentElement());
        QXmlStreamReader reader(xml);
        reader.readNextStartElement();
        const ItemElement streamed = ItemElement::read(reader);
        if (streamed != fromNode)
            qWarning("stream: %s\nnode: %s", qPrintable(streamed.record.toString()),
                     qPrintable(fromNode.record.toString()));
        return streamed == fromNode ? streamed : ItemElement();
    }

private slots:
    void texts_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("text");

        const QString umlauts = QString::fromUtf8("K\xc3\xbc" "che \xe2\x82\xac");
        QTest::newRow("base64") << base64(QStringLiteral("Hallo")) << "Hallo";
        QTest::newRow("base64 utf-8") << base64(umlauts) << umlauts;
        QTest::newRow("plain text unchanged") << umlauts << umlauts;
        QTest::newRow("prefix alone is empty") << "BASE64_" << "";
        QTest::newRow("prefix is case-sensitive") << "base64_SGFsbG8=" << "base64_SGFsbG8=";
        QTest::newRow("junk characters skipped") << "BASE64_SGF*sbG8=" << "Hallo";
        QTest::newRow("stops at a zero byte") << "BASE64_" + QString::fromLatin1(QByteArray("ab\0cd", 5).toBase64()) << "ab";
        QTest::newRow("not trimmed") << "  x " << "  x ";
    }

    void texts()
    {
        QFETCH(QString, stored);
        QFETCH(QString, text);

        QString children;
        for (const char *tag : {"text_active", "text_inactive", "text_error"})
            children += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), stored.toHtmlEscaped());
        const ItemElement element = read(children);
        QCOMPARE(element.record.textActive, text);
        QCOMPARE(element.record.textInactive, text);
        QCOMPARE(element.record.textError, text);
        QCOMPARE(ItemRecord::encodeText(text), base64(text)); // always written encoded
    }

    void fields_data()
    {
        QTest::addColumn<QString>("children");
        QTest::addColumn<QString>("expected"); // ItemElement fields as "x y w h|font digits color|bold italic|type|port|page"

        QTest::newRow("only type: all zero, nothing kept of the defaults")
            << "<type>Button</type>" << "0 0 0 0|0 0 0|0 0|Button||";
        QTest::newRow("plain") << "<x>10</x><y>-20</y><w>50</w><h>60</h><font_size>14</font_size><digits>3</digits>"
                                  "<text_color>255</text_color><port>ITM_A_OUT1</port><page_id>P2</page_id>"
                               << "10 -20 50 60|14 3 255|0 0||ITM_A_OUT1|P2";
        QTest::newRow("digits -1 becomes 2") << "<digits>-1</digits>" << "0 0 0 0|0 2 0|0 0|||";
        QTest::newRow("spaces and sign") << "<font_size> +15 </font_size><digits>\n4\n</digits>" << "0 0 0 0|15 4 0|0 0|||";
        QTest::newRow("not numbers") << "<font_size>12px</font_size><digits>zwei</digits><text_color>0xFF</text_color>"
                                     << "0 0 0 0|0 0 0|0 0|||";
        QTest::newRow("too large for int") << "<text_color>99999999999</text_color>" << "0 0 0 0|0 0 0|0 0|||";
        QTest::newRow("flags: only 1 sets") << "<text_bold>1</text_bold><text_italic>true</text_italic>"
                                            << "0 0 0 0|0 0 0|1 0|||";
        QTest::newRow("flags: 1 with a blank is not 1") << "<text_bold> 1</text_bold><text_italic>1</text_italic>"
                                                        << "0 0 0 0|0 0 0|0 1|||";
        QTest::newRow("first of a name counts, others ignored")
            << "<port>ITM_A_OUT1</port><port>ITM_B_OUT1</port><unknown>7</unknown><type>Text</type><type>Button</type>"
            << "0 0 0 0|0 0 0|0 0|Text|ITM_A_OUT1|";
        QTest::newRow("text of nested elements") << "<port>ITM_<b>A</b>_OUT1</port>" << "0 0 0 0|0 0 0|0 0||ITM_A_OUT1|";
        QTest::newRow("port and page not decoded") << "<port>BASE64_QQ==</port><page_id>BASE64_QQ==</page_id>"
                                                   << "0 0 0 0|0 0 0|0 0||BASE64_QQ==|BASE64_QQ==";
    }

    void fields()
    {
        QFETCH(QString, children);
        QFETCH(QString, expected);

        const ItemElement e = read(children);
        const ItemRecord &r = e.record;
        const QString got = QStringLiteral("%1 %2 %3 %4|%5 %6 %7|%8 %9|")
                                .arg(e.x).arg(e.y).arg(e.w).arg(e.h)
                                .arg(r.fontSize).arg(r.digits).arg(r.color)
                                .arg(int(r.bold)).arg(int(r.italic))
            + e.type + QLatin1Char('|') + r.port + QLatin1Char('|') + r.pageId;
        QCOMPARE(got, expected);
        // Picture names are kept as stored until resolved.
        QCOMPARE(r.imageActive, QString());
    }

    void streamReaderLeavesTheElement()
    {
        // The reader goes on behind the element, with nested and unknown children skipped.
        QXmlStreamReader reader(QStringLiteral("<c><component><x>1<i>2</i></x><odd><port>no</port></odd></component>"
                                               "<component><x>3</x></component></c>"));
        reader.readNextStartElement();
        QVERIFY(reader.readNextStartElement());
        QCOMPARE(ItemElement::read(reader).x, 12);
        QVERIFY(reader.readNextStartElement());
        const ItemElement second = ItemElement::read(reader);
        QCOMPARE(second.x, 3);
        QCOMPARE(second.record.port, QString());
        QVERIFY(!reader.readNextStartElement());
        QVERIFY(!reader.hasError());
    }

    void savedExampleElement()
    {
        ItemElement e;
        e.type = QStringLiteral("Picture");
        e.x = 10;
        e.y = 20;
        e.w = e.h = 50;
        e.record.imageActive = projectDirectory() + QStringLiteral("icons/project/lamp.png");
        e.record.imageUnknown = QStringLiteral(":/images/noicon");
        const QString expected = QStringLiteral(
            "<component><x>10</x><y>20</y><w>50</w><h>50</h>"
            "<image_active>lamp.png</image_active><image_inactive/>"
            "<image_unknown></image_unknown><text_active>BASE64_</text_active>"
            "<text_inactive>BASE64_</text_inactive><text_error>BASE64_</text_error>"
            "<text_bold>0</text_bold><text_italic>0</text_italic>"
            "<text_color>16777215</text_color><font_size>12</font_size><digits>2</digits>"
            "<page_id/><port></port><type>Picture</type></component>");

        QDomDocument document;
        QDomElement element = document.createElement(QStringLiteral("component"));
        document.appendChild(element);
        QStringList files;
        e.save(document, element, files);
        QCOMPARE(document.toString(-1), expected);
        QCOMPARE(files, QStringList{QStringLiteral("icons/project/lamp.png")});
        // A null text leaves its element without a text node.
        QVERIFY(element.firstChildElement(QStringLiteral("page_id")).firstChild().isNull());
        QVERIFY(element.firstChildElement(QStringLiteral("port")).firstChild().isText());

        // The stream writer writes what reads back the same.
        QString streamed;
        QXmlStreamWriter writer(&streamed);
        writer.writeStartElement(QStringLiteral("component"));
        QStringList streamedFiles;
        e.write(writer, streamedFiles);
        writer.writeEndElement();
        QCOMPARE(streamedFiles, files);
        QDomDocument reread;
        QVERIFY(reread.setContent(streamed));
        QCOMPARE(ItemElement::fromNode(reread.documentElement()), ItemElement::fromNode(element));
    }

    void fileListHoldsEachProjectFileOnce()
    {
        ItemElement e;
        const QString d = projectDirectory();
        e.record.imageActive = d + QStringLiteral("icons/project/lamp.png");
        e.record.imageInactive = d + QStringLiteral("icons/project/lamp.png");
        e.record.imageUnknown = QStringLiteral(":/images/noicon");
        QStringList files{QStringLiteral("icons/project/other.png")};
        QDomDocument document;
        QDomElement element = document.createElement(QStringLiteral("component"));
        e.save(document, element, files);
        QCOMPARE(files, QStringList({"icons/project/other.png", "icons/project/lamp.png"}));
        e.save(document, element, files);
        QCOMPARE(files.size(), 2);
    }

    void roundTripAndEquality()
    {
        ItemElement e;
        e.type = QStringLiteral("StateText");
        e.x = 123;
        e.y = -45;
        e.w = 64;
        e.h = 32;
        ItemRecord &r = e.record;
        r.textActive = QString::fromUtf8("Licht \xc3\xa4n");
        r.textInactive = QStringLiteral("aus");
        r.textError = QStringLiteral("<&>");
        r.bold = r.italic = true;
        r.color = 0x12AB34;
        r.fontSize = 33;
        r.digits = 4;
        r.pageId = QStringLiteral("Z9Y8X7W6V5U4T3S2");
        r.port = QStringLiteral("ITM_Kueche_OUT3");

        QDomDocument document;
        QDomElement element = document.createElement(QStringLiteral("component"));
        QStringList files;
        e.save(document, element, files);
        QCOMPARE(ItemElement::fromNode(element), e);
        QVERIFY(e.record.toString().contains(QStringLiteral("ITM_Kueche_OUT3")));

        // Every field takes part in the comparison.
        const QList<std::function<void(ItemRecord &)>> changes = {
            [](ItemRecord &c) { c.bold = false; }, [](ItemRecord &c) { c.italic = false; },
            [](ItemRecord &c) { c.fontSize = 1; }, [](ItemRecord &c) { c.color = 1; },
            [](ItemRecord &c) { c.digits = 1; }, [](ItemRecord &c) { c.imageActive = "x"; },
            [](ItemRecord &c) { c.imageInactive = "x"; }, [](ItemRecord &c) { c.imageUnknown = "x"; },
            [](ItemRecord &c) { c.textActive = "x"; }, [](ItemRecord &c) { c.textInactive = "x"; },
            [](ItemRecord &c) { c.textError = "x"; }, [](ItemRecord &c) { c.pageId = "x"; },
            [](ItemRecord &c) { c.port = "x"; }};
        for (const auto &change : changes) {
            ItemRecord changed = r;
            change(changed);
            QVERIFY(changed != r);
        }
    }

    void forState_data()
    {
        QTest::addColumn<QString>("active");
        QTest::addColumn<QString>("inactive");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("text");

        QTest::newRow("active") << "a.png" << "i.png" << int(StateActive) << "a.png" << "on";
        QTest::newRow("inactive") << "a.png" << "i.png" << int(StateInactive) << "i.png" << "off";
        QTest::newRow("error picture is always unknown") << "a.png" << "i.png" << int(StateError) << "u.png" << "broken";
        QTest::newRow("other") << "a.png" << "i.png" << 9 << "u.png" << "WRONG STATE";
        QTest::newRow("negative") << "a.png" << "i.png" << -1 << "u.png" << "WRONG STATE";
        QTest::newRow("empty active") << "" << "i.png" << int(StateActive) << "u.png" << "on";
        QTest::newRow("empty inactive") << "a.png" << "" << int(StateInactive) << "u.png" << "off";
    }

    void forState()
    {
        QFETCH(QString, active);
        QFETCH(QString, inactive);
        QFETCH(int, state);
        QFETCH(QString, picture);
        QFETCH(QString, text);

        ItemRecord r;
        r.imageActive = active;
        r.imageInactive = inactive;
        r.imageUnknown = QStringLiteral("u.png");
        r.textActive = QStringLiteral("on");
        r.textInactive = QStringLiteral("off");
        r.textError = QStringLiteral("broken");
        QCOMPARE(r.pictureForState(state), picture);
        QCOMPARE(r.textForState(state), text);
    }

    void stateForValue_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("state");

        QTest::newRow("zero") << 0.0 << int(StateInactive);
        QTest::newRow("negative zero") << -0.0 << int(StateInactive);
        QTest::newRow("one") << 1.0 << int(StateActive);
        QTest::newRow("tiny") << 1e-300 << int(StateActive);
        QTest::newRow("negative") << -3.0 << int(StateActive);
        QTest::newRow("nan") << qQNaN() << int(StateActive);
    }

    void stateForValue()
    {
        QFETCH(double, value);
        QFETCH(int, state);
        QCOMPARE(int(ItemRecord::stateForValue(value)), state);
    }

    void kindTable_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("kind");

        const char *const names[] = {"PageChange", "Picture", "StatePicture", "Button",
                                     "StateButton", "Text", "StateText", "ADCText"};
        for (int kind = 0; kind < 8; ++kind)
            QTest::newRow(names[kind]) << names[kind] << kind;
        QTest::newRow("Link: known, no kind") << "Link" << 8;
        QTest::newRow("case matters") << "button" << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void kindTable()
    {
        QFETCH(QString, type);
        QFETCH(int, kind);

        QCOMPARE(ItemKind::fromTypeName(type), kind);
        const bool isKind = kind >= 0 && kind < ItemKind::Count;
        QCOMPARE(ItemKind::typeName(kind), isKind ? type : QString());
        QCOMPARE(ItemKind::fromGraphicsType(ItemKind::graphicsType(kind)), isKind ? kind : -1);
    }
};

QTEST_GUILESS_MAIN(TestItemRecord)
#include "tst_itemrecord.moc"
