#ifndef DIALOGPROGRESS_H
#define DIALOGPROGRESS_H

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

namespace Ui {
class DialogProgress;
}

// The small bar shown while a project loads. Loading runs on the GUI thread,
// so every step lets the dialog repaint. The bar paints itself at once on a
// new value, which cost a quarter of a fast load; it shows a new value at
// most every paintInterval milliseconds, and the newest one at the latest
// that much later.
class DialogProgress : public QDialog
{
    Q_OBJECT
public:
    explicit DialogProgress(QWidget *parent = nullptr);
    ~DialogProgress() override;

    static constexpr int paintInterval = 40;

    void setValue(int percent);
    // The value last set, shown or about to be.
    int value() const { return m_value; }

signals:
    // Every value set, also one equal to the last.
    void valueSet(int percent);

private:
    void showValue();

    Ui::DialogProgress *m_ui;
    int m_value = 0;
    QElapsedTimer m_shown;
    QTimer m_pending;
};

#endif // DIALOGPROGRESS_H
