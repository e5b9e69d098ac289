#include "options/dialogoptions.h"

#include "app/mainwindow.h"

#include "storage/projectdirectory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QtTest>

#include <unistd.h>

namespace {

void touch(const QString &name)
{
    QFile file(projectDirectory() + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QComboBox *combo(const QWidget &dialog) { return dialog.findChild<QComboBox *>("comboBox"); }
QCheckBox *check(const QWidget &dialog) { return dialog.findChild<QCheckBox *>("checkBoxAutoConnectExtern"); }
const QString none = QStringLiteral("- Kein Projekt -");

} // namespace

class TestDialogOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void listsPackagesByName();
    void preselection_data();
    void preselection();
    void saveWritesBothKeys_data();
    void saveWritesBothKeys();
    void fontScalingAtFixedSize();
    void optionsButtonOfMainWindow_data();
    void optionsButtonOfMainWindow();

private:
    QStringList messages;
};

void TestDialogOptions::initTestCase()
{
    DialogOptions::showMessage = [this](const QString &text) { messages << text; };
}

void TestDialogOptions::init()
{
    messages.clear();
    QDir dir(projectDirectory());
    QVERIFY(dir.removeRecursively());
    QVERIFY(QDir().mkpath(projectDirectory()));
}

void TestDialogOptions::listsPackagesByName()
{
    touch("beta.qlxd");
    touch("Alpha.qlxd");
    touch("Gamma.qlxd.qlxd");
    touch("notes.txt");
    touch("settings.ini");
    DialogOptions dialog;
    QStringList texts;
    for (int i = 0; i < combo(dialog)->count(); ++i)
        texts << combo(dialog)->itemText(i);
    QCOMPARE(texts, (QStringList{none, "Alpha.qlxd", "beta.qlxd", "Gamma.qlxd.qlxd"}));
}

void TestDialogOptions::preselection_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("checked");

    QTest::newRow("stored package") << "projectAutoStart=Demo.qlxd\nautoConnect=true\n"
                                    << "Demo.qlxd" << true;
    QTest::newRow("package gone") << "projectAutoStart=Gone.qlxd\n" << "- Kein Projekt -" << true;
    QTest::newRow("other letter case") << "projectAutoStart=demo.qlxd\n" << "- Kein Projekt -" << true;
    QTest::newRow("no project stored") << "projectAutoStart=- Kein Projekt -\nautoConnect=false\n"
                                       << "- Kein Projekt -" << false;
    QTest::newRow("auto connect off") << "projectAutoStart=Other.qlxd\nautoConnect=false\n"
                                      << "Other.qlxd" << false;
    QTest::newRow("empty file") << "" << "- Kein Projekt -" << true;
    QTest::newRow("no settings file") << QString() << "- Kein Projekt -" << true;
}

void TestDialogOptions::preselection()
{
    QFETCH(QString, settings);
    QFETCH(QString, selected);
    QFETCH(bool, checked);

    touch("Demo.qlxd");
    touch("Other.qlxd");
    QFile file(projectDirectory() + "settings.ini");
    if (!settings.isNull()) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + settings.toUtf8());
        file.close();
    }

    DialogOptions dialog;
    QCOMPARE(combo(dialog)->currentText(), selected);
    QCOMPARE(check(dialog)->isChecked(), checked);
    // Showing the dialog writes nothing.
    QCOMPARE(file.exists(), !settings.isNull());
}

void TestDialogOptions::saveWritesBothKeys_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("project");

    QTest::newRow("defaults") << -1 << true << "- Kein Projekt -";
    QTest::newRow("package, connect") << 1 << true << "Demo.qlxd";
    QTest::newRow("package, no connect") << 1 << false << "Demo.qlxd";
    QTest::newRow("no project, no connect") << 0 << false << "- Kein Projekt -";
}

