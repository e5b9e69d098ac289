#include "gui/dialogs/dialogpin.h"
#include "ui_dialogpin.h"

#include "core/wall/pinlock.h"

#include <QDebug>
#include <QKeyEvent>

#include <algorithm>
#include <utility>

namespace {
const int maxDigits = 8;
}

DialogPin::DialogPin(PinLock *lock, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_ui(new Ui::DialogPin)
    , m_lock(lock)
{
    m_ui->setupUi(this); // also connects the buttons to the on_<name>_clicked slots
    QPushButton *const digits[] = {m_ui->pushButton0, m_ui->pushButton1, m_ui->pushButton2, m_ui->pushButton3,
                                   m_ui->pushButton4, m_ui->pushButton5, m_ui->pushButton6, m_ui->pushButton7,
                                   m_ui->pushButton8, m_ui->pushButton9};
    for (int digit = 0; digit < 10; ++digit) {
        const QLatin1Char text(char('0' + digit));
        connect(digits[digit], &QPushButton::clicked, this, [this, text] { addDigit(text); });
        m_keys << digits[digit];
    }
    m_keys << m_ui->pushButtonBack << m_ui->pushButtonOk;
    m_lockOutTimer.setInterval(1000);
    connect(&m_lockOutTimer, &QTimer::timeout, this, &DialogPin::followLockOut);
    scaleTo(parent ? parent->size() : QSize(1024, 768));
    showEntry();
    followLockOut();
}

DialogPin::~DialogPin()
{
    delete m_ui;
}

void DialogPin::scaleTo(const QSize &windowSize)
{
    const int edge = qMax(24, int(std::min(windowSize.width(), windowSize.height()) * 0.1));
    for (QPushButton *key : std::as_const(m_keys))
        key->setFixedSize(edge, edge);
    m_ui->pushButtonCancel->setFixedHeight(edge * 7 / 10);
    m_ui->labelMessage->setFixedWidth(3 * edge + 2 * layout()->spacing());
    m_ui->labelMessage->setMinimumHeight(edge * 6 / 10);
    layout()->setContentsMargins(edge / 4, edge / 4, edge / 4, edge / 4);
    // The window's style sheet sets every text to 12 px; this one is nearer.
    setStyleSheet(QStringLiteral("QDialog#DialogPin { border: 2px solid #EEEEEE; }"
                                 "QPushButton:enabled, QPushButton:disabled { font-size: %1px; }"
                                 "QLabel#labelPrompt { font-size: %2px; }"
                                 "QLabel#labelEntry { font-size: %1px; min-height: %1px; }"
                                 "QLabel#labelMessage { font-size: %2px; color: #FF8080; }")
                      .arg(edge * 4 / 10)
                      .arg(qMax(12, edge * 25 / 100)));
}

QString DialogPin::message() const
{
    return m_ui->labelMessage->text();
}

void DialogPin::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        addDigit(QLatin1Char(char('0' + (key - Qt::Key_0))));
    } else if (key == Qt::Key_Backspace) {
        on_pushButtonBack_clicked();
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        on_pushButtonOk_clicked();
    } else {
        QDialog::keyPressEvent(event);
    }
}

void DialogPin::addDigit(QChar digit)
{
    if (m_lock->isLockedOut() || m_entry.size() >= maxDigits)
        return;
    m_entry.append(digit);
    m_ui->labelMessage->clear();
    showEntry();
}

void DialogPin::on_pushButtonBack_clicked()
{
    m_entry.chop(1);
    showEntry();
}

void DialogPin::on_pushButtonOk_clicked()
{
    if (m_entry.isEmpty())
        return;
    const PinLock::Result result = m_lock->check(m_entry);
    m_entry.clear();
    showEntry();
    if (result == PinLock::Result::Accepted) {
        accept();
        return;
    }
    if (result == PinLock::Result::NoPin)
        qCritical().noquote() << m_lock->problem();
    m_ui->labelMessage->setText(m_lock->message(result));
    followLockOut();
}

void DialogPin::on_pushButtonCancel_clicked()
{
    reject();
}

void DialogPin::showEntry()
{
    // The digits themselves never show: someone may look over the shoulder.
    m_ui->labelEntry->setText(QString(m_entry.size(), QChar(0x25CF)));
}

void DialogPin::followLockOut()
{
    const bool locked = m_lock->isLockedOut();
    for (QPushButton *key : std::as_const(m_keys))
        key->setEnabled(!locked);
    if (locked) {
        m_ui->labelMessage->setText(m_lock->message(PinLock::Result::LockedOut));
        m_lockOutTimer.start();
    } else if (m_lockOutTimer.isActive()) {
        m_lockOutTimer.stop();
        m_ui->labelMessage->clear();
    }
}
