#include "calc/CalcFigures.h"

#include <QTest>

using namespace CalcFigures;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

QString profitText(const char *profit, const char *shares)
{
    return QStringLiteral("Profit:     $") + QLatin1String(profit) + QStringLiteral("\r\nShares:   ")
           + QLatin1String(shares);
}

} // namespace

class TestCalcFigures : public QObject
{
    Q_OBJECT

private slots:
    void buyPower_data()
    {
        QTest::addColumn<QString>("capital");
        QTest::addColumn<QString>("commission");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("expected");

        auto row = [](const char *name, const char *capital, const char *commission, const char *price,
                      const QString &expected) {
            QTest::newRow(name) << QString::fromLatin1(capital) << QString::fromLatin1(commission)
                                << QString::fromLatin1(price) << expected;
        };
        const QString shares = QStringLiteral("Shares:   ");
        // Worked examples.
        row("initial texts", "500", "10.99", "1", shares + QStringLiteral("489"));
        row("grouped in thousands", "100000", "0", "3", shares + QStringLiteral("33,333"));
        row("2.5 shares show as 3", "5", "0", "2", shares + QStringLiteral("3"));
        // Edges of the "###,###,###,###" pattern.
        row("3.5 shares show as 4", "7", "0", "2", shares + QStringLiteral("4"));
        row("quotient 1234567.4", "1234567.4", "0", "1", shares + QStringLiteral("1,234,567"));
        row("quotient 1234567.5", "1234567.5", "0", "1", shares + QStringLiteral("1,234,568"));
        row("capital equal to commission", "10.99", "10.99", "1", shares);
        row("below half a share", "0.4", "0", "1", shares);
        row("negative half away from zero", "5", "10", "2", shares + QStringLiteral("-3"));
        row("one more than capital pays", "500", "10.99", "2", shares + QStringLiteral("245"));
        row("largest count shown", "999999999999999", "0", "1", shares + QStringLiteral("999,999,999,999,999"));
        // What the label says instead of a figure.
        row("count beyond 15 digits", "1000000000000000", "0", "1", QStringLiteral("Share count out of range"));
        row("quotient beyond a double", QByteArray(QByteArray("1") + QByteArray(300, '0')).constData(), "0",
            "0.000000001", QStringLiteral("Share count out of range"));
        row("empty capital", "", "10.99", "1", QStringLiteral("Enter the capital"));
        row("lone point capital", ".", "10.99", "1", QStringLiteral("The capital is not a number"));
        row("two points in price", "500", "10.99", "1.2.3", QStringLiteral("The price per share is not a number"));
        row("empty price", "500", "10.99", "", QStringLiteral("Enter the price per share"));
        row("empty commission", "500", "", "1", QStringLiteral("Enter the commission"));
        row("two points in commission", "500", "1..2", "1", QStringLiteral("The commission is not a number"));
        row("price of 0", "500", "10.99", "0", QStringLiteral("The price per share must be above 0"));
        row("price of 0.00", "500", "10.99", "0.00", QStringLiteral("The price per share must be above 0"));
        row("first bad box in tab order", "", "", "", QStringLiteral("Enter the capital"));
    }

    void buyPower()
    {
        QFETCH(QString, capital);
        QFETCH(QString, commission);
        QFETCH(QString, price);
        QFETCH(QString, expected);
        QCOMPARE(buyPowerText(capital, commission, price, kUs), expected);
    }

