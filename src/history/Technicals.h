#pragma once

#include "history/DailyBar.h"

#include <QDate>
#include <QString>

#include <array>
#include <cmath>
#include <limits>

// The indicators kept for every symbol, in the column order of the
// technicals table. Percentages are in percent.
enum class Technical {
    Close, // the last session's close
    Sma20, // simple averages of the closes
    Sma50,
    Sma200,
    High52, // highest high and lowest low of the last 252 sessions
    Low52,
    Rsi14,       // Wilder's RSI over 14 sessions
    Atr14,       // Wilder's average true range over 14 sessions
    AvgVolume20, // average volume of the last 20 sessions
    RelVolume,   // the last volume over AvgVolume20
    Perf1W,      // change of the close over 5, 21, 63, 126 and 252 sessions
    Perf1M,
    Perf3M,
    Perf6M,
    Perf1Y,
    PerfYtd, // change against the last close of the previous year
};
inline constexpr int kTechnicalCount = int(Technical::PerfYtd) + 1;

// The table's header names of the indicators, in enum order.
inline constexpr std::array<const char *, kTechnicalCount> kTechnicalNames{
    "Close",       "SMA20",     "SMA50",  "SMA200", "High52", "Low52",  "RSI14",  "ATR14",
    "AvgVolume20", "RelVolume", "Perf1W", "Perf1M", "Perf3M", "Perf6M", "Perf1Y", "PerfYTD"};

// One symbol's indicators as of its last session. A value without enough
// history is NaN ("unknown"), never 0.
struct TechnicalRow
{
    QString symbol;
    QDate date;       // the last session's date
    int sessions = 0; // how many sessions the store holds
    std::array<double, kTechnicalCount> values;

    TechnicalRow() { values.fill(std::numeric_limits<double>::quiet_NaN()); }
    double value(Technical t) const { return values[size_t(t)]; }
    bool known(Technical t) const { return !std::isnan(value(t)); }
};

// The sessions the indicators look back on at most: a year of sessions and
// the previous close, with room for Wilder's averages to settle. RSI and ATR
// start from the simple average of their first 14 values in this stretch, so
// the indicators of a long series equal those of its last sessions.
inline constexpr int kTechnicalSessions = 300;

// The indicators of one symbol from its series (ascending dates); YTD looks
// for the previous year's last close in the whole series given. sessions is
// the series' length. An empty series gives a row with no date, no sessions
// and nothing known.
TechnicalRow computeTechnicals(const QString &symbol, const BarSeries &bars);
