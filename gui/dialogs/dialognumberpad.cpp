#include "gui/dialogs/dialognumberpad.h"
#include "ui_dialognumberpad.h"

#include "gui/dialogs/panelmessagebox.h"

#include <QKeyEvent>
#include <QScreen>

#include <algorithm>
#include <utility>

DialogNumberPad::DialogNumberPad(const QString &prompt, const QString &text, bool dot, int maxLength, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_ui(new Ui::DialogNumberPad)
    , m_text(text.left(maxLength))
    , m_dot(dot)
    , m_maxLength(maxLength)
{
    m_ui->setupUi(this); // also connects the buttons to the on_<name>_clicked slots
    m_ui->labelPrompt->setText(prompt);
    QPushButton *const digits[] = {m_ui->pushButton0, m_ui->pushButton1, m_ui->pushButton2, m_ui->pushButton3,
                                   m_ui->pushButton4, m_ui->pushButton5, m_ui->pushButton6, m_ui->pushButton7,
                                   m_ui->pushButton8, m_ui->pushButton9};
    for (int digit = 0; digit < 10; ++digit) {
        const QLatin1Char character(char('0' + digit));
        connect(digits[digit], &QPushButton::clicked, this, [this, character] { add(character); });
        m_keys << digits[digit];
    }
    connect(m_ui->pushButtonDot, &QPushButton::clicked, this, [this] { add(QLatin1Char('.')); });
    m_ui->pushButtonDot->setEnabled(dot);
    m_keys << m_ui->pushButtonDot << m_ui->pushButtonBack << m_ui->pushButtonOk;
    scaleTo(parent ? parent->window()->size() : QSize(1024, 768));
    showText();
}

DialogNumberPad::~DialogNumberPad()
{
    delete m_ui;
}

void DialogNumberPad::scaleTo(const QSize &windowSize)
{
    // Keys as a box's buttons: a tenth of the window, never below the fingertip.
    const int edge = PanelMessageBox::buttonEdge(windowSize, screen() ? screen()->physicalDotsPerInch() : 0);
    for (QPushButton *key : std::as_const(m_keys))
        key->setFixedSize(edge, edge);
    m_ui->pushButtonCancel->setFixedHeight(edge);
    layout()->setContentsMargins(edge / 4, edge / 4, edge / 4, edge / 4);
    setStyleSheet(QStringLiteral("QDialog#DialogNumberPad { border: 2px solid #EEEEEE; }"
                                 "QPushButton:enabled, QPushButton:disabled { font-size: %1px; }"
                                 "QLabel#labelPrompt { font-size: %2px; }"
                                 "QLabel#labelEntry { font-size: %1px; min-height: %1px; }")
                      .arg(edge * 4 / 10)
                      .arg(std::max(12, edge * 25 / 100)));
}

void DialogNumberPad::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        add(QLatin1Char(char('0' + (key - Qt::Key_0))));
    else if (key == Qt::Key_Period)
        add(QLatin1Char('.'));
    else if (key == Qt::Key_Backspace)
        on_pushButtonBack_clicked();
    else if (key == Qt::Key_Return || key == Qt::Key_Enter)
        on_pushButtonOk_clicked();
    else
        QDialog::keyPressEvent(event);
}

void DialogNumberPad::add(QChar character)
{
    if (m_text.size() >= m_maxLength || (character == QLatin1Char('.') && !m_dot))
        return;
    m_text.append(character);
    showText();
}

void DialogNumberPad::on_pushButtonBack_clicked()
{
    m_text.chop(1);
    showText();
}

void DialogNumberPad::on_pushButtonOk_clicked()
{
    accept();
}

void DialogNumberPad::on_pushButtonCancel_clicked()
{
    reject();
}

void DialogNumberPad::showText()
{
    // A field left empty still shows where the text goes.
    m_ui->labelEntry->setText(m_text.isEmpty() ? QStringLiteral("_") : m_text);
}
