#ifndef REPORTLINE_H
#define REPORTLINE_H

#include <QString>

// The information line every port report gets, exactly as
//   qInfo() << "Data" << object << output << port << value
// writes it: Data "Kueche" true 3 21.75. Built by hand where that is sure to
// read the same (an object of printable ASCII without quote or backslash;
// the value as QString::number writes it, by hand for the usual ones), so a
// burst of reports does not build a debug stream for each; anything else
// goes through the debug stream itself.
class ReportLine
{
public:
    static QString text(const QString &object, bool output, int port, double value);
    // The same into `line`, whose memory is used again.
    static void write(QString *line, const QString &object, bool output, int port, double value);
    // The debug stream's text, for everything the hand-built one leaves out.
    static QString referenceText(const QString &object, bool output, int port, double value);
    // Writes the line as an information message, as qInfo() would, built in
    // `buffer`.
    static void log(QString *buffer, const QString &object, bool output, int port, double value);
};

#endif // REPORTLINE_H
