#include "gui/pages/graphicsview.h"

GraphicsView::GraphicsView()
    : QGraphicsView(static_cast<QWidget *>(nullptr))
{
    setInteractive(true);
    setDragMode(QGraphicsView::RubberBandDrag);
    setMouseTracking(true);
}

void GraphicsView::keyPressEvent(QKeyEvent *event)
{
    emit keyPressed(event);
}
