#include "calc/frmProfitCalc.h"

#include "calc/CalcFigures.h"
#include "calc/CalcLayout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmProfitCalc::frmProfitCalc(QWidget *owner, const QString &capital, const QString &commission)
    : ToolWindow(owner)
{
    setObjectName(QStringLiteral("frmProfitCalc"));
    const CalcLayout::Controls c = CalcLayout::setUpCalculator(this, QStringLiteral("Possible Profit"),
                                                               {{"Capital: $", "txtCapital", "500.00"},
                                                                {"Buy Price: $", "txtBuy", "1.00"},
                                                                {"Sell Price: $", "txtSell", "2.00"},
                                                                {"Commission: $", "txtComm", "10.99"}},
                                                               "lblProfit");
    m_txtCapital = c.boxes[0];
    m_txtBuy = c.boxes[1];
    m_txtSell = c.boxes[2];
    m_txtComm = c.boxes[3];
    m_lblProfit = c.result;
    connect(c.calc, &QPushButton::clicked, this, &frmProfitCalc::butDS_Click);
    Form_Load(capital, commission);
}

void frmProfitCalc::Form_Load(const QString &capital, const QString &commission)
{
    CalcLayout::copyPersonalAmounts(capital, commission, m_txtCapital, m_txtComm);
}

void frmProfitCalc::butDS_Click()
{
    m_lblProfit->setText(
        CalcFigures::possibleProfitText(m_txtCapital->text(), m_txtComm->text(), m_txtBuy->text(), m_txtSell->text()));
}
