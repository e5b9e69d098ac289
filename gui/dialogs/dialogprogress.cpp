#include "gui/dialogs/dialogprogress.h"

#include <QCoreApplication>

#include "ui_dialogprogress.h"

DialogProgress::DialogProgress(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DialogProgress)
{
    ui->setupUi(this);
}

DialogProgress::~DialogProgress()
{
    delete ui;
}

void DialogProgress::setValue(int percent)
{
    ui->progressBar->setValue(percent);
    emit valueSet(percent);
    QCoreApplication::processEvents();
}

int DialogProgress::value() const
{
    return ui->progressBar->value();
}
