#include "quoted/UpstreamCsv.h"

#include "quoted/QuoteLine.h"

#include <QUrlQuery>

#include <cmath>

namespace {

enum Column { Symbol, Date, Time, Open, High, Low, Close, Volume, PreviousClose, ColumnCount };

constexpr double kMaxValue = 1e9; // what a quote line can carry
constexpr double kMaxVolume = 1e15;

int columnOf(QByteArrayView name)
{
    const QByteArray n = name.toByteArray().toLower().replace(' ', "").replace('_', "");
    if (n == "symbol" || n == "ticker")
        return Symbol;
    if (n == "date")
        return Date;
    if (n == "time")
        return Time;
    if (n == "open")
        return Open;
    if (n == "high")
        return High;
    if (n == "low")
        return Low;
    if (n == "close" || n == "last")
        return Close;
    if (n == "volume")
        return Volume;
    if (n == "prev" || n == "prevclose" || n == "previousclose")
        return PreviousClose;
    return -1;
}

bool isMissing(QByteArrayView field)
{
    return field.isEmpty() || field.compare("N/D", Qt::CaseInsensitive) == 0
           || field.compare("N/A", Qt::CaseInsensitive) == 0;
}

std::optional<double> number(QByteArrayView field, double limit)
{
    if (isMissing(field))
        return std::nullopt;
    bool ok = false;
    const double value = field.toByteArray().toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::abs(value) >= limit)
        return std::nullopt;
    return value;
}

QDate dateOf(QByteArrayView field)
{
    const QString text = QString::fromLatin1(field);
    for (const char *format : {"yyyy-MM-dd", "yyyyMMdd"}) {
        const QDate date = QDate::fromString(text, QLatin1StringView(format));
        if (date.isValid())
            return date;
    }
    return {};
}

QTime timeOf(QByteArrayView field)
{
    const QString text = QString::fromLatin1(field);
    for (const char *format : {"HH:mm:ss", "HH:mm", "HHmmss"}) {
        const QTime time = QTime::fromString(text, QLatin1StringView(format));
        if (time.isValid())
            return time;
    }
    return {};
}

QList<QByteArrayView> lines(QByteArrayView body)
{
    QList<QByteArrayView> out;
    qsizetype pos = 0;
    while (pos < body.size()) {
        qsizetype end = body.indexOf('\n', pos);
        if (end < 0)
            end = body.size();
        QByteArrayView line = body.sliced(pos, end - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            out.append(line);
        pos = end + 1;
    }
    return out;
}

QList<QByteArrayView> fields(QByteArrayView line)
{
    QList<QByteArrayView> out;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype comma = line.indexOf(',', pos);
        out.append(unquoted(line.sliced(pos, (comma < 0 ? line.size() : comma) - pos)));
        if (comma < 0)
            return out;
        pos = comma + 1;
    }
}

} // namespace

QUrl upstreamUrl(const QUrl &base, const QList<QByteArray> &symbols, QByteArrayView suffix)
{
    QByteArray list;
    for (const QByteArray &symbol : symbols) {
        if (!list.isEmpty())
            list += '+'; // the source's separator, not an encoded blank
        list += (symbol + suffix.toByteArray()).toLower().toPercentEncoding(".-_^");
    }
    QByteArray query = base.query(QUrl::FullyEncoded).toLatin1();
    if (!query.isEmpty())
        query += '&';
    query += "s=" + list + "&f=" + kUpstreamFields.toByteArray() + "&h&e=csv";
    QUrl url = base;
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

QByteArray upstreamSymbolKey(QByteArrayView echoed, QByteArrayView suffix)
{
    QByteArrayView symbol = echoed.trimmed();
    if (!suffix.isEmpty() && symbol.size() > suffix.size()
        && symbol.last(suffix.size()).compare(suffix, Qt::CaseInsensitive) == 0)
        symbol.chop(suffix.size());
    return symbol.toByteArray().toUpper();
}

std::optional<QList<UpstreamQuote>> parseUpstreamCsv(QByteArrayView body, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.sliced(3);
    const QList<QByteArrayView> rows = lines(body);
    if (rows.isEmpty())
        return fail(QStringLiteral("the source sent an empty answer"));

    int index[ColumnCount];
    std::fill(std::begin(index), std::end(index), -1);
    const QList<QByteArrayView> names = fields(rows.first());
    for (qsizetype i = 0; i < names.size(); ++i) {
        const int column = columnOf(names[i]);
        if (column >= 0 && index[column] < 0)
            index[column] = int(i);
    }
    if (index[Symbol] < 0 || index[Close] < 0) {
        const QByteArray start = rows.first().trimmed().first(qMin<qsizetype>(rows.first().trimmed().size(), 60)).toByteArray();
        if (start.startsWith('<'))
            return fail(QStringLiteral("the source sent a web page instead of quotes"));
        return fail(QStringLiteral("the source sent no quote table: \"%1\"").arg(QString::fromLatin1(start)));
    }

    QList<UpstreamQuote> quotes;
    quotes.reserve(rows.size() - 1);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QList<QByteArrayView> f = fields(rows[r]);
        auto field = [&f, &index](Column c) { return index[c] >= 0 && index[c] < f.size() ? f[index[c]] : QByteArrayView(); };
        UpstreamQuote quote;
        quote.symbol = field(Symbol).toByteArray();
        if (quote.symbol.isEmpty())
            continue;
        quote.date = dateOf(field(Date));
        quote.time = timeOf(field(Time));
        quote.open = number(field(Open), kMaxValue);
        quote.high = number(field(High), kMaxValue);
        quote.low = number(field(Low), kMaxValue);
        quote.close = number(field(Close), kMaxValue);
        quote.previousClose = number(field(PreviousClose), kMaxValue);
        if (const std::optional<double> volume = number(field(Volume), kMaxVolume); volume && *volume >= 0)
            quote.volume = qint64(std::llround(*volume));
        quotes.append(quote);
    }
    return quotes;
}
