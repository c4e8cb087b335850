#include "quoted/QuoteLine.h"

#include "market/StockRecord.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMaxPrice = 1e9;
constexpr qint64 kMaxVolume = 1'000'000'000'000'000;
constexpr int kFieldCount = 9;

QByteArray quoted(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

QByteArray dateText(QDate date)
{
    if (!date.isValid())
        return QByteArrayLiteral("N/A");
    return QByteArray::number(date.month()) + '/' + QByteArray::number(date.day()) + '/'
           + QByteArray::number(date.year());
}

QByteArray timeText(QTime time)
{
    if (!time.isValid())
        return QByteArrayLiteral("N/A");
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    QByteArray minutes = QByteArray::number(time.minute());
    if (minutes.size() < 2)
        minutes.prepend('0');
    return QByteArray::number(hour12) + ':' + minutes + (time.hour() < 12 ? "am" : "pm");
}

QByteArray priceOrNA(const std::optional<double> &value)
{
    return value ? formatPrice(*value) : QByteArrayLiteral("N/A");
}

// A change always shows its direction; no change is plain 0.00.
QByteArray changeText(const std::optional<double> &value)
{
    if (!value)
        return QByteArrayLiteral("N/A");
    const QByteArray text = formatPrice(std::abs(*value));
    if (text.toDouble() == 0) // rounds to nothing: no sign
        return text;
    return (*value < 0 ? '-' : '+') + text;
}

bool isMissing(QByteArrayView field)
{
    return field.isEmpty() || field.compare("N/A", Qt::CaseInsensitive) == 0;
}

int digits(QByteArrayView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// yyyy-MM-dd and HH:mm, read by hand: a large snapshot has one of each per row.
QDate isoDate(QByteArrayView text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return {};
    const int y = digits(text, 0, 4), m = digits(text, 5, 2), d = digits(text, 8, 2);
    return y < 0 || m < 0 || d < 0 ? QDate() : QDate(y, m, d);
}

QTime hourMinute(QByteArrayView text)
{
    if (text.size() != 5 || text[2] != ':')
        return {};
    const int h = digits(text, 0, 2), m = digits(text, 3, 2);
    return h < 0 || m < 0 ? QTime() : QTime(h, m);
}

bool parseNumber(QByteArrayView field, double *value)
{
    if (field.isEmpty())
        return false;
    for (char c : field) {
        const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-';
        if (!allowed) // no exponents, blanks, "inf" or "nan"
            return false;
    }
    bool ok = false;
    *value = field.toDouble(&ok);
    return ok && std::isfinite(*value);
}

// Returns an empty text when the field is acceptable, else why not.
QString parsePrice(QByteArrayView field, bool mayBeNegative, std::optional<double> *out)
{
    if (isMissing(field)) {
        out->reset();
        return {};
    }
    double value = 0;
    if (!parseNumber(field, &value))
        return QStringLiteral("\"%1\" is not a number").arg(QString::fromUtf8(field));
    if (std::abs(value) >= kMaxPrice)
        return QStringLiteral("%1 is too large").arg(QString::fromUtf8(field));
    if (!mayBeNegative && value < 0)
        return QStringLiteral("%1 is negative").arg(QString::fromUtf8(field));
    *out = value;
    return {};
}

QString checkSymbol(QByteArrayView symbol)
{
    if (symbol.isEmpty())
        return QStringLiteral("the symbol is empty");
    if (symbol.size() > kMaxSymbolLength)
        return QStringLiteral("the symbol is longer than %1 characters").arg(kMaxSymbolLength);
    for (char c : symbol) {
        if (c <= ' ' || c > '~' || c == '"')
            return QStringLiteral("the symbol may hold printable ASCII characters only, no blanks");
    }
    return {};
}

QString parseRow(QByteArrayView line, QuoteLine *quote)
{
    QByteArrayView f[kFieldCount];
    qsizetype count = 0;
    for (qsizetype pos = 0;; ++count) {
        const qsizetype comma = line.indexOf(',', pos);
        if (count < kFieldCount)
            f[count] = unquoted(line.sliced(pos, (comma < 0 ? line.size() : comma) - pos));
        if (comma < 0)
            break;
        pos = comma + 1;
    }
    if (++count != kFieldCount)
        return QStringLiteral("%1 fields instead of %2").arg(count).arg(kFieldCount);

    QString why = checkSymbol(f[0]);
    if (!why.isEmpty())
        return why;
    quote->symbol = f[0].toByteArray();

    std::optional<double> last;
    why = parsePrice(f[1], false, &last);
    if (!why.isEmpty())
        return QStringLiteral("last: %1").arg(why);
    if (!last)
        return QStringLiteral("last: a value is required");
    quote->last = *last;

    quote->date = {};
    if (!isMissing(f[2])) {
        quote->date = isoDate(f[2]);
        if (!quote->date.isValid())
            return QStringLiteral("date: \"%1\" is not yyyy-MM-dd").arg(QString::fromUtf8(f[2]));
    }
    quote->time = {};
    if (!isMissing(f[3])) {
        quote->time = hourMinute(f[3]);
        if (!quote->time.isValid())
            return QStringLiteral("time: \"%1\" is not HH:mm").arg(QString::fromUtf8(f[3]));
    }

    static const char *const names[] = {"change", "open", "high", "low"};
    std::optional<double> *targets[] = {&quote->change, &quote->open, &quote->high, &quote->low};
    for (int i = 0; i < 4; ++i) {
        why = parsePrice(f[4 + i], i == 0, targets[i]);
        if (!why.isEmpty())
            return QStringLiteral("%1: %2").arg(QLatin1StringView(names[i]), why);
    }

    quote->volume.reset();
    if (!isMissing(f[8])) {
        bool ok = false;
        const qint64 volume = f[8].toLongLong(&ok);
        const bool digitsOnly = std::all_of(f[8].begin(), f[8].end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!ok || !digitsOnly || volume > kMaxVolume)
            return QStringLiteral("volume: \"%1\" is not a whole number from 0 to 10^15").arg(QString::fromUtf8(f[8]));
        quote->volume = volume;
    }
    return {};
}

} // namespace

QByteArray formatPrice(double value)
{
    if (std::round(value * 1e4) == 0)
        return QByteArrayLiteral("0.00"); // never "-0.00" or "0.0000"
    // The fewest decimals from 2 to 4 that still show the value exactly.
    for (int decimals = 2; decimals < 4; ++decimals) {
        const double scale = std::pow(10.0, decimals);
        if (std::abs(std::round(value * scale) / scale - value) < 1e-9)
            return QByteArray::number(value, 'f', decimals);
    }
    return QByteArray::number(value, 'f', 4);
}

QByteArray quoteSymbolText(QByteArrayView symbol)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(symbol.size());
    for (char c : symbol) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > ' ' && byte <= '~' && c != '"' && c != ',' && c != '%') {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    return out;
}

