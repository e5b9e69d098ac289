// Reads arbitrary bytes as a project document and holds the streaming pass
// to the parsed document's reading:
// - the pass either hands the document over or reads exactly what the
//   parsed document reads (pages, identifiers, names, every item field);
// - the scanner takes only documents the stream takes, and reads them alike;
// - a load's early first page, read before the rest, is kept only when it
//   is the parsed document's first page, and the stream's first page when
//   the stream reads the whole document;
// - a document that fails reads as an empty one;
// - every item element written and read again keeps its values;
// - numbers and "BASE64_" texts read as QString::toInt() and
//   QByteArray::fromBase64() read them (the readers convert without Qt's
//   copies).
// Seed corpus: tests/data/projectreader (the seeds and fuzzed/).

#include "core/storage/projectdomreader.h"
#include "core/storage/projectreadahead.h"
#include "core/storage/projectreader.h"
#include "core/storage/itemelement.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cstdint>
#include <cstdlib>

namespace {

// What an element holds once written and read back: picture names are
// written as their stored names, colours as unsigned numbers.
bool survivesWriting(const ItemElement &element)
{
    QString xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartElement(QStringLiteral("components"));
    writer.writeStartElement(QStringLiteral("component"));
    QStringList files;
    element.write(writer, files);
    writer.writeEndElement();
    writer.writeEndElement();
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false);
    if (!reader.readNextStartElement() || !reader.readNextStartElement())
        return false;
    const ItemElement back = ItemElement::read(reader);
    if (reader.readNextStartElement() || reader.hasError())
        return false;
    ItemElement expected = element;
    expected.record.imageActive = back.record.imageActive;
    expected.record.imageInactive = back.record.imageInactive;
    expected.record.imageUnknown = back.record.imageUnknown;
    if (expected.record.color < 0)
        expected.record.color = 0;
    // A value of white space only is no text once parsed.
    for (QString *text : {&expected.record.port, &expected.record.pageId, &expected.type}) {
        if (text->trimmed().isEmpty())
            *text = QString();
    }
    return back == expected;
}

// Every text between two pieces of markup, as a number and as the rest of
// a "BASE64_" text.
bool convertsAsQt(const QByteArray &document)
{
    for (const QString &piece : QString::fromUtf8(document).split(QLatin1Char('<'))) {
        const QString value = piece.mid(piece.indexOf(QLatin1Char('>')) + 1);
        bool ok = false;
        const int number = value.trimmed().toInt(&ok, 10);
        if (ItemRecord::parseInt(value) != (ok ? number : 0))
            return false;
        QByteArray bytes = QByteArray::fromBase64(value.toLatin1());
        const int zero = bytes.indexOf('\0');
        bytes.truncate(zero < 0 ? bytes.size() : zero);
        const QString decoded = QString::fromUtf8(bytes);
        const QString read = ItemRecord::decodeText(QStringLiteral("BASE64_") + value);
        if (read != decoded || read.isNull() != decoded.isNull())
            return false;
    }
    return true;
}

bool isEmpty(const ProjectReader &reader)
{
    return reader.pages().isEmpty() && reader.pageX() == 0 && reader.pageY() == 0
        && reader.connection() == ProjectReader::Connection() && reader.pageNodeCount() == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Picture names are written relative to the application's folder. The
    // replay test has an application of its own.
    static int argc = 1;
    static char name[] = "fuzz_projectreader";
    static char *argv[] = {name, nullptr};
    static const QCoreApplication *application = [] {
        if (QCoreApplication::instance())
            return QCoreApplication::instance();
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
        return new QCoreApplication(argc, argv);
    }();
    Q_UNUSED(application);

    const QByteArray document(reinterpret_cast<const char *>(data), int(size));
    ProjectReader streamed;
    const bool fast = streamed.readStreaming(document);
    ProjectReader parsed;
    const bool reference = ProjectDomReader::read(document, &parsed);
    if (fast && (!reference || streamed != parsed))
        abort();
    if (!fast && !isEmpty(streamed))
        abort();
    if (!reference && !isEmpty(parsed))
        abort();
    if (parsed.pages().size() > parsed.pageNodeCount())
        abort();

    // The scanner takes a part of what the stream takes and reads it alike.
    ProjectReader scanned;
    const bool byScanner = scanned.readScanned(document);
    if (byScanner && (!reference || scanned != parsed || !fast || scanned != streamed))
        abort();
    if (!byScanner && !isEmpty(scanned))
        abort();

    if (!convertsAsQt(document))
        abort();

    ProjectReader loaded;
    if (loaded.read(document) != reference || loaded != parsed)
        abort();

    ProjectReadAhead ahead(document);
    const bool early = ahead.readFirstPage();
    if (ahead.finish() != reference || ahead.whole() != parsed)
        abort();
    if (!early && !isEmpty(ahead.early()))
        abort();
    const ProjectReader &guess = ahead.early();
    if (ahead.earlyStands()
        && (guess.pages().first() != parsed.pages().first() || guess.pageX() != parsed.pageX()
            || guess.pageY() != parsed.pageY()))
        abort();
    // Otherwise every load would build its first page twice.
    if (fast && early && guess.pages().first() != streamed.pages().first())
        abort();

    // Only what the stream read: the parsed document takes values (control
    // characters, carriage returns) that a written document cannot carry.
    for (const ProjectReader::PageRecord &page : fast ? streamed.pages() : QList<ProjectReader::PageRecord>()) {
        for (const ItemElement &element : page.items) {
            if (!survivesWriting(element))
                abort();
        }
    }
    return 0;
}
