#ifndef PAGEIDS_H
#define PAGEIDS_H

#include <QString>
#include <QtGlobal>

// Identifiers of new pages: 16 characters of A-Z and 0-9 from one seeded
// generator. Pages are made on the GUI thread only, so one serves them all.
class PageIds
{
public:
    static void seed(quint32 seed);
    static QString next();
};

#endif // PAGEIDS_H
