#include "core/storage/projectreader.h"

#include <QHash>
#include <QXmlStreamReader>

namespace {

// All text inside the element the reader is on, which it leaves at its end.
QString elementText(QXmlStreamReader &reader)
{
    return reader.readElementText(QXmlStreamReader::IncludeChildElements);
}

bool isIgnorableSpace(const QXmlStreamReader &reader)
{
    // A parsed document keeps no text node that holds only white space.
    return reader.isCharacters() && reader.isWhitespace() && !reader.isCDATA();
}

// Counts the child nodes of the element the reader has just entered, as a
// parsed document would hold them, and hands every child element to
// `onElement`, which must leave the reader at that element's end. Adjacent
// text pieces make one node; white-space-only text makes none.
template<typename OnElement>
int readChildren(QXmlStreamReader &reader, OnElement onElement)
{
    int nodes = 0;
    QString text;
    bool inText = false;
    const auto endText = [&] {
        if (inText && !text.trimmed().isEmpty())
            ++nodes;
        text.clear();
        inText = false;
    };
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() || reader.hasError())
            break;
        if (reader.isCharacters() && !reader.isCDATA()) {
            inText = true;
            text += reader.text();
            continue;
        }
        endText();
        if (reader.isStartElement())
            onElement(nodes);
        ++nodes;
    }
    endText();
    return nodes;
}

// The document as text, when its items can be read from pieces of it later:
// UTF-8 (or ASCII) without a declaration of another encoding. A null text
// otherwise.
QString pieceableText(const QByteArray &document)
{
    const QByteArray &bytes = document;
    // A byte order mark the reader would skip and the text keep.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString();
    if (bytes.startsWith("<?xml")) {
        const int end = bytes.indexOf("?>");
        const QByteArray declaration = bytes.left(end < 0 ? bytes.size() : end).toLower();
        const int at = declaration.indexOf("encoding");
        if (at >= 0 && !declaration.mid(at).contains("utf-8") && !declaration.mid(at).contains("utf8"))
            return QString();
    }
    if (bytes.startsWith("\xFE\xFF") || bytes.startsWith("\xFF\xFE"))
        return QString();
    QString text = QString::fromUtf8(bytes);
    if (text.isNull())
        text = QLatin1String("");
    return text;
}

} // namespace

QList<ItemElement> ProjectReader::PageRecord::itemElements() const
{
    return itemsXml.isEmpty() ? items : ItemElement::readList(itemsXml);
}

bool ProjectReader::read(const QByteArray &document)
{
    *this = ProjectReader();
    // The reader counts characters as this text holds them, so its offsets
    // cut the pieces out of it.
    const QString text = pieceableText(document);
    QXmlStreamReader reader(document);

    if (!reader.readNextStartElement()) {
        m_error = reader.hasError() ? reader.errorString() : QStringLiteral("no root element");
        return false;
    }
    // Entities of the document type would not be known to a piece of it.
    const bool pieces = !text.isNull() && reader.entityDeclarations().isEmpty();

    // Every look-up takes the first child element of its name; later ones
    // and all other children are passed over.
    bool haveX = false, haveY = false, haveConnections = false, havePages = false;
    while (reader.readNextStartElement()) {
        const QStringView tag = QStringView(reader.name());
        if (tag == QLatin1String("pagex") && !haveX) {
            haveX = true;
            m_pageX = ItemRecord::parseInt(elementText(reader));
        } else if (tag == QLatin1String("pagey") && !haveY) {
            haveY = true;
            m_pageY = ItemRecord::parseInt(elementText(reader));
        } else if (tag == QLatin1String("Connections") && !haveConnections) {
            haveConnections = true;
            // Read only when its first child node is an element.
            bool first = true, use = false;
            bool found[4] = {};
            while (!reader.atEnd()) {
                reader.readNext();
                if (reader.isEndElement() || reader.hasError())
                    break;
                if (isIgnorableSpace(reader))
                    continue;
                if (first) {
                    use = reader.isStartElement();
                    first = false;
                }
                if (!reader.isStartElement())
                    continue;
                const QStringView field = QStringView(reader.name());
                const int f = field == QLatin1String("host") ? 0
                    : field == QLatin1String("password")     ? 1
                    : field == QLatin1String("port")         ? 2
                    : field == QLatin1String("username")     ? 3
                                                             : -1;
                if (!use || f < 0 || found[f]) {
                    reader.skipCurrentElement();
                    continue;
                }
                found[f] = true;
                const QString value = elementText(reader);
                switch (f) {
                case 0: m_connection.host = value; break;
                case 1: m_connection.password = value; break;
                case 2: m_connection.port = ItemRecord::parseInt(value); break;
                default: m_connection.username = value; break;
                }
            }
        } else if (tag == QLatin1String("Pages") && !havePages) {
            havePages = true;
            m_pageNodes = readChildren(reader, [this, &reader, &text, pieces](int node) {
                PageRecord page;
                page.node = node;
                bool found[4] = {};
                while (reader.readNextStartElement()) {
                    const QStringView field = QStringView(reader.name());
                    const int f = field == QLatin1String("name") ? 0
                        : field == QLatin1String("id")           ? 1
                        : field == QLatin1String("background")   ? 2
                        : field == QLatin1String("components")   ? 3
                                                                 : -1;
                    if (f < 0 || found[f]) {
                        reader.skipCurrentElement();
                        continue;
                    }
                    found[f] = true;
                    switch (f) {
                    case 0: page.name = elementText(reader); break;
                    case 1: page.id = elementText(reader); break;
                    case 2: page.background = elementText(reader); break;
                    default:
                        if (pieces) {
                            // Kept as text up to and with the end tag, read when built.
                            const qint64 start = reader.characterOffset();
                            reader.skipCurrentElement();
                            const qint64 length = reader.characterOffset() - start;
                            if (length > 0)
                                page.itemsXml = QStringLiteral("<components>") + text.mid(int(start), int(length));
                            break;
                        }
                        // Every child element is an item element, whatever its tag.
                        while (reader.readNextStartElement())
                            page.items.append(ItemElement::read(reader));
                        break;
                    }
                }
                m_pages.append(page);
            });
        } else {
            reader.skipCurrentElement();
        }
    }
    // The rest must be well-formed too, or the whole document counts as empty.
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError()) {
        const QString error = reader.errorString();
        *this = ProjectReader();
        m_error = error;
        return false;
    }
    return true;
}


