#include "core/project/xmlscanner.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// What a byte is to the scanner, looked up once per byte: names and texts
// are most of a document.
enum ByteKind : unsigned char {
    NameStart = 1,
    NameChar = 2,
    Space = 4, // a carriage return is refused before it is ever asked about
    Plain = 8, // an ASCII character a text takes as it is
};

const std::array<unsigned char, 256> byteKinds = [] {
    std::array<unsigned char, 256> kinds{};
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        const bool nameChar = letter || (c >= '0' && c <= '9') || c == '-' || c == '.';
        const bool space = c == ' ' || c == '\t' || c == '\n';
        const bool plain = space || (c >= 0x20 && c < 0x80 && c != '&' && c != ']');
        kinds[size_t(c)] =
            (letter ? NameStart : 0) | (nameChar ? NameChar : 0) | (space ? Space : 0) | (plain ? Plain : 0);
    }
    return kinds;
}();

bool is(char c, ByteKind kind)
{
    return byteKinds[uchar(c)] & kind;
}

bool isSpace(char c)
{
    return is(c, Space);
}

bool isNameStart(char c)
{
    return is(c, NameStart);
}

bool isNameChar(char c)
{
    return is(c, NameChar);
}

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The length of the UTF-8 sequence at `p` when it is a character the scanner
// takes in a text, else 0. Taken: U+00A0 to U+FFFD without surrogates and
// without U+FEFF, U+FFFE and U+FFFF; everything above U+FFFF and the C1
// controls are left to the stream reader, whose reading of them is its own
// affair.
int sequenceLength(const unsigned char *p, const unsigned char *end)
{
    const unsigned char c = p[0];
    if (c >= 0xC2 && c <= 0xDF) {
        if (end - p < 2 || !isContinuation(p[1]))
            return 0;
        return (c == 0xC2 && p[1] < 0xA0) ? 0 : 2;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (end - p < 3 || !isContinuation(p[1]) || !isContinuation(p[2]))
            return 0;
        if (c == 0xE0 && p[1] < 0xA0)
            return 0; // overlong
        if (c == 0xED && p[1] >= 0xA0)
            return 0; // surrogate
        if (c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE)
            return 0; // U+FFFE, U+FFFF
        if (c == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
            return 0; // U+FEFF, which decoding drops where a piece begins with it
        return 3;
    }
    return 0;
}

// The character a predefined entity at `p` (on its "&") stands for, with its
// length; 0 when there is none.
QChar entity(const char *p, const char *end, int *length)
{
    static const struct
    {
        const char *name;
        char value;
    } entities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto &e : entities) {
        const int n = int(std::strlen(e.name));
        if (end - p >= n && std::memcmp(p, e.name, size_t(n)) == 0) {
            *length = n;
            return QLatin1Char(e.value);
        }
    }
    return QChar();
}

// The bound of the shared texts: 4,096 of at most 64 bytes.
constexpr size_t sharedTexts = 4096;
constexpr int sharedTextBytes = 64;

} // namespace

XmlScanner::XmlScanner(const QByteArray &document)
    : m_document(document)
    , m_pos(m_document.constData())
    , m_end(m_document.constData() + m_document.size())
{
}

QXmlStreamReader::TokenType XmlScanner::refuse()
{
    m_refused = true;
    m_type = QXmlStreamReader::Invalid;
    return m_type;
}

QXmlStreamReader::TokenType XmlScanner::token(QXmlStreamReader::TokenType type)
{
    m_type = type;
    return type;
}

void XmlScanner::skipSpace()
{
    while (m_pos < m_end && isSpace(*m_pos))
        ++m_pos;
}

