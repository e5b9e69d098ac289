#ifndef ITEMSTATETEXTFRAME_H
#define ITEMSTATETEXTFRAME_H

#include "gui/editors/frameupdater.h"

#include <memory>

namespace Ui {
class ItemStateTextFrame;
}

class ItemStateTextFrame : public FrameUpdater
{
    Q_OBJECT

public:
    explicit ItemStateTextFrame(Item *owner, QWidget *parent = nullptr);
    ~ItemStateTextFrame() override;

    void updateFrame() override;

protected:
    void buildForm() override;

private:
    std::unique_ptr<Ui::ItemStateTextFrame> m_ui;
};

#endif // ITEMSTATETEXTFRAME_H
