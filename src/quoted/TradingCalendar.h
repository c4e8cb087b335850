#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

// The days and hours of the US stock market (NYSE), as pure functions of a
// date or an instant, so that the quote service can tell when asking its
// source could give anything new. Holidays follow their rules, not a table
// per year; the regular session is 9:30 to 16:00 New York time. Early closes
// (1 pm on some eves of holidays) are taken as full days: a source asked
// between their close and 16:00 only repeats the closing price.
namespace TradingCalendar {

// America/New_York, daylight saving time included.
QTimeZone exchangeZone();

QDate easterSunday(int year);
// A weekday on which the exchange is closed for a holiday.
bool isHoliday(QDate date);
bool isTradingDay(QDate date);
QDate previousTradingDay(QDate date); // the last one before date
QDate nextTradingDay(QDate date);     // the first one after date

// The regular session of a day, in UTC.
QDateTime sessionOpen(QDate day);
QDateTime sessionClose(QDate day);

bool inSession(const QDateTime &at);
// The trading day whose session is under way at the instant, or else the
// next one to begin: a price seen then can change only once that session
// has opened, and is that day's close once it has closed.
QDate currentOrNextSession(const QDateTime &at);
// The last trading day whose session had ended at the instant.
QDate latestCompletedDay(const QDateTime &at);

} // namespace TradingCalendar
