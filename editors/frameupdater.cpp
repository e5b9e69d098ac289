#include "editors/frameupdater.h"

#include "items/item.h"
#include "storage/picturenames.h"
#include "storage/xmlelements.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QColorDialog>
#include <QDebug>
#include <QGraphicsScene>
#include <QHash>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QSpinBox>

#include <limits>

namespace {

const QString base64Prefix = QStringLiteral("BASE64_");

// Cuts a scene coordinate toward zero into the int range.
int truncated(qreal value)
{
    if (!(value == value))
        return 0;
    return int(qBound<qreal>(std::numeric_limits<int>::min(), value, std::numeric_limits<int>::max()));
}

// Debug lines are formatted before the filter drops them: skip that work
// on paths every item of a project goes through.
bool debugEnabled()
{
    const QLoggingCategory *category = QLoggingCategory::defaultCategory();
    return !category || category->isDebugEnabled();
}

struct PictureNameMemo
{
    int scopes = 0;
    QHash<QString, QString> resolved;
};

PictureNameMemo &pictureNameMemo()
{
    static PictureNameMemo memo;
    return memo;
}

QString resolvedPicture(const QString &name)
{
    PictureNameMemo &memo = pictureNameMemo();
    if (memo.scopes == 0)
        return resolvePictureName(name);
    auto it = memo.resolved.constFind(name);
    if (it == memo.resolved.constEnd())
        it = memo.resolved.insert(name, resolvePictureName(name));
    return it.value();
}

} // namespace

FrameUpdater::LoadScope::LoadScope()
{
    ++pictureNameMemo().scopes;
}

FrameUpdater::LoadScope::~LoadScope()
{
    PictureNameMemo &memo = pictureNameMemo();
    if (--memo.scopes == 0)
        memo.resolved.clear();
}

FrameUpdater::ColorChooser FrameUpdater::chooseColor = &FrameUpdater::chooseColorWithDialog;

FrameUpdater::FrameUpdater(Item *owner, QWidget *parent)
    : QFrame(parent)
    , owner(owner)
{
}

void FrameUpdater::ensureForm()
{
    if (formBuilt)
        return;
    formBuilt = true;
    buildForm();
    connectWidgets();
    updateFrame();
}

void FrameUpdater::setVisible(bool visible)
{
    if (visible)
        ensureForm();
    QFrame::setVisible(visible);
}

void FrameUpdater::buildForm()
{
}

QColor FrameUpdater::chooseColorWithDialog(const QColor &initial)
{
    return QColorDialog::getColor(initial, nullptr, QString());
}

QString FrameUpdater::textForState(int state) const
{
    switch (state) {
    case StateActive:
        return textActive;
    case StateInactive:
        return textInactive;
    case StateError:
        return textError;
    default:
        return QStringLiteral("WRONG STATE");
    }
}

QString FrameUpdater::pictureForState(int state) const
{
    if (state == StateInactive && !imageInactive.isEmpty())
        return imageInactive;
    if (state == StateActive && !imageActive.isEmpty())
        return imageActive;
    return imageUnknown;
}

QString FrameUpdater::encodeText(const QString &text)
{
    return base64Prefix + QString::fromLatin1(text.toUtf8().toBase64());
}

QString FrameUpdater::decodeText(const QString &stored)
{
    if (!stored.startsWith(base64Prefix))
        return stored;
    QByteArray bytes = QByteArray::fromBase64(stored.mid(base64Prefix.size()).toLatin1());
    const int end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return QString::fromUtf8(bytes);
}

