#include "net/msgline.h"

#include <QLocale>
#include <QtTest>

Q_DECLARE_METATYPE(MsgLine)

class TestMsgLine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void numbersReadAsQtReadsThem_data();
    void numbersReadAsQtReadsThem();
    void frame_data();
    void frame();
    void formatValue_data();
    void formatValue();
    void portPayload_data();
    void portPayload();
    void formatValueIgnoresDefaultLocale();
};

namespace {

MsgLine port(const QString &object, int port, bool output, double value)
{
    MsgLine line;
    line.kind = MsgLine::Port;
    line.letter = QLatin1Char('P');
    line.object = object;
    line.port = port;
    line.output = output;
    line.value = value;
    return line;
}

MsgLine error(int code, const QString &text)
{
    MsgLine line;
    line.kind = MsgLine::Error;
    line.letter = QLatin1Char('E');
    line.code = code;
    line.text = text;
    return line;
}

MsgLine login(bool ok)
{
    MsgLine line;
    line.kind = MsgLine::Login;
    line.letter = QLatin1Char('L');
    line.loginOk = ok;
    return line;
}

MsgLine config(QChar sub, const QString &text = QString())
{
    MsgLine line;
    line.kind = MsgLine::Config;
    line.letter = QLatin1Char('C');
    line.sub = sub;
    line.text = text;
    return line;
}

MsgLine other(MsgLine::Kind kind, QChar letter)
{
    MsgLine line;
    line.kind = kind;
    line.letter = letter;
    return line;
}

} // namespace

