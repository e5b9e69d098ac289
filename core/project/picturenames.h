#ifndef PICTURENAMES_H
#define PICTURENAMES_H

#include <QString>

// Where an item's stored picture name lives on disk: the project's own icons
// first, then the icons common to all projects, else the no-icon picture.
// A name is taken as a package entry's is (relative, no empty, "." or ".."
// part, no "\\", ":" or control character) and must lead to a regular file
// (a link to one counts); *refused says why a name that breaks that rule
// gives the no-icon picture. A picture that is not there is no fault.
QString resolvePictureName(const QString &name, QString *refused = nullptr);

// The path of picture `name` in `folder` under the same rule, whether a file
// is there yet or not; an empty text for a name that breaks it, with the
// reason in *refused.
QString pictureFileIn(const QString &folder, const QString &name, QString *refused = nullptr);

// The name under which a picture path is written into an item element
// (`bareName`: the file name without its picture directory) or listed for
// packing (the path below the project directory). The no-icon picture gives
// the empty text.
QString storedPictureName(const QString &path, bool bareName);

#endif // PICTURENAMES_H
