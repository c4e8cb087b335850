#pragma once

#include "calc/CalcLayout.h"
#include "widgets/ToolWindow.h"

// What both calculators are: a tool window of amount rows, "Calc" and a
// result line, starting from the main window's capital (the first row) and
// commission (the last row).
class CalcWindow : public ToolWindow
{
    Q_OBJECT

protected:
    CalcWindow(QWidget *owner, const QString &title, std::initializer_list<CalcLayout::AmountRow> rows,
               const char *resultName, const QString &capital, const QString &commission);

    QString amount(qsizetype row) const;
    void showResult(const QString &text);
    QPushButton *calcButton() const { return m_controls.calc; }

private:
    void Form_Load(const QString &capital, const QString &commission);

    CalcLayout::Controls m_controls;
};
