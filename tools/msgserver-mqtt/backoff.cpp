#include "backoff.h"

#include <algorithm>

int Backoff::next()
{
    // Shifting stops early, so no failure count overflows the delay.
    const int shift = std::min(m_failures, 5);
    ++m_failures;
    return std::min(firstMs << shift, maxMs);
}
