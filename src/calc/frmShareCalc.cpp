#include "calc/frmShareCalc.h"

#include "calc/CalcFigures.h"

#include <QPushButton>

namespace {
enum Row { Capital, Price, Commission };
}

frmShareCalc::frmShareCalc(QWidget *owner, const QString &capital, const QString &commission)
    : CalcWindow(owner, QStringLiteral("Buy Power"),
                 {{"Capital: $", "txtCapital", "500.00"},
                  {"Price per share: $", "txtPrice", "1.00"},
                  {"Commission: $", "txtComm", "10.99"}},
                 "lblShares", capital, commission)
{
    setObjectName(QStringLiteral("frmShareCalc"));
    connect(calcButton(), &QPushButton::clicked, this, &frmShareCalc::butDS_Click);
}

void frmShareCalc::butDS_Click()
{
    showResult(CalcFigures::buyPowerText(amount(Capital), amount(Commission), amount(Price)));
}
