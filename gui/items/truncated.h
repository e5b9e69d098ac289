#ifndef TRUNCATED_H
#define TRUNCATED_H

#include <QtGlobal>

#include <limits>

// A scene coordinate or size cut toward zero into the int range, 0 for NaN:
// the project document may carry any number.
inline int truncated(qreal value)
{
    if (!(value == value))
        return 0;
    return int(qBound<qreal>(std::numeric_limits<int>::min(), value, std::numeric_limits<int>::max()));
}

#endif // TRUNCATED_H
