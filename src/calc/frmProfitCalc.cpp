#include "calc/frmProfitCalc.h"

#include "calc/CalcFigures.h"

#include <QPushButton>

namespace {
enum Row { Capital, Buy, Sell, Commission };
}

frmProfitCalc::frmProfitCalc(QWidget *owner, const QString &capital, const QString &commission)
    : CalcWindow(owner, QStringLiteral("Possible Profit"),
                 {{"Capital: $", "txtCapital", "500.00"},
                  {"Buy Price: $", "txtBuy", "1.00"},
                  {"Sell Price: $", "txtSell", "2.00"},
                  {"Commission: $", "txtComm", "10.99"}},
                 "lblProfit", capital, commission)
{
    setObjectName(QStringLiteral("frmProfitCalc"));
    connect(calcButton(), &QPushButton::clicked, this, &frmProfitCalc::butDS_Click);
}

void frmProfitCalc::butDS_Click()
{
    showResult(CalcFigures::possibleProfitText(amount(Capital), amount(Commission), amount(Buy), amount(Sell)));
}
