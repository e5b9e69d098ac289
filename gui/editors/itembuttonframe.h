#ifndef ITEMBUTTONFRAME_H
#define ITEMBUTTONFRAME_H

#include "gui/editors/frameupdater.h"

#include <memory>

namespace Ui {
class ItemButtonFrame;
}

class ItemButtonFrame : public FrameUpdater
{
    Q_OBJECT

public:
    explicit ItemButtonFrame(Item *owner, QWidget *parent = nullptr);
    ~ItemButtonFrame() override;

    void updateFrame() override;

protected:
    void buildForm() override;

private:
    std::unique_ptr<Ui::ItemButtonFrame> m_ui;
};

#endif // ITEMBUTTONFRAME_H
