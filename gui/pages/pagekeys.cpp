#include "gui/pages/pagekeys.h"

#include "gui/pages/page.h"

#include <QKeyEvent>

void PageKeys::handle(Page &page, const QKeyEvent &event)
{
    const bool ctrl = event.modifiers() & Qt::ControlModifier;
    switch (event.key()) {
    case Qt::Key_C:
        if (ctrl)
            page.copyItems();
        break;
    case Qt::Key_X:
        if (ctrl) {
            page.copyItems();
            page.deleteItems();
        }
        break;
    case Qt::Key_V:
        if (ctrl)
            page.pasteItems();
        break;
    case Qt::Key_Delete:
        page.deleteItems();
        break;
    case Qt::Key_Up:
        page.moveItems(ctrl ? -1 : -10, 0);
        break;
    case Qt::Key_Down:
        page.moveItems(ctrl ? 1 : 10, 0);
        break;
    case Qt::Key_Left:
        page.moveItems(0, ctrl ? -1 : -10);
        break;
    case Qt::Key_Right:
        page.moveItems(0, ctrl ? 1 : 10);
        break;
    default:
        break;
    }
}
