#pragma once

#include "app/ToolWindow.h"

class QLabel;
class QLineEdit;
class frmMain;

// "Buy Power": how many shares a capital buys at a price after one
// commission. It starts from the main window's capital and commission and
// keeps the main window disabled while it is open.
class frmShareCalc : public ToolWindow
{
    Q_OBJECT

public:
    explicit frmShareCalc(frmMain *main);

public slots:
    void butDS_Click();

private:
    void Form_Load();

    QLineEdit *m_txtCapital = nullptr;
    QLineEdit *m_txtPrice = nullptr;
    QLineEdit *m_txtComm = nullptr;
    QLabel *m_lblShares = nullptr;
};
