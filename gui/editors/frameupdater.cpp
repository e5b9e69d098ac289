#include "gui/editors/frameupdater.h"
#include "gui/logging/guilogcategories.h"

#include "gui/items/item.h"
#include "gui/items/truncated.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QColorDialog>
#include <QDebug>
#include <QLineEdit>
#include <QSpinBox>

namespace {

FrameUpdater::ColorChooser colorChooser = &FrameUpdater::chooseColorWithDialog;

int parseInt(const QString &text)
{
    return ItemRecord::parseInt(text);
}

} // namespace

FrameUpdater::FrameUpdater(Item *owner, QWidget *parent)
    : QFrame(parent)
    , m_owner(owner)
{
    connect(owner, &Item::propertiesRefreshed, this, [this] {
        if (m_formBuilt)
            updateFrame();
    });
}

void FrameUpdater::ensureForm()
{
    if (m_formBuilt)
        return;
    m_formBuilt = true;
    buildForm();
    connectWidgets();
    // The item renders its record as it stands and the form then shows it.
    m_owner->refreshProperties();
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

void FrameUpdater::setColorChooser(ColorChooser chooser)
{
    colorChooser = chooser;
}

QColor FrameUpdater::chooseColorWithDialog(const QColor &initial)
{
    return QColorDialog::getColor(initial, nullptr, QString());
}

void FrameUpdater::updateFrame()
{
}

void FrameUpdater::refresh()
{
    m_owner->refreshProperties();
}

void FrameUpdater::connectWidgets()
{
    const struct
    {
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

    const struct
    {
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
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this, &FrameUpdater::on_spinBoxDigits_valueChanged);
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
    if (edit->text().isEmpty() || parseInt(edit->text()) != value)
        edit->setText(text);
}

} // namespace

void FrameUpdater::showPosition(QLineEdit *x, QLineEdit *y) const
{
    showIn(x, m_owner->x(), QString::number(m_owner->x()));
    showIn(y, m_owner->y(), QString::number(m_owner->y()));
}

void FrameUpdater::showSize(QLineEdit *w, QLineEdit *h) const
{
    showIn(w, m_owner->width(), QString::number(m_owner->width()));
    showIn(h, m_owner->height(), QString::number(m_owner->height()));
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
    const QString &port = m_owner->record().port;
    const QString caption = port.isEmpty() ? QStringLiteral("Kein Port") : m_owner->portCaption(port);
    return QStringLiteral("Port\n(") + caption + QLatin1Char(')');
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
    m_owner->SetPos(parseInt(arg1), truncated(m_owner->y()));
    refresh();
}

void FrameUpdater::on_lineEditY_textEdited(QString arg1)
{
    m_owner->SetPos(truncated(m_owner->x()), parseInt(arg1));
    refresh();
}

void FrameUpdater::on_lineEditScale_textEdited(QString arg1)
{
    m_owner->setScale(parseInt(arg1) / 100.0);
    refresh();
}

void FrameUpdater::on_lineEditWidth_textEdited(QString arg1)
{
    m_owner->setSize(parseInt(arg1), m_owner->height());
    refresh();
}

void FrameUpdater::on_lineEditHeight_textEdited(QString arg1)
{
    m_owner->setSize(m_owner->width(), parseInt(arg1));
    refresh();
}

void FrameUpdater::on_lineEditText_textEdited(QString arg1)
{
    editRecord([&](ItemRecord &r) { r.textActive = arg1; });
}

void FrameUpdater::on_lineEditTextInactive_textEdited(QString arg1)
{
    editRecord([&](ItemRecord &r) { r.textInactive = arg1; });
}

void FrameUpdater::on_lineEditTextError_textEdited(QString arg1)
{
    editRecord([&](ItemRecord &r) { r.textError = arg1; });
}

void FrameUpdater::on_spinBoxDigits_valueChanged(int arg1)
{
    editRecord([&](ItemRecord &r) { r.digits = arg1; });
}

void FrameUpdater::on_spinBoxFontsize_valueChanged(int arg1)
{
    editRecord([&](ItemRecord &r) { r.fontSize = arg1; });
}

void FrameUpdater::on_checkBoxBold_toggled(bool checked)
{
    editRecord([&](ItemRecord &r) { r.bold = checked; });
}

void FrameUpdater::on_checkBoxItalic_toggled(bool checked)
{
    editRecord([&](ItemRecord &r) { r.italic = checked; });
}

void FrameUpdater::on_pushButtonColor_clicked()
{
    const int color = m_owner->record().color;
    const QColor initial((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
    const QColor chosen = colorChooser ? colorChooser(initial) : QColor();
    // A cancelled dialog answers with an invalid colour: keep the one we had.
    if (!chosen.isValid()) {
        updateFrame();
        return;
    }
    const int chosenColor = chosen.red() * 65536 + chosen.green() * 256 + chosen.blue();
    qCDebug(lcEditors).noquote() << "Color set to" << QString::number(chosenColor, 16) << chosen.red() << chosen.green()
                                 << chosen.blue();
    editRecord([&](ItemRecord &r) { r.color = chosenColor; });
}
