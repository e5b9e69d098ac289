#include "gui/dialogs/dialogselectproject.h"
#include "core/startup/logcategories.h"
#include "ui_dialogselectproject.h"

#include "core/download/transferprotocol.h"
#include "core/storage/projectdirectory.h"

#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QScreen>

namespace {

QString fontSizeStyle(int s)
{
    return QStringLiteral("font-size: %1px; background-color: transparent;").arg(s / 30);
}

} // namespace

DialogSelectProject::DialogSelectProject(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DialogSelectProject)
    , projectsDir(projectDirectory())
    , receiver(projectDirectory())
{
    ui->setupUi(this);

    if (!transferSocket.bind(TransferProtocol::TransferPort))
        ui->pushButtonDownload->setText(transferSocket.errorString());
    if (!discoverySocket.bind(TransferProtocol::DiscoveryPort))
        ui->pushButtonDownload->setText(discoverySocket.errorString());
    downloadButtonText = ui->pushButtonDownload->text();

    ui->lineEditPort->setText(QString::number(TransferProtocol::DesignerPort));

    if (QScreen *screen = QGuiApplication::screens().value(0)) {
        const QSize size = screen->size();
        ui->labelScreen->setText(QStringLiteral("<b>Auflösung:</b> %1 x %2")
                                     .arg(size.width())
                                     .arg(size.height()));
    }

    QDir().mkpath(projectsDir);
    qCDebug(lcDialogs) << "mkpath: " << projectsDir;

    connect(&transferSocket, &QUdpSocket::readyRead, this, &DialogSelectProject::readReady);
    connect(&discoverySocket, &QUdpSocket::readyRead, this, &DialogSelectProject::readReady);
    connect(&helloTimer, &QTimer::timeout, this, &DialogSelectProject::timeout);
    helloTimer.start(2000);
    connect(&stallTimer, &QTimer::timeout, this, &DialogSelectProject::checkStall);
    setStallLimit(int(TransferReceiver::StallLimit));

    timeout();
    refreshProjectList();
}

DialogSelectProject::~DialogSelectProject()
{
    delete ui;
}

QString DialogSelectProject::selectedProject() const
{
    const QListWidgetItem *item = ui->listWidget->currentItem();
    if (!item)
        return QString();
    return projectsDir + item->data(Qt::UserRole).toString();
}

void DialogSelectProject::refreshProjectList()
{
    ui->currentLayout->setDirection(height() < width() ? QBoxLayout::LeftToRight
                                                       : QBoxLayout::TopToBottom);
    ui->currentLayout->setStretch(0, 20);
    ui->currentLayout->setStretch(1, 1);

    const int s = qMin(width(), height());
    listFont.setPixelSize(qMax(1, s / 15));

    ui->listWidget->clear();
    const QDir dir(projectsDir);
    qCDebug(lcDialogs) << "Directory" << dir.path();
    qCDebug(lcDialogs) << "Insert Project To List";
    const QStringList files = dir.entryList({QStringLiteral("*.qlxd")},
                                            QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                                            QDir::Name | QDir::IgnoreCase);
    qCDebug(lcDialogs) << files;
    for (const QString &file : files) {
        QString name = file;
        name.remove(QStringLiteral(".qlxd"));
        auto *item = new QListWidgetItem(name, ui->listWidget);
        // The shown name may have lost more than the extension (Gamma.qlxd.qlxd),
        // so the entry keeps the file it stands for.
        item->setData(Qt::UserRole, file);
        item->setFont(listFont);
    }
    qCDebug(lcDialogs) << "Insert Project To List FNISHED";

    setStyleSheet(QStringLiteral(
        "background: qlineargradient( x1:0 y1:0, x2:0 y2:1, stop:0 #777777, stop:1 black);"));
    ui->listWidget->setStyleSheet(QStringLiteral("border: 1px solid #FFFFFF; background: transparent;"));
    const QString style = fontSizeStyle(s);
    for (QWidget *widget : {static_cast<QWidget *>(ui->widgetDownload),
                            static_cast<QWidget *>(ui->labelScreen),
                            static_cast<QWidget *>(ui->labelInfo),
                            static_cast<QWidget *>(ui->labelHost),
                            static_cast<QWidget *>(ui->labelPort),
                            static_cast<QWidget *>(ui->labelProjects),
                            static_cast<QWidget *>(ui->lineEditPort),
                            static_cast<QWidget *>(ui->pushButtonDownload)}) {
        widget->setStyleSheet(style);
    }
    ui->comboBoxHost->setStyleSheet(
        QStringLiteral("QComboBox{ %1 } QComboBox::drop-down { width: %2px; }").arg(style).arg(s / 10));
    ui->verticalLayout_2->setContentsMargins(0, 0, 0, s / 15);
}

