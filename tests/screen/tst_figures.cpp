#include "screen/Figures.h"

#include <QTest>

#include <limits>

class TestFigures : public QObject
{
    Q_OBJECT

private slots:
    void sharesAndProfit_data()
    {
        QTest::addColumn<float>("capital");
        QTest::addColumn<float>("commission");
        QTest::addColumn<float>("high");
        QTest::addColumn<float>("low");
        QTest::addColumn<double>("shares");
        QTest::addColumn<double>("profit");
        // (500 - 10.99) / 2 = 244.505: nearest, not down; cost 500.99 exceeds
        // the capital, proceeds 601.51.
        QTest::newRow("worked example") << 500.00f << 10.99f << 2.5f << 2.0f << 245.0 << 100.52;
        QTest::newRow("2.5 shares round to even 2") << 25.0f << 0.0f << 12.0f << 10.0f << 2.0 << 4.0;
        QTest::newRow("3.5 shares round to even 4") << 35.0f << 0.0f << 12.0f << 10.0f << 4.0 << 8.0;
        QTest::newRow("high zero") << 500.0f << 10.99f << 0.0f << 2.0f << 0.0 << 0.0;
        QTest::newRow("low zero") << 500.0f << 10.99f << 2.5f << 0.0f << 0.0 << 0.0;
        QTest::newRow("high not a number") << 500.0f << 10.99f << std::numeric_limits<float>::quiet_NaN() << 2.0f
                                           << 0.0 << 0.0;
        // (5 - 10.99) / 2 = -2.995 -> -3 shares; the formulas apply unchanged:
        // cost 6 * -1 + 10.99, proceeds 7.5 * -1 - 10.99.
        QTest::newRow("capital below commission") << 5.0f << 10.99f << 2.5f << 2.0f << -3.0 << -23.48;
        QTest::newRow("sold at a loss") << 100.0f << 1.0f << 1.0f << 2.0f << 50.0 << -52.0;
        QTest::newRow("no commission, no move") << 100.0f << 0.0f << 4.0f << 4.0f << 25.0 << 0.0;
        QTest::newRow("penny stock") << 1000.0f << 9.99f << 0.12f << 0.1f << 9900.0 << 178.02;
    }

    void sharesAndProfit()
    {
        QFETCH(float, capital);
        QFETCH(float, commission);
        QFETCH(float, high);
        QFETCH(float, low);
        QFETCH(double, shares);
        QFETCH(double, profit);
        const std::optional<double> s = CalcShares(capital, commission, high, low);
        const std::optional<double> p = CalcProfit(capital, commission, high, low);
        QVERIFY(s && p);
        QCOMPARE(*s, shares);
        QCOMPARE(*p, profit);
        const std::optional<TradeFigures> both = gridTradeFigures(capital, commission, high, low);
        QVERIFY(both);
        QCOMPARE(both->shares, shares);
        QCOMPARE(both->profit, profit);
    }

    // The single-precision inputs are widened exactly, never through their
    // decimal text: 1.015f is 1.01499998..., so one share bought at 1 makes
    // 0.01, where the decimal 1.015 would round its half cent to 0.02.
    void inputsAreWidenedExactly()
    {
        QCOMPARE(*CalcShares(1.0f, 0.0f, 1.015f, 1.0f), 1.0);
        QCOMPARE(*CalcProfit(1.0f, 0.0f, 1.015f, 1.0f), 0.01);
        // 1.025f is 1.02499997..., below the half cent as well.
        QCOMPARE(*CalcProfit(1.0f, 0.0f, 1.025f, 1.0f), 0.02);
        // 1.125 is exact in binary: a true half cent goes to the even digit.
        QCOMPARE(*CalcProfit(1.0f, 0.0f, 1.125f, 1.0f), 0.12);
        QCOMPARE(*CalcProfit(1.0f, 0.0f, 1.375f, 1.0f), 0.38);
    }

    void shareCountMustFitThirtyTwoBits_data()
    {
        QTest::addColumn<float>("capital");
        QTest::addColumn<float>("low");
        QTest::addColumn<bool>("fits");
        // 2147483520 is the largest float below 2^31.
        QTest::newRow("largest that fits") << 2147483520.0f << 1.0f << true;
        QTest::newRow("2^31 is one too many") << 2147483648.0f << 1.0f << false;
        QTest::newRow("most negative") << -2147483648.0f << 1.0f << true;
        QTest::newRow("tiny low") << 500.0f << 1e-30f << false;
        QTest::newRow("huge capital") << 3e38f << 0.5f << false;
    }

    void shareCountMustFitThirtyTwoBits()
    {
        QFETCH(float, capital);
        QFETCH(float, low);
        QFETCH(bool, fits);
        QCOMPARE(CalcShares(capital, 0.0f, 2.0f, low).has_value(), fits);
        QCOMPARE(CalcProfit(capital, 0.0f, 2.0f, low).has_value(), fits);
    }

    void resultsThatAreNotFiniteGiveNothing()
    {
        const float inf = std::numeric_limits<float>::infinity();
        QVERIFY(!CalcProfit(500.0f, 10.99f, inf, 2.0f));
        QVERIFY(!CalcShares(std::numeric_limits<float>::quiet_NaN(), 0.0f, 2.5f, 2.0f));
        QVERIFY(!CalcShares(inf, 0.0f, 2.5f, 2.0f));
    }

    // "Possible Profit" uses the same rule with its own share range.
    void tradeFiguresHonourTheRange()
    {
        const std::optional<TradeFigures> f = tradeFigures(500.0, 10.99, 2.0, 2.5, -32768, 32767);
        QVERIFY(f);
        QCOMPARE(f->shares, 245.0);
        QCOMPARE(f->profit, 100.52);
        QVERIFY(!tradeFigures(1e6, 0, 1, 2, -32768, 32767));
        QVERIFY(tradeFigures(32767, 0, 1, 2, -32768, 32767));
        QVERIFY(!tradeFigures(32768, 0, 1, 2, -32768, 32767));
        QVERIFY(!tradeFigures(100, 0, 0, 2, -32768, 32767)); // a zero price buys no finite count
    }
};

QTEST_GUILESS_MAIN(TestFigures)
#include "tst_figures.moc"
