#include "screen/NumberFormat.h"

#include <QRandomGenerator>
#include <QTest>

#include <cfenv>
#include <cmath>
#include <limits>

using namespace NumberFormat;

class TestNumberFormat : public QObject
{
    Q_OBJECT

private slots:
    void singlePrecisionGeneral_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        const QString c = QStringLiteral("C");
        const QString de = QStringLiteral("de_DE");
        QTest::newRow("trailing zero dropped") << 12.50f << c << QStringLiteral("12.5");
        QTest::newRow("whole number") << 3.00f << c << QStringLiteral("3");
        QTest::newRow("tenth") << 0.1f << c << QStringLiteral("0.1");
        QTest::newRow("seven digits of a third") << 1.0f / 3.0f << c << QStringLiteral("0.3333333");
        QTest::newRow("float noise hidden") << 1.1f << c << QStringLiteral("1.1");
        QTest::newRow("negative") << -0.25f << c << QStringLiteral("-0.25");
        QTest::newRow("zero") << 0.0f << c << QStringLiteral("0");
        QTest::newRow("negative zero") << -0.0f << c << QStringLiteral("0");
        QTest::newRow("seven whole digits") << 1234567.0f << c << QStringLiteral("1234567");
        QTest::newRow("no grouping") << 9999.5f << c << QStringLiteral("9999.5");
        QTest::newRow("eight digits need an exponent") << 12345678.0f << c << QStringLiteral("1.234568e+07");
        QTest::newRow("small") << 0.0001f << c << QStringLiteral("0.0001");
        QTest::newRow("smaller") << 0.00001f << c << QStringLiteral("1e-05");
        QTest::newRow("comma locale") << 2.5f << de << QStringLiteral("2,5");
        QTest::newRow("comma locale, no grouping") << 1234.5f << de << QStringLiteral("1234,5");
        QTest::newRow("comma locale, negative") << -0.25f << de << QStringLiteral("-0,25");
    }

    void singlePrecisionGeneral()
    {
        QFETCH(float, value);
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        QCOMPARE(general(value, QLocale(locale)), expected);
        QCOMPARE(general(value, Symbols(QLocale(locale))), expected);
    }

    void doublePrecisionGeneral_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        const QString c = QStringLiteral("C");
        QTest::newRow("profit") << 100.52 << c << QStringLiteral("100.52");
        QTest::newRow("shares") << 245.0 << c << QStringLiteral("245");
        QTest::newRow("negative shares") << -3.0 << c << QStringLiteral("-3");
        QTest::newRow("whole cents") << 4.0 << c << QStringLiteral("4");
        QTest::newRow("tenth of a dollar") << 0.5 << c << QStringLiteral("0.5");
        QTest::newRow("one cent") << 0.01 << c << QStringLiteral("0.01");
        QTest::newRow("negative cents") << -23.48 << c << QStringLiteral("-23.48");
        QTest::newRow("fifteen digits hide the noise") << 0.1 + 0.2 << c << QStringLiteral("0.3");
        QTest::newRow("largest share count") << 2147483647.0 << c << QStringLiteral("2147483647");
        QTest::newRow("fifteen whole digits") << 123456789012345.0 << c << QStringLiteral("123456789012345");
        QTest::newRow("sixteen need an exponent") << 1e15 << c << QStringLiteral("1e+15");
        QTest::newRow("not cents") << 1.23456789 << c << QStringLiteral("1.23456789");
        QTest::newRow("comma locale") << 100.52 << QStringLiteral("de_DE") << QStringLiteral("100,52");
        QTest::newRow("comma locale, big") << 1234567.5 << QStringLiteral("de_DE") << QStringLiteral("1234567,5");
    }

    void doublePrecisionGeneral()
    {
        QFETCH(double, value);
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        QCOMPARE(general(value, QLocale(locale)), expected);
    }

    // Whole numbers and cents take a shortcut; it must write exactly what
    // the general rule writes.
    void shortcutAgreesWithTheGeneralRule()
    {
        QRandomGenerator random(7);
        const QLocale c = QLocale::c();
        for (int i = 0; i < 20000; ++i) {
            const qint64 k = qint64(random.bounded(2000000000)) * (random.bounded(2) ? 1 : -1)
                             * (i % 3 == 0 ? qint64(random.bounded(100000)) : 1);
            const double cents = double(k) / 100;
            QCOMPARE(general(cents, c), QString::number(cents, 'g', 15));
            QCOMPARE(general(double(k), c), QString::number(double(k), 'g', 15));
            const float f = float(k % 10000000) / float(1 + random.bounded(1000));
            QCOMPARE(general(f, c), QString::number(double(f), 'g', 7));
        }
        for (double v : {1e14 + 0.25, 9999999999999.99, 0.015, 1e-7, 123.456e20})
            QCOMPARE(general(v, c), QString::number(v, 'g', 15));
    }

    void specialValues()
    {
        QCOMPARE(general(std::numeric_limits<float>::quiet_NaN(), QLocale::c()), QStringLiteral("nan"));
        QCOMPARE(general(std::numeric_limits<double>::infinity(), QLocale::c()), QStringLiteral("inf"));
        QCOMPARE(grouped(std::numeric_limits<double>::quiet_NaN(), QLocale::c()), QString());
        QCOMPARE(grouped(std::numeric_limits<double>::infinity(), QLocale::c()), QString());
    }

    void groupedPattern_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        const QString c = QStringLiteral("C");
        QTest::newRow("grouped in threes") << 1234567.0 << c << QStringLiteral("1,234,567");
        QTest::newRow("three digits") << 999.0 << c << QStringLiteral("999");
        QTest::newRow("four digits") << 1000.0 << c << QStringLiteral("1,000");
        QTest::newRow("million") << 1000000.0 << c << QStringLiteral("1,000,000");
        QTest::newRow("trillion") << 1e12 << c << QStringLiteral("1,000,000,000,000");
        QTest::newRow("zero is empty") << 0.0 << c << QString();
        QTest::newRow("rounds to zero") << 0.49 << c << QString();
        QTest::newRow("negative rounds to zero") << -0.4 << c << QString();
        QTest::newRow("half away from zero") << 0.5 << c << QStringLiteral("1");
        QTest::newRow("1.5 up") << 1.5 << c << QStringLiteral("2");
        QTest::newRow("2.5 up, not to even") << 2.5 << c << QStringLiteral("3");
        QTest::newRow("negative half away") << -2.5 << c << QStringLiteral("-3");
        QTest::newRow("negative grouped") << -1234567.4 << c << QStringLiteral("-1,234,567");
        QTest::newRow("fraction rounds") << 1234.5 << c << QStringLiteral("1,235");
        QTest::newRow("point locale") << 1234567.0 << QStringLiteral("de_DE") << QStringLiteral("1.234.567");
    }

    void groupedPattern()
    {
        QFETCH(double, value);
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        QCOMPARE(grouped(value, QLocale(locale)), expected);
    }

    void groupedUsesTheLocaleSeparator()
    {
        const QLocale fr(QLocale::French, QLocale::France);
        QCOMPARE(grouped(1234567.0, fr), QStringLiteral("1") + fr.groupSeparator() + QStringLiteral("234")
                                             + fr.groupSeparator() + QStringLiteral("567"));
        // Even a locale set to leave separators out keeps the pattern's grouping.
        QLocale plain = QLocale::c();
        plain.setNumberOptions(QLocale::OmitGroupSeparator);
        QCOMPARE(grouped(1000.0, plain), QStringLiteral("1,000"));
    }

    void amountBoxes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("value");
        QTest::newRow("default bound") << QStringLiteral("0.10") << true << 0.1;
        QTest::newRow("two decimals") << QStringLiteral("10.00") << true << 10.0;
        QTest::newRow("whole") << QStringLiteral("1000000") << true << 1000000.0;
        QTest::newRow("leading point") << QStringLiteral(".5") << true << 0.5;
        QTest::newRow("trailing point") << QStringLiteral("5.") << true << 5.0;
        QTest::newRow("leading zeros") << QStringLiteral("007") << true << 7.0;
        QTest::newRow("empty") << QString() << false << 0.0;
        QTest::newRow("lone point") << QStringLiteral(".") << false << 0.0;
        QTest::newRow("two points") << QStringLiteral("1.2.3") << false << 0.0;
        QTest::newRow("comma") << QStringLiteral("1,5") << false << 0.0;
        QTest::newRow("minus") << QStringLiteral("-1") << false << 0.0;
        QTest::newRow("blank") << QStringLiteral(" 1") << false << 0.0;
        QTest::newRow("exponent") << QStringLiteral("1e5") << false << 0.0;
        QTest::newRow("beyond double") << QString(400, u'9') << false << 0.0;
    }

    void amountBoxes()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, value);
        const std::optional<double> read = parseAmount(text);
        QCOMPARE(read.has_value(), valid);
        if (valid)
            QCOMPARE(*read, value);
    }

    // The boxes hold "." whatever the user's locale; a comma locale must not
    // read "0.10" as 10.
    void amountBoxesIgnoreTheLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const std::optional<double> tenth = parseAmount(QStringLiteral("0.10"));
        const std::optional<float> single = parseSingleAmount(QStringLiteral("2.5"));
        QLocale::setDefault(before);
        QVERIFY(tenth);
        QCOMPARE(*tenth, 0.1);
        QVERIFY(single);
        QCOMPARE(*single, 2.5f);
    }

    void singlePrecisionAmounts()
    {
        QCOMPARE(*parseSingleAmount(QStringLiteral("0.1")), 0.1f);
        QCOMPARE(*parseSingleAmount(QStringLiteral("10.99")), 10.99f);
        // The largest float still fits; one digit more does not.
        QVERIFY(parseSingleAmount(QStringLiteral("340282346638528859811704183484516925440")));
        QVERIFY(!parseSingleAmount(QStringLiteral("1") + QString(39, u'0')));
        QVERIFY(parseAmount(QStringLiteral("1") + QString(39, u'0')));
        QVERIFY(!parseSingleAmount(QStringLiteral("..")));
    }

    void halvesToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("expected");
        QTest::newRow("2.5 down") << 2.5 << 0 << 2.0;
        QTest::newRow("3.5 up") << 3.5 << 0 << 4.0;
        QTest::newRow("0.5 down") << 0.5 << 0 << 0.0;
        QTest::newRow("-2.5 toward zero") << -2.5 << 0 << -2.0;
        QTest::newRow("-3.5 away") << -3.5 << 0 << -4.0;
        QTest::newRow("not a half") << 244.505 << 0 << 245.0;
        QTest::newRow("below half") << 2.49 << 0 << 2.0;
        QTest::newRow("cents half down") << 0.125 << 2 << 0.12;
        QTest::newRow("cents half up") << 0.375 << 2 << 0.38;
        QTest::newRow("negative cents half") << -0.125 << 2 << -0.12;
        QTest::newRow("worked example") << 100.5200004577637 << 2 << 100.52;
        QTest::newRow("zero") << 0.0 << 2 << 0.0;
    }

    void halvesToEven()
    {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(double, expected);
        QCOMPARE(roundHalfEven(value, decimals), expected);
    }

    void roundingLeavesTheFloatingPointModeAlone()
    {
        const int before = std::fegetround();
        std::fesetround(FE_UPWARD);
        const double r = roundHalfEven(2.5);
        const int during = std::fegetround();
        std::fesetround(before);
        QCOMPARE(r, 2.0);
        QCOMPARE(during, FE_UPWARD);
    }
};

QTEST_GUILESS_MAIN(TestNumberFormat)
#include "tst_numberformat.moc"