int FrameUpdater::parseInt(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

void FrameUpdater::load(const QDomNode &element)
{
    // One walk over the children: looking every property up by name would
    // scan all of them again for each, and loading runs this for every item.
    enum Field {
        FieldImageActive, FieldImageInactive, FieldImageUnknown, FieldPort, FieldFontSize,
        FieldTextActive, FieldTextInactive, FieldTextError, FieldDigits, FieldTextColor,
        FieldTextBold, FieldTextItalic, FieldX, FieldY, FieldW, FieldH, FieldPageId, FieldCount
    };
    static const QLatin1String tags[FieldCount] = {
        QLatin1String("image_active"), QLatin1String("image_inactive"), QLatin1String("image_unknown"),
        QLatin1String("port"), QLatin1String("font_size"), QLatin1String("text_active"),
        QLatin1String("text_inactive"), QLatin1String("text_error"), QLatin1String("digits"),
        QLatin1String("text_color"), QLatin1String("text_bold"), QLatin1String("text_italic"),
        QLatin1String("x"), QLatin1String("y"), QLatin1String("w"), QLatin1String("h"),
        QLatin1String("page_id")};
    QString fields[FieldCount];
    bool found[FieldCount] = {};
    for (QDomNode node = element.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (!node.isElement())
            continue;
        const QDomElement child = node.toElement();
        const QString tag = child.tagName();
        for (int f = 0; f < FieldCount; ++f) {
            if (tag == tags[f]) {
                // The first element of a name counts, as for any lookup by name.
                if (!found[f]) {
                    found[f] = true;
                    fields[f] = child.text();
                }
                break;
            }
        }
    }
    const bool debug = debugEnabled();

    imageInactive = fields[FieldImageInactive];
    imageActive = fields[FieldImageActive];
    imageUnknown = fields[FieldImageUnknown];
    port = fields[FieldPort];
    fontSize = parseInt(fields[FieldFontSize]);

    textActive = decodeText(fields[FieldTextActive]);
    textInactive = decodeText(fields[FieldTextInactive]);
    textError = decodeText(fields[FieldTextError]);

    digits = parseInt(fields[FieldDigits]);
    if (digits < 0)
        digits = 2;
    color = parseInt(fields[FieldTextColor]);
    bold = fields[FieldTextBold] == QLatin1String("1");
    italic = fields[FieldTextItalic] == QLatin1String("1");

    if (debug)
        qDebug() << "Activename: " << imageActive;
    imageActive = resolvedPicture(imageActive);
    imageInactive = resolvedPicture(imageInactive);
    imageUnknown = resolvedPicture(imageUnknown);

    const int x = parseInt(fields[FieldX]);
    const int y = parseInt(fields[FieldY]);
    const int w = parseInt(fields[FieldW]);
    const int h = parseInt(fields[FieldH]);
    if (debug)
        qDebug() << "Set Pic to " << x << y << w << h;

    // Only the right and bottom edges are held against the scene; an item
    // that would reach past them keeps where it was put when created.
    const QGraphicsScene *scene = owner ? owner->scene() : nullptr;
    const QRectF sceneRect = scene ? scene->sceneRect() : QRectF();
    if (scene && qint64(x) + w <= sceneRect.width() && qint64(y) + h <= sceneRect.height()) {
        if (debug)
            qDebug() << "Pic will be Set";
        owner->SetPos(x, y);
        owner->setSize(w, h);
        if (debug)
            qDebug() << "Pic Set";
    } else if (debug) {
        qDebug() << "Pic out of range!";
    }

    if (debug)
        qDebug() << "ICON OPEN SET PAGE ID";
    pageId = fields[FieldPageId];
    if (owner)
        owner->setToolTip(pageId);

    if (debug) {
        qDebug() << "ICON OPEN UPDATE";
        qDebug() << "Load File:" << imageActive;
    }
    if (owner)
        owner->loadPicture(imageActive);
    refresh();
    if (debug)
        qDebug() << "ICON OPEN ENDE";
}

void FrameUpdater::save(QDomDocument &document, QDomElement &element, QStringList &fileList)
{
    appendIntElement(document, element, QStringLiteral("x"), owner ? truncated(owner->x()) : 0);
    appendIntElement(document, element, QStringLiteral("y"), owner ? truncated(owner->y()) : 0);
    appendIntElement(document, element, QStringLiteral("w"), owner ? owner->width : 0);
    appendIntElement(document, element, QStringLiteral("h"), owner ? owner->height : 0);

    appendElement(document, element, QStringLiteral("image_active"), storedPictureName(imageActive, true));
    appendElement(document, element, QStringLiteral("image_inactive"), storedPictureName(imageInactive, true));
    appendElement(document, element, QStringLiteral("image_unknown"), storedPictureName(imageUnknown, true));

    appendElement(document, element, QStringLiteral("text_active"), encodeText(textActive));
    appendElement(document, element, QStringLiteral("text_inactive"), encodeText(textInactive));
    appendElement(document, element, QStringLiteral("text_error"), encodeText(textError));

    appendElement(document, element, QStringLiteral("text_bold"), bold ? QStringLiteral("1") : QStringLiteral("0"));
    appendElement(document, element, QStringLiteral("text_italic"), italic ? QStringLiteral("1") : QStringLiteral("0"));
    appendElement(document, element, QStringLiteral("text_color"), QString::number(uint(color)));
    appendIntElement(document, element, QStringLiteral("font_size"), fontSize);
    appendIntElement(document, element, QStringLiteral("digits"), digits);
    appendElement(document, element, QStringLiteral("page_id"), pageId);

    for (const QString *image : {&imageActive, &imageInactive, &imageUnknown}) {
        const QString file = storedPictureName(*image, false);
        if (!file.isEmpty() && !fileList.contains(file))
            fileList.append(file);
    }

    appendElement(document, element, QStringLiteral("port"), port);
}

void FrameUpdater::updateFrame()
{
}

void FrameUpdater::refresh()
{
    updateFrame();
}

void FrameUpdater::connectWidgets()
{
    const struct {
        const char *name;
        void (FrameUpdater::*slot)();
    } buttons[] = {
        {"pushButtonImgActive", &FrameUpdater::on_pushButtonImgActive_clicked},
        {"pushButtonImgInactive", &FrameUpdater::on_pushButtonImgInactive_clicked},
        {"pushButtonImgError", &FrameUpdater::on_pushButtonImgError_clicked},
        {"pushButtonSelectPort", &FrameUpdater::on_pushButtonSelectPort_clicked},
        {"pushButtonColor", &FrameUpdater::on_pushButtonColor_clicked},
    };
    for (const auto &b : buttons) {
        if (auto *button = findChild<QAbstractButton *>(QLatin1String(b.name)))
            connect(button, &QAbstractButton::clicked, this, b.slot);
    }

    const struct {
        const char *name;
        void (FrameUpdater::*slot)(QString);
    } edits[] = {
        {"lineEditX", &FrameUpdater::on_lineEditX_textEdited},
        {"lineEditY", &FrameUpdater::on_lineEditY_textEdited},
        {"lineEditScale", &FrameUpdater::on_lineEditScale_textEdited},
        {"lineEditWidth", &FrameUpdater::on_lineEditWidth_textEdited},
        {"lineEditHeight", &FrameUpdater::on_lineEditHeight_textEdited},
        {"lineEditText", &FrameUpdater::on_lineEditText_textEdited},
        {"lineEditTextInactive", &FrameUpdater::on_lineEditTextInactive_textEdited},
        {"lineEditTextError", &FrameUpdater::on_lineEditTextError_textEdited},
    };
    for (const auto &e : edits) {
        if (auto *edit = findChild<QLineEdit *>(QLatin1String(e.name)))
            connect(edit, &QLineEdit::textEdited, this, e.slot);
    }

    if (auto *spin = findChild<QSpinBox *>(QStringLiteral("spinBoxDigits")))
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &FrameUpdater::on_spinBoxDigits_valueChanged);
    if (auto *spin = findChild<QSpinBox *>(QStringLiteral("spinBoxFontsize")))
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &FrameUpdater::on_spinBoxFontsize_valueChanged);
    if (auto *box = findChild<QCheckBox *>(QStringLiteral("checkBoxBold")))
        connect(box, &QCheckBox::toggled, this, &FrameUpdater::on_checkBoxBold_toggled);
    if (auto *box = findChild<QCheckBox *>(QStringLiteral("checkBoxItalic")))
        connect(box, &QCheckBox::toggled, this, &FrameUpdater::on_checkBoxItalic_toggled);
}

