#pragma once

#include "app/ToolWindow.h"

class frmMain;

// The about box: the banner and the version line. The main window stays
// disabled while it is open; its close box is the only way out.
class frmAbout : public ToolWindow
{
    Q_OBJECT

public:
    explicit frmAbout(frmMain *main);

private:
    void Form_Load();
};
