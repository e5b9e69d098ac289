#ifndef PAGEKEYS_H
#define PAGEKEYS_H

class Page;
class QKeyEvent;

// The page editor's keys: Ctrl+C, Ctrl+X and Ctrl+V through the clipboard,
// Delete, and the arrows moving the selected items by 10 (by 1 with Ctrl).
class PageKeys
{
public:
    static void handle(Page &page, const QKeyEvent &event);
};

#endif // PAGEKEYS_H