void DialogSelectProject::timeout()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol
                || entry.broadcast().toString().isEmpty()) {
                continue;
            }
            discoverySocket.writeDatagram(TransferProtocol::discoveryRequest(), entry.broadcast(),
                                          TransferProtocol::DesignerPort);
        }
    }
}

void DialogSelectProject::setStallLimit(int msec)
{
    receiver.setStallLimit(msec);
    // Checked often enough that a stall shows within a tenth of the limit.
    stallTimer.setInterval(qMax(1, msec / 10));
}

void DialogSelectProject::checkStall()
{
    if (receiver.isIdle())
        stallTimer.stop();
    else
        showOutcome(receiver.checkStall());
}

void DialogSelectProject::on_pushButtonDownload_clicked()
{
    requestHost = QHostAddress(ui->comboBoxHost->currentText().trimmed());
    bool ok = false;
    requestPort = ui->lineEditPort->text().toUShort(&ok, 10);
    receiver.begin(requestHost);
    stallTimer.start();
    ui->pushButtonDownload->setText(downloadButtonText);
    ui->progressBarState->setMaximum(100);
    ui->progressBarState->setValue(0);
    qCDebug(lcDialogs) << "START FROM" << requestHost;
    // An address or port that does not parse sends nothing: the request goes nowhere.
    if (!requestHost.isNull() && ok)
        transferSocket.writeDatagram(TransferProtocol::transferRequest(), requestHost, requestPort);
}

void DialogSelectProject::on_listWidget_clicked(const QModelIndex &index)
{
    if (index.isValid())
        accept();
}

void DialogSelectProject::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    refreshProjectList();
}

void DialogSelectProject::readReady()
{
    qCDebug(lcDialogs) << "Begin Receive";
    auto *signalled = qobject_cast<QUdpSocket *>(sender());
    const QList<QUdpSocket *> sockets = signalled
        ? QList<QUdpSocket *>{signalled}
        : QList<QUdpSocket *>{&transferSocket, &discoverySocket};
    for (QUdpSocket *socket : sockets) {
        while (socket->hasPendingDatagrams()) {
            // Anything past the protocol's limit is cut off here, not read.
            const QNetworkDatagram datagram =
                socket->receiveDatagram(TransferProtocol::MaxDatagramSize);
            if (!datagram.isValid())
                continue;
            handleDatagram(datagram.data(), datagram.senderAddress());
        }
    }
    qCDebug(lcDialogs) << "End Receive";
}

void DialogSelectProject::handleDatagram(const QByteArray &datagram, const QHostAddress &sender)
{
    if (TransferProtocol::isDiscoveryAnswer(datagram)) {
        addHost(sender);
        return;
    }
    showOutcome(receiver.receive(datagram, sender));
}

void DialogSelectProject::showOutcome(TransferReceiver::Outcome outcome)
{
    switch (outcome) {
    case TransferReceiver::Ignored:
        break;
    case TransferReceiver::Acknowledge:
        ui->progressBarState->setMaximum(100);
        ui->progressBarState->setValue(receiver.percent());
        acknowledge();
        break;
    case TransferReceiver::Completed:
        ui->progressBarState->setValue(receiver.percent());
        qInfo().noquote() << "Download complete:" << receiver.fileName();
        refreshProjectList();
        break;
    case TransferReceiver::Refused:
    case TransferReceiver::Failed:
        qCritical().noquote() << receiver.reason();
        ui->pushButtonDownload->setText(receiver.message());
        ui->progressBarState->setValue(0);
        break;
    }
}

void DialogSelectProject::addHost(const QHostAddress &sender)
{
    const QString address = TransferProtocol::dottedQuad(sender);
    if (address.isEmpty()) {
        qCDebug(lcDialogs) << "WAVE from a non-IPv4 address dropped:" << sender;
        return;
    }
    if (ui->comboBoxHost->findText(address, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        ui->comboBoxHost->addItem(address);
}

void DialogSelectProject::acknowledge()
{
    transferSocket.writeDatagram(receiver.acknowledgement(), requestHost, requestPort);
}