QByteArray quoteSymbolKey(QByteArrayView symbol)
{
    return symbol.toByteArray().toUpper();
}

QByteArray QuoteLine::format() const
{
    QByteArray out;
    out.reserve(80);
    out += quoted(quoteSymbolText(symbol));
    out += ',';
    out += formatPrice(last);
    out += ',';
    out += quoted(dateText(date));
    out += ',';
    out += quoted(timeText(time));
    out += ',';
    out += changeText(change);
    out += ',';
    out += priceOrNA(open);
    out += ',';
    out += priceOrNA(high);
    out += ',';
    out += priceOrNA(low);
    out += ',';
    out += volume ? QByteArray::number(*volume) : QByteArrayLiteral("N/A");
    return out;
}

QByteArray QuoteLine::unknown(QByteArrayView symbol)
{
    return quoted(quoteSymbolText(symbol)) + ",0.00,\"N/A\",\"N/A\",N/A,N/A,N/A,N/A,N/A";
}

QByteArray quoteSnapshotHeader()
{
    return QByteArrayLiteral("symbol,last,date,time,change,open,high,low,volume");
}

QByteArray quoteSnapshotRow(const QuoteLine &quote)
{
    auto number = [](const std::optional<double> &v) { return v ? formatPrice(*v) : QByteArrayLiteral("N/A"); };
    QByteArray out = quote.symbol;
    out += ',';
    out += formatPrice(quote.last);
    out += ',';
    out += quote.date.isValid() ? quote.date.toString(Qt::ISODate).toLatin1() : QByteArrayLiteral("N/A");
    out += ',';
    out += quote.time.isValid() ? quote.time.toString(QStringLiteral("HH:mm")).toLatin1() : QByteArrayLiteral("N/A");
    out += ',';
    out += quote.change ? changeText(quote.change) : QByteArrayLiteral("N/A");
    out += ',';
    out += number(quote.open);
    out += ',';
    out += number(quote.high);
    out += ',';
    out += number(quote.low);
    out += ',';
    out += quote.volume ? QByteArray::number(*quote.volume) : QByteArrayLiteral("N/A");
    return out;
}

