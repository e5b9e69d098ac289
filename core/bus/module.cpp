#include "core/bus/module.h"

#include "core/bus/port.h"
#include "core/project/xmlelements.h"

Module::Module(QString name, QString id, QString type, int busid, QString room, QObject *parent)
    : QObject(parent)
    , id(id)
    , name(name.isEmpty() ? QStringLiteral("???") : name)
    , room(room.isEmpty() ? QStringLiteral("???") : room)
    , type(type)
    , busid(busid)
{
}

void Module::addPort(QString name, int port, int type, QString subsection)
{
    ports.append(new Port(name, port, type, subsection, this));
}

void Module::loadPorts(QDomNodeList portNodes)
{
    for (int i = 0; i < portNodes.count(); ++i) {
        const QDomNodeList fields = portNodes.at(i).childNodes();
        addPort(childElement(fields, QStringLiteral("name")).text(),
                childElement(fields, QStringLiteral("port")).text().toInt(nullptr, 10),
                childElement(fields, QStringLiteral("type")).text().toInt(nullptr, 10),
                childElement(fields, QStringLiteral("subsection")).text());
    }
}

void Module::saveToXml(QDomDocument &document, QDomElement &parent)
{
    QDomElement module = appendElement(document, parent, QStringLiteral("module"), QString());
    appendIntElement(document, module, QStringLiteral("busid"), busid);
    appendElement(document, module, QStringLiteral("id"), id);
    appendElement(document, module, QStringLiteral("name"), name);
    appendElement(document, module, QStringLiteral("room"), room);
    appendElement(document, module, QStringLiteral("type"), type);
    QDomElement portsElement = appendElement(document, module, QStringLiteral("ports"), QString());
    for (Port *port : ports) {
        QDomElement portElement = appendElement(document, portsElement, QStringLiteral("port"), QString());
        port->saveToXml(document, portElement);
    }
}
