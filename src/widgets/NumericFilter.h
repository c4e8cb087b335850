#pragma once

#include "base/NumericText.h"

class QLineEdit;

// Which amounts a box holds: never negative (prices, volumes, money), or
// signed (distances and performance in percent).
enum class AmountSign { Unsigned, Signed };

// The change handler of every amount box: rewrites the box to its numeric
// text and puts the caret after the last character. Writing back an equal
// text is skipped, so the second pass that a rewrite fires stops there.
void NumericFilter(QLineEdit *box, AmountSign sign = AmountSign::Unsigned);
// Connects NumericFilter to every change of the box.
void attachNumericFilter(QLineEdit *box, AmountSign sign = AmountSign::Unsigned);
