#ifndef ITEMADCTEXTFRAME_H
#define ITEMADCTEXTFRAME_H

#include "gui/editors/frameupdater.h"

#include <memory>

namespace Ui {
class ItemADCTextFrame;
}

class ItemADCTextFrame : public FrameUpdater
{
    Q_OBJECT

public:
    explicit ItemADCTextFrame(Item *owner, QWidget *parent = nullptr);
    ~ItemADCTextFrame() override;

    void updateFrame() override;

protected:
    void buildForm() override;

private:
    std::unique_ptr<Ui::ItemADCTextFrame> m_ui;
};

#endif // ITEMADCTEXTFRAME_H
