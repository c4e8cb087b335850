#include "chart/ChartSummary.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

QString price(double value)
{
    return QLocale().toString(value, 'f', 2);
}

QString date(QDate d)
{
    return d.toString(Qt::ISODate);
}

// "up 1.20 (0.98%)", "down ...", "unchanged".
QString change(double from, double to)
{
    if (to == from)
        return QStringLiteral("unchanged");
    const QString percent =
        from != 0 ? QStringLiteral(" (%1%)").arg(price(std::abs(to - from) / from * 100)) : QString();
    return QStringLiteral("%1 %2%3").arg(to > from ? QStringLiteral("up") : QStringLiteral("down"),
                                         price(std::abs(to - from)), percent);
}

QString trend(const TechnicalRow &t, Technical average, int sessions)
{
    if (!t.known(average) || !t.known(Technical::Close))
        return QStringLiteral("The %1-day average is unknown: fewer than %1 sessions are stored.").arg(sessions);
    const double close = t.value(Technical::Close);
    const double mean = t.value(average);
    const QString side = close > mean   ? QStringLiteral("above")
                         : close < mean ? QStringLiteral("below")
                                        : QStringLiteral("at");
    return QStringLiteral("The close is %1 the %2-day average of %3.").arg(side).arg(sessions).arg(price(mean));
}

} // namespace

QString chartSummary(const BarSeries &bars, const TechnicalRow &technicals, qsizetype first, qsizetype last)
{
    if (bars.empty())
        return QStringLiteral("No price history.");
    QStringList s;
    const DailyBar &latest = bars.back();
    QString close = QStringLiteral("Last close %1 on %2").arg(price(latest.close), date(latest.date));
    if (bars.size() > 1)
        close += QStringLiteral(", %1 on the session before").arg(change(bars[bars.size() - 2].close, latest.close));
    s << close + u'.';
    if (technicals.known(Technical::High52) && technicals.known(Technical::Low52))
        s << QStringLiteral("52-week range %1 to %2.")
                 .arg(price(technicals.value(Technical::Low52)), price(technicals.value(Technical::High52)));
    else
        s << QStringLiteral("The 52-week range is unknown: less than a year is stored.");
    s << trend(technicals, Technical::Sma50, 50) << trend(technicals, Technical::Sma200, 200);

    first = std::clamp<qsizetype>(first, 0, qsizetype(bars.size()) - 1);
    last = std::clamp<qsizetype>(last, first, qsizetype(bars.size()) - 1);
    const DailyBar &from = bars[size_t(first)];
    const DailyBar &to = bars[size_t(last)];
    s << QStringLiteral("Shown: %1 to %2, %3 sessions, the close %4.")
             .arg(date(from.date), date(to.date))
             .arg(last - first + 1)
             .arg(change(from.close, to.close));
    return s.join(u' ');
}

QString barReading(const DailyBar &bar)
{
    return QStringLiteral("%1   O %2   H %3   L %4   C %5   V %6")
        .arg(date(bar.date), price(bar.open), price(bar.high), price(bar.low), price(bar.close),
             QLocale().toString(bar.volume));
}
