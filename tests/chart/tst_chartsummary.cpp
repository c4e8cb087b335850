// What a screen reader hears of a chart, from a short rising series.
#include "chart/ChartSummary.h"

#include <QLocale>
#include <QTest>

class TestChartSummary : public QObject
{
    Q_OBJECT

private slots:
    void summaryOfARisingSeries_data()
    {
        QTest::addColumn<int>("sessions");
        QTest::addColumn<bool>("year"); // enough for SMA200 and the 52-week range
        QTest::newRow("a year and more: above both averages") << 260 << true;
        QTest::newRow("too little history for SMA200") << 80 << false;
    }

    // Closes rise by 0.25 a session from 20, so each average lies
    // (sessions - 1) / 2 steps below the last close.
    void summaryOfARisingSeries()
    {
        QFETCH(int, sessions);
        QFETCH(bool, year);
        BarSeries bars;
        for (int i = 0; i < sessions; ++i) {
            const float close = 20 + 0.25f * float(i);
            bars.push_back({QDate(2024, 1, 1).addDays(i), close - 0.1f, close + 0.5f, close - 0.5f, close, 1000});
        }
        const QString text =
            chartSummary(bars, computeTechnicals(QStringLiteral("T"), bars), sessions - 30, sessions - 1);
        const auto price = [](double v) { return QLocale().toString(v, 'f', 2); };
        const double last = 20 + 0.25 * (sessions - 1);
        QVERIFY2(text.contains(QStringLiteral("Last close %1 on %2, up %3")
                                   .arg(price(last), bars.back().date.toString(Qt::ISODate), price(0.25))),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("above the 50-day average of %1").arg(price(last - 0.25 * 49 / 2))),
                 qPrintable(text));
        const QString sma200 = year
                                   ? QStringLiteral("above the 200-day average of %1").arg(price(last - 0.25 * 199 / 2))
                                   : QStringLiteral("The 200-day average is unknown");
        QVERIFY2(text.contains(sma200), qPrintable(text));
        const QString range =
            year ? QStringLiteral("52-week range %1 to %2").arg(price(last - 0.25 * 251 - 0.5), price(last + 0.5))
                 : QStringLiteral("The 52-week range is unknown");
        QVERIFY2(text.contains(range), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Shown: %1 to %2, 30 sessions, the close up %3")
                                   .arg(bars[size_t(sessions - 30)].date.toString(Qt::ISODate),
                                        bars.back().date.toString(Qt::ISODate), price(0.25 * 29))),
                 qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestChartSummary)
#include "tst_chartsummary.moc"
