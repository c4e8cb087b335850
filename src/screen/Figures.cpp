#include "screen/Figures.h"

#include "screen/NumberFormat.h"

#include <cmath>
#include <cstdint>
#include <limits>

std::optional<TradeFigures> tradeFigures(double capital, double commission, double buy, double sell, double minShares,
                                         double maxShares)
{
    const double shares = NumberFormat::roundHalfEven((capital - commission) / buy);
    if (!std::isfinite(shares) || shares < minShares || shares > maxShares)
        return std::nullopt;
    const double cost = buy * shares + commission;      // commission on buying…
    const double proceeds = sell * shares - commission; // …and again on selling
    const double profit = NumberFormat::roundHalfEven(proceeds - cost, 2);
    if (!std::isfinite(profit))
        return std::nullopt;
    return TradeFigures{shares, profit};
}

std::optional<TradeFigures> gridTradeFigures(float capital, float commission, float high, float low)
{
    // A price that is zero or not a number gives no position at all.
    if (!(high != 0 && low != 0) || std::isnan(high) || std::isnan(low))
        return TradeFigures{};
    return tradeFigures(double(capital), double(commission), double(low), double(high),
                        double(std::numeric_limits<std::int32_t>::min()),
                        double(std::numeric_limits<std::int32_t>::max()));
}

std::optional<double> CalcShares(float capital, float commission, float high, float low)
{
    const auto f = gridTradeFigures(capital, commission, high, low);
    return f ? std::optional<double>(f->shares) : std::nullopt;
}

std::optional<double> CalcProfit(float capital, float commission, float high, float low)
{
    const auto f = gridTradeFigures(capital, commission, high, low);
    return f ? std::optional<double>(f->profit) : std::nullopt;
}
