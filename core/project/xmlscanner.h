#ifndef XMLSCANNER_H
#define XMLSCANNER_H

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QXmlStreamReader>

#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Tokenises the plain documents a designer writes, several times faster than
// QXmlStreamReader: UTF-8 without a byte order mark, at most an XML
// declaration of version 1.0 and UTF-8, then at most a plain document type
// line (below), elements without attributes whose names are ASCII without a
// colon, and texts with no other references than the five predefined
// entities. For such a document it gives the tokens
// QXmlStreamReader gives, through the same members, so that one reading
// serves both (a text may come in other pieces; readers join them).
//
// Everything else it refuses: the reading ends as on an error, and the
// caller reads the document with QXmlStreamReader instead. So it never
// reads a document otherwise than that reader does; a refusal costs only
// time. Refused are also a document that is not well-formed, texts with a
// control character, a carriage return, C1 controls, characters beyond
// U+FFFF, U+FEFF, non-characters or "]]>", comments, processing
// instructions and every other markup declaration.
class XmlScanner
{
public:
    explicit XmlScanner(const QByteArray &document);

    // The length of a document type declaration at `p` that changes nothing
    // in the reading, as the designer writes it: "<!DOCTYPE", white space, a
    // name as the scanner takes element names, white space, ">". Without an
    // external identifier or an internal subset nothing can be declared, and
    // the parsed document reads the elements whatever the name. 0 for any
    // other declaration.
    static int plainDocumentTypeLength(const char *p, const char *end);

    QXmlStreamReader::TokenType readNext();
    QXmlStreamReader::TokenType tokenType() const { return m_type; }
    bool readNextStartElement();
    void skipCurrentElement();

    bool atEnd() const { return m_ended || m_refused; }
    // Set once the document is refused; the reading is over then.
    bool hasError() const { return m_refused; }
    bool isStartElement() const { return m_type == QXmlStreamReader::StartElement; }
    bool isEndElement() const { return m_type == QXmlStreamReader::EndElement; }
    bool isCharacters() const { return m_type == QXmlStreamReader::Characters; }
    bool isCDATA() const { return false; }
    // The name of the element started (ASCII, so Latin-1); the text of a
    // Characters token, references resolved. A text is made only when asked
    // for: the white space between elements, most of an indented document's
    // texts, is checked and passed over.
    QLatin1String qualifiedName() const { return QLatin1String(m_name, m_nameLength); }
    const QString &text() const;
    // Whether the text holds a character that is not white space as
    // QChar::isSpace() judges it; the bytes tell when they are ASCII.
    bool textHasNonSpace() const;

private:
    QXmlStreamReader::TokenType refuse();
    QXmlStreamReader::TokenType token(QXmlStreamReader::TokenType type);
    bool readDeclaration();
    QXmlStreamReader::TokenType readEndTag();
    QXmlStreamReader::TokenType readStartTag();
    QXmlStreamReader::TokenType readCharacters();
    bool checkText(const char *begin, const char *end);
    void skipSpace();

    const QByteArray m_document;
    const char *m_pos;
    const char *m_end;
    QXmlStreamReader::TokenType m_type = QXmlStreamReader::NoToken;
    bool m_refused = false;
    bool m_ended = false;
    bool m_rootSeen = false;
    bool m_typeSeen = false;
    bool m_closePending = false;
    // The open elements' names: offset into the document and length.
    std::vector<std::pair<int, int>> m_open;
    const char *m_name = nullptr;
    int m_nameLength = 0;
    // The current text's bytes and what they hold; made into m_text by text().
    const char *m_textBegin = nullptr;
    const char *m_textEnd = nullptr;
    bool m_textAscii = true;
    bool m_textReferences = false;
    bool m_textAsciiNonSpace = false;
    mutable bool m_textMade = false;
    mutable QString m_text;
    // Short texts made once and shared: a project repeats its numbers, kinds,
    // picture names and texts thousands of times. Keys point into the
    // document, which the scanner holds.
    mutable std::unordered_map<std::string_view, QString> m_shared;
};

#endif // XMLSCANNER_H
