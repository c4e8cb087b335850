#pragma once

#include "history/DailyBar.h"
#include "quotes/ServiceGet.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

// What the chart window draws and reads, worked out without a window: the
// ranges it offers, the moving averages, the columns of a range too long to
// give each bar a pixel, and the service's answer to a history request.

// One of the chart's range buttons: the latest months of the series; 0 months
// means all of it.
struct ChartRange
{
    const char *caption;
    const char *control; // objectName of its button
    const char *description;
    int months;
};

inline constexpr std::array<ChartRange, 7> kChartRanges{{
    {"1M", "butRange1M", "Show the last month", 1},
    {"3M", "butRange3M", "Show the last 3 months", 3},
    {"6M", "butRange6M", "Show the last 6 months", 6},
    {"1Y", "butRange1Y", "Show the last year", 12},
    {"2Y", "butRange2Y", "Show the last 2 years", 24},
    {"5Y", "butRange5Y", "Show the last 5 years", 60},
    {"Max", "butRangeMax", "Show the whole history", 0},
}};

// The range a chart opens on.
inline constexpr int kDefaultChartRange = 3; // 1Y

// The first bar dated after the last bar's date less the months; 0 for none
// (months 0) or an empty series.
qsizetype rangeStart(const BarSeries &bars, int months);

// The simple average of the closes of the given number of sessions ending at
// each bar; NaN where fewer sessions precede. Floats, like the prices.
std::vector<float> movingAverage(const BarSeries &bars, int sessions);

// One pixel column of a range with more bars than columns: the open of its
// first bar, the extremes of all, the close and date of its last, the highest
// volume.
struct ChartColumn
{
    float open = 0;
    float high = 0;
    float low = 0;
    float close = 0;
    qint64 volume = 0;
    qsizetype last = 0; // index of the last bar in the column
};

// Bars first to last (inclusive) in the given number of columns, each column
// holding at least one bar: one column per bar when there are no more bars
// than columns.
std::vector<ChartColumn> chartColumns(const BarSeries &bars, qsizetype first, qsizetype last, int columns);

// The path and query that ask the quote service for a symbol's history.
QString historyPath(const QString &symbol);

// The bars of a reply to historyPath, or nullopt with one sentence for the
// user: the service's own for a refusal, the transport's for no answer.
std::optional<BarSeries> historyFromReply(const ServiceGet::Reply &reply, const QString &symbol, QString *failure);
