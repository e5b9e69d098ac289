#include "gui/window/noprojectnotice.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

NoProjectNotice::NoProjectNotice(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
    , m_choose(new QPushButton(tr("Projekt wählen"), this))
{
    setObjectName(QStringLiteral("noProjectNotice"));
    m_label->setObjectName(QStringLiteral("labelNoProject"));
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);
    m_choose->setObjectName(QStringLiteral("pushButtonChooseProject"));
    m_choose->setAutoDefault(false);
    auto *layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(m_label);
    layout->addWidget(m_choose, 0, Qt::AlignLeft);
    layout->addStretch(2);
    connect(m_choose, &QPushButton::clicked, this, &NoProjectNotice::chooseProject);
    setReason(QString());
}

void NoProjectNotice::setReason(const QString &why)
{
    m_why = why;
    QString text = tr("Kein Projekt geladen.");
    if (!why.isEmpty())
        text += QLatin1Char('\n') + why;
    text += QStringLiteral("\n\n")
        + tr("„Projekt wählen“ zeigt die Projekte dieses Panels und holt neue vom Computer, auf dem der Designer "
             "läuft. Damit eines bei jedem Start öffnet: in den Optionen (Zahnrad oben rechts) unter „Autostart "
             "Projekt“ wählen und „Speichern (Restart App)“ drücken.");
    m_label->setText(text);
}

QString NoProjectNotice::text() const
{
    return m_label->text();
}

void NoProjectNotice::fit(const QRect &area)
{
    setGeometry(area);
    const int shorter = std::min(area.width(), area.height());
    const int edge = std::max(24, shorter / 8);
    layout()->setContentsMargins(edge / 2, 0, edge / 2, 0);
    m_choose->setMinimumSize(edge * 4, edge);
    setStyleSheet(QStringLiteral("QLabel#labelNoProject { font-size: %1px; color: #EEEEEE; }"
                                 "QPushButton#pushButtonChooseProject { font-size: %2px; padding: 0px %3px; }")
                      .arg(std::max(12, shorter / 26))
                      .arg(std::max(12, edge * 4 / 10))
                      .arg(edge / 3));
}
