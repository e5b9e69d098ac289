#ifndef ITEMSTATEBUTTONFRAME_H
#define ITEMSTATEBUTTONFRAME_H

#include "gui/editors/frameupdater.h"

#include <memory>

namespace Ui {
class ItemStateButtonFrame;
}

class ItemStateButtonFrame : public FrameUpdater
{
    Q_OBJECT

public:
    explicit ItemStateButtonFrame(Item *owner, QWidget *parent = nullptr);
    ~ItemStateButtonFrame() override;

    void updateFrame() override;

protected:
    void buildForm() override;

private:
    std::unique_ptr<Ui::ItemStateButtonFrame> m_ui;
};

#endif // ITEMSTATEBUTTONFRAME_H
