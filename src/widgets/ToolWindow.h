#pragma once

#include <QPointer>
#include <QWidget>

// A small window opened from the main window's menus (the calculators, the
// about box). Its owner stays disabled while it is open and is enabled again
// when it closes; it goes with its owner rather than outliving it. It is a top-level window of its own: as a child it
// would be disabled along with its owner.
class ToolWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ToolWindow(QWidget *owner);

protected:
    void closeEvent(QCloseEvent *event) override;
    void Form_Unload();

private:
    QPointer<QWidget> m_owner;
};
