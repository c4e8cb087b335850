#include "history/HistoryCsv.h"
#include "history/Technicals.h"

#include <QTest>

namespace {

// Sessions on weekdays from start, one close each; high and low one above and
// below the close.
BarSeries series(QDate start, const QList<double> &closes)
{
    BarSeries bars;
    QDate date = start;
    for (const double close : closes) {
        while (date.dayOfWeek() > 5)
            date = date.addDays(1);
        bars.push_back({date, float(close), float(close + 1), float(close - 1), float(close), 1000});
        date = date.addDays(1);
    }
    return bars;
}

QList<double> ramp(int count, double from = 1)
{
    QList<double> closes;
    for (int i = 0; i < count; ++i)
        closes << from + i;
    return closes;
}

} // namespace

class TestTechnicals : public QObject
{
    Q_OBJECT

private slots:
    void indicators_data()
    {
        QTest::addColumn<BarSeries>("bars");
        QTest::addColumn<int>("technical");
        QTest::addColumn<double>("expected"); // NaN: must stay unknown

        const double unknown = std::numeric_limits<double>::quiet_NaN();
        const QDate start(2025, 3, 3);
        QTest::newRow("SMA20 of 1..20") << series(start, ramp(20)) << int(Technical::Sma20) << 10.5;
        QTest::newRow("SMA20 of the last 20") << series(start, ramp(25)) << int(Technical::Sma20) << 15.5;
        QTest::newRow("SMA50 short") << series(start, ramp(49)) << int(Technical::Sma50) << unknown;
        QTest::newRow("relative volume short") << series(start, ramp(19)) << int(Technical::RelVolume) << unknown;
        QTest::newRow("perf 1W") << series(start, {100, 1, 1, 1, 1, 1, 1, 1, 1, 1, 50, 2, 2, 2, 2, 75})
                                 << int(Technical::Perf1W) << 50.0;

        // 253 sessions with a month missing in the middle: the first session's
        // high is outside the last 252, the rest count however far apart.
        QList<double> flat(253, 10.0);
        flat[0] = 90;
        flat[100] = 40;
        flat[200] = 3;
        BarSeries gap = series(QDate(2024, 1, 2), flat.first(120));
        const BarSeries after = series(gap.back().date.addMonths(1), flat.sliced(120));
        gap.insert(gap.end(), after.begin(), after.end());
        QTest::newRow("52-week high across a gap") << gap << int(Technical::High52) << 41.0;
        QTest::newRow("52-week low across a gap") << gap << int(Technical::Low52) << 2.0;
        QTest::newRow("52-week short") << series(start, ramp(251)) << int(Technical::High52) << unknown;

        // Changes: seven of +1 and seven of -0.5 (averages 0.5 and 0.25),
        // then +2: gains (0.5*13 + 2)/14, losses 0.25*13/14, RSI 100*8.5/11.75.
        QList<double> swings{20};
        for (int i = 0; i < 7; ++i) {
            swings << swings.last() + 1;
            swings << swings.last() - 0.5;
        }
        QTest::newRow("RSI seeded") << series(start, swings) << int(Technical::Rsi14) << 100.0 * 2 / 3;
        QTest::newRow("RSI smoothed") << series(start, swings + QList<double>{swings.last() + 2})
                                      << int(Technical::Rsi14) << 100.0 * 8.5 / 11.75;
        QTest::newRow("RSI short") << series(start, swings.first(14)) << int(Technical::Rsi14) << unknown;
        QTest::newRow("ATR of steady bars") << series(start, ramp(15)) << int(Technical::Atr14) << 2.0;

        BarSeries years = series(QDate(2025, 12, 30), {100, 80, 88});
        QTest::newRow("YTD across the new year") << years << int(Technical::PerfYtd) << 10.0;
        years.erase(years.begin(), years.begin() + 2);
        QTest::newRow("YTD without last year") << years << int(Technical::PerfYtd) << unknown;
        QTest::newRow("empty") << BarSeries() << int(Technical::Close) << unknown;
    }

    void indicators()
    {
        QFETCH(BarSeries, bars);
        QFETCH(int, technical);
        QFETCH(double, expected);
        const TechnicalRow row = computeTechnicals(QStringLiteral("AAA"), bars);
        QCOMPARE(row.sessions, int(bars.size()));
        const double value = row.value(Technical(technical));
        if (std::isnan(expected))
            QVERIFY2(std::isnan(value), qPrintable(QString::number(value)));
        else
            QVERIFY2(qAbs(value - expected) < 1e-4, qPrintable(QString::number(value)));
    }

    void tables()
    {
        const BarSeries bars{{QDate(2026, 1, 2), 12.5f, 13.25f, 12, 12.34f, 1200300},
                             {QDate(2026, 1, 5), 12.34f, 12.34f, 11.5f, 11.75f, 0}};
        const QByteArray history = historyCsv(bars);
        QCOMPARE(history, QByteArray("Date,Open,High,Low,Close,Volume\n"
                                     "2026-01-02,12.5,13.25,12,12.34,1200300\n"
                                     "2026-01-05,12.34,12.34,11.5,11.75,0\n"));
        QCOMPARE(parseHistoryCsv(history), std::optional(bars));
        QVERIFY(!parseHistoryCsv(QByteArray(history).replace("2026-01-05", "2026-01-01")));
        QVERIFY(!parseHistoryCsv(QByteArray(history).replace("11.75", "11,75")));

        TechnicalRow row = computeTechnicals(QStringLiteral("BRK.B"), bars);
        row.values[size_t(Technical::Perf1W)] = -3.14159;
        const QByteArray table = technicalsCsv({row});
        QCOMPARE(table, technicalsHeader() + "\nBRK.B,2026-01-05,11.75,,,,,,,,,,-3.1416,,,,,,2\n");
        const auto back = parseTechnicalsCsv(table);
        QVERIFY(back && back->size() == 1);
        QCOMPARE(technicalsLine(back->front()), technicalsLine(row));
        QVERIFY(!parseTechnicalsCsv("Symbol,Date\nAAA,2026-01-05\n"));
    }
};

QTEST_GUILESS_MAIN(TestTechnicals)
#include "tst_technicals.moc"
