#include "gui/dialogs/dialogoptions.h"
#include "gui/logging/guilogcategories.h"
#include "ui_dialogoptions.h"

#include "core/package/projectdirectory.h"
#include "core/startup/startoptions.h"
#include "gui/dialogs/panelmessagebox.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStyledItemDelegate>

namespace {

const char keyProjectAutoStart[] = "projectAutoStart";
const char keyAutoConnect[] = "autoConnect";

// Whether the settings file can take a write. QSettings' status alone is not
// enough: some Qt versions report no error for a file they could not write.
bool writable(const QString &path)
{
    const QFileInfo file(path);
    if (file.exists())
        return file.isFile() && file.isWritable();
    const QFileInfo folder(file.absolutePath());
    return folder.isDir() && folder.isWritable();
}

// Whether the file on disk holds both keys: the write really took place.
bool written(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    return content.contains(QByteArray(keyProjectAutoStart) + '=')
        && content.contains(QByteArray(keyAutoConnect) + '=');
}

} // namespace

DialogOptions::MessageFunction DialogOptions::showMessage = &DialogOptions::messageBox;

void DialogOptions::messageBox(const QString &text)
{
    PanelMessageBox::tell(text, nullptr, QMessageBox::Warning);
}

DialogOptions::DialogOptions(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::DialogOptions)
{
    m_ui->setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());

    const QSettings settings(settingsPath(), QSettings::IniFormat);
    const QStringList files =
        QDir(projectDirectory())
            .entryList({QStringLiteral("*.qlxd")}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                       QDir::Name | QDir::IgnoreCase);
    // Shown in the operator's language, stored as ever (saving below).
    m_ui->comboBox->addItem(tr("- Kein Projekt -"));
    m_ui->comboBox->addItems(files);

    const QString stored = settings.value(QLatin1String(keyProjectAutoStart), QStringLiteral("No Project")).toString();
    const int index = m_ui->comboBox->findText(stored, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        m_ui->comboBox->setCurrentIndex(index);

    if (stored == noProjectText())
        m_ui->comboBox->setCurrentIndex(0);

    m_ui->checkBoxAutoConnectExtern->setChecked(settings.value(QLatin1String(keyAutoConnect), true).toBool());
    m_ui->labelRestart->setText(restartNote());
    const int fingertip = PanelMessageBox::fingertip(screen());
    m_ui->pushButtonCancel->setMinimumHeight(fingertip);
    m_ui->pushButtonSave->setMinimumHeight(fingertip);
}

QString DialogOptions::restartNote() const
{
    return StartOptions::startedByLauncher()
        ? tr("Speichern beendet die Anwendung; sie startet gleich mit den neuen Einstellungen wieder.")
        : tr("Speichern beendet die Anwendung. Sie startet nicht von selbst wieder: das tut nur der "
             "Kiosk-Starter (qalix-plus-control-kiosk).");
}

void DialogOptions::on_pushButtonCancel_clicked()
{
    reject();
}

DialogOptions::~DialogOptions()
{
    delete m_ui;
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
    const QString path = settingsPath();
    bool saved = writable(path);
    if (saved) {
        QSettings settings(path, QSettings::IniFormat);
        // The first entry is stored as its German text in every language:
        // the file is read by the launcher and by panels in other languages.
        settings.setValue(QLatin1String(keyProjectAutoStart),
                          m_ui->comboBox->currentIndex() == 0 ? noProjectText() : m_ui->comboBox->currentText());
        settings.setValue(QLatin1String(keyAutoConnect), m_ui->checkBoxAutoConnectExtern->checkState() == Qt::Checked);
        settings.sync();
        saved = settings.status() == QSettings::NoError && written(path);
    }
    if (!saved) {
        // Accepting would close the panel as if the options were stored.
        showMessage(tr("Die Einstellungen können nicht unter \"%1\" gespeichert werden!")
                        .arg(QDir::toNativeSeparators(QDir::cleanPath(path))));
        return;
    }
    accept();
}

void DialogOptions::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);

    const int s = qMin(width(), height());
    qCDebug(lcDialogs) << "FONT-RESIZE-OPTION" << s;
    const QString f = QStringLiteral("font-size: %1px;").arg(s / 20);
    setStyleSheet(f);

    m_ui->checkBoxAutoConnectExtern->setStyleSheet(
        QStringLiteral("QCheckBox::indicator {\n    width: %1px;\n    height: %1px;}").arg(s / 20) + f);
    m_ui->checkBoxAutoConnectExtern->repaint();

    // The style sheet's item heights take effect only with a styled delegate.
    // The combo box deletes the delegate it had.
    m_ui->comboBox->setItemDelegate(new QStyledItemDelegate(m_ui->comboBox));
    m_ui->comboBox->setStyleSheet(QStringLiteral("QComboBox{ %1 } QComboBox::drop-down { width: %2px; }"
                                                 "QComboBox QAbstractItemView::item {min-height:%3px; }"
                                                 "QComboBox QAbstractItemView::item:hover{min-height:%3px; }")
                                      .arg(f)
                                      .arg(s / 10)
                                      .arg(s / 15));
    m_ui->comboBox->repaint();
}
