#include "gui/dialogs/dialogoptions.h"

#include "core/package/projectdirectory.h"
#include "core/startup/startoptions.h"
#include "gui/window/startup.h"
#include "tests/support/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
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
    void cleanup();

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

void TestDialogOptions::cleanup()
{
    QVERIFY(installTranslation("de"));
    qunsetenv(StartOptions::launcherVariable);
}

void TestDialogOptions::saveWritesBothKeys_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("launcher"); // started by the kiosk launcher
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("project"); // stored; empty: nothing written
    QTest::addColumn<QString>("shown");   // the first entry, and the note under the options
    QTest::addColumn<QString>("note");

    const QString alone = "Speichern beendet die Anwendung. Sie startet nicht von selbst wieder: das tut nur der "
                          "Kiosk-Starter (qalix-plus-control-kiosk).";
    const QString none = "- Kein Projekt -";
    QTest::newRow("defaults") << "de" << false << -1 << true << "Save" << none << none << alone;
    QTest::newRow("package, no connect, launcher")
        << "de" << true << 1 << false << "Save"
        << "Demo.qlxd" << none
        << "Speichern beendet die Anwendung; sie startet gleich mit den neuen Einstellungen wieder.";
    QTest::newRow("cancelled") << "de" << false << 1 << false << "Cancel"
                               << "" << none << alone;
    // The file keeps the German entry, which the launcher and a German panel read.
    QTest::newRow("English") << "en" << false << -1 << true << "Save" << none << "- No project -"
                             << "Saving ends the application. It does not start again by itself: only the kiosk "
                                "launcher (qalix-plus-control-kiosk) does that.";
}

void TestDialogOptions::saveWritesBothKeys()
{
    QFETCH(QString, language);
    QFETCH(bool, launcher);
    QFETCH(int, index);
    QFETCH(bool, checked);
    QFETCH(QString, button);
    QFETCH(QString, project);
    QFETCH(QString, shown);
    QFETCH(QString, note);

    QVERIFY(installTranslation(language));
    if (launcher)
        qputenv(StartOptions::launcherVariable, "1");
    QVERIFY(writeFile(projectDirectory() + "Demo.qlxd", ""));
    DialogOptions dialog;
    QCOMPARE(combo(dialog)->itemText(0), shown);
    QCOMPARE(dialog.findChild<QLabel *>("labelRestart")->text(), note);
    if (index >= 0) {
        combo(dialog)->setCurrentIndex(index);
        check(dialog)->setChecked(checked);
    }
    dialog.findChild<QPushButton *>("pushButton" + button)->click();
    QCOMPARE(dialog.result(), int(project.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
    if (project.isEmpty()) {
        QVERIFY(!QFile::exists(projectDirectory() + "settings.ini"));
        return;
    }

    QSettings settings(projectDirectory() + "settings.ini", QSettings::IniFormat);
    QCOMPARE(settings.allKeys(), (QStringList{"autoConnect", "projectAutoStart"}));
    QCOMPARE(settings.value("projectAutoStart").toString(), project);
    QCOMPARE(settings.value("autoConnect").toString(), QString(checked ? "true" : "false"));

    // What was saved is what the next dialog shows.
    DialogOptions again;
    QCOMPARE(combo(again)->currentText(), index > 0 ? project : shown);
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