namespace {

// Leaves text being typed alone while it already means the shown number, so
// that a "-" on its way to "-7" is not replaced by "0" under the cursor.
void showIn(QLineEdit *edit, qreal value, const QString &text)
{
    if (edit->text().isEmpty() || FrameUpdater::parseInt(edit->text()) != value)
        edit->setText(text);
}

} // namespace

void FrameUpdater::showPosition(QLineEdit *x, QLineEdit *y) const
{
    if (!owner)
        return;
    showIn(x, owner->x(), QString::number(owner->x()));
    showIn(y, owner->y(), QString::number(owner->y()));
}

void FrameUpdater::showSize(QLineEdit *w, QLineEdit *h) const
{
    if (!owner)
        return;
    showIn(w, owner->width, QString::number(owner->width));
    showIn(h, owner->height, QString::number(owner->height));
}

void FrameUpdater::showNumber(QSpinBox *box, int field)
{
    const QSignalBlocker blocker(box);
    box->setValue(field);
}

void FrameUpdater::showText(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
}

void FrameUpdater::showFlag(QCheckBox *box, bool field)
{
    const QSignalBlocker blocker(box);
    box->setChecked(field);
}

QString FrameUpdater::portButtonText() const
{
    const QString caption = port.isEmpty() || !owner ? QStringLiteral("Kein Port") : owner->portCaption(port);
    return QStringLiteral("Port\n(") + caption + QLatin1Char(')');
}

