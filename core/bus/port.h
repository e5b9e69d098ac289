#ifndef PORT_H
#define PORT_H

#include <QDomDocument>
#include <QDomElement>
#include <QObject>
#include <QString>

class Module;

// One numbered port of a bus module.
class Port : public QObject
{
    Q_OBJECT

public:
    enum Type { Output = 0, Input = 1, AdcOutput = 2, AdcInput = 3 };

    // `parent` is the owning module; an empty name or sub-section becomes "???".
    Port(QString name, int port, int type, QString subsection, QObject *parent);

    // Appends "name", "port", "subsection" and "type" to `portElement`.
    void saveToXml(QDomDocument &document, QDomElement &portElement);
    // Module name "." port name.
    QString fullName() const;
    QString typeName() const;
    // The state key items hold for this port, such as ITM_12_OUT3.
    QString itemKey() const;

    QString name;
    int type;
    int port;
    Module *module;
    QString subsection;
};

#endif // PORT_H
