#ifndef ITEMTEXTFRAME_H
#define ITEMTEXTFRAME_H

#include "gui/editors/frameupdater.h"

#include <memory>

namespace Ui {
class ItemTextFrame;
}

class ItemTextFrame : public FrameUpdater
{
    Q_OBJECT

public:
    explicit ItemTextFrame(Item *owner, QWidget *parent = nullptr);
    ~ItemTextFrame() override;

    void updateFrame() override;

protected:
    void buildForm() override;

private:
    std::unique_ptr<Ui::ItemTextFrame> m_ui;
};

#endif // ITEMTEXTFRAME_H
