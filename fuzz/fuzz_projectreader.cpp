// Reads arbitrary bytes as a project document, the way a load does, and
// checks what comes out:
// - a document that fails reads as an empty one;
// - the items a page keeps as text, read when the page is built, are the
//   items the same document gives when it is read in one pass (a byte order
//   mark makes the reader take that road);
// - every item element written and read again keeps its values.
// Seed corpus: tests/data/projectreader (the seeds and fuzzed/).

#include "core/storage/projectreader.h"
#include "core/storage/itemelement.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringList>
#include <QXmlStreamWriter>

#include <cstdint>
#include <cstdlib>

namespace {

QList<QList<ItemElement>> pageItems(const ProjectReader &reader)
{
    QList<QList<ItemElement>> items;
    for (const ProjectReader::PageRecord &page : reader.pages())
        items.append(page.itemElements());
    return items;
}

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
    const QList<ItemElement> read = ItemElement::readList(xml);
    if (read.size() != 1)
        return false;
    ItemElement expected = element;
    const ItemElement &back = read.first();
    expected.record.imageActive = back.record.imageActive;
    expected.record.imageInactive = back.record.imageInactive;
    expected.record.imageUnknown = back.record.imageUnknown;
    if (expected.record.color < 0)
        expected.record.color = 0;
    return back == expected;
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
    ProjectReader reader;
    const bool read = reader.read(document);
    if (!read && (!reader.pages().isEmpty() || reader.pageX() != 0 || reader.pageY() != 0
                  || !reader.connection().host.isEmpty()))
        abort();
    if (reader.pages().size() > reader.pageNodeCount())
        abort();
    const QList<QList<ItemElement>> items = pageItems(reader);

    // Only UTF-8 without a mark or declaration of its own is read in pieces.
    const bool plainUtf8 = QString::fromUtf8(document).toUtf8() == document && !document.startsWith("\xEF\xBB\xBF")
        && !document.left(200).contains("encoding");
    if (read && plainUtf8) {
        ProjectReader whole;
        if (!whole.read(QByteArray("\xEF\xBB\xBF") + document))
            abort();
        const ProjectReader::Connection &a = whole.connection();
        const ProjectReader::Connection &b = reader.connection();
        if (whole.pageX() != reader.pageX() || whole.pageY() != reader.pageY() || a.host != b.host
            || a.username != b.username || a.password != b.password || a.port != b.port
            || whole.pageNodeCount() != reader.pageNodeCount() || pageItems(whole) != items)
            abort();
    }

    for (const QList<ItemElement> &page : items) {
        for (const ItemElement &element : page) {
            if (!survivesWriting(element))
                abort();
        }
    }
    return 0;
}
