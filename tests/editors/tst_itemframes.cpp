#include "editors/frameupdater.h"
#include "editors/propertyframes.h"
#include "tests/items/testhelper.h"

#include <QCheckBox>
#include <QGraphicsScene>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

namespace {

// The colour dialog stand-in: answers what the test sets, remembers the question.
QColor colourAnswer;
QColor colourAsked;
QColor answerColour(const QColor &initial)
{
    colourAsked = initial;
    return colourAnswer;
}

// The item's frame, made as showing the properties makes it, hidden again.
FrameUpdater *frameOf(Item *item)
{
    auto *frame = static_cast<FrameUpdater *>(item->showProperties());
    item->hideProperties();
    return frame;
}

} // namespace

class TestItemFrames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void forms_data();
    void forms();
    void showingBuildsTheFilledForm();
    void portButtonText_data();
    void portButtonText();
    void positionShowsSixSignificantDigits();
    void typingEditsTheItem_data();
    void typingEditsTheItem();
    void spinBoxesAndCheckBoxesEditTheRecord();
    void scaleIsAPercentage();
    void colourChoice_data();
    void colourChoice();
};

void TestItemFrames::initTestCase()
{
    registerPropertyFrames();
}

void TestItemFrames::cleanup()
{
    FrameUpdater::setColorChooser(&FrameUpdater::chooseColorWithDialog);
}

void TestItemFrames::forms_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("widgets");
    QTest::addColumn<QStringList>("absent");

    const QStringList pos{"lineEditX", "lineEditY"};
    const QStringList size{"lineEditWidth", "lineEditHeight"};
    const QStringList font{"spinBoxFontsize", "checkBoxBold", "checkBoxItalic", "pushButtonColor"};
    const QStringList statePics{"pushButtonImgActive", "pushButtonImgInactive", "pushButtonImgError",
                                "pushButtonSelectPort"};
    const QStringList stateTexts{"lineEditText", "lineEditTextInactive", "lineEditTextError"};

    QTest::newRow("Button") << "Button" << "Anzeige Bild" << pos + size + QStringList{"pushButtonImgActive",
                            "pushButtonSelectPort"} << QStringList{"lineEditText", "spinBoxFontsize", "comboBoxPage"};
    QTest::newRow("Picture") << "Picture" << "Anzeige Bild" << pos + size + QStringList{"pushButtonImgActive"}
                             << QStringList{"pushButtonSelectPort", "pushButtonImgInactive"};
    QTest::newRow("PageChange") << "PageChange" << "Seiten wechsler" << pos + size + QStringList{"pushButtonImgActive",
                                "comboBoxPage"} << QStringList{"pushButtonSelectPort"};
    QTest::newRow("StateButton") << "StateButton" << "Statusanzeige Knopf" << pos + size + statePics
                                 << QStringList{"lineEditText"};
    QTest::newRow("StatePicture") << "StatePicture" << "Statusanzeige" << pos + size + statePics
                                  << QStringList{"lineEditText"};
    QTest::newRow("Text") << "Text" << "Text" << pos + QStringList{"lineEditText"} + font
                          << QStringList{"lineEditWidth", "pushButtonSelectPort", "spinBoxDigits"};
    QTest::newRow("StateText") << "StateText" << "Status Text" << pos + stateTexts + font + QStringList{
                               "pushButtonSelectPort"} << QStringList{"lineEditWidth", "spinBoxDigits"};
    QTest::newRow("ADCText") << "ADCText" << "ADC Text" << pos + QStringList{"spinBoxDigits"} + font + QStringList{
                             "pushButtonSelectPort"} << QStringList{"lineEditText", "lineEditWidth"};
}

void TestItemFrames::forms()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(QStringList, widgets);
    QFETCH(QStringList, absent);

    std::unique_ptr<Item> item = makeKind(kind);
    // No frame until the properties are first shown.
    QVERIFY(!item->propertyFrame());
    FrameUpdater *frame = frameOf(item.get());
    QVERIFY(frame);
    auto *titleLabel = frame->findChild<QLabel *>(QStringLiteral("labelTitle"));
    QVERIFY(titleLabel);
    QCOMPARE(titleLabel->text(), title);
    for (const QString &name : widgets)
        QVERIFY2(frame->findChild<QWidget *>(name), qPrintable(name));
    for (const QString &name : absent + QStringList{"lineEditScale"})
        QVERIFY2(!frame->findChild<QWidget *>(name), qPrintable(name));

    if (auto *fontSize = frame->findChild<QSpinBox *>(QStringLiteral("spinBoxFontsize"))) {
        QCOMPARE(fontSize->minimum(), 5);
        QCOMPARE(fontSize->maximum(), 100);
    }
    if (auto *digits = frame->findChild<QSpinBox *>(QStringLiteral("spinBoxDigits"))) {
        QCOMPARE(digits->minimum(), 0);
        QCOMPARE(digits->maximum(), 6);
    }
}

