#ifndef DIALOGSELECTPROJECT_H
#define DIALOGSELECTPROJECT_H

#include "core/download/transferreceiver.h"

#include <QDialog>
#include <QFont>
#include <QHostAddress>
#include <QModelIndex>
#include <QTimer>
#include <QUdpSocket>

namespace Ui {
class DialogSelectProject;
}

// Lists the packages of the projects directory for the operator to pick one,
// and fetches new packages from the designer computer: it broadcasts "HELLO"
// every two seconds, lists the hosts that answer, and receives a package from
// the chosen host when asked to.
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
    void handleDatagram(const QByteArray &datagram, const QHostAddress &sender);
    void addHost(const QHostAddress &sender);
    void acknowledge();
    void checkStall();
    void showOutcome(TransferReceiver::Outcome outcome);

    Ui::DialogSelectProject *ui;
    QString projectsDir;
    QFont listFont;
    QUdpSocket transferSocket;
    QUdpSocket discoverySocket;
    QTimer helloTimer;
    QTimer stallTimer;
    TransferReceiver receiver;
    QHostAddress requestHost;
    quint16 requestPort = 0;
    QString downloadButtonText;
};

#endif // DIALOGSELECTPROJECT_H
