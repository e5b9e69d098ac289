#ifndef PROJECTDOMREADER_H
#define PROJECTDOMREADER_H

#include <QByteArray>

class ProjectReader;

// The reading of a project document that every other one is held to: Qt's
// parsed document (QDomDocument::setContent) with the look-ups the loader has
// always made, so a document is read with this Qt's rules for encodings,
// entities, control characters and white space. Slower and larger in memory
// than the streaming pass, which hands it what it cannot be sure of.
class ProjectDomReader
{
public:
    // Fills `result` from `document`; a document the parser refuses leaves
    // it empty with the parser's error (false).
    static bool read(const QByteArray &document, ProjectReader *result);

private:
    ProjectDomReader() = delete;
};

#endif // PROJECTDOMREADER_H
