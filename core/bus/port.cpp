#include "core/bus/port.h"

#include "core/bus/module.h"
#include "core/bus/portid.h"
#include "core/project/xmlelements.h"

namespace {

QString orUnknown(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("???") : text;
}

} // namespace

Port::Port(QString name, int port, int type, QString subsection, QObject *parent)
    : QObject(parent)
    , name(orUnknown(name))
    , type(type)
    , port(port)
    , module(qobject_cast<Module *>(parent))
    , subsection(orUnknown(subsection))
{
}

void Port::saveToXml(QDomDocument &document, QDomElement &portElement)
{
    appendElement(document, portElement, QStringLiteral("name"), name);
    appendIntElement(document, portElement, QStringLiteral("port"), port);
    appendElement(document, portElement, QStringLiteral("subsection"), subsection);
    appendIntElement(document, portElement, QStringLiteral("type"), type);
}

QString Port::fullName() const
{
    return (module ? module->name : QString()) + QLatin1Char('.') + name;
}

QString Port::typeName() const
{
    switch (type) {
    case Output:
        return QStringLiteral("Output");
    case Input:
        return QStringLiteral("Input");
    case AdcOutput:
        return QStringLiteral("ADC Output");
    case AdcInput:
        return QStringLiteral("ADC Input");
    default:
        return QStringLiteral("Unknown Type");
    }
}

QString Port::itemKey() const
{
    const bool output = type == Output || type == AdcOutput;
    const bool input = type == Input || type == AdcInput;

    const QString moduleId = module ? module->id : QString();
    QString object = moduleId;
    int number = port;
    // The panel's own outputs and inputs: one pseudo-object per port.
    if (moduleId == QLatin1String("OUT") || moduleId == QLatin1String("IN")) {
        object = moduleId + QString::number(port + 1);
        number = 0;
    }
    if (output || input)
        return PortId(output ? PortId::Out : PortId::In, object, number).toStateKey();
    return PortId::undirectedStateKey(object, number);
}