QXmlStreamReader::TokenType XmlScanner::readNext()
{
    if (m_refused || m_ended)
        return token(QXmlStreamReader::Invalid);
    if (m_type == QXmlStreamReader::NoToken)
        return readDeclaration() ? token(QXmlStreamReader::StartDocument) : refuse();
    if (m_closePending) {
        m_closePending = false;
        m_open.pop_back();
        return token(QXmlStreamReader::EndElement);
    }
    if (m_open.empty()) {
        // Before the root only white space, after it only white space.
        skipSpace();
        if (m_pos == m_end) {
            if (!m_rootSeen)
                return refuse();
            m_ended = true;
            return token(QXmlStreamReader::EndDocument);
        }
        if (m_rootSeen || *m_pos != '<')
            return refuse();
        // The one document type before the root.
        if (m_end - m_pos >= 2 && m_pos[1] == '!') {
            const int length = m_typeSeen ? 0 : plainDocumentTypeLength(m_pos, m_end);
            if (length == 0)
                return refuse();
            m_typeSeen = true;
            m_pos += length;
            return token(QXmlStreamReader::DTD);
        }
    } else if (m_pos == m_end) {
        return refuse();
    }
    if (*m_pos != '<')
        return readCharacters();
    if (m_end - m_pos >= 2 && m_pos[1] == '/')
        return readEndTag();
    return readStartTag();
}

bool XmlScanner::readDeclaration()
{
    // Only the declarations a designer writes; any other goes to the stream.
    static const char start[] = "<?xml version=";
    static const char encoding[] = " encoding=";
    const int size = int(sizeof start) - 1;
    if (m_end - m_pos < size || std::memcmp(m_pos, start, size_t(size)) != 0)
        return m_pos == m_end || *m_pos == '<' || isSpace(*m_pos);
    const char *p = m_pos + size;
    const auto quoted = [&p, this](const char *value) {
        const int n = int(std::strlen(value));
        if (m_end - p < n + 2 || (*p != '"' && *p != '\'') || p[n + 1] != *p)
            return false;
        for (int i = 0; i < n; ++i) {
            if (QChar::toLower(uint(uchar(p[1 + i]))) != uint(uchar(value[i])))
                return false;
        }
        p += n + 2;
        return true;
    };
    if (!quoted("1.0"))
        return false;
    const int encodingSize = int(sizeof encoding) - 1;
    if (m_end - p >= encodingSize && std::memcmp(p, encoding, size_t(encodingSize)) == 0) {
        p += encodingSize;
        if (!quoted("utf-8"))
            return false;
    }
    if (p < m_end && *p == ' ')
        ++p;
    if (m_end - p < 2 || p[0] != '?' || p[1] != '>')
        return false;
    m_pos = p + 2;
    return true;
}

int XmlScanner::plainDocumentTypeLength(const char *p, const char *end)
{
    static const char keyword[] = "<!DOCTYPE";
    const int size = int(sizeof keyword) - 1;
    if (end - p <= size || std::memcmp(p, keyword, size_t(size)) != 0 || !isSpace(p[size]))
        return 0;
    const char *q = p + size;
    while (q < end && isSpace(*q))
        ++q;
    if (q == end || !isNameStart(*q))
        return 0;
    while (q < end && isNameChar(*q))
        ++q;
    while (q < end && isSpace(*q))
        ++q;
    if (q == end || *q != '>')
        return 0;
    return int(q + 1 - p);
}

QXmlStreamReader::TokenType XmlScanner::readEndTag()
{
    if (m_open.empty())
        return refuse();
    const auto [offset, length] = m_open.back();
    const char *name = m_pos + 2;
    if (m_end - name < length || std::memcmp(name, m_document.constData() + offset, size_t(length)) != 0)
        return refuse();
    m_pos = name + length;
    skipSpace();
    if (m_pos == m_end || *m_pos != '>')
        return refuse();
    ++m_pos;
    m_open.pop_back();
    return token(QXmlStreamReader::EndElement);
}

QXmlStreamReader::TokenType XmlScanner::readStartTag()
{
    const char *name = m_pos + 1;
    if (name == m_end || !isNameStart(*name))
        return refuse();
    const char *p = name + 1;
    while (p < m_end && isNameChar(*p))
        ++p;
    const int length = int(p - name);
    m_pos = p;
    skipSpace();
    if (m_pos < m_end && *m_pos == '>') {
        ++m_pos;
    } else if (m_end - m_pos >= 2 && m_pos[0] == '/' && m_pos[1] == '>') {
        m_pos += 2;
        m_closePending = true;
    } else {
        return refuse();
    }
    m_rootSeen = true;
    m_open.emplace_back(int(name - m_document.constData()), length);
    m_name = name;
    m_nameLength = length;
    return token(QXmlStreamReader::StartElement);
}

