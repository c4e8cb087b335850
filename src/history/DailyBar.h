#pragma once

#include <QDate>

#include <vector>

// One session of one symbol. Prices are kept as 32-bit floats, like the
// market file's quotes: seven significant digits are all any source gives.
struct DailyBar
{
    QDate date;
    float open = 0;
    float high = 0;
    float low = 0;
    float close = 0;
    qint64 volume = 0;

    friend bool operator==(const DailyBar &, const DailyBar &) = default;
};

// A symbol's sessions in ascending dates, one bar per date.
using BarSeries = std::vector<DailyBar>;
