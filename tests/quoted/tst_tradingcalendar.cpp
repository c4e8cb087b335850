#include "quoted/TradingCalendar.h"

#include <QTest>

namespace {

// An instant written with its offset from UTC, as New York's clocks show it.
QDateTime at(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

} // namespace

class TestTradingCalendar : public QObject
{
    Q_OBJECT

private slots:
    // Each holiday rule in two years, the weekend shifts, and the days that
    // look like holidays but trade.
    void tradingDays_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("trading");
        QTest::addColumn<QDate>("previous");
        const auto row = [](const char *name, QDate date, bool trading, QDate previous) {
            QTest::newRow(name) << date << trading << previous;
        };
        row("New Year, Thursday", QDate(2026, 1, 1), false, QDate(2025, 12, 31));
        row("New Year on Sunday: Monday", QDate(2023, 1, 2), false, QDate(2022, 12, 30));
        row("New Year on Saturday: Friday before trades", QDate(2021, 12, 31), true, QDate(2021, 12, 30));
        row("MLK 2026", QDate(2026, 1, 19), false, QDate(2026, 1, 16));
        row("MLK 2027", QDate(2027, 1, 18), false, QDate(2027, 1, 15));
        row("Presidents 2026", QDate(2026, 2, 16), false, QDate(2026, 2, 13));
        row("Presidents 2027", QDate(2027, 2, 15), false, QDate(2027, 2, 12));
        row("Good Friday 2026", QDate(2026, 4, 3), false, QDate(2026, 4, 2));
        row("Good Friday 2027", QDate(2027, 3, 26), false, QDate(2027, 3, 25));
        row("Memorial 2026", QDate(2026, 5, 25), false, QDate(2026, 5, 22));
        row("Memorial 2027", QDate(2027, 5, 31), false, QDate(2027, 5, 28));
        row("Juneteenth 2026", QDate(2026, 6, 19), false, QDate(2026, 6, 18));
        row("Juneteenth on Saturday 2027: Friday", QDate(2027, 6, 18), false, QDate(2027, 6, 17));
        row("Juneteenth before 2022 trades", QDate(2021, 6, 18), true, QDate(2021, 6, 17));
        row("Independence on Saturday 2026: Friday", QDate(2026, 7, 3), false, QDate(2026, 7, 2));
        row("Independence on Sunday 2027: Monday", QDate(2027, 7, 5), false, QDate(2027, 7, 2));
        row("Labor 2026", QDate(2026, 9, 7), false, QDate(2026, 9, 4));
        row("Labor 2027", QDate(2027, 9, 6), false, QDate(2027, 9, 3));
        row("Thanksgiving 2026", QDate(2026, 11, 26), false, QDate(2026, 11, 25));
        row("Thanksgiving 2027", QDate(2027, 11, 25), false, QDate(2027, 11, 24));
        row("the day after Thanksgiving trades", QDate(2026, 11, 27), true, QDate(2026, 11, 25));
        row("Christmas 2026", QDate(2026, 12, 25), false, QDate(2026, 12, 24));
        row("Christmas on Saturday 2027: Friday", QDate(2027, 12, 24), false, QDate(2027, 12, 23));
        row("Saturday", QDate(2026, 12, 5), false, QDate(2026, 12, 4));
    }

    void tradingDays()
    {
        QFETCH(QDate, date);
        QFETCH(bool, trading);
        QFETCH(QDate, previous);
        QCOMPARE(TradingCalendar::isTradingDay(date), trading);
        QCOMPARE(TradingCalendar::previousTradingDay(date), previous);
        QCOMPARE(TradingCalendar::nextTradingDay(previous) == date, trading);
    }

    // Half an hour either side of the close, in winter and summer time, and
    // the nights, weekends and holidays before a session.
    void sessions_data()
    {
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<bool>("inSession");
        QTest::addColumn<QDate>("completed");
        QTest::addColumn<QDate>("session"); // under way or next
        const auto row = [](const char *name, const char *iso, bool in, QDate completed, QDate session) {
            QTest::newRow(name) << at(iso) << in << completed << session;
        };
        row("winter, before the close", "2026-12-04T15:30-05:00", true, QDate(2026, 12, 3), QDate(2026, 12, 4));
        row("winter, after the close", "2026-12-04T16:30-05:00", false, QDate(2026, 12, 4), QDate(2026, 12, 7));
        row("summer, before the close", "2026-07-02T15:30-04:00", true, QDate(2026, 7, 1), QDate(2026, 7, 2));
        row("summer, after the close", "2026-07-02T16:30-04:00", false, QDate(2026, 7, 2), QDate(2026, 7, 6));
        row("before the open", "2026-12-07T09:29-05:00", false, QDate(2026, 12, 4), QDate(2026, 12, 7));
        row("at the open", "2026-12-07T09:30-05:00", true, QDate(2026, 12, 4), QDate(2026, 12, 7));
        row("Saturday", "2026-12-05T12:00-05:00", false, QDate(2026, 12, 4), QDate(2026, 12, 7));
        row("Thanksgiving", "2026-11-26T12:00-05:00", false, QDate(2026, 11, 25), QDate(2026, 11, 27));
    }

    void sessions()
    {
        QFETCH(QDateTime, instant);
        QFETCH(bool, inSession);
        QFETCH(QDate, completed);
        QFETCH(QDate, session);
        QCOMPARE(TradingCalendar::inSession(instant), inSession);
        QCOMPARE(TradingCalendar::latestCompletedDay(instant), completed);
        QCOMPARE(TradingCalendar::currentOrNextSession(instant), session);
    }
};

QTEST_GUILESS_MAIN(TestTradingCalendar)
#include "tst_tradingcalendar.moc"
