#include "quotes/QuoteReply.h"

#include <QList>
#include <QVarLengthArray>

#include <charconv>
#include <cmath>

namespace {

constexpr qsizetype FieldCount = 9;

// Lower case by the simple one-to-one mapping, so positions never shift;
// ASCII, which every reply is made of, without a table lookup.
char16_t lower(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
    return c.toLower().unicode();
}

QStringView trimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

bool missing(QStringView field)
{
    return field == u"N/A" || trimSpaces(field).isEmpty();
}

std::optional<float> toSingle(double value)
{
    const auto single = float(value);
    if (!std::isfinite(single))
        return std::nullopt;
    return single;
}

std::optional<float> singleField(QStringView field)
{
    if (missing(field))
        return 0.0f;
    const std::optional<double> value = parseQuoteNumber(field);
    return value ? toSingle(*value) : std::nullopt;
}

// The declared body length, when the headers carry one.
std::optional<qsizetype> contentLength(QStringView headers)
{
    const QStringView name = u"\r\ncontent-length:";
    const qsizetype at = FindTextNoCase(name, headers, 1);
    if (at == 0)
        return std::nullopt;
    QStringView rest = headers.sliced(at - 1 + name.size());
    const qsizetype lineEnd = rest.indexOf(u'\r');
    if (lineEnd >= 0)
        rest = rest.first(lineEnd);
    bool ok = false;
    const qlonglong length = rest.trimmed().toLongLong(&ok);
    if (!ok || length < 0)
        return std::nullopt;
    return qsizetype(length);
}

// True when the status line says 5xx.
bool serverErrorStatus(QStringView text)
{
    const qsizetype lineEnd = text.indexOf(u'\r');
    const QStringView status = lineEnd >= 0 ? text.first(lineEnd) : text;
    if (!status.startsWith(u"HTTP/"))
        return false;
    const qsizetype blank = status.indexOf(u' ');
    if (blank < 0 || status.size() < blank + 4)
        return false;
    const QStringView code = status.sliced(blank + 1, 3);
    return code[0] == u'5' && code[1].isDigit() && code[2].isDigit()
           && (status.size() == blank + 4 || status[blank + 4] == u' ');
}

QStringView unquotedDate(QStringView field)
{
    QStringView date = trimSpaces(field);
    if (date.size() >= 2 && date.startsWith(u'"') && date.endsWith(u'"'))
        date = date.sliced(1, date.size() - 2);
    return date;
}

// The trade date the service writes for a symbol it does not know.
bool unknownDate(QStringView field)
{
    return unquotedDate(field) == u"N/A";
}

} // namespace

bool retryMayMend(ReplyFault fault)
{
    switch (fault) {
    case ReplyFault::NoHeaderEnd:
    case ReplyFault::NoBody:
    case ReplyFault::Truncated:
    case ReplyFault::ProxyError:
    case ReplyFault::ServerError:
        return true;
    case ReplyFault::None:
    case ReplyFault::TooFewFields:
    case ReplyFault::BadField:
    case ReplyFault::UnknownSymbol:
        break;
    }
    return false;
}

qsizetype FindTextNoCase(QStringView needle, QStringView haystack, qsizetype start)
{
    const qsizetype first = qMax<qsizetype>(start, 1);
    if (needle.isEmpty())
        return first <= haystack.size() ? first : 0;
    // A piece cut short by the end of the haystack never equals the needle.
    const qsizetype last = haystack.size() - needle.size() + 1;
    const char16_t head = lower(needle[0]);
    for (qsizetype p = first; p <= last; ++p) {
        if (lower(haystack[p - 1]) != head)
            continue;
        qsizetype i = 1;
        while (i < needle.size() && lower(haystack[p - 1 + i]) == lower(needle[i]))
            ++i;
        if (i == needle.size())
            return p;
    }
    return 0;
}

