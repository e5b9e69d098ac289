#include "options/dialogoptions.h"
#include "ui_dialogoptions.h"

#include "storage/projectdirectory.h"

#include <QDebug>
#include <QDir>
#include <QSettings>
#include <QStyledItemDelegate>

namespace {

const char keyProjectAutoStart[] = "projectAutoStart";
const char keyAutoConnect[] = "autoConnect";

} // namespace

DialogOptions::DialogOptions(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DialogOptions)
{
    ui->setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());

    const QSettings settings(settingsPath(), QSettings::IniFormat);
    const QStringList files = QDir(projectDirectory())
                                  .entryList({QStringLiteral("*.qlxd")},
                                             QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                                             QDir::Name | QDir::IgnoreCase);
    ui->comboBox->addItem(noProjectText());
    ui->comboBox->addItems(files);

    const QString stored =
        settings.value(QLatin1String(keyProjectAutoStart), QStringLiteral("No Project")).toString();
    const int index = ui->comboBox->findText(stored, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        ui->comboBox->setCurrentIndex(index);

    ui->checkBoxAutoConnectExtern->setChecked(
        settings.value(QLatin1String(keyAutoConnect), true).toBool());
}

DialogOptions::~DialogOptions()
{
    delete ui;
}

QString DialogOptions::settingsPath()
{
    return projectDirectory() + QStringLiteral("/settings.ini");
}

QString DialogOptions::noProjectText()
{
    return QStringLiteral("- Kein Projekt -");
}

void DialogOptions::on_pushButtonSave_clicked()
{
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        settings.setValue(QLatin1String(keyProjectAutoStart), ui->comboBox->currentText());
        settings.setValue(QLatin1String(keyAutoConnect),
                          ui->checkBoxAutoConnectExtern->checkState() == Qt::Checked);
    }
    accept();
}

void DialogOptions::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);

    const int s = qMin(width(), height());
    qDebug() << "FONT-RESIZE-OPTION" << s;
    const QString f = QStringLiteral("font-size: %1px;").arg(s / 20);
    setStyleSheet(f);

    ui->checkBoxAutoConnectExtern->setStyleSheet(
        QStringLiteral("QCheckBox::indicator {\n    width: %1px;\n    height: %1px;}").arg(s / 20) + f);
    ui->checkBoxAutoConnectExtern->repaint();

    // The style sheet's item heights take effect only with a styled delegate.
    // The combo box deletes the delegate it had.
    ui->comboBox->setItemDelegate(new QStyledItemDelegate(ui->comboBox));
    ui->comboBox->setStyleSheet(
        QStringLiteral("QComboBox{ %1 } QComboBox::drop-down { width: %2px; }"
                       "QComboBox QAbstractItemView::item {min-height:%3px; }"
                       "QComboBox QAbstractItemView::item:hover{min-height:%3px; }")
            .arg(f)
            .arg(s / 10)
            .arg(s / 15));
    ui->comboBox->repaint();
}
