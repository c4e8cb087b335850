#pragma once

#include "calc/CalcWindow.h"

// "Buy Power": how many shares a capital buys at a price after one
// commission. It starts from the main window's capital and commission and
// keeps the main window disabled while it is open.
class frmShareCalc : public CalcWindow
{
    Q_OBJECT

public:
    // capital and commission are the main window's, as its boxes hold them.
    frmShareCalc(QWidget *owner, const QString &capital, const QString &commission);

public slots:
    void butDS_Click();
};
