#pragma once

#include "history/DailyBar.h"
#include "history/Technicals.h"

#include <QString>

// What a screen reader hears of a chart, in sentences: the last close and its
// change on the session before, the 52-week range, the close against the 50-
// and 200-session averages, then the bars shown (first to last, inclusive)
// and how the close moved over them. Numbers in the user's locale, dates as
// YYYY-MM-DD. technicals are the indicators of the same bars.
QString chartSummary(const BarSeries &bars, const TechnicalRow &technicals, qsizetype first, qsizetype last);

// The crosshair's reading of one bar: date, open, high, low, close, volume.
QString barReading(const DailyBar &bar);
