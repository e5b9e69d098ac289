#ifndef PROJECTREADER_H
#define PROJECTREADER_H

#include "core/storage/itemelement.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Reads a project document in one streaming pass into plain values: the
// page size, the connection settings and the pages with their item elements.
// Nothing here makes a widget, so a load may read on another thread while
// it unpacks the pictures; the panel builds its pages from the result.
class ProjectReader
{
public:
    struct Connection
    {
        QString host;
        QString username;
        QString password;
        int port = 0; // written by the designer, not used by the panel
    };

    struct PageRecord
    {
        QString name;
        QString id;
        QString background;
        // Position among the child nodes of "Pages" (elements or not), which
        // the loading progress counts.
        int node = 0;
        // The items, either read already or as the text of their
        // "components" element, to be read by ItemElement::readList().
        QList<ItemElement> items;
        QString itemsXml;

        // The item elements, read from the text if need be; picture names as stored.
        QList<ItemElement> itemElements() const;
    };

    // Reads `document`. A document that is not well-formed reads as an empty
    // one (false): no page size, no connection, no pages. Picture names stay
    // as stored.
    bool read(const QByteArray &document);


    int pageX() const { return m_pageX; }
    int pageY() const { return m_pageY; }
    const Connection &connection() const { return m_connection; }
    const QList<PageRecord> &pages() const { return m_pages; }
    // Number of child nodes of "Pages", elements or not.
    int pageNodeCount() const { return m_pageNodes; }
    QString errorString() const { return m_error; }

private:
    int m_pageX = 0;
    int m_pageY = 0;
    Connection m_connection;
    QList<PageRecord> m_pages;
    int m_pageNodes = 0;
    QString m_error;
};

#endif // PROJECTREADER_H
