#ifndef DIALOGOPTIONS_H
#define DIALOGOPTIONS_H

#include <QDialog>

#include <functional>

namespace Ui {
class DialogOptions;
}

// The two stored preferences, kept in settings.ini in the projects directory:
// the project to start automatically and automatic connection. Saving accepts
// the dialog; the caller then closes the application so it starts anew. A
// save that does not reach the file is reported and leaves the dialog open.
class DialogOptions : public QDialog
{
    Q_OBJECT

public:
    // How the operator is told that saving failed. A modal message box by
    // default; tests put a recorder here.
    using MessageFunction = std::function<void(const QString &text)>;
    static MessageFunction showMessage;
    static void messageBox(const QString &text);

    explicit DialogOptions(QWidget *parent = nullptr);
    ~DialogOptions() override;

    static QString settingsPath();
    static QString noProjectText();

    // What the note under the options says saving leads to: a restart by
    // the kiosk launcher, or the end of the panel.
    QString restartNote() const;

public slots:
    void on_pushButtonSave_clicked();
    // Closes the dialog unsaved: a kiosk without a window manager has no
    // other way a finger can reach.
    void on_pushButtonCancel_clicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    Ui::DialogOptions *m_ui;
};

#endif // DIALOGOPTIONS_H
