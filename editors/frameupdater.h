#ifndef FRAMEUPDATER_H
#define FRAMEUPDATER_H

#include <QColor>
#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QFrame>
#include <QString>
#include <QStringList>

class Item;
class QCheckBox;
class QLineEdit;
class QSpinBox;

// An item's property record and, at the same time, the editor form for it.
// Each item kind has its own frame class with its own form; the base holds
// the record, reads and writes it as an item element and edits it.
//
// Every item has a frame but frames are rarely shown, and a form is a dozen
// widgets, so a kind builds its form only when the frame is first shown or
// ensureForm() is called (the page-change frame builds its form at once). updateFrame() does its work on the record and the
// item either way and fills the widgets only once they exist.
class FrameUpdater : public QFrame
{
    Q_OBJECT

public:
    explicit FrameUpdater(Item *owner, QWidget *parent = nullptr);

    // The ends of the form's spin boxes. A record number above one comes back
    // as the top of the range at the next refresh, as the box would write it
    // back; one below is kept, so a font size of 0 read from a project stays 0.
    static constexpr int fontSizeMaximum = 100;
    static constexpr int digitsMaximum = 6;

    // Builds the kind's form, connects it and fills it from the record.
    void ensureForm();
    void setVisible(bool visible) override;

    // The colour dialog, replaceable so that a choice can be made without a
    // person at the screen. An invalid answer means the choice was cancelled.
    using ColorChooser = QColor (*)(const QColor &initial);
    static ColorChooser chooseColor;
    static QColor chooseColorWithDialog(const QColor &initial);

    QString textForState(int state) const;
    QString pictureForState(int state) const;

    // Reads an item element into the record and the owner, which must already
    // lie on a scene (its rectangle bounds the position).
    void load(const QDomNode &element);

    // While one lives, load() looks each picture name up in the file system
    // once: a project's files stay as they are while its pages are built, and
    // its items name the same few pictures thousands of times. GUI thread only.
    class LoadScope
    {
    public:
        LoadScope();
        ~LoadScope();
        LoadScope(const LoadScope &) = delete;
        LoadScope &operator=(const LoadScope &) = delete;
    };
    virtual void save(QDomDocument &document, QDomElement &element, QStringList &fileList);
    virtual void updateFrame();
    void refresh();

    // Text form of an item element property, and its reading back.
    static QString encodeText(const QString &text);
    static QString decodeText(const QString &stored);
    static int parseInt(const QString &text);

    bool bold = false;
    bool italic = false;
    int fontSize = 12;
    int color = 0xFFFFFF;
    int digits = 2;
    QString imageActive;
    QString imageInactive;
    QString imageUnknown;
    QString textActive;
    QString textInactive;
    QString textError;
    QString pageId;
    QString port = QString(QLatin1String(""));
    Item *owner = nullptr;

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
    QString placeholderText() const;

private:
    bool formBuilt = false;
};

#endif // FRAMEUPDATER_H
