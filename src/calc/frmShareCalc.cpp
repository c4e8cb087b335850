#include "calc/frmShareCalc.h"

#include "calc/CalcFigures.h"
#include "calc/CalcLayout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmShareCalc::frmShareCalc(QWidget *owner, const QString &capital, const QString &commission)
    : ToolWindow(owner)
{
    setObjectName(QStringLiteral("frmShareCalc"));
    const CalcLayout::Controls c = CalcLayout::setUpCalculator(this, QStringLiteral("Buy Power"),
                                                               {{"Capital: $", "txtCapital", "500.00"},
                                                                {"Price per share: $", "txtPrice", "1.00"},
                                                                {"Commission: $", "txtComm", "10.99"}},
                                                               "lblShares");
    m_txtCapital = c.boxes[0];
    m_txtPrice = c.boxes[1];
    m_txtComm = c.boxes[2];
    m_lblShares = c.result;
    connect(c.calc, &QPushButton::clicked, this, &frmShareCalc::butDS_Click);
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
