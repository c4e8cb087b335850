#pragma once

#include <QLocale>
#include <QString>

// Result texts of the "Buy Power" and "Possible Profit" calculators, worked
// out from the texts of their boxes. A box that is empty or holds no number,
// a price of 0, or a figure too large to show gives a short note of what is
// wrong in place of the result.
namespace CalcFigures {

// "Shares:   " + (capital - commission) / price in the "###,###,###,###"
// pattern. The quotient is not made whole first, so its display rounds
// halves away from zero.
QString buyPowerText(const QString &capital, const QString &commission, const QString &price,
                     const QLocale &locale = QLocale());

// "Profit:     $" + profit in cents, CR LF, "Shares:   " + share count. The
// count is rounded half to even and must fit 32 bits, as in the result grid.
QString possibleProfitText(const QString &capital, const QString &commission, const QString &buy, const QString &sell,
                           const QLocale &locale = QLocale());

// The main window's capital or commission as a calculator box starts with:
// the plain decimal number ("500.00" gives "500"), written with "." because
// the boxes hold nothing else. A text that is no number, or a number that
// would need an exponent, is kept as it is.
QString plainAmountText(const QString &text);

} // namespace CalcFigures
