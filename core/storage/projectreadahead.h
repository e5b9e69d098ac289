#ifndef PROJECTREADAHEAD_H
#define PROJECTREADAHEAD_H

#include "core/storage/projectreader.h"

#include <QByteArray>
#include <future>

// Reads a project document twice at once, so that a load can build its first
// page before the whole document is read: the whole reading
// (ProjectReader::read) on a second thread, and on the caller's thread the
// stream's reading of the part up to the end of the first page element.
//
// The early reading is only a guess. It stands when the whole reading has
// the same page size and the same first page; otherwise (the rest is broken,
// the document is handed over and read differently, the page size comes
// after the pages) whatever was made from it must be made again from the
// whole reading, or dropped.
class ProjectReadAhead
{
public:
    // Starts the whole reading of `document` on a second thread.
    explicit ProjectReadAhead(const QByteArray &document);
    // Waits for the whole reading.
    ~ProjectReadAhead();

    ProjectReadAhead(const ProjectReadAhead &) = delete;
    ProjectReadAhead &operator=(const ProjectReadAhead &) = delete;

    const QByteArray &document() const { return m_document; }

    // Reads the first page on this thread; false when the stream cannot.
    bool readFirstPage();
    // The early reading (empty unless readFirstPage() succeeded).
    const ProjectReader &early() const { return m_early; }

    // Waits for the whole reading, then tells whether it read the document.
    bool finish();
    // The whole reading; finish() first.
    const ProjectReader &whole() const { return m_whole; }
    ProjectReader &whole() { return m_whole; }
    // Whether the early reading gives what the whole one does: the page size
    // and the first page (its position among the nodes included).
    bool earlyStands() const;

private:
    QByteArray m_document;
    ProjectReader m_early;
    ProjectReader m_whole;
    std::future<bool> m_reading;
    bool m_read = false;
};

#endif // PROJECTREADAHEAD_H
