#ifndef PANELMESSAGEBOX_H
#define PANELMESSAGEBOX_H

#include <QMessageBox>
#include <QSize>

class QScreen;

// A message box a finger can use on a wall: framed, so it stands apart from
// the black page behind it, with its text and buttons sized like the PIN
// pad's keys for the window (or screen) it covers, and never smaller than
// a fingertip. A text with a blank line puts what follows it (the reason)
// in a paragraph of its own.
class PanelMessageBox : public QMessageBox
{
    Q_OBJECT

public:
    // The smallest edge of a button, in millimetres on the screen.
    static constexpr double minButtonMillimetres = 9.0;

    explicit PanelMessageBox(const QString &text, QWidget *parent = nullptr);

    // The edge of a button over an area of `area` on a screen of
    // `dotsPerInch`: a tenth of the shorter side, as the PIN pad's keys, and
    // at least minButtonMillimetres (on a screen of no known size, as at
    // 96 dpi: `dotsPerInch` not positive).
    static int buttonEdge(const QSize &area, double dotsPerInch);
    // minButtonMillimetres on `screen` in pixels.
    static int fingertip(const QScreen *screen);

    // Shows `text` until the operator closes the box.
    static void tell(const QString &text, QWidget *parent = nullptr, Icon icon = NoIcon);
};

#endif // PANELMESSAGEBOX_H
