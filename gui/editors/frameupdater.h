#ifndef FRAMEUPDATER_H
#define FRAMEUPDATER_H

#include <QColor>
#include <QFrame>
#include <QString>

#include "gui/items/item.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;

// The editor form of one item's property record. Each item kind has its own
// frame class with its own form; the record itself stays with the item, and
// every edit goes into the item's record and refreshes the item, which
// renders from it and has the frame show the record again.
//
// A frame is made when its item's properties are first shown (Item's frame
// factory, see registerPropertyFrames) and builds its form then.
class FrameUpdater : public QFrame
{
    Q_OBJECT

public:
    explicit FrameUpdater(Item *owner, QWidget *parent = nullptr);

    Item *owner() const { return m_owner; }

    // Builds the kind's form, connects it and fills it from the record.
    void ensureForm();
    void setVisible(bool visible) override;

    // The colour dialog, replaceable so that a choice can be made without a
    // person at the screen. An invalid answer means the choice was cancelled.
    using ColorChooser = QColor (*)(const QColor &initial);
    static void setColorChooser(ColorChooser chooser);
    static QColor chooseColorWithDialog(const QColor &initial);

    // Shows the record in the form; the base does nothing.
    virtual void updateFrame();
    // Refreshes the item, which renders its record and then has the frame
    // show it.
    void refresh();

public slots:
    void on_pushButtonImgActive_clicked();
    void on_pushButtonImgInactive_clicked();
    void on_pushButtonImgError_clicked();
    void on_pushButtonSelectPort_clicked();
    void on_lineEditX_textEdited(QString arg1);
    void on_lineEditY_textEdited(QString arg1);
    void on_lineEditScale_textEdited(QString arg1);
    void on_lineEditWidth_textEdited(QString arg1);
    void on_lineEditHeight_textEdited(QString arg1);
    void on_lineEditText_textEdited(QString arg1);
    void on_lineEditTextInactive_textEdited(QString arg1);
    void on_lineEditTextError_textEdited(QString arg1);
    void on_spinBoxDigits_valueChanged(int arg1);
    void on_spinBoxFontsize_valueChanged(int arg1);
    void on_checkBoxBold_toggled(bool checked);
    void on_checkBoxItalic_toggled(bool checked);
    void on_pushButtonColor_clicked();

protected:
    virtual void buildForm();
    bool formBuilt() const { return m_formBuilt; }
    // Changes the owner's record with `change` and refreshes the owner.
    template<typename Change>
    void editRecord(Change change);
    // Connects the form's widgets to the slots named after them. Forms switch
    // off uic's own pass, which would warn about every slot whose widget that
    // kind's form does not have.
    void connectWidgets();
    // Steps every kind's updateFrame shares.
    void showPosition(QLineEdit *x, QLineEdit *y) const;
    void showSize(QLineEdit *w, QLineEdit *h) const;
    QString portButtonText() const;
    // Fill a widget from the record without taking it as an edit.
    static void showNumber(QSpinBox *box, int field);
    static void showFlag(QCheckBox *box, bool field);
    static void showText(QLineEdit *edit, const QString &text);

private:
    Item *m_owner = nullptr;
    bool m_formBuilt = false;
};

template<typename Change>
void FrameUpdater::editRecord(Change change)
{
    ItemRecord record = m_owner->record();
    change(record);
    m_owner->setRecord(record);
    m_owner->refreshProperties();
}

#endif // FRAMEUPDATER_H
