#ifndef DIALOGNUMBERPAD_H
#define DIALOGNUMBERPAD_H

#include <QDialog>
#include <QList>

class QPushButton;

namespace Ui {
class DialogNumberPad;
}

// A pad for a field a finger must fill on a panel without a keyboard: the
// designer computer's address or its port. Digits, and the dot where the
// field takes one, delete and OK, with keys sized like the PIN pad's. A
// keyboard's digits, dot, backspace and Enter work too.
class DialogNumberPad : public QDialog
{
    Q_OBJECT

public:
    // `prompt` names the field, `text` is what it holds; `maxLength`
    // characters at most.
    DialogNumberPad(const QString &prompt, const QString &text, bool dot, int maxLength, QWidget *parent = nullptr);
    ~DialogNumberPad() override;

    QString text() const { return m_text; }
    // Keys as a box's buttons: a tenth of the window's shorter side, at least 9 mm.
    void scaleTo(const QSize &windowSize);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_pushButtonBack_clicked();
    void on_pushButtonOk_clicked();
    void on_pushButtonCancel_clicked();

private:
    void add(QChar character);
    void showText();

    Ui::DialogNumberPad *m_ui;
    QString m_text;
    bool m_dot;
    int m_maxLength;
    QList<QPushButton *> m_keys;
};

#endif // DIALOGNUMBERPAD_H
