#ifndef MODULE_H
#define MODULE_H

#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QList>
#include <QObject>
#include <QString>

class Port;

// A bus module as the message server sees it, with its numbered ports.
class Module : public QObject
{
    Q_OBJECT

public:
    // An empty name or room becomes "???".
    Module(QString name, QString id, QString type, int busid, QString room, QObject *parent);

    // The new port is a child of this module.
    void addPort(QString name, int port, int type, QString subsection);
    // Adds one port per "port" element of the list; a missing child reads as empty.
    void loadPorts(QDomNodeList portNodes);
    // Appends a "module" element with the module's values and its ports to `parent`.
    void saveToXml(QDomDocument &document, QDomElement &parent);

    QList<Port *> ports;
    QString id;
    QString name;
    QString room;
    QString type;
    int busid;
};

#endif // MODULE_H
