#include "gui/dialogs/dialogselectproject.h"
#include "gui/logging/guilogcategories.h"
#include "ui_dialogselectproject.h"

#include "core/download/transferprotocol.h"
#include "core/package/projectdirectory.h"

#include <QDebug>
#include <QDir>
#include <QGuiApplication>
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
    , link(projectDirectory())
{
    ui->setupUi(this);

    if (!link.bindError().isEmpty())
        ui->pushButtonDownload->setText(link.bindError());
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

    connect(&link, &DesignerLink::readyRead, this, &DialogSelectProject::readReady);
    connect(&link, &DesignerLink::helloDue, this, &DialogSelectProject::timeout);
    connect(&link, &DesignerLink::hostFound, this, &DialogSelectProject::addHost);
    connect(&link, &DesignerLink::hostLost, this, &DialogSelectProject::removeHost);
    connect(&link, &DesignerLink::transferChanged, this, &DialogSelectProject::showOutcome);

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
    link.sayHello();
}

void DialogSelectProject::setStallLimit(int msec)
{
    link.setStallLimit(msec);
}

void DialogSelectProject::on_pushButtonDownload_clicked()
{
    ui->pushButtonDownload->setText(downloadButtonText);
    ui->progressBarState->setMaximum(100);
    ui->progressBarState->setValue(0);
    link.request(ui->comboBoxHost->currentText(), ui->lineEditPort->text());
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
    link.readPending();
}

void DialogSelectProject::showOutcome(TransferReceiver::Outcome outcome)
{
    const TransferReceiver &receiver = link.receiver();
    switch (outcome) {
    case TransferReceiver::Ignored:
        break;
    case TransferReceiver::Acknowledge:
        ui->progressBarState->setMaximum(100);
        ui->progressBarState->setValue(receiver.percent());
        break;
    case TransferReceiver::Completed:
        ui->progressBarState->setValue(receiver.percent());
        refreshProjectList();
        break;
    case TransferReceiver::Refused:
    case TransferReceiver::Failed:
        ui->pushButtonDownload->setText(receiver.message());
        ui->progressBarState->setValue(0);
        break;
    }
}

void DialogSelectProject::addHost(const QString &address)
{
    if (ui->comboBoxHost->findText(address, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        ui->comboBoxHost->addItem(address);
}

void DialogSelectProject::removeHost(const QString &address)
{
    QComboBox *hosts = ui->comboBoxHost;
    const int index = hosts->findText(address, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return;
    const bool shown = hosts->currentText() == address;
    hosts->removeItem(index);
    // Not preselected any longer: the next host listed, or none.
    if (shown)
        hosts->setCurrentIndex(hosts->count() > 0 ? 0 : -1);
}
