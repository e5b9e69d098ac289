#ifndef DIALOGSELECTPROJECT_H
#define DIALOGSELECTPROJECT_H

#include "core/download/designerlink.h"
#include "core/download/transferreceiver.h"

#include <QDialog>
#include <QFont>
#include <QModelIndex>

namespace Ui {
class DialogSelectProject;
}

// Lists the packages of the projects directory for the operator to pick one,
// and fetches new packages from the designer computer through its link: the
// hosts that answer the greeting are listed, a package comes from the chosen
// host when asked for.
class DialogSelectProject : public QDialog
{
    Q_OBJECT

public:
    explicit DialogSelectProject(QWidget *parent = nullptr);
    ~DialogSelectProject() override;

    // Path of the package the operator clicked; empty when none is chosen.
    QString selectedProject() const;

    void refreshProjectList();

    // How long a transfer may hear nothing from its designer (10 s; tests shorten it).
    void setStallLimit(int msec);

    // For a panel run by touch alone: the dialog fills the screen, the list
    // scrolls by dragging (a drag opens nothing), long names are shortened
    // so that they stay apart, and a tap on Host/IP or Port brings up a
    // number pad. Off, the dialog is as it always was.
    void setTouch(bool on);
    bool isTouch() const { return m_touch; }

public slots:
    void readReady();
    void timeout();
    void on_pushButtonDownload_clicked();
    void on_listWidget_clicked(const QModelIndex &index);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addHost(const QString &address);
    void removeHost(const QString &address);
    void showOutcome(TransferReceiver::Outcome outcome);
    // The list's names shortened to its width (touch only).
    void elideNames();
    // The number pad for the host or the port field.
    void askFor(QWidget *field);

    Ui::DialogSelectProject *m_ui;
    QString m_projectsDir;
    QFont m_listFont;
    DesignerLink m_link;
    QString m_downloadButtonText;
    bool m_touch = false;
};

#endif // DIALOGSELECTPROJECT_H
