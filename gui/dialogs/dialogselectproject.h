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

public slots:
    void readReady();
    void timeout();
    void on_pushButtonDownload_clicked();
    void on_listWidget_clicked(const QModelIndex &index);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void addHost(const QString &address);
    void removeHost(const QString &address);
    void showOutcome(TransferReceiver::Outcome outcome);

    Ui::DialogSelectProject *m_ui;
    QString m_projectsDir;
    QFont m_listFont;
    DesignerLink m_link;
    QString m_downloadButtonText;
};

#endif // DIALOGSELECTPROJECT_H
