#ifndef MSGLINE_H
#define MSGLINE_H

#include <QByteArray>
#include <QChar>
#include <QString>

class PortId;

// One line of the message server protocol: parsing of what the server sends and
// the byte form of what the client sends, and the same for the server side.
// Pure functions, no socket involved.
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
        Malformed, // "P", "E" or "U" without the fields they need
        NoValue,   // "U": the server does not know the port's value (object, port, output)
    };

    // What a panel sends (parseRequest); `kind` stays Unknown for these.
    enum Request {
        NoRequest,     // any other letter, or an empty line
        KeepAlive,     // "N": text holds the payload
        LoginRequest,  // "L": user, password
        ConfigRequest, // "C": sub-command letter and the text after it
        StartRequest,  // "S"
        PortCommand,   // "P": object, port, output, value and valueText
        BadRequest,    // "P" with a field that is not well-formed, "L" without "="
    };

    Kind kind = Unknown;
    Request request = NoRequest;
    QChar letter; // the command letter; null for an empty line or one above Latin-1

    QString object; // Port, NoValue
    int port = 0;
    bool output = false;
    double value = 0.0;

    int code = 0; // Error
    QString text; // Error text, or the Config text after the sub-command

    bool loginOk = false; // Login
    QChar sub;            // Config sub-command; null when the payload is empty

    QString user; // LoginRequest
    QString password;
    QString valueText; // PortCommand value as the panel sent it

    // Parses one line without its line feed: white space around it is removed,
    // decoding stops at the first NUL byte.
    static MsgLine parse(const char *data, int size);
    static MsgLine parse(const QByteArray &line) { return parse(line.constData(), line.size()); }

    // The wire form of one outgoing line: letter and payload, trimmed, one line feed.
    static QByteArray frame(char command, const QByteArray &payload);
    // Shorter of fixed and exponent notation, at most 6 significant digits, "." as point.
    static QByteArray formatValue(double value);
    // The same with up to 15 significant digits, for a server's reports: a
    // device's value of up to 15 digits reaches the panel as exactly that value.
    static QByteArray formatReportValue(double value);
    // "OUT"/"IN" "." object "." port "=" value, in Latin-1.
    static QByteArray portPayload(const QString &object, int port, bool output, double value);

    // Parses one line a panel sent, without its line feed: white space around it
    // is removed and the bytes are read as Latin-1, as the panel writes them. A
    // port command is taken only when every field is well-formed (direction,
    // object, port number, value); otherwise it is a BadRequest.
    static MsgLine parseRequest(const QByteArray &line);

    // Lines a server sends. Text is written as UTF-8, which the panel reads;
    // line feeds and carriage returns inside it become spaces, so one call is
    // always one line.
    static QByteArray frameLoginAnswer(bool accepted);
    static QByteArray frameConfigAnswer(QChar sub, const QString &text);
    static QByteArray frameError(int code, const QString &text);
    static QByteArray frameKeepAlive(const QString &text);
    // The value in formatReportValue. Empty when the object cannot be carried:
    // empty, or holding ".", "=" or a line break.
    static QByteArray framePort(const QString &object, int port, bool output, double value);
    // "U" and the port's address: its value is not known until its next "P"
    // line. Empty when the object cannot be carried, as for framePort.
    static QByteArray frameNoValue(const PortId &port);
    // `line` as a log may show it: a login's password as "***", anything
    // else as it is.
    static QByteArray withoutPassword(const QByteArray &line);
    // `line` exactly as given plus one line feed: for fault trials that must send
    // what the other frames never produce (blank lines, stray bytes).
    static QByteArray frameVerbatim(const QByteArray &line);
    // The standard text of an error code; empty for codes outside 0..6.
    static QString errorText(int code);

    bool operator==(const MsgLine &other) const;
    bool operator!=(const MsgLine &other) const { return !(*this == other); }
    QString toString() const;
};

char *toString(const MsgLine &line); // for QCOMPARE

#endif // MSGLINE_H
