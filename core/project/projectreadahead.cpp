#include "core/project/projectreadahead.h"

#include "core/startup/threadpriority.h"

ProjectReadAhead::ProjectReadAhead(const QByteArray &document)
    : m_document(document)
{
    // The thread has its own reader and its own copy of the bytes' handle;
    // nothing here touches m_whole until finish() has waited for it.
    m_reading = std::async(std::launch::async, [this, bytes = m_document] {
        lowerPriorityFor(LoadWork::AfterFirstPage);
        return m_whole.read(bytes);
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

bool ProjectReadAhead::finish()
{
    if (m_reading.valid())
        m_read = m_reading.get();
    return m_read;
}

bool ProjectReadAhead::earlyStands() const
{
    return m_read && !m_early.pages().isEmpty() && !m_whole.pages().isEmpty() && m_early.pageX() == m_whole.pageX()
        && m_early.pageY() == m_whole.pageY() && m_early.pages().first() == m_whole.pages().first();
}
