#ifndef DIALOGPROGRESS_H
#define DIALOGPROGRESS_H

#include <QDialog>

namespace Ui {
class DialogProgress;
}

// The small bar shown while a project loads. Loading runs on the GUI thread,
// so every step lets the dialog repaint.
class DialogProgress : public QDialog
{
    Q_OBJECT
public:
    explicit DialogProgress(QWidget *parent = nullptr);
    ~DialogProgress() override;

    void setValue(int percent);
    int value() const;

signals:
    // Every value set, also one equal to the last.
    void valueSet(int percent);

private:
    Ui::DialogProgress *ui;
};

#endif // DIALOGPROGRESS_H
