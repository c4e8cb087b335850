#pragma once

#include <QString>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The look both calculators share: light grey windows, captions in bold
// dark grey Arial 8.25 pt, results in bold dark red Arial 9 pt.
namespace CalcLayout {

// Background, fixed size and a grid layout of caption/box rows.
QGridLayout *setUpWindow(QWidget *window, const QString &title);
// One row: a caption of the lblLabel array and an amount box running the
// numeric filter, holding `initial`.
QLineEdit *addAmountRow(QGridLayout *layout, int row, const QString &caption, const char *boxName,
                        const QString &initial);
// "Calc" and the empty result label below the rows.
QPushButton *addCalcButton(QGridLayout *layout, int row);
QLabel *addResultLabel(QGridLayout *layout, int row, const char *labelName);

// Fills the capital and commission boxes with the main window's amounts as
// plain decimal text ("500.00" gives "500").
void copyPersonalAmounts(const QString &capitalText, const QString &commissionText, QLineEdit *capital,
                         QLineEdit *commission);

} // namespace CalcLayout
