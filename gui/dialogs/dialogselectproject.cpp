#include "gui/dialogs/dialogselectproject.h"
#include "gui/logging/guilogcategories.h"
#include "ui_dialogselectproject.h"

#include "core/download/transferprotocol.h"
#include "core/package/projectdirectory.h"
#include "gui/dialogs/dialognumberpad.h"
#include "gui/dialogs/nameelider.h"
#include "gui/dialogs/panelmessagebox.h"

#include <QDebug>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QScroller>

namespace {

QString fontSizeStyle(int s)
{
    return QStringLiteral("font-size: %1px; background-color: transparent;").arg(s / 30);
}

} // namespace

DialogSelectProject::DialogSelectProject(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::DialogSelectProject)
    , m_projectsDir(projectDirectory())
    , m_link(projectDirectory())
{
    m_ui->setupUi(this);

    if (!m_link.bindError().isEmpty())
        m_ui->pushButtonDownload->setText(m_link.bindError());
    m_downloadButtonText = m_ui->pushButtonDownload->text();

    m_ui->lineEditPort->setText(QString::number(TransferProtocol::DesignerPort));

    if (QScreen *screen = QGuiApplication::screens().value(0)) {
        const QSize size = screen->size();
        m_ui->labelScreen->setText(tr("<b>Auflösung:</b> %1 x %2").arg(size.width()).arg(size.height()));
    }

    QDir().mkpath(m_projectsDir);
    qCDebug(lcDialogs) << "mkpath: " << m_projectsDir;

    connect(&m_link, &DesignerLink::readyRead, this, &DialogSelectProject::readReady);
    connect(&m_link, &DesignerLink::helloDue, this, &DialogSelectProject::timeout);
    connect(&m_link, &DesignerLink::hostFound, this, &DialogSelectProject::addHost);
    connect(&m_link, &DesignerLink::hostLost, this, &DialogSelectProject::removeHost);
    connect(&m_link, &DesignerLink::transferChanged, this, &DialogSelectProject::showOutcome);

    timeout();
    refreshProjectList();
}

DialogSelectProject::~DialogSelectProject()
{
    // The gesture's recognizer is Qt's until it is given up; a dialog opened
    // from a panel's page without a project comes and goes.
    if (m_touch)
        QScroller::ungrabGesture(m_ui->listWidget->viewport());
    delete m_ui;
}

QString DialogSelectProject::selectedProject() const
{
    const QListWidgetItem *item = m_ui->listWidget->currentItem();
    if (!item)
        return QString();
    return m_projectsDir + item->data(Qt::UserRole).toString();
}

void DialogSelectProject::refreshProjectList()
{
    m_ui->currentLayout->setDirection(height() < width() ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    m_ui->currentLayout->setStretch(0, 20);
    m_ui->currentLayout->setStretch(1, 1);

    const int s = qMin(width(), height());
    m_listFont.setPixelSize(qMax(1, s / 15));

    m_ui->listWidget->clear();
    const QDir dir(m_projectsDir);
    qCDebug(lcDialogs) << "Directory" << dir.path();
    qCDebug(lcDialogs) << "Insert Project To List";
    const QStringList files = dir.entryList({QStringLiteral("*.qlxd")}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                                            QDir::Name | QDir::IgnoreCase);
    qCDebug(lcDialogs) << files;
    for (const QString &file : files) {
        QString name = file;
        name.remove(QStringLiteral(".qlxd"));
        auto *item = new QListWidgetItem(name, m_ui->listWidget);
        // The shown name may have lost more than the extension (Gamma.qlxd.qlxd),
        // so the entry keeps the file it stands for.
        item->setData(Qt::UserRole, file);
        item->setData(Qt::UserRole + 1, name);
        item->setFont(m_listFont);
    }
    qCDebug(lcDialogs) << "Insert Project To List FNISHED";
    elideNames();

    setStyleSheet(QStringLiteral("background: qlineargradient( x1:0 y1:0, x2:0 y2:1, stop:0 #777777, stop:1 black);"));
    m_ui->listWidget->setStyleSheet(QStringLiteral("border: 1px solid #FFFFFF; background: transparent;"));
    const QString style = fontSizeStyle(s);
    for (QWidget *widget :
         {static_cast<QWidget *>(m_ui->widgetDownload), static_cast<QWidget *>(m_ui->labelScreen),
          static_cast<QWidget *>(m_ui->labelInfo), static_cast<QWidget *>(m_ui->labelHost),
          static_cast<QWidget *>(m_ui->labelPort), static_cast<QWidget *>(m_ui->labelProjects),
          static_cast<QWidget *>(m_ui->lineEditPort), static_cast<QWidget *>(m_ui->pushButtonDownload)}) {
        widget->setStyleSheet(style);
    }
    m_ui->comboBoxHost->setStyleSheet(
        QStringLiteral("QComboBox{ %1 } QComboBox::drop-down { width: %2px; }").arg(style).arg(s / 10));
    m_ui->verticalLayout_2->setContentsMargins(0, 0, 0, s / 15);
    // What a finger taps is as tall as a box's buttons: a tenth of the
    // shorter side, and never below the fingertip.
    const int tap = m_touch ? PanelMessageBox::buttonEdge(size(), screen() ? screen()->physicalDotsPerInch() : 0) : 0;
    for (QWidget *widget : {static_cast<QWidget *>(m_ui->comboBoxHost), static_cast<QWidget *>(m_ui->lineEditPort),
                            static_cast<QWidget *>(m_ui->pushButtonDownload)})
        widget->setMinimumHeight(tap);
}

void DialogSelectProject::setTouch(bool on)
{
    if (on == m_touch)
        return;
    m_touch = on;
    QWidget *viewport = m_ui->listWidget->viewport();
    QLineEdit *host = m_ui->comboBoxHost->lineEdit();
    if (on) {
        setWindowState(windowState() | Qt::WindowFullScreen);
        // Without a window manager (a kiosk on bare X11) nobody acts on the
        // state: the dialog takes the screen's area itself.
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (screen && !screen->availableGeometry().isEmpty())
            setGeometry(screen->availableGeometry());
        // A finger's own gesture: the one for the mouse passes over the
        // presses Qt makes of touches.
        QScroller::grabGesture(viewport, QScroller::TouchGesture);
        m_ui->listWidget->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        m_ui->listWidget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_ui->listWidget->setTextElideMode(Qt::ElideNone); // shortened here, apart
        // The list, not one line of the panel beside it, takes the width.
        m_ui->labelInfo->setWordWrap(true);
        for (QObject *watched : {static_cast<QObject *>(viewport), static_cast<QObject *>(host),
                                 static_cast<QObject *>(m_ui->lineEditPort)})
            watched->installEventFilter(this);
    } else {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        QScroller::ungrabGesture(viewport);
        m_ui->listWidget->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
        m_ui->listWidget->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        m_ui->listWidget->setTextElideMode(Qt::ElideRight);
        m_ui->labelInfo->setWordWrap(false);
        for (QObject *watched : {static_cast<QObject *>(viewport), static_cast<QObject *>(host),
                                 static_cast<QObject *>(m_ui->lineEditPort)})
            watched->removeEventFilter(this);
    }
    refreshProjectList();
}

bool DialogSelectProject::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->listWidget->viewport()) {
        if (event->type() == QEvent::Resize)
            elideNames();
        return false;
    }
    // A tap on a field: the pad, not a keyboard the panel does not have.
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        askFor(static_cast<QWidget *>(watched));
        return true;
    }
    return false;
}

