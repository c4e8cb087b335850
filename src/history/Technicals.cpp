#include "history/Technicals.h"

#include <algorithm>

namespace {

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

// Change from then to now in percent; unknown without a base.
double percent(double now, double then)
{
    return then > 0 ? (now / then - 1.0) * 100.0 : kUnknown;
}

// Wilder's smoothing over 14 values: the first average is the plain mean of
// the first 14, each later one takes 1/14 of the new value.
class WilderAverage
{
public:
    void add(double value)
    {
        ++m_count;
        if (m_count <= kLength) {
            m_sum += value;
            if (m_count == kLength)
                m_average = m_sum / kLength;
        } else {
            m_average = (m_average * (kLength - 1) + value) / kLength;
        }
    }
    bool ready() const { return m_count >= kLength; }
    double average() const { return m_average; }

private:
    static constexpr int kLength = 14;
    int m_count = 0;
    double m_sum = 0;
    double m_average = 0;
};

} // namespace

TechnicalRow computeTechnicals(const QString &symbol, const BarSeries &bars)
{
    TechnicalRow row;
    row.symbol = symbol;
    const qsizetype n = qsizetype(bars.size());
    row.sessions = int(n);
    if (n == 0)
        return row;
    const DailyBar &last = bars.back();
    row.date = last.date;
    auto set = [&row](Technical t, double value) { row.values[size_t(t)] = value; };
    auto close = [&bars, n](qsizetype back) { return double(bars[size_t(n - 1 - back)].close); };

    set(Technical::Close, last.close);

    const auto sma = [&](int length) {
        if (n < length)
            return kUnknown;
        double sum = 0;
        for (int i = 0; i < length; ++i)
            sum += close(i);
        return sum / length;
    };
    set(Technical::Sma20, sma(20));
    set(Technical::Sma50, sma(50));
    set(Technical::Sma200, sma(200));

    constexpr int kYear = 252;
    if (n >= kYear) {
        double high = bars[size_t(n - kYear)].high;
        double low = bars[size_t(n - kYear)].low;
        for (qsizetype i = n - kYear; i < n; ++i) {
            high = std::max(high, double(bars[size_t(i)].high));
            low = std::min(low, double(bars[size_t(i)].low));
        }
        set(Technical::High52, high);
        set(Technical::Low52, low);
    }

    WilderAverage gains, losses, trueRange;
    for (qsizetype i = std::max<qsizetype>(1, n - kTechnicalSessions); i < n; ++i) {
        const DailyBar &bar = bars[size_t(i)];
        const double previous = bars[size_t(i - 1)].close;
        const double change = double(bar.close) - previous;
        gains.add(std::max(change, 0.0));
        losses.add(std::max(-change, 0.0));
        trueRange.add(std::max(
            {double(bar.high) - bar.low, std::abs(double(bar.high) - previous), std::abs(double(bar.low) - previous)}));
    }
    if (gains.ready()) {
        const double up = gains.average();
        const double down = losses.average();
        // A still series has no strength either way.
        set(Technical::Rsi14, down == 0 ? (up == 0 ? 50.0 : 100.0) : 100.0 - 100.0 / (1.0 + up / down));
        set(Technical::Atr14, trueRange.average());
    }

    if (n >= 20) {
        double sum = 0;
        for (qsizetype i = n - 20; i < n; ++i)
            sum += double(bars[size_t(i)].volume);
        const double average = sum / 20;
        set(Technical::AvgVolume20, average);
        if (average > 0)
            set(Technical::RelVolume, double(last.volume) / average);
    }

    const std::array<std::pair<Technical, int>, 5> periods{{{Technical::Perf1W, 5},
                                                            {Technical::Perf1M, 21},
                                                            {Technical::Perf3M, 63},
                                                            {Technical::Perf6M, 126},
                                                            {Technical::Perf1Y, 252}}};
    for (const auto &[technical, sessions] : periods) {
        if (n > sessions)
            set(technical, percent(close(0), close(sessions)));
    }

    const int year = last.date.year();
    const auto previousYear =
        std::find_if(bars.rbegin(), bars.rend(), [year](const DailyBar &bar) { return bar.date.year() < year; });
    // A series that skips the whole previous year has no base for this year.
    if (previousYear != bars.rend() && previousYear->date.year() == year - 1)
        set(Technical::PerfYtd, percent(close(0), previousYear->close));
    return row;
}
