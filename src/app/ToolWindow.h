#pragma once

#include <QPointer>
#include <QWidget>

class frmMain;

// A small window opened from the main window's menus (the calculators, the
// about box). The main window stays disabled while it is open and is enabled
// again when it closes; it goes with the main window rather than outliving
// it. It is a top-level window of its own: as a child it would be disabled
// along with the main window.
class ToolWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ToolWindow(frmMain *main);

protected:
    frmMain *mainWindow() const;
    void closeEvent(QCloseEvent *event) override;
    void Form_Unload();

private:
    QPointer<frmMain> m_main;
};