void TestMsgLine::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<MsgLine>("expected");

    QTest::newRow("P output") << QByteArray("POUT.Kueche.3=1") << port("Kueche", 3, true, 1.0);
    QTest::newRow("P input") << QByteArray("PIN.Sensor.0=21.5") << port("Sensor", 0, false, 21.5);
    QTest::newRow("P direction compared case-sensitively") << QByteArray("Pout.x.1=1") << port("x", 1, false, 1.0);
    QTest::newRow("P not numbers read 0") << QByteArray("POUT.Kueche.drei=ein") << port("Kueche", 0, true, 0.0);
    QTest::newRow("P exponent value") << QByteArray("PIN.a.7=1.23457e+06") << port("a", 7, false, 1234570.0);
    QTest::newRow("P negative value") << QByteArray("PIN.a.7=-3.25") << port("a", 7, false, -3.25);
    QTest::newRow("P comma is no decimal point") << QByteArray("PIN.a.7=3,5") << port("a", 7, false, 0.0);
    QTest::newRow("P object with dot is split") << QByteArray("POUT.a.b.3=1") << port("a", 0, true, 1.0);
    QTest::newRow("P second = ends the value") << QByteArray("POUT.a.3=1=2") << port("a", 3, true, 1.0);
    QTest::newRow("P empty fields stay") << QByteArray("P..=") << port("", 0, false, 0.0);
    QTest::newRow("P UTF-8 object") << QByteArray("POUT.K\xc3\xbc" "che.1=1") << port(QString::fromUtf8("Küche"), 1, true, 1.0);
    QTest::newRow("P CR LF and spaces trimmed") << QByteArray("  POUT.Kueche.3=0.5 \r") << port("Kueche", 3, true, 0.5);
    QTest::newRow("P invalid UTF-8 before a separator") << QByteArray("P\xc3.a\xff.1=1") << port(QString::fromUtf8("a\xff"), 1, false, 1.0);
    QTest::newRow("P decoding stops at NUL") << QByteArray("PIN.a.1=12\0" "34", 13) << port("a", 1, false, 12.0);
    QTest::newRow("P without =") << QByteArray("POUT.Kueche.3") << other(MsgLine::Malformed, QLatin1Char('P'));
    QTest::newRow("P with two address fields") << QByteArray("POUT.Kueche=1") << other(MsgLine::Malformed, QLatin1Char('P'));
    QTest::newRow("P with one address field") << QByteArray("POUT=1") << other(MsgLine::Malformed, QLatin1Char('P'));
    QTest::newRow("P alone") << QByteArray("P") << other(MsgLine::Malformed, QLatin1Char('P'));
    QTest::newRow("P cut by NUL") << QByteArray("P\0OUT.a.1=1", 11) << other(MsgLine::Malformed, QLatin1Char('P'));

    QTest::newRow("E code 5") << QByteArray("E5=MsgServer not inited, wait a bit") << error(5, "MsgServer not inited, wait a bit");
    QTest::newRow("E code 3") << QByteArray("E3=Timeout occured") << error(3, "Timeout occured");
    QTest::newRow("E code not a number") << QByteArray("Ex=text") << error(0, "text");
    QTest::newRow("E text up to the next =") << QByteArray("E2=a=b") << error(2, "a");
    QTest::newRow("E empty text") << QByteArray("E1=") << error(1, "");
    QTest::newRow("E without =") << QByteArray("E5") << other(MsgLine::Malformed, QLatin1Char('E'));
    QTest::newRow("E alone") << QByteArray("E") << other(MsgLine::Malformed, QLatin1Char('E'));

    QTest::newRow("L OK") << QByteArray("LOK") << login(true);
    QTest::newRow("L ok lower case") << QByteArray("Lok") << login(false);
    QTest::newRow("L empty") << QByteArray("L") << login(false);
    QTest::newRow("L OK with more") << QByteArray("LOKAY") << login(false);

    QTest::newRow("C bus on") << QByteArray("CB") << config(QLatin1Char('B'));
    QTest::newRow("C bus off") << QByteArray("Cb") << config(QLatin1Char('b'));
    QTest::newRow("C debug on") << QByteArray("CD") << config(QLatin1Char('D'));
    QTest::newRow("C debug off") << QByteArray("Cd") << config(QLatin1Char('d'));
    QTest::newRow("C time-out") << QByteArray("CT60") << config(QLatin1Char('T'), "60");
    QTest::newRow("C other") << QByteArray("CRxy") << config(QLatin1Char('R'), "xy");
    QTest::newRow("C empty") << QByteArray("C") << config(QChar());

    QTest::newRow("N ignored") << QByteArray("N") << other(MsgLine::Ignored, QLatin1Char('N'));
    QTest::newRow("N with text ignored") << QByteArray("Nanything") << other(MsgLine::Ignored, QLatin1Char('N'));
    QTest::newRow("B ignored") << QByteArray("B\x01\x02") << other(MsgLine::Ignored, QLatin1Char('B'));
    QTest::newRow("X unknown") << QByteArray("Xfoo") << other(MsgLine::Unknown, QLatin1Char('X'));
    QTest::newRow("lower-case p unknown") << QByteArray("pOUT.a.1=1") << other(MsgLine::Unknown, QLatin1Char('p'));
    QTest::newRow("empty line") << QByteArray("") << other(MsgLine::Unknown, QChar());
    QTest::newRow("white space only") << QByteArray(" \t\r\v\f") << other(MsgLine::Unknown, QChar());
    QTest::newRow("NUL first") << QByteArray("\0P", 2) << other(MsgLine::Unknown, QChar());
    QTest::newRow("Latin-1 letter") << QByteArray("\xc3\xa4OUT") << other(MsgLine::Unknown, QChar(0xE4));
    QTest::newRow("letter above Latin-1") << QByteArray("\xe2\x82\xac" "x") << other(MsgLine::Unknown, QChar());
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfeP") << other(MsgLine::Unknown, QChar());
}

void TestMsgLine::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(MsgLine, expected);
    QCOMPARE(MsgLine::parse(bytes), expected);
}

void TestMsgLine::numbersReadAsQtReadsThem_data()
{
    QTest::addColumn<QString>("text");
    for (const char *text : {"0", "7", "42", "007", "123456789", "1234567890", "99999999999", "-3", "+3", " 3", "3 ",
                             "3x", "x3", "", "-", "+", "1.5", "-1.5", "+1.5", ".5", "5.", "1e3", "1E-3", "1e", "e3",
                             "1e400", "-1e400", "1e-400", "1,5", "1.2.3", "--1", "1-2", "inf", "-inf", "nan",
                             "infinity", "0x10", "\xd9\xa3", "\xef\xbc\x93", "0.30000000000000004"})
        QTest::newRow(text) << QString::fromUtf8(text);
}

