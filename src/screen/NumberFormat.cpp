#include "screen/NumberFormat.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>

namespace NumberFormat {

Symbols::Symbols(const QLocale &locale)
    : decimalPoint(locale.decimalPoint())
    , groupSeparator(locale.groupSeparator())
    , negativeSign(locale.negativeSign())
    , positiveSign(locale.positiveSign())
    , exponential(locale.exponential())
{}

namespace {

// Rewrites the C-locale characters of a number text with the locale's signs,
// in one allocation.
QString localized(const char *begin, const char *end, const Symbols &symbols)
{
    char16_t out[128];
    qsizetype n = 0;
    auto put = [&](const QString &sign) {
        for (QChar c : sign) {
            if (n < qsizetype(std::size(out)))
                out[n++] = c.unicode();
        }
    };
    for (const char *p = begin; p != end; ++p) {
        switch (*p) {
        case '.':
            put(symbols.decimalPoint);
            break;
        case '-':
            put(symbols.negativeSign);
            break;
        case '+':
            put(symbols.positiveSign);
            break;
        case 'e':
            put(symbols.exponential);
            break;
        default:
            if (n < qsizetype(std::size(out)))
                out[n++] = char16_t(*p);
            break;
        }
    }
    return QString(reinterpret_cast<const QChar *>(out), n);
}

QString generalText(double value, int digits, const Symbols &symbols)
{
    if (value == 0)
        return QStringLiteral("0"); // also folds -0 into 0
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? symbols.negativeSign + QStringLiteral("inf") : QStringLiteral("inf");
    char buffer[64];
    // Share counts are whole and profits whole cents. Below 10^digits such a
    // number has at most `digits` significant digits, so its text is the
    // integer written out, with the point put back for cents; the double
    // nearest to k/100 rounds back to exactly k/100 at 15 digits.
    const double limit = digits == 7 ? 1e7 : 1e15;
    if (std::fabs(value) < limit) {
        if (std::trunc(value) == value)
            return localized(buffer, std::to_chars(buffer, buffer + sizeof buffer, qint64(value)).ptr, symbols);
        const double cents = std::round(value * 100);
        if (digits == 15 && std::fabs(cents) < 1e15 && cents / 100 == value) {
            const qint64 k = qint64(cents);
            const qint64 whole = (k < 0 ? -k : k) / 100;
            const int fraction = int((k < 0 ? -k : k) % 100);
            char *p = buffer;
            if (k < 0)
                *p++ = '-';
            p = std::to_chars(p, buffer + sizeof buffer, whole).ptr;
            *p++ = '.';
            *p++ = char('0' + fraction / 10);
            if (fraction % 10 != 0)
                *p++ = char('0' + fraction % 10);
            return localized(buffer, p, symbols);
        }
    }
    // Qt's conversion rounds an exact tie at the last digit away from zero
    // (73869.625 shows as 73869.63), as this program always has.
    QString text = QString::number(value, 'g', digits);
    if (symbols.decimalPoint == u'.' && symbols.negativeSign == u'-' && symbols.positiveSign == u'+'
        && symbols.exponential == u'e')
        return text;
    const QByteArray latin = text.toLatin1();
    return localized(latin.constData(), latin.constData() + latin.size(), symbols);
}

} // namespace

QString general(float value, const Symbols &symbols)
{
    return generalText(double(value), 7, symbols);
}

QString general(double value, const Symbols &symbols)
{
    return generalText(value, 15, symbols);
}

QString general(float value, const QLocale &locale)
{
    return general(value, Symbols(locale));
}

QString general(double value, const QLocale &locale)
{
    return general(value, Symbols(locale));
}

QString grouped(double value, const Symbols &symbols)
{
    if (!std::isfinite(value))
        return QString();
    const double whole = std::round(value); // halves away from zero
    if (whole == 0)
        return QString();
    // Room for the largest double written out in full.
    char digits[std::numeric_limits<double>::max_exponent10 + 2];
    const auto result = std::to_chars(digits, digits + sizeof digits, std::fabs(whole), std::chars_format::fixed, 0);
    const qsizetype count = result.ptr - digits;
    QString out;
    out.reserve(count + count / 3 * symbols.groupSeparator.size() + symbols.negativeSign.size());
    if (whole < 0)
        out += symbols.negativeSign;
    qsizetype from = 0;
    for (qsizetype to = (count - 1) % 3 + 1; to <= count; to += 3) {
        if (from > 0)
            out += symbols.groupSeparator;
        out += QLatin1StringView(digits + from, to - from);
        from = to;
    }
    return out;
}

QString grouped(double value, const QLocale &locale)
{
    return grouped(value, Symbols(locale));
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

std::optional<double> parseSignedAmount(const QString &text)
{
    if (!text.startsWith(u'-'))
        return parseAmount(text);
    const std::optional<double> magnitude = parseAmount(text.sliced(1));
    return magnitude ? std::optional<double>(-*magnitude) : std::nullopt;
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
    static constexpr double kPowers[] = {1, 10, 100, 1000, 10000};
    const double scale =
        decimals >= 0 && decimals < int(std::size(kPowers)) ? kPowers[decimals] : std::pow(10.0, decimals);
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value * scale) / scale;
    std::fesetround(mode);
    return rounded;
}

} // namespace NumberFormat