std::optional<QuoteSnapshot> parseQuoteSnapshot(QByteArrayView text, QStringList *warnings, QString *error,
                                                qsizetype *badRows)
{
    QuoteSnapshot quotes;
    qsizetype bad = 0;
    // A file of bad rows must not turn into a flood of messages.
    auto warn = [&](const QString &text) {
        if (++bad <= kMaxSnapshotWarnings && warnings)
            warnings->append(text);
    };
    if (badRows)
        *badRows = 0;
    bool headerSeen = false;
    int lineNumber = 0;
    qsizetype pos = 0;
    if (text.startsWith("\xEF\xBB\xBF")) // a byte-order mark some editors write
        pos = 3;
    while (pos < text.size()) {
        qsizetype end = text.indexOf('\n', pos);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = text.sliced(pos, end - pos).trimmed();
        pos = end + 1;
        ++lineNumber;
        if (line.isEmpty() || line.startsWith('#'))
            continue;

        if (!headerSeen) {
            QList<QByteArray> names = line.toByteArray().toLower().split(',');
            for (QByteArray &name : names)
                name = name.trimmed();
            if (names.join(',') != quoteSnapshotHeader()) {
                if (error)
                    *error = QStringLiteral("line %1: the header \"%2\" is missing")
                                 .arg(lineNumber)
                                 .arg(QString::fromLatin1(quoteSnapshotHeader()));
                return std::nullopt;
            }
            headerSeen = true;
            continue;
        }

        QuoteLine quote;
        const QString why = parseRow(line, &quote);
        if (!why.isEmpty()) {
            warn(QStringLiteral("line %1: %2").arg(lineNumber).arg(why));
            continue;
        }
        const QByteArray key = quoteSymbolKey(quote.symbol);
        if (quotes.contains(key))
            warn(QStringLiteral("line %1: %2 is listed again; this row counts")
                     .arg(lineNumber)
                     .arg(QString::fromLatin1(quote.symbol)));
        quotes.insert(key, std::move(quote));
    }
    if (!headerSeen) {
        if (error)
            *error = QStringLiteral("the header \"%1\" is missing").arg(QString::fromLatin1(quoteSnapshotHeader()));
        return std::nullopt;
    }
    if (badRows)
        *badRows = bad;
    return quotes;
}

std::optional<QByteArray> readSnapshotBytes(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    // The size is checked before anything is allocated for the contents.
    if (file.size() > kMaxSnapshotBytes) {
        if (error)
            *error =
                QStringLiteral("the file is larger than the limit of %1 MiB").arg(kMaxSnapshotBytes / (1024 * 1024));
        return std::nullopt;
    }
    QByteArray bytes = file.read(file.size());
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

std::optional<QuoteSnapshot> readQuoteSnapshot(const QString &path, QStringList *warnings, QString *error,
                                               qsizetype *badRows)
{
    const std::optional<QByteArray> bytes = readSnapshotBytes(path, error);
    if (!bytes)
        return std::nullopt;
    return parseQuoteSnapshot(*bytes, warnings, error, badRows);
}

QByteArrayView unquoted(QByteArrayView field)
{
    field = field.trimmed();
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
        field = field.sliced(1, field.size() - 2).trimmed();
    return field;
}