void TestDialogOptions::saveWritesBothKeys()
{
    QFETCH(int, index);
    QFETCH(bool, checked);
    QFETCH(QString, project);

    touch("Demo.qlxd");
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

void TestDialogOptions::fontScalingAtFixedSize()
{
    touch("Demo.qlxd");
    DialogOptions dialog;
    QCOMPARE(dialog.minimumSize(), QSize(400, 300));
    QCOMPARE(dialog.maximumSize(), QSize(400, 300));
    dialog.resize(800, 600);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), QSize(400, 300));

    auto *checkBox = check(dialog);
    auto *comboBox = combo(dialog);
    QCOMPARE(dialog.styleSheet(), QStringLiteral("font-size: 15px;"));
    for (const QWidget *widget : {static_cast<QWidget *>(dialog.findChild<QLabel *>("labelOptions")),
                                  static_cast<QWidget *>(checkBox), static_cast<QWidget *>(comboBox)})
        QCOMPARE(widget->font().pixelSize(), 15);
    QCOMPARE(checkBox->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, checkBox), 15);
    QCOMPARE(checkBox->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, checkBox), 15);

    // The drop-down's width takes effect only where a style sheet gives the
    // combo box a box of its own, so the rule itself is checked.
    QVERIFY(comboBox->styleSheet().startsWith("QComboBox{ font-size: 15px; } QComboBox::drop-down { width: 30px; }"));
    QVERIFY(comboBox->styleSheet().contains("QComboBox QAbstractItemView::item {min-height:20px; }"));
    QVERIFY(comboBox->styleSheet().contains("QComboBox QAbstractItemView::item:hover{min-height:20px; }"));
    QVERIFY(qobject_cast<QStyledItemDelegate *>(comboBox->itemDelegate()));
}

void TestDialogOptions::optionsButtonOfMainWindow_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("blocker"); // what keeps settings.ini from being written
    QTest::newRow("saved: the main window closes") << true << "";
    QTest::newRow("closed unsaved: the main window stays") << false << "";
    QTest::newRow("settings.ini is a folder: both stay open") << true << "folder";
    QTest::newRow("read-only settings.ini: both stay open") << true << "read-only file";
    QTest::newRow("read-only projects folder: both stay open") << true << "read-only folder";
}

void TestDialogOptions::optionsButtonOfMainWindow()
{
    QFETCH(bool, save);
    QFETCH(QString, blocker);

    const QString settingsFile = projectDirectory() + "settings.ini";
    if (blocker.startsWith("read-only") && geteuid() == 0)
        QSKIP("root writes read-only files and folders anyway; the folder row fails for root too");
    if (blocker == "folder")
        QVERIFY(QDir().mkpath(settingsFile));
    if (blocker == "read-only file") {
        touch("settings.ini");
        QVERIFY(QFile::setPermissions(settingsFile, QFile::ReadOwner));
    }
    const QFile::Permissions folderPermissions = QFile::permissions(projectDirectory());
    if (blocker == "read-only folder")
        QVERIFY(QFile::setPermissions(projectDirectory(), QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(projectDirectory(), folderPermissions); });

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    bool seen = false;
    bool stayedOpen = false;
    // The dialog runs modally: act on it from inside its own event loop.
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<DialogOptions *>(QApplication::activeModalWidget());
        seen = dialog != nullptr;
        if (!dialog)
            return;
        check(*dialog)->setChecked(false);
        if (save)
            dialog->findChild<QPushButton *>("pushButtonSave")->click();
        stayedOpen = dialog->isVisible();
        dialog->close();
    });
    window.findChild<QPushButton *>("pushButtonOptions")->click();
    QVERIFY(seen);
    const bool saved = save && blocker.isEmpty();
    QCOMPARE(stayedOpen, !saved);
    QCOMPARE(window.isVisible(), !saved);
    QCOMPARE(messages.isEmpty(), blocker.isEmpty());
    if (!blocker.isEmpty()) {
        QCOMPARE(messages, QStringList{QStringLiteral("Die Einstellungen können nicht unter \"%1\" gespeichert werden!")
                                           .arg(QDir::cleanPath(settingsFile))});
    }
    // Closed unsaved, the changed box is not written.
    QCOMPARE(QFileInfo(settingsFile).isFile(), saved || blocker == "read-only file");
}

QTEST_MAIN(TestDialogOptions)
#include "tst_dialogoptions.moc"