std::optional<double> parseQuoteNumber(QStringView text)
{
    const QStringView t = trimSpaces(text);
    // Checked by hand first: from_chars would also take "inf", "nan" and hex.
    qsizetype i = 0;
    auto digitsAt = [&](qsizetype from) {
        qsizetype n = from;
        while (n < t.size() && t[n] >= u'0' && t[n] <= u'9')
            ++n;
        return n - from;
    };
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        negative = t[i] == u'-';
        ++i;
    }
    const qsizetype intDigits = digitsAt(i);
    i += intDigits;
    qsizetype fracDigits = 0;
    if (i < t.size() && t[i] == u'.') {
        ++i;
        fracDigits = digitsAt(i);
        i += fracDigits;
    }
    if (intDigits + fracDigits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        qsizetype e = i + 1;
        if (e < t.size() && (t[e] == u'+' || t[e] == u'-'))
            ++e;
        const qsizetype expDigits = digitsAt(e);
        if (expDigits == 0)
            return std::nullopt;
        i = e + expDigits;
    }
    if (i != t.size())
        return std::nullopt;

    // Only ASCII digits, points, signs and "e" got this far.
    const QStringView digits = t.sliced((t[0] == u'+' || t[0] == u'-') ? 1 : 0);
    QVarLengthArray<char, 64> ascii(digits.size());
    for (qsizetype k = 0; k < digits.size(); ++k)
        ascii[k] = char(digits[k].unicode());
    double value = 0;
    const char *end = ascii.constData() + ascii.size();
    const auto [stop, error] = std::from_chars(ascii.constData(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

QuoteReply parseQuoteReply(QByteArrayView reply)
{
    QuoteReply result;
    const QString text = QString::fromLatin1(reply);
    const qsizetype headerEnd = FindTextNoCase(u"\r\n\r\n", text, 1);
    if (headerEnd == 0) {
        result.fault = ReplyFault::NoHeaderEnd;
        return result;
    }
    if (FindTextNoCase(u"Proxy Error", text, 1) != 0) {
        result.fault = ReplyFault::ProxyError;
        return result;
    }
    if (serverErrorStatus(text)) {
        result.fault = ReplyFault::ServerError;
        return result;
    }
    // The connection's end is the reply's end, but a reset looks the same as
    // a close; a declared length tells a cut-off reply from a whole one.
    const QStringView headers = QStringView(text).first(headerEnd - 1);
    const qsizetype bodyStart = headerEnd - 1 + 4;
    if (const std::optional<qsizetype> declared = contentLength(headers);
        declared && text.size() - bodyStart < *declared) {
        result.fault = ReplyFault::Truncated;
        return result;
    }

    QString body = text.sliced(bodyStart);
    body.remove(u'\r');
    body.remove(u'\n');
    if (body.isEmpty()) {
        result.fault = ReplyFault::NoBody;
        return result;
    }
    const QList<QStringView> fields = QStringView(body).split(u',');
    if (fields.size() < FieldCount) {
        result.fault = ReplyFault::TooFewFields;
        return result;
    }

    ParsedQuote quote;
    const std::optional<double> last = parseQuoteNumber(fields[1]);
    const std::optional<float> lastSingle = last ? toSingle(*last) : std::nullopt;
    if (lastSingle == 0.0f && unknownDate(fields[2])) {
        result.fault = ReplyFault::UnknownSymbol;
        return result;
    }
    std::optional<float> spread = 0.0f;
    if (fields[6] != u"N/A" && fields[7] != u"N/A") {
        const std::optional<double> high = parseQuoteNumber(fields[6]);
        const std::optional<double> low = parseQuoteNumber(fields[7]);
        spread = high && low ? toSingle(*high - *low) : std::nullopt;
    }
    std::optional<double> volume = 0.0;
    if (!missing(fields[8]))
        volume = parseQuoteNumber(fields[8]);
    const std::optional<float> change = singleField(fields[4]);
    const std::optional<float> open = singleField(fields[5]);
    const std::optional<float> high = singleField(fields[6]);
    const std::optional<float> low = singleField(fields[7]);
    if (!lastSingle || !spread || !volume || !change || !open || !high || !low) {
        result.fault = ReplyFault::BadField;
        return result;
    }
    quote.Last = *lastSingle;
    quote.Spread = *spread;
    quote.Volume = *volume;
    quote.Change = *change;
    quote.Open = *open;
    quote.High = *high;
    quote.Low = *low;
    result.quote = quote;
    result.tradeDate = QDate::fromString(unquotedDate(fields[2]).toString(), QStringLiteral("M/d/yyyy"));
    return result;
}

void storeQuote(const ParsedQuote &quote, StockRecord &record)
{
    record.Last = quote.Last;
    record.Spread = quote.Spread;
    record.Volume = quote.Volume;
    record.Change = quote.Change;
    record.Open = quote.Open;
    record.High = quote.High;
    record.Low = quote.Low;
}
