#ifndef ITEMPAGECHANGEFRAME_H
#define ITEMPAGECHANGEFRAME_H

#include "gui/editors/frameupdater.h"

#include <memory>

namespace Ui {
class ItemPageChangeFrame;
}

class ItemPageChangeFrame : public FrameUpdater
{
    Q_OBJECT

public:
    explicit ItemPageChangeFrame(Item *owner, QWidget *parent = nullptr);
    ~ItemPageChangeFrame() override;

    void updateFrame() override;

public slots:
    void on_comboBoxPage_currentIndexChanged(int index);

protected:
    void buildForm() override;

private:
    // Runs only once the form exists (ui is set).
    void fillPageList();
    std::unique_ptr<Ui::ItemPageChangeFrame> m_ui;
};

#endif // ITEMPAGECHANGEFRAME_H
