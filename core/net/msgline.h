#ifndef MSGLINE_H
#define MSGLINE_H

#include <QByteArray>
#include <QChar>
#include <QString>

// One line of the message server protocol: parsing of what the server sends and
// the byte form of what the client sends. Pure functions, no socket involved.
class MsgLine
{
public:
    enum Kind {
        Unknown,   // any other letter, or an empty line
        Ignored,   // "N" and "B" lines
        Port,      // "P" report: object, port, output, value
        Error,     // "E": code and text
        Login,     // "L": loginOk
        Config,    // "C": sub-command letter and the text after it
        Malformed, // "P" or "E" without the fields they need
    };

    Kind kind = Unknown;
    QChar letter;            // the command letter; null for an empty line or one above Latin-1

    QString object;          // Port
    int port = 0;
    bool output = false;
    double value = 0.0;

    int code = 0;            // Error
    QString text;            // Error text, or the Config text after the sub-command

    bool loginOk = false;    // Login
    QChar sub;               // Config sub-command; null when the payload is empty

    // Parses one line without its line feed: white space around it is removed,
    // decoding stops at the first NUL byte.
    static MsgLine parse(const char *data, int size);
    static MsgLine parse(const QByteArray &line) { return parse(line.constData(), line.size()); }

    // The wire form of one outgoing line: letter and payload, trimmed, one line feed.
    static QByteArray frame(char command, const QByteArray &payload);
    // Shorter of fixed and exponent notation, at most 6 significant digits, "." as point.
    static QByteArray formatValue(double value);
    // "OUT"/"IN" "." object "." port "=" value, in Latin-1.
    static QByteArray portPayload(const QString &object, int port, bool output, double value);

    bool operator==(const MsgLine &other) const;
    bool operator!=(const MsgLine &other) const { return !(*this == other); }
    QString toString() const;
};

char *toString(const MsgLine &line); // for QCOMPARE

#endif // MSGLINE_H
