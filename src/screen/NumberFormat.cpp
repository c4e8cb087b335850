#include "screen/NumberFormat.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace NumberFormat {

namespace {

QString generalText(double value, int digits, const QLocale &locale)
{
    if (value == 0)
        return QStringLiteral("0"); // also folds -0 into 0
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(value, 'g', digits);
}

} // namespace

QString general(float value, const QLocale &locale)
{
    return generalText(double(value), 7, locale);
}

QString general(double value, const QLocale &locale)
{
    return generalText(value, 15, locale);
}

QString grouped(double value, const QLocale &locale)
{
    if (!std::isfinite(value))
        return QString();
    const double whole = std::round(value); // halves away from zero
    if (whole == 0)
        return QString();
    const QString digits = QString::number(std::fabs(whole), 'f', 0);
    const QString separator = locale.groupSeparator();
    QString out;
    out.reserve(digits.size() + digits.size() / 3 * separator.size() + 1);
    if (whole < 0)
        out += locale.negativeSign();
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out += digits[i];
    }
    return out;
}

std::optional<double> parseAmount(const QString &text)
{
    int points = 0;
    int digits = 0;
    for (QChar c : text) {
        if (c == u'.')
            ++points;
        else if (c >= u'0' && c <= u'9')
            ++digits;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<float> parseSingleAmount(const QString &text)
{
    const std::optional<double> value = parseAmount(text);
    if (!value || *value > double(std::numeric_limits<float>::max()))
        return std::nullopt;
    return float(*value);
}

double roundHalfEven(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value * scale) / scale;
    std::fesetround(mode);
    return rounded;
}

} // namespace NumberFormat
