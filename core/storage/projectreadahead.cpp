#include "core/storage/projectreadahead.h"

#include "core/startup/threadpriority.h"

#include <utility>

ProjectReadAhead::ProjectReadAhead(const QByteArray &document)
    : m_document(document)
{
    // The thread has its own reader and its own copy of the bytes' handle;
    // nothing here touches m_whole until finish() has waited for it.
    m_reading = std::async(std::launch::async, [this, bytes = m_document] {
        lowerPriorityFor(LoadWork::AfterFirstPage);
        const bool read = m_whole.read(bytes, [this](const ProjectReader::PageRecord &page) {
            const std::lock_guard<std::mutex> lock(m_heardLock);
            m_heard.append(page);
            m_heardMore.notify_one();
        });
        const std::lock_guard<std::mutex> lock(m_heardLock);
        m_ended = true;
        m_heardMore.notify_one();
        return read;
    });
}

ProjectReadAhead::~ProjectReadAhead()
{
    if (m_reading.valid())
        m_reading.wait();
}

bool ProjectReadAhead::readFirstPage()
{
    return m_early.readFirstPage(m_document);
}

bool ProjectReadAhead::heardPage(int index, ProjectReader::PageRecord *page)
{
    std::unique_lock<std::mutex> lock(m_heardLock);
    m_heardMore.wait(lock, [this, index] { return m_heard.size() > index || m_ended; });
    if (m_heard.size() <= index)
        return false;
    // Handed over, not copied: the whole reading keeps its own.
    *page = std::exchange(m_heard[index], ProjectReader::PageRecord());
    return true;
}

bool ProjectReadAhead::finish()
{
    if (m_reading.valid())
        m_read = m_reading.get();
    return m_read;
}

bool ProjectReadAhead::earlyStands() const
{
    return m_read && !m_early.pages().isEmpty() && !m_whole.pages().isEmpty()
        && m_early.pageX() == m_whole.pageX() && m_early.pageY() == m_whole.pageY()
        && m_early.pages().first() == m_whole.pages().first();
}
