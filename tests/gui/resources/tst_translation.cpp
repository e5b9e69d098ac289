#include <QDomDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString committed = QStringLiteral(QALIX_SOURCE_DIR "/gui/resources/translations/qalix-plus-control_en.ts");

// Each message as "context|source" with its translation; "?" for one that
// is unfinished or empty.
QMap<QString, QString> messages(const QString &path)
{
    QFile file(path);
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file))
        return {{QStringLiteral("unreadable"), path}};
    QMap<QString, QString> found;
    const QDomNodeList contexts = document.elementsByTagName(QStringLiteral("context"));
    for (int c = 0; c < contexts.size(); ++c) {
        const QDomElement context = contexts.at(c).toElement();
        const QString name = context.firstChildElement(QStringLiteral("name")).text();
        for (QDomElement m = context.firstChildElement(QStringLiteral("message")); !m.isNull();
             m = m.nextSiblingElement(QStringLiteral("message"))) {
            const QDomElement translation = m.firstChildElement(QStringLiteral("translation"));
            const bool done = translation.attribute(QStringLiteral("type")).isEmpty() && !translation.text().isEmpty();
            found.insert(name + QLatin1Char('|') + m.firstChildElement(QStringLiteral("source")).text(),
                         done ? translation.text() : QStringLiteral("?"));
        }
    }
    return found;
}

QStringList placeholders(const QString &text)
{
    QStringList found;
    for (QRegularExpressionMatchIterator it = QRegularExpression("%\\d").globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}

} // namespace

// The English translation is complete for every text the operator sees, as
// lupdate finds them in the sources now (the options dialog's test shows it
// built in and at work).
class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void everyTextHasItsEnglish()
    {
        // lupdate on a copy: a text new in the sources comes in unfinished, a
        // text gone from them goes, so the copy differs from the file.
        QTemporaryDir dir;
        const QString copy = dir.filePath("copy.ts");
        QVERIFY(QFile::copy(committed, copy));
        QProcess lupdate;
        lupdate.setWorkingDirectory(QALIX_SOURCE_DIR);
        lupdate.start(QALIX_LUPDATE, QString(QALIX_LUPDATE_ARGUMENTS).split('|') << "-ts" << copy);
        QVERIFY2(lupdate.waitForFinished(60000) && lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());

        const QMap<QString, QString> updated = messages(copy);
        QCOMPARE(updated.keys(), messages(committed).keys());
        QVERIFY(updated.size() > 50);
        for (auto it = updated.begin(); it != updated.end(); ++it) {
            QVERIFY2(it.value() != "?", qPrintable("no English for " + it.key()));
            QCOMPARE(placeholders(it.value()), placeholders(it.key().section('|', 1)));
        }
    }
};

QTEST_MAIN(TestTranslation)
#include "tst_translation.moc"
