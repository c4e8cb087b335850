#include "quoted/TradingCalendar.h"

#include <algorithm>
#include <iterator>

namespace TradingCalendar {

namespace {

// The n-th given weekday (1 Monday .. 7 Sunday) of a month; n = -1 for the last.
QDate nthWeekday(int year, int month, int weekday, int n)
{
    if (n > 0) {
        const QDate first(year, month, 1);
        return first.addDays((weekday - first.dayOfWeek() + 7) % 7 + 7 * (n - 1));
    }
    const QDate last = QDate(year, month, 1).addMonths(1).addDays(-1);
    return last.addDays(-((last.dayOfWeek() - weekday + 7) % 7));
}

// A fixed-date holiday falling on a weekend is kept on the nearest weekday.
QDate observed(QDate date)
{
    switch (date.dayOfWeek()) {
    case Qt::Saturday:
        return date.addDays(-1);
    case Qt::Sunday:
        return date.addDays(1);
    default:
        return date;
    }
}

QDateTime sessionTime(QDate day, QTime time)
{
    return QDateTime(day, time, exchangeZone()).toUTC();
}

QDate exchangeDate(const QDateTime &at)
{
    return at.toTimeZone(exchangeZone()).date();
}

} // namespace

QTimeZone exchangeZone()
{
    static const QTimeZone zone("America/New_York");
    return zone;
}

QDate easterSunday(int year)
{
    // The Gregorian computus (Meeus/Jones/Butcher).
    const int a = year % 19, b = year / 100, c = year % 100, d = b / 4, e = b % 4;
    const int f = (b + 8) / 25, g = (b - f + 1) / 3, h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4, k = c % 4, l = (32 + 2 * e + 2 * i - h - k) % 7, m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31, day = (h + l - 7 * m + 114) % 31 + 1;
    return QDate(year, month, day);
}

bool isHoliday(QDate date)
{
    if (!date.isValid() || date.dayOfWeek() >= Qt::Saturday)
        return false;
    const int year = date.year();
    // New Year's Day on a Saturday is not made up on the Friday before: that
    // Friday closes the old year's books.
    const QDate newYear(year, 1, 1);
    if (newYear.dayOfWeek() != Qt::Saturday && date == observed(newYear))
        return true;
    const QDate holidays[] = {
        nthWeekday(year, 1, Qt::Monday, 3),    // Martin Luther King Jr. Day
        nthWeekday(year, 2, Qt::Monday, 3),    // Washington's Birthday
        easterSunday(year).addDays(-2),        // Good Friday
        nthWeekday(year, 5, Qt::Monday, -1),   // Memorial Day
        observed(QDate(year, 7, 4)),           // Independence Day
        nthWeekday(year, 9, Qt::Monday, 1),    // Labor Day
        nthWeekday(year, 11, Qt::Thursday, 4), // Thanksgiving Day
        observed(QDate(year, 12, 25)),         // Christmas Day
    };
    if (std::find(std::begin(holidays), std::end(holidays), date) != std::end(holidays))
        return true;
    return year >= 2022 && date == observed(QDate(year, 6, 19)); // Juneteenth
}

bool isTradingDay(QDate date)
{
    return date.isValid() && date.dayOfWeek() <= Qt::Friday && !isHoliday(date);
}

QDate previousTradingDay(QDate date)
{
    if (!date.isValid())
        return {};
    do
        date = date.addDays(-1);
    while (!isTradingDay(date));
    return date;
}

QDate nextTradingDay(QDate date)
{
    if (!date.isValid())
        return {};
    do
        date = date.addDays(1);
    while (!isTradingDay(date));
    return date;
}

QDateTime sessionOpen(QDate day)
{
    return sessionTime(day, QTime(9, 30));
}

QDateTime sessionClose(QDate day)
{
    return sessionTime(day, QTime(16, 0));
}

bool inSession(const QDateTime &at)
{
    const QDate day = exchangeDate(at);
    return isTradingDay(day) && at >= sessionOpen(day) && at < sessionClose(day);
}

QDate latestCompletedDay(const QDateTime &at)
{
    QDate day = exchangeDate(at);
    if (!isTradingDay(day) || sessionClose(day) > at)
        day = previousTradingDay(day);
    return day;
}

QDate currentOrNextSession(const QDateTime &at)
{
    const QDate day = exchangeDate(at);
    return isTradingDay(day) && sessionClose(day) > at ? day : nextTradingDay(day);
}

} // namespace TradingCalendar
