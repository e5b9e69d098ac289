#ifndef STORABLENAME_H
#define STORABLENAME_H

#include <QString>

// Whether the platform's file system keeps a file of this name (one path
// component, already free of separators and control characters) as a plain
// file under this very name. Linux does for every such name. Windows takes
// CON, PRN, AUX, NUL, COM0 to COM9 and LPT0 to LPT9, also with an extension
// ("nul.png"), for its devices, so a picture would be written to a serial
// port or nowhere; drops a name's trailing dots and spaces, so "a.png." would
// overwrite "a.png"; and refuses < > " | ? *.
bool isStorableName(const QString &component);

#endif // STORABLENAME_H
