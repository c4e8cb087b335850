#pragma once

#include <QLocale>
#include <QString>

#include <optional>

// Number texts shown by the grid and the calculators. Display follows the
// locale's separators; amount boxes are always read with "." as the decimal
// point, since they can hold nothing but digits and points.
namespace NumberFormat {

// Shortest text with at most 7 significant digits (single precision) or 15
// (double): no grouping, no trailing zeros, locale decimal separator.
QString general(float value, const QLocale &locale = QLocale());
QString general(double value, const QLocale &locale = QLocale());

// The pattern "###,###,###,###": rounded to a whole number with halves away
// from zero, grouped in threes, empty when it rounds to zero, leading minus.
QString grouped(double value, const QLocale &locale = QLocale());

// Reads an amount box: digits with at most one ".", at least one digit.
std::optional<double> parseAmount(const QString &text);
// The same, narrowed to single precision; refuses what does not fit a float.
std::optional<float> parseSingleAmount(const QString &text);

// Halves to the even neighbour, as share counts and profits are rounded.
double roundHalfEven(double value, int decimals = 0);

} // namespace NumberFormat
