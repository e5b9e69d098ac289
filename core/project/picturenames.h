#ifndef PICTURENAMES_H
#define PICTURENAMES_H

#include <QString>

// Where an item's stored picture name lives on disk: the project's own icons
// first, then the icons common to all projects, else the no-icon picture.
QString resolvePictureName(const QString &name);

// The name under which a picture path is written into an item element
// (`bareName`: the file name without its picture directory) or listed for
// packing (the path below the project directory). The no-icon picture gives
// the empty text.
QString storedPictureName(const QString &path, bool bareName);

#endif // PICTURENAMES_H
