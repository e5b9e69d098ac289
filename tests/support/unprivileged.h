#ifndef UNPRIVILEGED_H
#define UNPRIVILEGED_H

#include <QProcess>
#include <QString>
#include <QStringList>

// A Wayland compositor refuses to run as root: as root, a test hands the files below `root`
// to nobody and starts the compositor and its clients as nobody, who may still read the build tree.
bool handToUnprivileged(const QString &root);
void startUnprivileged(QProcess &process, const QString &program, const QStringList &arguments);

#endif // UNPRIVILEGED_H
