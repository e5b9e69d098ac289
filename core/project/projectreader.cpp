#include "core/project/projectreader.h"

#include "core/project/projectdomreader.h"
#include "core/project/xmlscanner.h"

#include <QBuffer>
#include <QXmlStreamReader>

#include <cstring>
#include <type_traits>

namespace {

// Counts the child nodes of the element the reader has just entered, as a
// parsed document would hold them, and hands every child element to
// `onElement` with its position, which must leave the reader at that
// element's end and may end the reading early by returning false. Adjacent
// text pieces make one node; a run of white space only makes none.
template<typename Reader, typename OnElement>
int readChildren(Reader &reader, OnElement onElement)
{
    int nodes = 0;
    QString text;
    const auto endText = [&] {
        if (!text.trimmed().isEmpty())
            ++nodes;
        text.clear();
    };
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() || reader.hasError())
            break;
        if (reader.isCharacters()) {
            text += reader.text();
            continue;
        }
        endText();
        if (reader.isStartElement() && !onElement(nodes))
            return nodes + 1;
        ++nodes;
    }
    endText();
    return nodes;
}

// The first "<" followed by `next` at or after `from`, or -1. A document
// of megabytes is scanned for markup declarations whole; memchr keeps that
// a small part of reading it.
int indexOfMarkup(const QByteArray &bytes, char next, int from)
{
    if (from >= bytes.size())
        return -1;
    const char *data = bytes.constData();
    const char *end = data + bytes.size();
    for (const char *p = data + from; p < end; ++p) {
        p = static_cast<const char *>(std::memchr(p, '<', size_t(end - p)));
        if (!p)
            return -1;
        if (p + 1 < end && p[1] == next)
            return int(p - data);
    }
    return -1;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Where the designer's document type line stands: after the XML declaration
// and white space, if any. Elsewhere (after a comment, inside the root, a
// second one) the stream of one Qt version or the other takes a document
// type that the parsed document refuses.
int documentTypePlace(const QByteArray &bytes, int start)
{
    int at = start;
    if (bytes.mid(start, 5) == "<?xml") {
        const int end = bytes.indexOf("?>", start);
        if (end < 0)
            return -1;
        at = end + 2;
    }
    while (at < bytes.size() && isSpace(bytes.at(at)))
        ++at;
    return at;
}

// What the stream could read otherwise than the parsed document, found in
// the bytes: another encoding than UTF-8, a document type that may declare
// entities, CDATA sections, NUL bytes, and carriage returns in a text, which
// the stream turns into line feeds and the parsed document keeps. A carriage
// return in white space between two pieces of markup is harmless: neither
// keeps that.
// Whether the '>' at `at` closes a tag: a '<' comes before it sooner than
// another '>'. A '>' inside a comment or an attribute value counts as not.
bool endsMarkup(const QByteArray &bytes, int at)
{
    for (int i = at - 1; i >= 0; --i) {
        if (bytes.at(i) == '<')
            return true;
        if (bytes.at(i) == '>')
            return false;
    }
    return false;
}

bool needsParsedDocument(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFE\xFF") || bytes.startsWith("\xFF\xFE") || bytes.contains('\0'))
        return true;
    const int start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    if (bytes.mid(start, 5) == "<?xml") {
        const int end = bytes.indexOf("?>", start);
        const QByteArray declaration = bytes.mid(start, end < 0 ? -1 : end - start).toLower();
        const int at = declaration.indexOf("encoding");
        if (at >= 0) {
            const QByteArray rest = declaration.mid(at + 8).trimmed();
            const QByteArray value = rest.mid(1).trimmed();
            if (!rest.startsWith('=') || !(value.startsWith("\"utf-8\"") || value.startsWith("'utf-8'")))
                return true;
        }
    }
    // The stream reads declarations and processing instructions the parser
    // refuses; only a plain XML declaration at the start is taken.
    const int instruction = indexOfMarkup(bytes, '?', 0);
    if (instruction >= 0
        && (instruction != start || bytes.mid(start, 5) != "<?xml"
            || !isSpace(bytes.at(qMin(start + 5, bytes.size() - 1))) || indexOfMarkup(bytes, '?', start + 2) >= 0))
        return true;
    // Markup declarations: CDATA sections, and a document type unless it is
    // the designer's plain line in its place.
    const int typeAt = documentTypePlace(bytes, start);
    for (int i = indexOfMarkup(bytes, '!', 0); i >= 0; i = indexOfMarkup(bytes, '!', i + 2)) {
        if (bytes.mid(i + 2, 2) == "--")
            continue;
        if (i != typeAt
            || XmlScanner::plainDocumentTypeLength(bytes.constData() + i, bytes.constData() + bytes.size()) == 0)
            return true;
    }
    // A carriage return only in white space between two pieces of markup;
    // a '>' in a text ("A>\r") ends no markup. Each run is looked at once.
    for (int i = bytes.indexOf('\r'); i >= 0; i = bytes.indexOf('\r', i + 1)) {
        int before = i;
        while (before > 0 && isSpace(bytes.at(before - 1)))
            --before;
        int after = i;
        while (after + 1 < bytes.size() && isSpace(bytes.at(after + 1)))
            ++after;
        const bool openLeft = before == 0 || (bytes.at(before - 1) == '>' && endsMarkup(bytes, before - 1));
        const bool openRight = after + 1 >= bytes.size() || bytes.at(after + 1) == '<';
        if (!openLeft || !openRight)
            return true;
        i = after;
    }
    return false;
}

} // namespace

