#ifndef ITEMSTATEPICTUREFRAME_H
#define ITEMSTATEPICTUREFRAME_H

#include "gui/editors/frameupdater.h"

#include <memory>

namespace Ui {
class ItemStatePictureFrame;
}

class ItemStatePictureFrame : public FrameUpdater
{
    Q_OBJECT

public:
    explicit ItemStatePictureFrame(Item *owner, QWidget *parent = nullptr);
    ~ItemStatePictureFrame() override;

    void updateFrame() override;

protected:
    void buildForm() override;

private:
    std::unique_ptr<Ui::ItemStatePictureFrame> m_ui;
};

#endif // ITEMSTATEPICTUREFRAME_H
