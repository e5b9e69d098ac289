#ifndef DIALOGPIN_H
#define DIALOGPIN_H

#include <QDialog>
#include <QTimer>

class PinLock;
class QPushButton;

namespace Ui {
class DialogPin;
}

// The digit pad that asks for the PIN before exit or options, with keys big
// enough for a finger. It only collects digits and shows what the lock
// answers; the lock decides.
class DialogPin : public QDialog
{
    Q_OBJECT

public:
    DialogPin(PinLock *lock, QWidget *parent = nullptr);
    ~DialogPin() override;

    // Sizes the keys like the window's corner buttons: a tenth of the
    // window's shorter side.
    void scaleTo(const QSize &windowSize);
    // The German line under the keys; empty while there is nothing to say.
    QString message() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_pushButtonBack_clicked();
    void on_pushButtonOk_clicked();
    void on_pushButtonCancel_clicked();

private:
    void addDigit(QChar digit);
    void showEntry();
    // Keys off while the lock refuses everything, with the seconds left.
    void followLockOut();

    Ui::DialogPin *m_ui;
    PinLock *m_lock;
    QString m_entry;
    QList<QPushButton *> m_keys;
    QTimer m_lockOutTimer;
};

#endif // DIALOGPIN_H