void TestItemFrames::showingBuildsTheFilledForm()
{
    ItemStateText item(nullptr, nullptr);
    editRecord(&item, [&](ItemRecord &r) { r.textInactive = QStringLiteral("Aus"); });
    editRecord(&item, [&](ItemRecord &r) { r.fontSize = 250; });
    QWidget *frame = item.showProperties();
    auto *inactive = frame->findChild<QLineEdit *>(QStringLiteral("lineEditTextInactive"));
    QVERIFY(inactive);
    QCOMPARE(inactive->text(), QStringLiteral("Aus"));
    QCOMPARE(frame->findChild<QSpinBox *>(QStringLiteral("spinBoxFontsize"))->value(), 100);
    QCOMPARE(item.record().fontSize, 100);
    item.hideProperties();
    QVERIFY(frame->isHidden());
    QCOMPARE(item.showProperties(), frame);
}

void TestItemFrames::portButtonText_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("text");

    for (const char *kind : {"Button", "StateButton", "StatePicture", "StateText", "ADCText"}) {
        QTest::newRow(qPrintable(QString::fromLatin1(kind) + " without port")) << kind << "" << "Port\n(Kein Port)";
        QTest::newRow(qPrintable(QString::fromLatin1(kind) + " with port"))
                << kind << "ITM_Kueche_OUT3" << "Port\n(NOT IN CONTROL)";
    }
}

void TestItemFrames::portButtonText()
{
    QFETCH(QString, kind);
    QFETCH(QString, port);
    QFETCH(QString, text);

    std::unique_ptr<Item> item = makeKind(kind);
    FrameUpdater *frame = frameOf(item.get());
    QCOMPARE(frame->findChild<QPushButton *>(QStringLiteral("pushButtonSelectPort"))->text(),
             QStringLiteral("Port\n(Kein Port)"));
    editRecord(item.get(), [&](ItemRecord &r) { r.port = port; });
    item->refreshProperties();
    QCOMPARE(frame->findChild<QPushButton *>(QStringLiteral("pushButtonSelectPort"))->text(), text);
}

void TestItemFrames::positionShowsSixSignificantDigits()
{
    ItemButton item(nullptr, nullptr);
    item.SetPos(1234567, -12);
    item.setSize(77, 88);
    FrameUpdater *frame = frameOf(&item);
    QCOMPARE(frame->findChild<QLineEdit *>(QStringLiteral("lineEditX"))->text(), QStringLiteral("1.23457e+06"));
    QCOMPARE(frame->findChild<QLineEdit *>(QStringLiteral("lineEditY"))->text(), QStringLiteral("-12"));
    QCOMPARE(frame->findChild<QLineEdit *>(QStringLiteral("lineEditWidth"))->text(), QStringLiteral("77"));
    QCOMPARE(frame->findChild<QLineEdit *>(QStringLiteral("lineEditHeight"))->text(), QStringLiteral("88"));
}

void TestItemFrames::typingEditsTheItem_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("value");

    QTest::newRow("x") << "Button" << "lineEditX" << "120" << "pos" << "120,40";
    QTest::newRow("y") << "Button" << "lineEditY" << "-7" << "pos" << "30,-7";
    QTest::newRow("x letters") << "Button" << "lineEditX" << "abc" << "pos" << "0,40";
    QTest::newRow("width") << "Picture" << "lineEditWidth" << "64" << "size" << "64x50";
    QTest::newRow("width letters gives 1") << "Picture" << "lineEditWidth" << "abc" << "size" << "1x50";
    QTest::newRow("height") << "StatePicture" << "lineEditHeight" << "90" << "size" << "50x90";
    QTest::newRow("text renders") << "Text" << "lineEditText" << "Neu" << "text" << "Neu";
    QTest::newRow("state text active") << "StateText" << "lineEditText" << "Ein" << "textActive" << "Ein";
    QTest::newRow("state text inactive") << "StateText" << "lineEditTextInactive" << "Aus" << "textInactive" << "Aus";
    QTest::newRow("state text error") << "StateText" << "lineEditTextError" << "Fehler" << "textError" << "Fehler";
}

