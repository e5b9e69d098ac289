#ifndef NOPROJECTNOTICE_H
#define NOPROJECTNOTICE_H

#include <QWidget>

class QLabel;
class QPushButton;

// What the window shows in place of pages when no project loaded: that
// none is, why, and the ways to one, with a button that opens the start
// dialog. A black window with three small buttons says none of it.
class NoProjectNotice : public QWidget
{
    Q_OBJECT

public:
    explicit NoProjectNotice(QWidget *parent = nullptr);

    // `why`: the reason the last load gave no page, for the operator.
    void setReason(const QString &why);
    QString text() const;
    // Fills `area` (the window, below its corner buttons' row), its text
    // and button sized to it.
    void fit(const QRect &area);

signals:
    void chooseProject();

private:
    QLabel *m_label;
    QPushButton *m_choose;
    QString m_why;
};

#endif // NOPROJECTNOTICE_H
