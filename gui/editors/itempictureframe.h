#ifndef ITEMPICTUREFRAME_H
#define ITEMPICTUREFRAME_H

#include "gui/editors/frameupdater.h"

#include <memory>

namespace Ui {
class ItemPictureFrame;
}

class ItemPictureFrame : public FrameUpdater
{
    Q_OBJECT

public:
    explicit ItemPictureFrame(Item *owner, QWidget *parent = nullptr);
    ~ItemPictureFrame() override;

    void updateFrame() override;

protected:
    void buildForm() override;

private:
    std::unique_ptr<Ui::ItemPictureFrame> m_ui;
};

#endif // ITEMPICTUREFRAME_H
