#include "calc/frmShareCalc.h"

#include "calc/CalcFigures.h"
#include "calc/CalcLayout.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmShareCalc::frmShareCalc(QWidget *owner, const QString &capital, const QString &commission)
    : ToolWindow(owner)
{
    setObjectName(QStringLiteral("frmShareCalc"));
    QGridLayout *layout = CalcLayout::setUpWindow(this, QStringLiteral("Buy Power"));
    m_txtCapital = CalcLayout::addAmountRow(layout, 0, QStringLiteral("Capital: $"), "txtCapital",
                                            QStringLiteral("500.00"));
    m_txtPrice = CalcLayout::addAmountRow(layout, 1, QStringLiteral("Price per share: $"), "txtPrice",
                                          QStringLiteral("1.00"));
    m_txtComm = CalcLayout::addAmountRow(layout, 2, QStringLiteral("Commission: $"), "txtComm",
                                         QStringLiteral("10.99"));
    QPushButton *calc = CalcLayout::addCalcButton(layout, 3);
    m_lblShares = CalcLayout::addResultLabel(layout, 4, "lblShares");
    setTabOrder(m_txtCapital, m_txtPrice);
    setTabOrder(m_txtPrice, m_txtComm);
    setTabOrder(m_txtComm, calc);
    connect(calc, &QPushButton::clicked, this, &frmShareCalc::butDS_Click);
    Form_Load(capital, commission);
}

void frmShareCalc::Form_Load(const QString &capital, const QString &commission)
{
    CalcLayout::copyPersonalAmounts(capital, commission, m_txtCapital, m_txtComm);
}

void frmShareCalc::butDS_Click()
{
    m_lblShares->setText(CalcFigures::buyPowerText(m_txtCapital->text(), m_txtComm->text(), m_txtPrice->text()));
}
