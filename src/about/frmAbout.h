#pragma once

#include "widgets/ToolWindow.h"

// The about box: the banner and the version line. Its owner, the main
// window, stays disabled while it is open; its close box, Escape or Enter
// closes it.
class frmAbout : public ToolWindow
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *owner);

private:
    void Form_Load();
};