    void possibleProfit_data()
    {
        QTest::addColumn<QString>("capital");
        QTest::addColumn<QString>("commission");
        QTest::addColumn<QString>("buy");
        QTest::addColumn<QString>("sell");
        QTest::addColumn<QString>("expected");

        auto row = [](const char *name, const char *capital, const char *commission, const char *buy,
                      const char *sell, const QString &expected) {
            QTest::newRow(name) << QString::fromLatin1(capital) << QString::fromLatin1(commission)
                                << QString::fromLatin1(buy) << QString::fromLatin1(sell) << expected;
        };
        // Worked examples.
        row("initial texts", "500", "10.99", "1", "2", profitText("467.02", "489"));
        row("sell equal to buy", "500", "10.99", "1", "1", profitText("-21.98", "489"));
        row("rounded up shares cost more than capital", "500", "10.99", "2", "2.5", profitText("100.52", "245"));
        // Shares take halves to the even neighbour, unlike "Buy Power".
        row("2.5 shares give 2", "25", "0", "10", "12", profitText("4", "2"));
        row("3.5 shares give 4", "35", "0", "10", "12", profitText("8", "4"));
        row("-2.5 shares give -2", "5", "10", "2", "3", profitText("-22", "-2"));
        // Cents take halves to the even neighbour too; no trailing zeros.
        row("half a cent down", "1", "0", "1", "1.125", profitText("0.12", "1"));
        row("half a cent up", "1", "0", "1", "1.375", profitText("0.38", "1"));
        row("one decimal", "10", "0", "1", "2.25", profitText("12.5", "10"));
        row("no profit", "100", "0", "1", "1", profitText("0", "100"));
        // Counted in 32 bits like the grid, and never grouped.
        row("a million at a dollar", "1000000", "0", "1", "2", profitText("1000000", "1000000"));
        row("largest 32-bit count", "2147483647", "0", "1", "1", profitText("0", "2147483647"));
        row("smallest 32-bit count", "0", "2147483648", "1", "1", profitText("-4294967296", "-2147483648"));
        row("count beyond 32 bits", "2147483648", "0", "1", "1", QStringLiteral("Share count out of range"));
        row("count below 32 bits", "0", "2147483649", "1", "1", QStringLiteral("Share count out of range"));
        row("profit beyond 15 digits", "1000000000", "0", "1", "10000000000", QStringLiteral("Profit out of range"));
        row("empty capital", "", "10.99", "1", "2", QStringLiteral("Enter the capital"));
        row("empty buy price", "500", "10.99", "", "2", QStringLiteral("Enter the buy price"));
        row("lone point sell price", "500", "10.99", "1", ".", QStringLiteral("The sell price is not a number"));
        row("two points in commission", "500", "1..2", "1", "2", QStringLiteral("The commission is not a number"));
        row("empty commission", "500", "", "1", "2", QStringLiteral("Enter the commission"));
        row("buy price of 0", "500", "10.99", "0", "2", QStringLiteral("The buy price must be above 0"));
        row("sell price of 0 is a loss", "500", "10.99", "1", "0", profitText("-510.98", "489"));
    }

    void possibleProfit()
    {
        QFETCH(QString, capital);
        QFETCH(QString, commission);
        QFETCH(QString, buy);
        QFETCH(QString, sell);
        QFETCH(QString, expected);
        QCOMPARE(possibleProfitText(capital, commission, buy, sell, kUs), expected);
    }

    void resultsFollowTheLocale()
    {
        QCOMPARE(buyPowerText(QStringLiteral("100000"), QStringLiteral("0"), QStringLiteral("3"), kGerman),
                 QStringLiteral("Shares:   33.333"));
        QCOMPARE(possibleProfitText(QStringLiteral("500"), QStringLiteral("10.99"), QStringLiteral("1"),
                                    QStringLiteral("2"), kGerman),
                 profitText("467,02", "489"));
        // Share counts are never grouped, whatever the locale.
        QCOMPARE(possibleProfitText(QStringLiteral("1000000"), QStringLiteral("0"), QStringLiteral("1"),
                                    QStringLiteral("1"), kGerman),
                 profitText("0", "1000000"));
    }

    void plainAmountText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *text, const char *expected) {
            QTest::newRow(text) << QString::fromLatin1(text) << QString::fromLatin1(expected);
        };
        row("500.00", "500");
        row("10.99", "10.99");
        row("0.10", "0.1");
        row("007", "7");
        row(".5", "0.5");
        row("5.", "5");
        row("0", "0");
        row("123456789012.5", "123456789012.5");
        // No number: kept, so the calculator shows what the main window has.
        row("", "");
        row(".", ".");
        row("1.2.3", "1.2.3");
        // Exponent notation would lose its "e" and sign in the box's filter.
        row("0.0000001", "0.0000001");
        row("1000000000000000000000", "1000000000000000000000");
    }

    void plainAmountText()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(CalcFigures::plainAmountText(text), expected);
    }

    void plainAmountTextKeepsThePointInAnyLocale()
    {
        // A comma would be dropped by the box's filter, turning 10.99 into 1099.
        const QLocale saved;
        QLocale::setDefault(kGerman);
        const QString text = CalcFigures::plainAmountText(QStringLiteral("10.99"));
        QLocale::setDefault(saved);
        QCOMPARE(text, QStringLiteral("10.99"));
    }
};

QTEST_GUILESS_MAIN(TestCalcFigures)
#include "tst_calcfigures.moc"