QXmlStreamReader::TokenType XmlScanner::readCharacters()
{
    const auto *less = static_cast<const char *>(std::memchr(m_pos, '<', size_t(m_end - m_pos)));
    if (!less || !checkText(m_pos, less))
        return refuse();
    m_textBegin = m_pos;
    m_textEnd = less;
    m_textMade = false;
    m_pos = less;
    return token(QXmlStreamReader::Characters);
}

bool XmlScanner::checkText(const char *begin, const char *end)
{
    const auto *p = reinterpret_cast<const unsigned char *>(begin);
    const auto *stop = reinterpret_cast<const unsigned char *>(end);
    bool references = false;
    bool ascii = true;
    bool nonSpace = false;
    while (p < stop) {
        const unsigned char c = *p;
        const unsigned char kind = byteKinds[c];
        if (kind & Plain) {
            nonSpace = nonSpace || !(kind & Space);
            ++p;
            continue;
        }
        if (c >= 0x80) {
            const int n = sequenceLength(p, stop);
            if (n == 0)
                return false;
            p += n;
            ascii = false;
            continue;
        }
        if (c < 0x20)
            return false;
        nonSpace = true; // a reference too stands for one
        if (c == '&') {
            int length = 0;
            if (entity(reinterpret_cast<const char *>(p), end, &length).isNull())
                return false;
            references = true;
            p += length;
            continue;
        }
        if (c == ']' && stop - p >= 3 && p[1] == ']' && p[2] == '>')
            return false;
        ++p;
    }
    m_textReferences = references;
    m_textAscii = ascii;
    m_textAsciiNonSpace = nonSpace;
    return true;
}

bool XmlScanner::textHasNonSpace() const
{
    if (m_type != QXmlStreamReader::Characters)
        return false;
    if (m_textAsciiNonSpace || m_textAscii)
        return m_textAsciiNonSpace;
    const QString &characters = text();
    return std::any_of(characters.cbegin(), characters.cend(), [](QChar c) { return !c.isSpace(); });
}

const QString &XmlScanner::text() const
{
    static const QString none;
    if (m_type != QXmlStreamReader::Characters)
        return none;
    if (m_textMade)
        return m_text;
    m_textMade = true;
    const char *begin = m_textBegin;
    const char *end = m_textEnd;
    if (!m_textReferences) {
        // The same characters; Latin-1 needs no decoding.
        const auto make = [&] {
            const int size = int(end - begin);
            return m_textAscii ? QString::fromLatin1(begin, size) : QString::fromUtf8(begin, size);
        };
        if (end - begin > sharedTextBytes) {
            m_text = make();
            return m_text;
        }
        const std::string_view key(begin, size_t(end - begin));
        const auto found = m_shared.find(key);
        if (found != m_shared.end()) {
            m_text = found->second;
        } else {
            m_text = make();
            if (m_shared.size() < sharedTexts)
                m_shared.emplace(key, m_text);
        }
        return m_text;
    }
    m_text.clear();
    const char *from = begin;
    for (const char *q = begin; q < end;) {
        if (*q != '&') {
            ++q;
            continue;
        }
        int length = 0;
        const QChar value = entity(q, end, &length);
        m_text += QString::fromUtf8(from, int(q - from));
        m_text += value;
        q += length;
        from = q;
    }
    m_text += QString::fromUtf8(from, int(end - from));
    return m_text;
}

bool XmlScanner::readNextStartElement()
{
    while (readNext() != QXmlStreamReader::Invalid) {
        if (isEndElement())
            return false;
        if (isStartElement())
            return true;
    }
    return false;
}

void XmlScanner::skipCurrentElement()
{
    int depth = 1;
    while (depth && readNext() != QXmlStreamReader::Invalid) {
        if (isEndElement())
            --depth;
        else if (isStartElement())
            ++depth;
    }
}