void TestItemFrames::typingEditsTheItem()
{
    QFETCH(QString, kind);
    QFETCH(QString, edit);
    QFETCH(QString, typed);
    QFETCH(QString, property);
    QFETCH(QString, value);

    std::unique_ptr<Item> item = makeKind(kind);
    item->SetPos(30, 40);
    auto *lineEdit = frameOf(item.get())->findChild<QLineEdit *>(edit);
    QVERIFY(lineEdit);
    lineEdit->clear();
    QTest::keyClicks(lineEdit, typed);

    QString actual;
    if (property == QLatin1String("pos"))
        actual = QStringLiteral("%1,%2").arg(item->x()).arg(item->y());
    else if (property == QLatin1String("size"))
        actual = QStringLiteral("%1x%2").arg(item->width()).arg(item->height());
    else if (property == QLatin1String("text"))
        actual = item->text();
    else if (property == QLatin1String("textActive"))
        actual = item->record().textActive;
    else if (property == QLatin1String("textInactive"))
        actual = item->record().textInactive;
    else
        actual = item->record().textError;
    QCOMPARE(actual, value);
}

void TestItemFrames::spinBoxesAndCheckBoxesEditTheRecord()
{
    ItemADCText item(nullptr, nullptr);
    FrameUpdater *f = frameOf(&item);
    QCOMPARE(item.text(), QStringLiteral("???.??"));

    f->findChild<QSpinBox *>(QStringLiteral("spinBoxDigits"))->setValue(4);
    QCOMPARE(item.record().digits, 4);
    QCOMPARE(item.text(), QStringLiteral("???.????"));

    f->findChild<QSpinBox *>(QStringLiteral("spinBoxFontsize"))->setValue(40);
    QCOMPARE(item.record().fontSize, 40);
    QCOMPARE(item.textPixelSize(), 40);

    const qint64 regular = item.picture().cacheKey();
    f->findChild<QCheckBox *>(QStringLiteral("checkBoxBold"))->setChecked(true);
    QCOMPARE(item.record().bold, true);
    QVERIFY(item.picture().cacheKey() != regular);
    f->findChild<QCheckBox *>(QStringLiteral("checkBoxItalic"))->setChecked(true);
    QCOMPARE(item.record().italic, true);
}

void TestItemFrames::scaleIsAPercentage()
{
    ItemPicture item(nullptr, nullptr);
    FrameUpdater *frame = frameOf(&item);
    frame->on_lineEditScale_textEdited(QStringLiteral("150"));
    QCOMPARE(item.scale(), 1.5);
    frame->on_lineEditScale_textEdited(QStringLiteral("x"));
    QCOMPARE(item.scale(), 0.0);
}

void TestItemFrames::colourChoice_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QColor>("answer");
    QTest::addColumn<QColor>("asked");
    QTest::addColumn<int>("after");

    QTest::newRow("chosen") << 0xFFFFFF << QColor(0x12, 0x34, 0x56) << QColor(255, 255, 255) << 0x123456;
    QTest::newRow("asked with the record's colour") << 0x0000FF << QColor(255, 0, 0) << QColor(0, 0, 255) << 0xFF0000;
    QTest::newRow("cancel keeps the colour") << 0x00FF00 << QColor() << QColor(0, 255, 0) << 0x00FF00;
    QTest::newRow("opacity of the answer is ignored") << 0 << QColor(1, 2, 3, 10) << QColor(0, 0, 0) << 0x010203;
}

void TestItemFrames::colourChoice()
{
    QFETCH(int, before);
    QFETCH(QColor, answer);
    QFETCH(QColor, asked);
    QFETCH(int, after);

    ItemText item(nullptr, nullptr);
    editRecord(&item, [&](ItemRecord &r) { r.color = before; });
    colourAnswer = answer;
    colourAsked = QColor();
    FrameUpdater::setColorChooser(&answerColour);
    frameOf(&item)->findChild<QPushButton *>(QStringLiteral("pushButtonColor"))->click();
    QCOMPARE(colourAsked, asked);
    QCOMPARE(colourAsked.alpha(), 255);
    QCOMPARE(item.record().color, after);
    // The text is rendered again in the colour now held.
    QCOMPARE(item.text(), QStringLiteral("Hallo Welt!"));
}

QTEST_MAIN(TestItemFrames)
#include "tst_itemframes.moc"
