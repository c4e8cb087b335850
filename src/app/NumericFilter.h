#pragma once

#include <QString>

class QLineEdit;

// Keeps only "1234567890." of a text, in order.
QString numericText(const QString &text);

// The change handler of every amount box: rewrites the box to its numeric
// text and puts the caret after the last character. Writing back an equal
// text is skipped, so the second pass that a rewrite fires stops there.
void NumericFilter(QLineEdit *box);
// Connects NumericFilter to every change of the box.
void attachNumericFilter(QLineEdit *box);
