#include "calc/frmProfitCalc.h"

#include "calc/CalcFigures.h"
#include "calc/CalcLayout.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmProfitCalc::frmProfitCalc(QWidget *owner, const QString &capital, const QString &commission)
    : ToolWindow(owner)
{
    setObjectName(QStringLiteral("frmProfitCalc"));
    QGridLayout *layout = CalcLayout::setUpWindow(this, QStringLiteral("Possible Profit"));
    m_txtCapital = CalcLayout::addAmountRow(layout, 0, QStringLiteral("Capital: $"), "txtCapital",
                                            QStringLiteral("500.00"));
    m_txtBuy = CalcLayout::addAmountRow(layout, 1, QStringLiteral("Buy Price: $"), "txtBuy", QStringLiteral("1.00"));
    m_txtSell = CalcLayout::addAmountRow(layout, 2, QStringLiteral("Sell Price: $"), "txtSell",
                                         QStringLiteral("2.00"));
    m_txtComm = CalcLayout::addAmountRow(layout, 3, QStringLiteral("Commission: $"), "txtComm",
                                         QStringLiteral("10.99"));
    QPushButton *calc = CalcLayout::addCalcButton(layout, 4);
    m_lblProfit = CalcLayout::addResultLabel(layout, 5, "lblProfit");
    setTabOrder(m_txtCapital, m_txtBuy);
    setTabOrder(m_txtBuy, m_txtSell);
    setTabOrder(m_txtSell, m_txtComm);
    setTabOrder(m_txtComm, calc);
    connect(calc, &QPushButton::clicked, this, &frmProfitCalc::butDS_Click);
    Form_Load(capital, commission);
}

void frmProfitCalc::Form_Load(const QString &capital, const QString &commission)
{
    CalcLayout::copyPersonalAmounts(capital, commission, m_txtCapital, m_txtComm);
}

void frmProfitCalc::butDS_Click()
{
    m_lblProfit->setText(CalcFigures::possibleProfitText(m_txtCapital->text(), m_txtComm->text(), m_txtBuy->text(),
                                                         m_txtSell->text()));
}
