#include "calc/CalcWindow.h"

#include <QLabel>
#include <QLineEdit>

CalcWindow::CalcWindow(QWidget *owner, const QString &title, std::initializer_list<CalcLayout::AmountRow> rows,
                       const char *resultName, const QString &capital, const QString &commission)
    : ToolWindow(owner)
    , m_controls(CalcLayout::setUpCalculator(this, title, rows, resultName))
{
    Form_Load(capital, commission);
}

void CalcWindow::Form_Load(const QString &capital, const QString &commission)
{
    CalcLayout::copyPersonalAmounts(capital, commission, m_controls.boxes.first(), m_controls.boxes.last());
}

QString CalcWindow::amount(qsizetype row) const
{
    return m_controls.boxes.at(row)->text();
}

void CalcWindow::showResult(const QString &text)
{
    m_controls.result->setText(text);
}
