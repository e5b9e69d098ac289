#include "gui/dialogs/panelmessagebox.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cmath>

PanelMessageBox::PanelMessageBox(const QString &text, QWidget *parent)
    : QMessageBox(parent)
{
    const int paragraph = text.indexOf(QLatin1String("\n\n"));
    setText(paragraph < 0 ? text : text.left(paragraph));
    if (paragraph >= 0)
        setInformativeText(text.mid(paragraph + 2));

    const QScreen *screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize area = parent && parent->isVisible() ? parent->window()->size()
        : screen                                     ? screen->availableGeometry().size()
                                                     : QSize(1024, 768);
    const int edge = buttonEdge(area, screen ? screen->physicalDotsPerInch() : 0);
    // The panel's sheet sets every dialog to black without a border, and its
    // texts to 12 px: far too small at arm's length on a wall.
    setStyleSheet(QStringLiteral("QMessageBox { border: 2px solid #EEEEEE; }"
                                 "QMessageBox QLabel { font-size: %1px; }"
                                 "QMessageBox QPushButton { font-size: %2px; min-width: %3px; min-height: %3px;"
                                 " padding: 0px %4px; }")
                      .arg(std::max(12, edge * 30 / 100))
                      .arg(edge * 4 / 10)
                      .arg(edge)
                      .arg(edge / 4));
}

int PanelMessageBox::buttonEdge(const QSize &area, double dotsPerInch)
{
    const int tenth = int(std::min(area.width(), area.height()) * 0.1);
    const double dots = dotsPerInch > 0 ? dotsPerInch : 96;
    return std::max(tenth, int(std::ceil(minButtonMillimetres / 25.4 * dots)));
}

int PanelMessageBox::fingertip(const QScreen *screen)
{
    return buttonEdge(QSize(), screen ? screen->physicalDotsPerInch() : 0);
}

void PanelMessageBox::tell(const QString &text, QWidget *parent, Icon icon)
{
    PanelMessageBox box(text, parent);
    box.setIcon(icon);
    box.exec();
}
