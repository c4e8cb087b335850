#include "chart/ChartData.h"

#include "base/Text.h"
#include "history/HistoryCsv.h"

#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

qsizetype rangeStart(const BarSeries &bars, int months)
{
    if (months <= 0 || bars.empty())
        return 0;
    const QDate after = bars.back().date.addMonths(-months);
    const auto first =
        std::upper_bound(bars.cbegin(), bars.cend(), after, [](QDate d, const DailyBar &b) { return d < b.date; });
    return std::min<qsizetype>(first - bars.cbegin(), qsizetype(bars.size()) - 1);
}

std::vector<float> movingAverage(const BarSeries &bars, int sessions)
{
    std::vector<float> averages(bars.size(), std::numeric_limits<float>::quiet_NaN());
    // A running sum in double: 10 years of float closes would drift.
    double sum = 0;
    for (size_t i = 0; i < bars.size(); ++i) {
        sum += bars[i].close;
        if (i >= size_t(sessions))
            sum -= bars[i - size_t(sessions)].close;
        if (i + 1 >= size_t(sessions))
            averages[i] = float(sum / sessions);
    }
    return averages;
}

std::vector<ChartColumn> chartColumns(const BarSeries &bars, qsizetype first, qsizetype last, int columns)
{
    std::vector<ChartColumn> out;
    first = std::max<qsizetype>(first, 0);
    last = std::min<qsizetype>(last, qsizetype(bars.size()) - 1);
    const qsizetype count = last - first + 1;
    if (count <= 0 || columns <= 0)
        return out;
    const qsizetype n = std::min<qsizetype>(count, columns);
    out.reserve(size_t(n));
    for (qsizetype c = 0; c < n; ++c) {
        const qsizetype from = first + c * count / n;
        const qsizetype to = first + (c + 1) * count / n - 1;
        ChartColumn col;
        col.open = bars[size_t(from)].open;
        col.high = bars[size_t(from)].high;
        col.low = bars[size_t(from)].low;
        for (qsizetype i = from; i <= to; ++i) {
            const DailyBar &b = bars[size_t(i)];
            col.high = std::max(col.high, b.high);
            col.low = std::min(col.low, b.low);
            col.volume = std::max(col.volume, b.volume);
        }
        col.close = bars[size_t(to)].close;
        col.last = to;
        out.push_back(col);
    }
    return out;
}

QString historyPath(const QString &symbol)
{
    return QStringLiteral("/history.csv?s=") + QString::fromLatin1(QUrl::toPercentEncoding(symbol));
}

std::optional<BarSeries> historyFromReply(const ServiceGet::Reply &reply, const QString &symbol, QString *failure)
{
    *failure = reply.refusal();
    if (!failure->isEmpty())
        return std::nullopt;
    std::optional<BarSeries> bars = parseHistoryCsv(reply.body);
    if (!bars)
        *failure =
            QStringLiteral("The quote service sent a price history of %1 that could not be read.").arg(quoted(symbol));
    else if (bars->empty())
        *failure = QStringLiteral("The quote service holds no price history of %1.").arg(quoted(symbol));
    else
        return bars;
    return std::nullopt;
}
