#ifndef PROJECTREADER_H
#define PROJECTREADER_H

#include "core/storage/itemelement.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

// Reads a project document into plain values: the page size, the connection
// settings and the pages with their item elements. Nothing here makes a
// widget, so a load may read on another thread while it unpacks the pictures;
// the panel builds its pages from the result.
//
// What a document says is what a parsed document (ProjectDomReader) reads
// from it. A streaming pass reads the documents it is sure to read the same
// way, at a fraction of the cost, and hands every other one over. The pass
// tokenises with XmlScanner where that takes the document (about a quarter
// of the stream's cost) and with QXmlStreamReader where it refuses it.
class ProjectReader
{
public:
    struct Connection
    {
        QString host;
        QString username;
        QString password;
        int port = 0; // written by the designer, not used by the panel

        bool operator==(const Connection &other) const;
    };

    struct PageRecord
    {
        QString name;
        QString id;
        QString background;
        // Position among the child nodes of "Pages" (elements or not), which
        // the loading progress counts.
        int node = 0;
        // The child elements of "components"; picture names as stored.
        QList<ItemElement> items;

        bool operator==(const PageRecord &other) const;
        bool operator!=(const PageRecord &other) const { return !(*this == other); }
    };

    // Reads `document`. A document that is not well-formed reads as an empty
    // one (false): no page size, no connection, no pages. Picture names stay
    // as stored.
    bool read(const QByteArray &document);

    // The streaming pass alone. False when it hands the document over: it
    // is not well-formed to the stream, or holds what the pass cannot be
    // sure to read as a parsed document does (another encoding, a document
    // type other than the designer's plain line before the root, CDATA, a
    // carriage return inside a text). Nothing is read then.
    bool readStreaming(const QByteArray &document);
    // The same pass with XmlScanner. False when the scanner refuses the
    // document; nothing is read then.
    bool readScanned(const QByteArray &document);

    // The streaming pass from the start of `document` to the end of its
    // first page element, the rest unread: what comes before it and that
    // page, as the stream reads them. A guess that needs the whole reading's
    // word (ProjectReadAhead): the rest may be broken or read otherwise.
    // False, with nothing read, when there is no such page or the pass is
    // not sure of it; the page count is that of the part read.
    bool readFirstPage(const QByteArray &document);

    int pageX() const { return m_pageX; }
    int pageY() const { return m_pageY; }
    const Connection &connection() const { return m_connection; }
    const QList<PageRecord> &pages() const { return m_pages; }
    // The pages handed over, none left here: a load keeps them, not a copy.
    QList<PageRecord> takePages() { return std::exchange(m_pages, {}); }
    // Number of child nodes of "Pages", elements or not.
    int pageNodeCount() const { return m_pageNodes; }
    QString errorString() const { return m_error; }
    // Whether read() took the document from the parsed document.
    bool handedOver() const { return m_handedOver; }

    // The same values read (the error and the road taken aside).
    bool operator==(const ProjectReader &other) const;
    bool operator!=(const ProjectReader &other) const { return !(*this == other); }

private:
    friend class ProjectDomReader;

    template<typename Reader>
    bool stream(Reader &reader, bool firstPageOnly);

    int m_pageX = 0;
    int m_pageY = 0;
    Connection m_connection;
    QList<PageRecord> m_pages;
    int m_pageNodes = 0;
    QString m_error;
    bool m_handedOver = false;
};

#endif // PROJECTREADER_H
