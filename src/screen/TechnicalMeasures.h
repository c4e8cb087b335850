#pragma once

#include "history/Technicals.h"

#include <array>
#include <cmath>
#include <limits>

// What a screen can range over and the result grid can show of a symbol's
// technical indicators, in the order of the "Technical" frame and of the
// grid's technical columns. Each measure is worked out from one row of the
// quote service's technicals table; NaN when an indicator it needs is unknown.
struct TechnicalMeasure
{
    // Stem of every name: check box "chk<name>", boxes "txt<name>S" and
    // "txt<name>E", settings and saved-screen keys "<name>S", "<name>E" and
    // "<name>Ticked".
    const char *name;
    const char *caption; // the check box's text
    const char *header;  // the grid column's header
    const char *defaultStart;
    const char *defaultEnd;
    bool bySign; // a change in percent, coloured by its sign in the grid like CHANGE
    double (*value)(const TechnicalRow &);
};

namespace TechnicalValue {

inline double of(const TechnicalRow &row, Technical t)
{
    return row.value(t);
}

// How far the last close lies above (or below) a reference, in percent, to
// the 4 decimals the service writes its own figures with: a bound typed as a
// distance shows (-10 for a close of 90 under a high of 100) takes it in.
inline double percentFrom(const TechnicalRow &row, Technical reference)
{
    const double ref = row.value(reference);
    if (!(ref != 0)) // zero or unknown
        return std::numeric_limits<double>::quiet_NaN();
    return std::round((row.value(Technical::Close) / ref - 1) * 1e6) / 1e4;
}

} // namespace TechnicalValue

inline constexpr std::array<TechnicalMeasure, 10> kTechnicalMeasures{{
    {"FromHigh52", "% from 52-week high", "FROM HIGH %", "-20", "0", true,
     [](const TechnicalRow &r) { return TechnicalValue::percentFrom(r, Technical::High52); }},
    {"FromLow52", "% from 52-week low", "FROM LOW %", "0", "50", true,
     [](const TechnicalRow &r) { return TechnicalValue::percentFrom(r, Technical::Low52); }},
    {"VsSma50", "% vs SMA50", "VS SMA50 %", "0", "10", true,
     [](const TechnicalRow &r) { return TechnicalValue::percentFrom(r, Technical::Sma50); }},
    {"VsSma200", "% vs SMA200", "VS SMA200 %", "0", "20", true,
     [](const TechnicalRow &r) { return TechnicalValue::percentFrom(r, Technical::Sma200); }},
    {"Rsi14", "RSI(14)", "RSI(14)", "30", "70", false,
     [](const TechnicalRow &r) { return TechnicalValue::of(r, Technical::Rsi14); }},
    {"RelVolume", "relative volume", "REL VOLUME", "1.5", "10", false,
     [](const TechnicalRow &r) { return TechnicalValue::of(r, Technical::RelVolume); }},
    {"Perf1W", "Perf 1W %", "PERF 1W %", "-5", "5", true,
     [](const TechnicalRow &r) { return TechnicalValue::of(r, Technical::Perf1W); }},
    {"Perf1M", "Perf 1M %", "PERF 1M %", "-10", "10", true,
     [](const TechnicalRow &r) { return TechnicalValue::of(r, Technical::Perf1M); }},
    {"Perf3M", "Perf 3M %", "PERF 3M %", "-20", "20", true,
     [](const TechnicalRow &r) { return TechnicalValue::of(r, Technical::Perf3M); }},
    {"PerfYtd", "Perf YTD %", "PERF YTD %", "-20", "20", true,
     [](const TechnicalRow &r) { return TechnicalValue::of(r, Technical::PerfYtd); }},
}};
