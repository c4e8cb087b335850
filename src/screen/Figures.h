#pragma once

#include <optional>

// SHARES and PROFIT of a result row: the shares that capital buys at the day's
// low after one commission, and what selling them at the high would have made
// after a commission on each trade. Inputs are single precision, widened
// exactly; the arithmetic is double. Both are 0 when high or low is 0 (or not
// a number). nullopt when the share count leaves the 32-bit range or a result
// is not finite.
std::optional<double> CalcShares(float capital, float commission, float high, float low);
std::optional<double> CalcProfit(float capital, float commission, float high, float low);

// Shared by the grid and "Possible Profit": shares rounded half to even,
// profit rounded to cents half to even.
struct TradeFigures
{
    double shares = 0;
    double profit = 0;
};
std::optional<TradeFigures> tradeFigures(double capital, double commission, double buy, double sell, double minShares,
                                         double maxShares);

// Both grid figures at once, by the rules of CalcShares and CalcProfit.
std::optional<TradeFigures> gridTradeFigures(float capital, float commission, float high, float low);
