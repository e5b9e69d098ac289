#include "gui/dialogs/dialogoptions.h"

#include "core/package/projectdirectory.h"
#include "tests/support/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {

QComboBox *combo(const QWidget &dialog)
{
    return dialog.findChild<QComboBox *>("comboBox");
}
QCheckBox *check(const QWidget &dialog)
{
    return dialog.findChild<QCheckBox *>("checkBoxAutoConnectExtern");
}

} // namespace

class TestDialogOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void saveWritesBothKeys_data();
    void saveWritesBothKeys();
    void unwritableSettingsKeepTheDialogOpen();

private:
    QStringList messages;
    ProjectFolder projects;
};

void TestDialogOptions::initTestCase()
{
    DialogOptions::showMessage = [this](const QString &text) { messages << text; };
}

void TestDialogOptions::init()
{
    messages.clear();
    QVERIFY(projects.reset());
}

void TestDialogOptions::saveWritesBothKeys_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("project");

    QTest::newRow("defaults") << -1 << true << "- Kein Projekt -";
    QTest::newRow("package, no connect") << 1 << false << "Demo.qlxd";
}

void TestDialogOptions::saveWritesBothKeys()
{
    QFETCH(int, index);
    QFETCH(bool, checked);
    QFETCH(QString, project);

    QVERIFY(writeFile(projectDirectory() + "Demo.qlxd", ""));
    DialogOptions dialog;
    if (index >= 0) {
        combo(dialog)->setCurrentIndex(index);
        check(dialog)->setChecked(checked);
    }
    dialog.findChild<QPushButton *>("pushButtonSave")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    QSettings settings(projectDirectory() + "settings.ini", QSettings::IniFormat);
    QCOMPARE(settings.allKeys(), (QStringList{"autoConnect", "projectAutoStart"}));
    QCOMPARE(settings.value("projectAutoStart").toString(), project);
    QCOMPARE(settings.value("autoConnect").toString(), QString(checked ? "true" : "false"));

    // What was saved is what the next dialog shows.
    DialogOptions again;
    QCOMPARE(combo(again)->currentText(), project);
    QCOMPARE(check(again)->isChecked(), checked);
}

void TestDialogOptions::unwritableSettingsKeepTheDialogOpen()
{
    // A folder where settings.ini belongs: not writable, not even by root.
    const QString settingsFile = projectDirectory() + "settings.ini";
    QVERIFY(QDir().mkpath(settingsFile));
    DialogOptions dialog;
    dialog.show();
    dialog.findChild<QPushButton *>("pushButtonSave")->click();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(messages,
             QStringList{QStringLiteral("Die Einstellungen können nicht unter \"%1\" gespeichert werden!")
                             .arg(QDir::toNativeSeparators(QDir::cleanPath(settingsFile)))});
    QVERIFY(QFileInfo(settingsFile).isDir());
}

QTEST_MAIN(TestDialogOptions)
#include "tst_dialogoptions.moc"
