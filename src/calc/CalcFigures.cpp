#include "calc/CalcFigures.h"

#include "screen/Figures.h"
#include "screen/NumberFormat.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace CalcFigures {

namespace {

// The pattern has 15 digit places, and 15 digits are all a double holds
// exactly: a larger figure would show digits that mean nothing.
constexpr double kLargestShown = 999999999999999.0;

struct Amount
{
    std::optional<double> value;
    QString problem; // what the label says instead of the result
};

Amount readAmount(const QString &text, const QString &name)
{
    if (text.isEmpty())
        return {std::nullopt, QStringLiteral("Enter the %1").arg(name)};
    const std::optional<double> value = NumberFormat::parseAmount(text);
    if (!value)
        return {std::nullopt, QStringLiteral("The %1 is not a number").arg(name)};
    return {value, QString()};
}

} // namespace

QString buyPowerText(const QString &capital, const QString &commission, const QString &price, const QLocale &locale)
{
    const Amount c = readAmount(capital, QStringLiteral("capital"));
    if (!c.value)
        return c.problem;
    const Amount p = readAmount(price, QStringLiteral("price per share"));
    if (!p.value)
        return p.problem;
    const Amount m = readAmount(commission, QStringLiteral("commission"));
    if (!m.value)
        return m.problem;
    if (*p.value == 0)
        return QStringLiteral("The price per share must be above 0");

    const double shares = (*c.value - *m.value) / *p.value;
    if (!std::isfinite(shares) || std::fabs(std::round(shares)) > kLargestShown)
        return QStringLiteral("Share count out of range");
    return QStringLiteral("Shares:   ") + NumberFormat::grouped(shares, locale);
}

QString possibleProfitText(const QString &capital, const QString &commission, const QString &buy, const QString &sell,
                           const QLocale &locale)
{
    const Amount c = readAmount(capital, QStringLiteral("capital"));
    if (!c.value)
        return c.problem;
    const Amount b = readAmount(buy, QStringLiteral("buy price"));
    if (!b.value)
        return b.problem;
    const Amount s = readAmount(sell, QStringLiteral("sell price"));
    if (!s.value)
        return s.problem;
    const Amount m = readAmount(commission, QStringLiteral("commission"));
    if (!m.value)
        return m.problem;
    if (*b.value == 0)
        return QStringLiteral("The buy price must be above 0");

    constexpr double minShares = double(std::numeric_limits<std::int32_t>::min());
    constexpr double maxShares = double(std::numeric_limits<std::int32_t>::max());
    const std::optional<TradeFigures> f = tradeFigures(*c.value, *m.value, *b.value, *s.value, minShares, maxShares);
    if (!f) {
        const double shares = NumberFormat::roundHalfEven((*c.value - *m.value) / *b.value);
        if (!(shares >= minShares && shares <= maxShares))
            return QStringLiteral("Share count out of range");
        return QStringLiteral("Profit out of range");
    }
    // Beyond 15 digits the plain number would turn to exponent notation.
    if (std::fabs(f->profit) > kLargestShown)
        return QStringLiteral("Profit out of range");

    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return QStringLiteral("Profit:     $") + NumberFormat::general(f->profit, locale) + QStringLiteral("\r\n")
           + QStringLiteral("Shares:   ") + plain.toString(qint64(f->shares));
}

QString plainAmountText(const QString &text)
{
    const std::optional<double> value = NumberFormat::parseAmount(text);
    if (!value)
        return text;
    const QString plain = NumberFormat::general(*value, QLocale::c());
    // "1e+20" would lose its exponent letter and sign in the box's filter and
    // turn into a different number.
    if (plain.contains(u'e'))
        return text;
    return plain;
}

} // namespace CalcFigures
