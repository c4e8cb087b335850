#include "history/SampleHistory.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

// splitmix64 seeded with the symbol's FNV-1a hash: the same numbers on every
// platform and run, unlike qHash, which is seeded per process.
class SampleNumbers
{
public:
    explicit SampleNumbers(QByteArrayView symbol)
    {
        for (char c : symbol) {
            m_state ^= static_cast<unsigned char>(c);
            m_state *= 1099511628211ull;
        }
    }

    // Uniform in (0, 1).
    double uniform()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return (double(z >> 11) + 0.5) / double(1ull << 53);
    }

    // Standard normal, by Box-Muller.
    double normal() { return std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * std::numbers::pi * uniform()); }

private:
    std::uint64_t m_state = 14695981039346656037ull;
};

bool weekend(QDate date)
{
    return date.dayOfWeek() >= 6;
}

double cents(double price)
{
    return std::max(0.01, std::round(price * 100.0) / 100.0);
}

} // namespace

BarSeries sampleHistory(QByteArrayView symbol, double lastClose, qint64 typicalVolume, QDate lastDate, int sessions)
{
    BarSeries bars;
    if (sessions <= 0 || !(lastClose > 0) || !lastDate.isValid())
        return bars;
    SampleNumbers rng(symbol);
    const double sigma = 0.01 + 0.025 * rng.uniform();  // daily volatility: 1% to 3.5%
    const double drift = (rng.uniform() - 0.5) * 0.002; // up to 0.1% a day either way
    const double volume = double(std::max<qint64>(typicalVolume, 10'000));

    // Walked backwards from the last close, so that the series meets the
    // quote the program shows.
    bars.resize(size_t(sessions));
    QDate date = lastDate;
    double close = lastClose;
    for (int i = sessions - 1; i >= 0; --i) {
        while (weekend(date))
            date = date.addDays(-1);
        const double move = drift + sigma * rng.normal();
        const double previous = close / std::exp(move);
        const double open = cents(previous * std::exp(sigma * 0.3 * rng.normal()));
        const double shut = cents(close);
        DailyBar &bar = bars[size_t(i)];
        bar.date = date;
        bar.open = float(open);
        bar.close = float(shut);
        bar.high = float(cents(std::max(open, shut) * (1.0 + std::abs(rng.normal()) * sigma * 0.5)));
        bar.low = float(
            std::min(std::min(open, shut), cents(std::min(open, shut) * (1.0 - std::abs(rng.normal()) * sigma * 0.5))));
        // Busier on the days that move more.
        bar.volume = qint64(volume * std::exp(0.3 * rng.normal()) * (0.7 + 0.3 * std::abs(move) / sigma));
        close = previous;
        date = date.addDays(-1);
    }
    return bars;
}