void DialogSelectProject::askFor(QWidget *field)
{
    const bool port = field == m_ui->lineEditPort;
    auto *edit = port ? m_ui->lineEditPort : m_ui->comboBoxHost->lineEdit();
    // A port has five digits; an IPv4 address with its dots fifteen.
    DialogNumberPad pad(port ? tr("Port:") : tr("Host/IP:"), edit->text(), !port, port ? 5 : 15, this);
    pad.scaleTo(size());
    if (pad.exec() == QDialog::Accepted)
        edit->setText(pad.text());
}

void DialogSelectProject::elideNames()
{
    QListWidget *list = m_ui->listWidget;
    if (list->count() == 0)
        return;
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->data(Qt::UserRole + 1).toString();
    QStringList shown = names;
    if (m_touch) {
        const QFontMetrics metrics(m_listFont);
        // The entry's own margins, a few pixels each side.
        const int room = list->viewport()->width() - 2 * list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) - 8;
        shown =
            NameElider::elide(names, room, [&metrics](const QString &text) { return metrics.horizontalAdvance(text); });
    }
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setText(shown.at(i));
}

void DialogSelectProject::timeout()
{
    m_link.sayHello();
}

void DialogSelectProject::setStallLimit(int msec)
{
    m_link.setStallLimit(msec);
}

void DialogSelectProject::on_pushButtonDownload_clicked()
{
    m_ui->pushButtonDownload->setText(m_downloadButtonText);
    m_ui->progressBarState->setMaximum(100);
    m_ui->progressBarState->setValue(0);
    m_link.request(m_ui->comboBoxHost->currentText(), m_ui->lineEditPort->text());
}

void DialogSelectProject::on_listWidget_clicked(const QModelIndex &index)
{
    // A finger that scrolled the list lifts over whatever has come under it:
    // on a slow panel the press reached the list before the drag was seen.
    QWidget *viewport = m_ui->listWidget->viewport();
    if (m_touch && QScroller::hasScroller(viewport) && QScroller::scroller(viewport)->state() != QScroller::Inactive)
        return;
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
    m_link.readPending();
}

void DialogSelectProject::showOutcome(TransferReceiver::Outcome outcome)
{
    const TransferReceiver &receiver = m_link.receiver();
    switch (outcome) {
    case TransferReceiver::Ignored:
        break;
    case TransferReceiver::Acknowledge:
        m_ui->progressBarState->setMaximum(100);
        m_ui->progressBarState->setValue(receiver.percent());
        break;
    case TransferReceiver::Completed:
        m_ui->progressBarState->setValue(receiver.percent());
        refreshProjectList();
        break;
    case TransferReceiver::Refused:
    case TransferReceiver::Failed:
        m_ui->pushButtonDownload->setText(receiver.message());
        m_ui->progressBarState->setValue(0);
        break;
    }
}

void DialogSelectProject::addHost(const QString &address)
{
    if (m_ui->comboBoxHost->findText(address, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        m_ui->comboBoxHost->addItem(address);
}

void DialogSelectProject::removeHost(const QString &address)
{
    QComboBox *hosts = m_ui->comboBoxHost;
    const int index = hosts->findText(address, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return;
    const bool shown = hosts->currentText() == address;
    hosts->removeItem(index);
    // Not preselected any longer: the next host listed, or none.
    if (shown)
        hosts->setCurrentIndex(hosts->count() > 0 ? 0 : -1);
}