QString FrameUpdater::placeholderText() const
{
    QString placeholder = QStringLiteral("???");
    if (digits > 0)
        placeholder += QLatin1Char('.') + QString(qMin(digits, 6), QLatin1Char('?'));
    return placeholder;
}

void FrameUpdater::on_pushButtonImgActive_clicked()
{
}

void FrameUpdater::on_pushButtonImgInactive_clicked()
{
}

void FrameUpdater::on_pushButtonImgError_clicked()
{
}

void FrameUpdater::on_pushButtonSelectPort_clicked()
{
}

void FrameUpdater::on_lineEditX_textEdited(QString arg1)
{
    owner->SetPos(parseInt(arg1), truncated(owner->y()));
    refresh();
}

void FrameUpdater::on_lineEditY_textEdited(QString arg1)
{
    owner->SetPos(truncated(owner->x()), parseInt(arg1));
    refresh();
}

void FrameUpdater::on_lineEditScale_textEdited(QString arg1)
{
    owner->setScale(parseInt(arg1) / 100.0);
    refresh();
}

void FrameUpdater::on_lineEditWidth_textEdited(QString arg1)
{
    owner->setSize(parseInt(arg1), owner->height);
    refresh();
}

void FrameUpdater::on_lineEditHeight_textEdited(QString arg1)
{
    owner->setSize(owner->width, parseInt(arg1));
    refresh();
}

void FrameUpdater::on_lineEditText_textEdited(QString arg1)
{
    textActive = arg1;
    refresh();
}

void FrameUpdater::on_lineEditTextInactive_textEdited(QString arg1)
{
    textInactive = arg1;
    refresh();
}

void FrameUpdater::on_lineEditTextError_textEdited(QString arg1)
{
    textError = arg1;
    refresh();
}

void FrameUpdater::on_spinBoxDigits_valueChanged(int arg1)
{
    digits = arg1;
    refresh();
}

void FrameUpdater::on_spinBoxFontsize_valueChanged(int arg1)
{
    fontSize = arg1;
    refresh();
}

void FrameUpdater::on_checkBoxBold_toggled(bool checked)
{
    bold = checked;
    refresh();
}

void FrameUpdater::on_checkBoxItalic_toggled(bool checked)
{
    italic = checked;
    refresh();
}

void FrameUpdater::on_pushButtonColor_clicked()
{
    const QColor initial((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
    const QColor chosen = chooseColor ? chooseColor(initial) : QColor();
    // A cancelled dialog answers with an invalid colour: keep the one we had.
    if (chosen.isValid()) {
        color = chosen.red() * 65536 + chosen.green() * 256 + chosen.blue();
        qDebug().noquote() << "Color set to" << QString::number(color, 16) << chosen.red()
                           << chosen.green() << chosen.blue();
    }
    updateFrame();
}
