#ifndef DIALOGOPTIONS_H
#define DIALOGOPTIONS_H

#include <QDialog>

namespace Ui {
class DialogOptions;
}

// The two stored preferences, kept in settings.ini in the projects directory:
// the project to start automatically and automatic connection. Saving accepts
// the dialog; the caller then closes the application so it starts anew.
class DialogOptions : public QDialog
{
    Q_OBJECT

public:
    explicit DialogOptions(QWidget *parent = nullptr);
    ~DialogOptions() override;

    static QString settingsPath();
    static QString noProjectText();

public slots:
    void on_pushButtonSave_clicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    Ui::DialogOptions *ui;
};

#endif // DIALOGOPTIONS_H
