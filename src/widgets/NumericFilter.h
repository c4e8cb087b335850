#pragma once

#include "base/NumericText.h"

class QLineEdit;

// The change handler of every amount box: rewrites the box to its numeric
// text and puts the caret after the last character. Writing back an equal
// text is skipped, so the second pass that a rewrite fires stops there.
void NumericFilter(QLineEdit *box);
// Connects NumericFilter to every change of the box.
void attachNumericFilter(QLineEdit *box);
