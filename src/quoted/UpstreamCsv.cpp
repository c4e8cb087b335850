#include "quoted/UpstreamCsv.h"

#include "base/Text.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace {

enum Column { Symbol, Date, Time, Open, High, Low, Close, Volume, PreviousClose, ColumnCount };

constexpr double kMaxValue = 1e9; // what a quote line can carry
constexpr double kMaxVolume = 1e15;
// Bytes of a name that go into the request as they are; "^" is encoded.
constexpr const char *kNameSafe = ".-";

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

// One record of the answer: its fields, and whether its line end was seen.
struct Record
{
    QList<QByteArray> fields;
    bool ended = false;
    bool wellFormed = true;
};

// RFC 4180: a field that starts (after blanks) with a double quote runs to
// the closing quote, a doubled quote inside standing for one; only blanks
// may follow it. Records end at LF (CR LF too); blank lines are skipped.
QList<Record> records(QByteArrayView body)
{
    QList<Record> out;
    Record record;
    QByteArray field;
    bool quoted = false;     // the field began with a quote
    bool inQuotes = false;   // between its quotes
    bool afterQuote = false; // its closing quote has been seen
    const auto endField = [&] {
        record.fields.append(field.trimmed());
        field.clear();
        quoted = afterQuote = false;
    };
    const auto endRecord = [&](bool ended) {
        const bool blank = record.fields.size() == 1 && record.fields.first().isEmpty();
        record.ended = ended;
        if (!blank)
            out.append(std::move(record));
        record = Record();
    };
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (inQuotes) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < body.size() && body[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                inQuotes = false;
                afterQuote = true;
            }
        } else if (c == ',') {
            endField();
        } else if (c == '\n') {
            endField();
            endRecord(true);
        } else if (c == '\r') {
            continue;
        } else if (afterQuote) {
            if (c != ' ' && c != '\t')
                record.wellFormed = false;
        } else if (c == '"' && !quoted && field.trimmed().isEmpty()) {
            quoted = inQuotes = true;
            field.clear();
        } else {
            field += c;
        }
    }
    if (inQuotes)
        record.wellFormed = false;
    if (!field.isEmpty() || quoted || !record.fields.isEmpty()) {
        endField();
        endRecord(false);
    }
    return out;
}

} // namespace

qsizetype upstreamUrlCost(QByteArrayView name)
{
    return name.toByteArray().toPercentEncoding(kNameSafe).size() + 1;
}

QUrl upstreamUrl(const QUrl &base, const QList<QByteArray> &names)
{
    QByteArray list;
    for (const QByteArray &name : names) {
        if (!list.isEmpty())
            list += '+'; // the source's separator, not an encoded blank
        list += name.toPercentEncoding(kNameSafe);
    }
    QByteArray query = base.query(QUrl::FullyEncoded).toLatin1();
    if (!query.isEmpty())
        query += '&';
    query += "s=" + list + "&f=" + kUpstreamFields.toByteArray() + "&h&e=csv";
    QUrl url = base;
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || (url.scheme() != u"http" && url.scheme() != u"https")
        || url.toEncoded().size() >= kMaxUpstreamUrlBytes)
        return {};
    return url;
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
    const QList<Record> rows = records(body);
    if (rows.isEmpty())
        return fail(QStringLiteral("the source sent an empty answer"));

    int index[ColumnCount];
    std::fill(std::begin(index), std::end(index), -1);
    const QList<QByteArray> &names = rows.first().fields;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const int column = columnOf(names[i]);
        if (column >= 0 && index[column] < 0)
            index[column] = int(i);
    }
    if (index[Symbol] < 0 || index[Close] < 0) {
        const QByteArrayView text = body.trimmed();
        const QByteArrayView start = text.first(qMin<qsizetype>(text.size(), 60));
        if (start.startsWith('<'))
            return fail(QStringLiteral("the source sent a web page instead of quotes"));
        const qsizetype lineEnd = start.indexOf('\n');
        return fail(QStringLiteral("the source sent no quote table: \"%1\"")
                        .arg(printable((lineEnd < 0 ? start : start.first(lineEnd)).trimmed())));
    }

    const QTimeZone sourceZone(kUpstreamTimeZone.toByteArray());
    const QTimeZone servedZone(kServedTimeZone.toByteArray());
    QList<UpstreamQuote> quotes;
    quotes.reserve(rows.size() - 1);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const Record &row = rows[r];
        if (!row.ended || !row.wellFormed || row.fields.size() != names.size())
            continue;
        auto field = [&row, &index](Column c) {
            return index[c] >= 0 ? QByteArrayView(row.fields[index[c]]) : QByteArrayView();
        };
        UpstreamQuote quote;
        quote.symbol = field(Symbol).toByteArray();
        if (quote.symbol.isEmpty())
            continue;
        quote.date = dateOf(field(Date));
        quote.time = timeOf(field(Time));
        if (quote.date.isValid() && quote.time.isValid() && sourceZone.isValid() && servedZone.isValid()) {
            const QDateTime served = QDateTime(quote.date, quote.time, sourceZone).toTimeZone(servedZone);
            quote.date = served.date();
            quote.time = served.time();
        } else {
            quote.time = QTime(); // not to be moved to Eastern time: N/A rather than wrong
        }
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

QuoteLine UpstreamQuote::line(const QByteArray &name) const
{
    QuoteLine out;
    out.symbol = name;
    out.last = close.value_or(0);
    out.date = date;
    out.time = time;
    out.open = open;
    out.high = high;
    out.low = low;
    out.volume = volume;
    return out;
}
