#ifndef GRAPHICSVIEW_H
#define GRAPHICSVIEW_H

#include <QGraphicsView>

class QKeyEvent;

// The view of one page. Every key goes to the page (its editing keys) instead
// of the view's own scrolling and focus handling.
class GraphicsView : public QGraphicsView
{
    Q_OBJECT
public:
    GraphicsView();

signals:
    void keyPressed(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

#endif // GRAPHICSVIEW_H
