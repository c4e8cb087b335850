#include "history/HistoryCsv.h"

#include <charconv>

namespace {

constexpr char kHistoryHeader[] = "Date,Open,High,Low,Close,Volume";

void appendDate(QByteArray &out, QDate date)
{
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year(), date.month(), date.day());
    out.append(text, length);
}

QDate parseDate(QByteArrayView field)
{
    if (field.size() != 10 || field[4] != '-' || field[7] != '-')
        return {};
    int parts[3] = {};
    const QByteArrayView pieces[3] = {field.first(4), field.sliced(5, 2), field.sliced(8, 2)};
    for (int i = 0; i < 3; ++i) {
        const auto [end, error] = std::from_chars(pieces[i].begin(), pieces[i].end(), parts[i]);
        if (error != std::errc() || end != pieces[i].end())
            return {};
    }
    return QDate(parts[0], parts[1], parts[2]);
}

// A field that must hold a finite number; nullopt otherwise.
std::optional<double> parseNumber(QByteArrayView field)
{
    double value = 0;
    const char *begin = field.begin();
    if (begin != field.end() && *begin == '+')
        return std::nullopt;
    const auto [end, error] = std::from_chars(begin, field.end(), value);
    if (field.isEmpty() || error != std::errc() || end != field.end() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The text's lines without their ends; a last line without "\n" counts too.
template <typename Each> bool forEachLine(QByteArrayView text, Each each)
{
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!each(line))
            return false;
        start = end + 1;
    }
    return true;
}

// Splits a line at commas into exactly count fields.
template <size_t count> bool splitFields(QByteArrayView line, std::array<QByteArrayView, count> &fields)
{
    size_t field = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != ',')
            continue;
        if (field == count)
            return false;
        fields[field++] = line.sliced(start, i - start);
        start = i + 1;
    }
    return field == count;
}

} // namespace

QByteArray csvNumber(double value)
{
    if (!std::isfinite(value))
        return QByteArray();
    QByteArray text = QByteArray::number(value, 'f', 4);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    if (text == "-0")
        text = "0";
    return text;
}

QByteArray historyCsv(const BarSeries &bars)
{
    QByteArray out;
    out.reserve(qsizetype(bars.size()) * 48 + 40);
    out += kHistoryHeader;
    out += '\n';
    for (const DailyBar &bar : bars) {
        appendDate(out, bar.date);
        for (const float price : {bar.open, bar.high, bar.low, bar.close}) {
            out += ',';
            out += csvNumber(price);
        }
        out += ',';
        out += QByteArray::number(bar.volume);
        out += '\n';
    }
    return out;
}

std::optional<BarSeries> parseHistoryCsv(QByteArrayView text)
{
    BarSeries bars;
    bool header = true;
    const bool whole = forEachLine(text, [&](QByteArrayView line) {
        if (header) {
            header = false;
            return line == kHistoryHeader;
        }
        if (line.isEmpty())
            return true;
        std::array<QByteArrayView, 6> fields;
        if (!splitFields(line, fields))
            return false;
        DailyBar bar;
        bar.date = parseDate(fields[0]);
        if (!bar.date.isValid() || (!bars.empty() && bars.back().date >= bar.date))
            return false;
        float *prices[] = {&bar.open, &bar.high, &bar.low, &bar.close};
        for (int i = 0; i < 4; ++i) {
            const std::optional<double> price = parseNumber(fields[size_t(i) + 1]);
            if (!price)
                return false;
            *prices[i] = float(*price);
        }
        const std::optional<double> volume = parseNumber(fields[5]);
        if (!volume || *volume < 0 || *volume > 9e18)
            return false;
        bar.volume = qint64(*volume);
        bars.push_back(bar);
        return true;
    });
    if (!whole || header)
        return std::nullopt;
    return bars;
}

QByteArray technicalsHeader()
{
    QByteArray header = "Symbol,Date";
    for (const char *name : kTechnicalNames) {
        header += ',';
        header += name;
    }
    header += ",Sessions";
    return header;
}

QByteArray technicalsLine(const TechnicalRow &row)
{
    QByteArray line = row.symbol.toLatin1();
    line += ',';
    if (row.date.isValid())
        appendDate(line, row.date);
    for (const double value : row.values) {
        line += ',';
        line += csvNumber(value);
    }
    line += ',';
    line += QByteArray::number(row.sessions);
    return line;
}

QByteArray technicalsCsv(const std::vector<TechnicalRow> &rows)
{
    QByteArray out = technicalsHeader();
    out += '\n';
    out.reserve(qsizetype(rows.size()) * 140 + out.size());
    for (const TechnicalRow &row : rows) {
        out += technicalsLine(row);
        out += '\n';
    }
    return out;
}

std::optional<std::vector<TechnicalRow>> parseTechnicalsCsv(QByteArrayView text)
{
    std::vector<TechnicalRow> rows;
    const QByteArray header = technicalsHeader();
    bool first = true;
    constexpr size_t kFields = 2 + kTechnicalCount + 1;
    const bool whole = forEachLine(text, [&](QByteArrayView line) {
        if (first) {
            first = false;
            return line == header;
        }
        if (line.isEmpty())
            return true;
        std::array<QByteArrayView, kFields> fields;
        if (!splitFields(line, fields) || fields[0].isEmpty())
            return false;
        TechnicalRow row;
        row.symbol = QString::fromLatin1(fields[0]);
        if (!fields[1].isEmpty()) {
            row.date = parseDate(fields[1]);
            if (!row.date.isValid())
                return false;
        }
        for (size_t i = 0; i < size_t(kTechnicalCount); ++i) {
            const QByteArrayView field = fields[i + 2];
            if (field.isEmpty())
                continue;
            const std::optional<double> value = parseNumber(field);
            if (!value)
                return false;
            row.values[i] = *value;
        }
        const QByteArrayView sessions = fields[kFields - 1];
        const auto [end, error] = std::from_chars(sessions.begin(), sessions.end(), row.sessions);
        if (error != std::errc() || end != sessions.end() || row.sessions < 0)
            return false;
        rows.push_back(std::move(row));
        return true;
    });
    if (!whole || first)
        return std::nullopt;
    return rows;
}
