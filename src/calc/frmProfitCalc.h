#pragma once

#include "calc/CalcWindow.h"

// "Possible Profit": the shares a capital buys at a buy price and what
// selling them all at a sell price earns after a commission on each trade.
// It starts from the main window's capital and commission and keeps the main
// window disabled while it is open.
class frmProfitCalc : public CalcWindow
{
    Q_OBJECT

public:
    // capital and commission are the main window's, as its boxes hold them.
    frmProfitCalc(QWidget *owner, const QString &capital, const QString &commission);

public slots:
    void butDS_Click();
};
