#pragma once

#include <QLocale>
#include <QString>

#include <optional>

// Number texts shown by the grid and the calculators. Display follows the
// locale's signs (digits stay 0-9); amount boxes are always read with "." as
// the decimal point, since they can hold nothing but digits and points.
namespace NumberFormat {

// The locale's signs, looked up once for a run of many numbers: asking the
// system locale for them is far slower than the formatting itself.
struct Symbols
{
    explicit Symbols(const QLocale &locale = QLocale());

    QString decimalPoint;
    QString groupSeparator;
    QString negativeSign;
    QString positiveSign;
    QString exponential;
};

// Shortest text with at most 7 significant digits (single precision) or 15
// (double): no grouping, no trailing zeros, locale decimal separator,
// exponent form ("1.234568e+07") only where the digits would not reach.
QString general(float value, const QLocale &locale = QLocale());
QString general(double value, const QLocale &locale = QLocale());
QString general(float value, const Symbols &symbols);
QString general(double value, const Symbols &symbols);

// The pattern "###,###,###,###": rounded to a whole number with halves away
// from zero, grouped in threes, empty when it rounds to zero, leading minus.
QString grouped(double value, const QLocale &locale = QLocale());
QString grouped(double value, const Symbols &symbols);

// Reads an amount box: digits with at most one ".", at least one digit.
std::optional<double> parseAmount(const QString &text);
// The same, narrowed to single precision; refuses what does not fit a float.
std::optional<float> parseSingleAmount(const QString &text);
// parseAmount with one optional leading "-", as the signed boxes hold.
std::optional<double> parseSignedAmount(const QString &text);

// Halves to the even neighbour, as share counts and profits are rounded.
double roundHalfEven(double value, int decimals = 0);

} // namespace NumberFormat
