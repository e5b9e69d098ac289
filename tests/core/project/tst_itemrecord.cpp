#include "core/project/projectdomreader.h"
#include "core/project/projectreader.h"
#include "core/project/itemelement.h"
#include "core/project/itemkind.h"
#include "core/project/itemrecord.h"
#include "core/project/picturenames.h"
#include "core/package/projectdirectory.h"
#include "tests/support/testsupport.h"

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
    ProjectFolder projects;

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
    void fields_data()
    {
        // The fields read, as "x y w h|font digits color|bold italic|type|port|page".
        QTest::addColumn<QString>("children");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *name, const QString &children, const QString &expected) {
            QTest::newRow(name) << children << expected;
        };
        row("only type: all zero, nothing kept of the defaults", "<type>Button</type>", "0 0 0 0|0 0 0|0 0|Button||");
        row("plain",
            "<x>10</x><y>-20</y><w>50</w><h>60</h><font_size>14</font_size><digits>3</digits>"
            "<text_color>255</text_color><port>ITM_A_OUT1</port><page_id>P2</page_id>",
            "10 -20 50 60|14 3 255|0 0||ITM_A_OUT1|P2");
        row("digits -1 becomes 2", "<digits>-1</digits>", "0 0 0 0|0 2 0|0 0|||");
        row("spaces and sign", "<font_size> +15 </font_size><digits>\n4\n</digits>", "0 0 0 0|15 4 0|0 0|||");
        row("not numbers", "<font_size>12px</font_size><digits>zwei</digits><text_color>0xFF</text_color>",
            "0 0 0 0|0 0 0|0 0|||");
        row("flags: only 1 sets", "<text_bold>1</text_bold><text_italic>true</text_italic>", "0 0 0 0|0 0 0|1 0|||");
        row("flags: 1 with a blank is not 1", "<text_bold> 1</text_bold><text_italic>1</text_italic>",
            "0 0 0 0|0 0 0|0 1|||");
        row("first of a name counts, others ignored",
            "<port>ITM_A_OUT1</port><port>ITM_B_OUT1</port><unknown>7</unknown><type>Text</type><type>Button</type>",
            "0 0 0 0|0 0 0|0 0|Text|ITM_A_OUT1|");
        row("text of nested elements", "<port>ITM_<b>A</b>_OUT1</port>", "0 0 0 0|0 0 0|0 0||ITM_A_OUT1|");
        // A run of white space between two pieces of markup is no text once
        // parsed: neither a page link of one space nor a port over two lines.
        row("white space only reads empty", "<port>\n      </port><page_id> </page_id><type>\u00a0\u3000</type>",
            "0 0 0 0|0 0 0|0 0|||");
        row("runs of white space between comments dropped, others kept",
            "<port> <!--c-->ITM_A<!--d--> _OUT1 </port><font_size>1<!--e-->2</font_size>",
            "0 0 0 0|12 0 0|0 0||ITM_A _OUT1 |");
        row("port and page not decoded", "<port>BASE64_QQ==</port><page_id>BASE64_QQ==</page_id>",
            "0 0 0 0|0 0 0|0 0||BASE64_QQ==|BASE64_QQ==");
    }

    void fields()
    {
        QFETCH(QString, children);
        QFETCH(QString, expected);

        const ItemElement e = read(children);
        const ItemRecord &r = e.record;
        const QString got = QStringLiteral("%1 %2 %3 %4|%5 %6 %7|%8 %9|")
                                .arg(e.x)
                                .arg(e.y)
                                .arg(e.w)
                                .arg(e.h)
                                .arg(r.fontSize)
                                .arg(r.digits)
                                .arg(r.color)
                                .arg(int(r.bold))
                                .arg(int(r.italic))
            + e.type + QLatin1Char('|') + r.port + QLatin1Char('|') + r.pageId;
        QCOMPARE(got, expected);
        // Picture names are kept as stored until resolved.
        QCOMPARE(r.imageActive, QString());
    }

    // Numbers and "BASE64_" texts are read without Qt's copies; they must
    // read as QString::toInt() and QByteArray::fromBase64() read them.
    void conversionsReadAsQtDoes_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *number :
             {"",          " ",          "0",          "-0",         "+5",         "007",         " 12",         "12 ",
              "999999999", "-999999999", "1000000000", "2147483647", "2147483648", "-2147483648", "-2147483649", "1_0",
              "0x10",      "-",          "--1",        "1-"})
            QTest::newRow(number) << QString::fromLatin1(number);
        QTest::newRow("fullwidth digit") << QStringLiteral("\uff11");
        QTest::newRow("digit and no-break space") << QStringLiteral("1\u00a0");
        for (const char *text : {"BASE64_", "BASE64_AA==", "BASE64_QW4=", "BASE64_QW4", "BASE64_Q!W4=", "BASE64_=Q W 4",
                                 "BASE64_QW4=QW4=", "BASE64_w7w=", "BASE64_QQBC", "base64_QW4=", "BASE64"})
            QTest::newRow(text) << QString::fromLatin1(text);
        QTest::newRow("Latin-1 and beyond in Base64") << QStringLiteral("BASE64_Q\u00c4W\u20ac4=");
        QTest::newRow("long Base64") << QStringLiteral("BASE64_")
                + QString::fromLatin1(QByteArray(3000, 'x').toBase64());
    }

    void conversionsReadAsQtDoes()
    {
        QFETCH(QString, text);
        bool ok = false;
        const int number = text.trimmed().toInt(&ok, 10);
        QCOMPARE(ItemRecord::parseInt(text), ok ? number : 0);
        QString decoded = text;
        if (text.startsWith(QLatin1String("BASE64_"))) {
            QByteArray bytes = QByteArray::fromBase64(text.mid(7).toLatin1());
            bytes.truncate(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
            decoded = QString::fromUtf8(bytes);
        }
        const QString read = ItemRecord::decodeText(text);
        QCOMPARE(read, decoded);
        QCOMPARE(read.isNull(), decoded.isNull());
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
        const QString expected =
            QStringLiteral("<component><x>10</x><y>20</y><w>50</w><h>50</h>"
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

    // Documents written by other tools read as the parsed document reads
    // them; the streaming pass reads the same or hands them over. Per page:
    // name|id|port/page link of its first item.
    void documentsReadAsParsed_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("handedOver");
        QTest::addColumn<QString>("pages");

        const bool qt5 = QT_VERSION_MAJOR == 5;
        // Qt 6's parser refuses bytes that are not UTF-8, control characters
        // and undeclared entities: those documents read as empty there.
        QTest::newRow("windows-1252, undeclared")
            << "windows-1252.xml" << true << (qt5 ? "K\ufffdche|A|ITM_K\ufffdche_OUT1/" : "");
        QTest::newRow("control character")
            << "control-character.xml" << true << (qt5 ? "Bad\u0001|A|ITM_Bad_OUT1/" : "");
        QTest::newRow("undeclared entity")
            << "undeclared-entity.xml" << true << (qt5 ? "LichtFlur|A|ITM_Flur_OUT1/" : "");
        QTest::newRow("latin-1, declared") << "latin-1-declared.xml" << true << "B\u00e4d|A|ITM_B\u00e4d_OUT1/";
        QTest::newRow("carriage return in a text")
            << "crlf.xml" << true << (qt5 ? "Zeile 1\r\nZeile 2|A|ITM_A_OUT1/" : "Zeile 1\nZeile 2|A|ITM_A_OUT1/");
        QTest::newRow("processing instruction") << "comments-in-values.xml" << true << " Flur |A|ITM_A_OUT1/";
        QTest::newRow("white space values") << "white-space-values.xml" << false << "Start|A|/;|B|";
        QTest::newRow("document type") << "declared.xml" << true << "K\u00fcche \U0001f4a1||/";
        const QString designer = "\u00dcbersicht|UEBERSICHT|/;Klima & L\u00fcftung <2>|KLIMA|/UEBERSICHT";
        QTest::newRow("designer's form, indented") << "designer-indented.xml" << false << designer;
        QTest::newRow("designer's form, compact") << "designer-compact.xml" << false << designer;
    }

    void documentsReadAsParsed()
    {
        QFETCH(QString, file);
        QFETCH(bool, handedOver);
        QFETCH(QString, pages);

        const QByteArray bytes = readFile(QStringLiteral(QALIX_TEST_DATA "/projectreader/") + file);
        QVERIFY(!bytes.isEmpty());
        ProjectReader reader;
        QCOMPARE(reader.read(bytes), !pages.isEmpty());
        QCOMPARE(reader.handedOver(), handedOver);
        QStringList got;
        for (const ProjectReader::PageRecord &page : reader.pages()) {
            got << page.name + QLatin1Char('|') + page.id + QLatin1Char('|');
            if (!page.items.isEmpty())
                got.last() += page.items.first().record.port + QLatin1Char('/') + page.items.first().record.pageId;
        }
        QCOMPARE(got.join(QLatin1Char(';')), pages);
        ProjectReader parsed;
        ProjectDomReader::read(bytes, &parsed);
        QVERIFY(parsed == reader);
    }

    // The scanner takes the plain documents a designer writes and reads them
    // as the stream and the parsed document do; anything else it refuses,
    // and the load still reads it as the parsed document does. The road is
    // the fastest that takes the document: the scanner (and the stream), the
    // stream alone, or the parsed document.
    void scannerTakesOnlyWhatItReadsAlike_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("road");
        const auto doc = [](const char *before, const char *value) {
            return QByteArray(before) + "<r><pagex>640</pagex><Pages>\n <p><name>" + value
                + "</name><components><c><port>ITM_<b>A</b>_OUT1</port><x>1</x><type>Text</type></c>"
                  "<c/></components></p> x </Pages></r>\n";
        };
        QTest::newRow("plain") << doc("", "Flur") << "scanner";
        QTest::newRow("declaration") << doc("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", "Flur") << "scanner";
        QTest::newRow("declaration, single quotes, blank")
            << doc("<?xml version='1.0' encoding='utf-8' ?>", "A") << "scanner";
        QTest::newRow("predefined entities") << doc("", "a&amp;b&lt;c&gt;d&quot;e&apos;") << "scanner";
        QTest::newRow("UTF-8, tabs and line feeds") << doc("", "K\xc3\xbc\tche\n\xe2\x82\xac") << "scanner";
        QTest::newRow("blank in an end tag")
            << QByteArray("<r><Pages><p><name>A</name ></p></Pages ></r>") << "scanner";
        QTest::newRow("attribute") << QByteArray("<r><Pages><p a=\"1\"><name>A</name></p></Pages></r>") << "stream";
        QTest::newRow("comment") << doc("<!-- c -->", "A") << "stream";
        QTest::newRow("CDATA") << doc("", "<![CDATA[A]]>") << "parsed";
        QTest::newRow("character reference") << doc("", "&#65;") << "stream";
        QTest::newRow("C1 control") << doc("", "A\xc2\x85") << "stream";
        QTest::newRow("U+FEFF in a text") << doc("", "\357\273\277A") << "stream";
        QTest::newRow("beyond U+FFFF") << doc("", "\xf0\x9f\x92\xa1") << "stream";
        QTest::newRow("not UTF-8") << doc("", "K\374che") << "parsed";
        QTest::newRow("byte order mark") << doc("\xef\xbb\xbf", "A") << "stream";
        QTest::newRow("name with a colon") << QByteArray("<r><Pages><p><a:name>A</a:name></p></Pages></r>") << "stream";
        QTest::newRow("]]> in a text") << doc("", "a]]>b") << "parsed";
        QTest::newRow("version 1.1") << doc("<?xml version=\"1.1\"?>", "A") << "parsed";
        QTest::newRow("standalone") << doc("<?xml version=\"1.0\" standalone=\"yes\"?>", "A") << "stream";
        QTest::newRow("end tag of another name") << QByteArray("<r><Pages><p></q></Pages></r>") << "parsed";
        QTest::newRow("end tag longer") << QByteArray("<r><Pages><p></pp></Pages></r>") << "parsed";
        QTest::newRow("second root") << QByteArray("<r><pagex>1</pagex></r><r/>") << "parsed";
        QTest::newRow("cut short") << QByteArray("<r><pagex>1</pagex><Pages><p><name>A") << "parsed";
        QTest::newRow("text after the root") << QByteArray("<r><pagex>1</pagex></r>x") << "parsed";
        QTest::newRow("empty") << QByteArray() << "parsed";

        // The designer's document type line changes nothing in the reading;
        // a declaration that could, or one out of its place, is handed over.
        const auto typed = [](const char *before, const char *line, const char *after = "\n") {
            return QByteArray(before) + line + after
                + "<r>\n <pagex>640</pagex>\n <Pages>\n  <p>\n   <name>A</name>\n   <components>\n"
                  "    <c>\n     <port>ITM_A_OUT1</port>\n     <x> </x>\n    </c>\n   </components>\n"
                  "  </p>\n </Pages>\n</r>\n";
        };
        const char *decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        const char *designer = "<!DOCTYPE QalixPlusDesignerFile>";
        QTest::newRow("type line, indented") << typed("", designer) << "scanner";
        QTest::newRow("type line after the declaration") << typed(decl, designer, "\n\n \t") << "scanner";
        QTest::newRow("type line, compact") << typed("", designer, "") << "scanner";
        QTest::newRow("type line, white space inside")
            << typed("\n", "<!DOCTYPE \t\nQalixPlusDesignerFile\n >") << "scanner";
        QTest::newRow("type line, another name") << typed("", "<!DOCTYPE r-1.x_>") << "scanner";
        QTest::newRow("type line, internal subset") << typed("", "<!DOCTYPE r []>") << "parsed";
        QTest::newRow("type line, entity") << typed("", "<!DOCTYPE r [<!ENTITY e \"v\">]>") << "parsed";
        QTest::newRow("type line, system identifier") << typed("", "<!DOCTYPE r SYSTEM \"r.dtd\">") << "parsed";
        QTest::newRow("type line, name with a colon") << typed("", "<!DOCTYPE a:r>") << "parsed";
        QTest::newRow("type line, carriage return") << typed("", "<!DOCTYPE\r\nr>") << "parsed";
        // Line ends of another system between elements are no text; after a '>' in a text they are.
        QTest::newRow("CR LF between elements") << typed("", designer).replace("\n", "\r\n") << "stream";
        QTest::newRow("'>' and carriage returns in a text") << doc("", "a>\r\r") << "parsed";
        QTest::newRow("type line twice") << typed("", designer, designer) << "parsed";
        QTest::newRow("type line after a comment") << typed("<!-- c -->", designer) << "parsed";
        QTest::newRow("type line before the declaration") << typed(designer, decl) << "parsed";
        QTest::newRow("type line, lower case") << typed("", "<!doctype r>") << "parsed";
        QTest::newRow("type line inside the root")
            << QByteArray("<r><!DOCTYPE r><Pages><p><name>A</name></p></Pages></r>") << "parsed";
    }

    void scannerTakesOnlyWhatItReadsAlike()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, road);

        ProjectReader parsed;
        const bool parses = ProjectDomReader::read(document, &parsed);
        ProjectReader reader;
        QCOMPARE(reader.read(document), parses);
        QVERIFY(reader == parsed);
        QCOMPARE(reader.handedOver(), road == QLatin1String("parsed"));
        // A road that refuses reads nothing.
        ProjectReader scanner;
        const bool scanned = scanner.readScanned(document);
        QCOMPARE(scanned, road == QLatin1String("scanner"));
        QVERIFY(scanned ? scanner == parsed : scanner == ProjectReader());
        ProjectReader streamed;
        const bool stream = streamed.readStreaming(document);
        QCOMPARE(stream, road != QLatin1String("parsed"));
        QVERIFY(stream ? streamed == parsed : streamed == ProjectReader());
    }

    // Where a stored picture name is found: the project's own pictures first.
    void resolve_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");

        const QString d = projectDirectory();
        QVERIFY(writeFile(d + "icons/project/both.png", "picture"));
        QVERIFY(writeFile(d + "icons/both.png", "picture"));
        QVERIFY(writeFile(d + "icons/common.png", "picture"));
        QVERIFY(writeFile(d + "icons/project/projector.png", "picture"));
        const auto row = [](const char *name, const QString &picture, const QString &path) {
            QTest::newRow(name) << picture << path;
        };
        row("empty name", "", ":/images/noicon");
        row("project picture wins", "both.png", d + "icons/project/both.png");
        row("common picture", "common.png", d + "icons/common.png");
        row("unknown", "nowhere.png", ":/images/noicon");
    }

    void resolve()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QCOMPARE(resolvePictureName(name), path);
        // Written back bare, a found picture resolves to the same file.
        if (!name.isEmpty())
            QCOMPARE(resolvePictureName(storedPictureName(path, true)), path);
    }
};

QTEST_GUILESS_MAIN(TestItemRecord)
#include "tst_itemrecord.moc"
