#include "core/live/answerwatch.h"

#include <utility>

AnswerWatch::AnswerWatch(qint64 waitMsecs, Clock clock)
    : m_wait(waitMsecs)
    , m_clock(std::move(clock))
{
}

void AnswerWatch::sent(const QString &key)
{
    if (!m_overdue.contains(key) && !m_waiting.contains(key))
        m_waiting.insert(key, m_clock());
}

bool AnswerWatch::answered(const QString &key)
{
    m_waiting.remove(key);
    return m_overdue.remove(key);
}

QStringList AnswerWatch::poll()
{
    QStringList due;
    const qint64 now = m_clock();
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (now - it.value() >= m_wait) {
            due << it.key();
            m_overdue.insert(it.key());
            it = m_waiting.erase(it);
        } else {
            ++it;
        }
    }
    return due;
}
