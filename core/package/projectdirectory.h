#ifndef PROJECTDIRECTORY_H
#define PROJECTDIRECTORY_H

#include <QString>

// The folder beside the executable that holds the packages, settings.ini and
// the extracted pictures: application directory + "/projects/".
QString projectDirectory();

#endif // PROJECTDIRECTORY_H
