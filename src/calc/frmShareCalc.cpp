#include "calc/frmShareCalc.h"

#include "app/frmMain.h"
#include "calc/CalcFigures.h"
#include "calc/CalcLayout.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmShareCalc::frmShareCalc(frmMain *main) : QWidget(nullptr), m_main(main)
{
    // A top-level window of its own: as a child it would be disabled along
    // with the main window.
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
    // Goes with the main window rather than outliving it.
    connect(main, &QObject::destroyed, this, [this] { delete this; });
    Form_Load();
}

frmShareCalc::~frmShareCalc() = default;

void frmShareCalc::Form_Load()
{
    m_main->setEnabled(false);
    m_txtCapital->setText(CalcFigures::plainAmountText(m_main->box("txtCapital")->text()));
    m_txtComm->setText(CalcFigures::plainAmountText(m_main->box("txtComm")->text()));
}

void frmShareCalc::Form_Unload()
{
    if (m_main)
        m_main->setEnabled(true);
}

void frmShareCalc::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmShareCalc::butDS_Click()
{
    m_lblShares->setText(CalcFigures::buyPowerText(m_txtCapital->text(), m_txtComm->text(), m_txtPrice->text()));
}
