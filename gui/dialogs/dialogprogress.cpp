#include "gui/dialogs/dialogprogress.h"

#include <QCoreApplication>

#include "ui_dialogprogress.h"

DialogProgress::DialogProgress(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::DialogProgress)
{
    m_ui->setupUi(this);
    m_value = m_ui->progressBar->value();
    m_pending.setSingleShot(true);
    connect(&m_pending, &QTimer::timeout, this, &DialogProgress::showValue);
}

DialogProgress::~DialogProgress()
{
    delete m_ui;
}

void DialogProgress::setValue(int percent)
{
    m_value = percent;
    if (!m_shown.isValid() || m_shown.hasExpired(paintInterval))
        showValue();
    else if (!m_pending.isActive())
        m_pending.start(int(qMax<qint64>(0, paintInterval - m_shown.elapsed())));
    emit valueSet(percent);
    QCoreApplication::processEvents();
}

void DialogProgress::showValue()
{
    m_pending.stop();
    m_ui->progressBar->setValue(m_value);
    m_shown.start();
}
