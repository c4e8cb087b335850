#pragma once

#include <QList>
#include <QString>

#include <initializer_list>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The look both calculators share: light grey windows, captions in bold
// dark grey Arial 8.25 pt, results in bold dark red Arial 9 pt.
namespace CalcLayout {

// One amount box of a calculator: its caption, objectName and first text.
struct AmountRow
{
    const char *caption;
    const char *boxName;
    const char *initial;
};

// A calculator window's controls, in the order laid out.
struct Controls
{
    QList<QLineEdit *> boxes; // one for each row, running the numeric filter
    QPushButton *calc = nullptr;
    QLabel *result = nullptr;
};

// Lays out the window: a caption/box pair for each row, then "Calc" and the
// empty result label; the tab order follows the rows.
Controls setUpCalculator(QWidget *window, const QString &title, std::initializer_list<AmountRow> rows,
                         const char *resultName);

// Fills the capital and commission boxes with the main window's amounts as
// plain decimal text ("500.00" gives "500").
void copyPersonalAmounts(const QString &capitalText, const QString &commissionText, QLineEdit *capital,
                         QLineEdit *commission);

} // namespace CalcLayout