bool ProjectReader::Connection::operator==(const Connection &other) const
{
    return host == other.host && username == other.username && password == other.password && port == other.port;
}

bool ProjectReader::PageRecord::operator==(const PageRecord &other) const
{
    return name == other.name && id == other.id && background == other.background && node == other.node
        && items == other.items;
}

bool ProjectReader::operator==(const ProjectReader &other) const
{
    return m_pageX == other.m_pageX && m_pageY == other.m_pageY && m_connection == other.m_connection
        && m_pageNodes == other.m_pageNodes && m_pages == other.m_pages;
}

bool ProjectReader::read(const QByteArray &document)
{
    if (readScanned(document) || readStreaming(document))
        return true;
    const bool read = ProjectDomReader::read(document, this);
    m_handedOver = true;
    return read;
}

bool ProjectReader::readStreaming(const QByteArray &document)
{
    *this = ProjectReader();
    if (needsParsedDocument(document))
        return false;
    QXmlStreamReader reader;
    reader.addData(document);
    return stream(reader, false);
}

bool ProjectReader::readScanned(const QByteArray &document)
{
    *this = ProjectReader();
    XmlScanner scanner(document);
    return stream(scanner, false);
}

bool ProjectReader::readFirstPage(const QByteArray &document)
{
    *this = ProjectReader();
    // A document without pages streams to its end, and nothing comes early.
    XmlScanner scanner(document);
    if (stream(scanner, true) && !m_pages.isEmpty())
        return true;
    // Given the bytes, the stream decodes them all before the first token;
    // from a device it decodes block by block, so the first page costs only
    // the part before its end.
    *this = ProjectReader();
    QBuffer buffer;
    buffer.setData(document);
    buffer.open(QIODevice::ReadOnly);
    QXmlStreamReader reader(&buffer);
    if (stream(reader, true) && !m_pages.isEmpty())
        return true;
    *this = ProjectReader();
    return false;
}

template<typename Reader>
bool ProjectReader::stream(Reader &reader, bool firstPageOnly)
{
    // The parsed document knows no name spaces: "a:port" is not "port".
    if constexpr (std::is_same_v<Reader, QXmlStreamReader>)
        reader.setNamespaceProcessing(false);
    bool sure = true;
    const auto text = [&reader, &sure] {
        QString value;
        sure = ItemElement::readText(reader, &value) && sure;
        return value;
    };

    if (!reader.readNextStartElement())
        return false;

    // Every look-up takes the first child element of its name; later ones
    // and all other children are passed over.
    bool haveX = false, haveY = false, haveConnections = false, havePages = false;
    while (reader.readNextStartElement()) {
        const auto tag = reader.qualifiedName();
        if (tag == QLatin1String("pagex") && !haveX) {
            haveX = true;
            m_pageX = ItemRecord::parseInt(text());
        } else if (tag == QLatin1String("pagey") && !haveY) {
            haveY = true;
            m_pageY = ItemRecord::parseInt(text());
        } else if (tag == QLatin1String("Connections") && !haveConnections) {
            haveConnections = true;
            // Read only when its first child node is an element.
            bool found[4] = {};
            Connection read;
            bool use = false;
            readChildren(reader, [&](int node) {
                if (node == 0)
                    use = true;
                const auto field = reader.qualifiedName();
                const int f = field == QLatin1String("host") ? 0
                    : field == QLatin1String("password")     ? 1
                    : field == QLatin1String("port")         ? 2
                    : field == QLatin1String("username")     ? 3
                                                             : -1;
                if (!use || f < 0 || found[f]) {
                    reader.skipCurrentElement();
                    return true;
                }
                found[f] = true;
                const QString value = text();
                switch (f) {
                case 0:
                    read.host = value;
                    break;
                case 1:
                    read.password = value;
                    break;
                case 2:
                    read.port = ItemRecord::parseInt(value);
                    break;
                default:
                    read.username = value;
                    break;
                }
                return true;
            });
            if (use)
                m_connection = read;
        } else if (tag == QLatin1String("Pages") && !havePages) {
            havePages = true;
            m_pageNodes = readChildren(reader, [&](int node) {
                PageRecord page;
                page.node = node;
                bool found[4] = {};
                while (reader.readNextStartElement()) {
                    const auto field = reader.qualifiedName();
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
                    case 0:
                        page.name = text();
                        break;
                    case 1:
                        page.id = text();
                        break;
                    case 2:
                        page.background = text();
                        break;
                    default:
                        // Every child element is an item element, whatever its tag.
                        while (reader.readNextStartElement())
                            page.items.append(ItemElement::read(reader, &sure));
                        break;
                    }
                }
                m_pages.append(page);
                return !firstPageOnly;
            });
            if (firstPageOnly) {
                const bool read = !m_pages.isEmpty() && !reader.hasError() && sure;
                if (!read)
                    *this = ProjectReader();
                return read;
            }
        } else {
            reader.skipCurrentElement();
        }
    }
    // The rest must be well-formed too.
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError() || !sure) {
        *this = ProjectReader();
        return false;
    }
    return true;
}