void TestMsgLine::numbersReadAsQtReadsThem()
{
    QFETCH(QString, text);
    // The parser's fast paths must agree with Qt's own reading of the decoded text.
    const QByteArray bytes = text.toUtf8();
    const MsgLine asPort = MsgLine::parse("PIN.a." + bytes + "=1");
    // The port ends at the next "." of the address.
    QCOMPARE(asPort.port, text.split('.').first().toInt(nullptr, 10));
    const MsgLine asValue = MsgLine::parse("PIN.a.1=" + bytes);
    const double expected = text.trimmed().toDouble();
    QVERIFY2(asValue.value == expected || (qIsNaN(asValue.value) && qIsNaN(expected)),
             qPrintable(QStringLiteral("%1 != %2").arg(asValue.value).arg(expected)));
    const MsgLine asCode = MsgLine::parse("E" + bytes + "=x");
    QCOMPARE(asCode.code, text.toInt(nullptr, 10));
}

void TestMsgLine::frame_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("empty payload") << 'N' << QByteArray() << QByteArray("N\n");
    QTest::newRow("login") << 'L' << QByteArray("demo=secret") << QByteArray("Ldemo=secret\n");
    QTest::newRow("trailing spaces") << 'C' << QByteArray("T60   ") << QByteArray("CT60\n");
    QTest::newRow("trailing line feed") << 'S' << QByteArray("\n") << QByteArray("S\n");
    QTest::newRow("trailing CR LF") << 'P' << QByteArray("OUT.a.1=1\r\n") << QByteArray("POUT.a.1=1\n");
    QTest::newRow("inner spaces kept") << 'L' << QByteArray("a b=c d\t") << QByteArray("La b=c d\n");
    QTest::newRow("blank letter trimmed") << ' ' << QByteArray("x") << QByteArray("x\n");
}

void TestMsgLine::frame()
{
    QFETCH(char, letter);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, wire);
    QCOMPARE(MsgLine::frame(letter, payload), wire);
}

void TestMsgLine::formatValue_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("one") << 1.0 << QByteArray("1");
    QTest::newRow("zero") << 0.0 << QByteArray("0");
    QTest::newRow("half") << 0.5 << QByteArray("0.5");
    QTest::newRow("21.25") << 21.25 << QByteArray("21.25");
    QTest::newRow("1234567") << 1234567.0 << QByteArray("1.23457e+06");
    QTest::newRow("0.1 + 0.2") << (0.1 + 0.2) << QByteArray("0.3");
    QTest::newRow("negative") << -7.5 << QByteArray("-7.5");
    QTest::newRow("six digits fixed") << 123456.0 << QByteArray("123456");
    QTest::newRow("small") << 0.0001 << QByteArray("0.0001");
    QTest::newRow("smaller") << 0.00001 << QByteArray("1e-05");
}

void TestMsgLine::formatValue()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(MsgLine::formatValue(value), text);
}

void TestMsgLine::portPayload_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("output");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("Kueche") << "Kueche" << 3 << true << 1.0 << QByteArray::fromHex("4F55542E4B75656368652E333D31");
    QTest::newRow("Licht") << "Licht" << 2 << true << 1.0 << QByteArray("OUT.Licht.2=1");
    QTest::newRow("input") << "Sensor" << 0 << false << 21.5 << QByteArray("IN.Sensor.0=21.5");
    QTest::newRow("Latin-1 object") << QString::fromUtf8("Küche") << 1 << true << 0.0 << QByteArray("OUT.K\xfc" "che.1=0");
    QTest::newRow("outside Latin-1") << QString::fromUtf8("€") << 1 << true << 0.0 << QByteArray("OUT.?.1=0");
    QTest::newRow("large port") << "M" << 65536 << true << 0.3 << QByteArray("OUT.M.65536=0.3");
}

void TestMsgLine::portPayload()
{
    QFETCH(QString, object);
    QFETCH(int, port);
    QFETCH(bool, output);
    QFETCH(double, value);
    QFETCH(QByteArray, payload);
    QCOMPARE(MsgLine::portPayload(object, port, output, value), payload);
}

void TestMsgLine::formatValueIgnoresDefaultLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QByteArray text = MsgLine::formatValue(21.25) + MsgLine::portPayload("a", 1000, true, 1234.5);
    const MsgLine parsed = MsgLine::parse("PIN.a.1=1234.5");
    QLocale::setDefault(saved);
    QCOMPARE(text, QByteArray("21.25OUT.a.1000=1234.5"));
    QCOMPARE(parsed.value, 1234.5);
}

QTEST_GUILESS_MAIN(TestMsgLine)
#include "tst_msgline.moc"
