#include "calc/CalcFigures.h"
#include "common/OpenedWindow.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString profit(const char *profit, const char *shares)
{
    return "Profit:     $"_L1 + QLatin1StringView(profit) + "\r\nShares:   "_L1 + QLatin1StringView(shares);
}

} // namespace

class TestCalc : public QObject
{
    Q_OBJECT

    std::optional<TestSettings> m_settings;
    QTemporaryDir m_dir;
    ScriptedPrompter m_prompter;

private slots:
    // Figures as US English writes them, as in the worked examples.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init() { m_settings.emplace(); }

    void cleanup()
    {
        // No calculator outlives its main window.
        for (QWidget *window : QApplication::topLevelWidgets())
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    }

    // Three boxes (capital, commission, price) for "Buy Power", four
    // (capital, commission, buy, sell) for "Possible Profit".
    void results_data()
    {
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, const QStringList &boxes, const QString &expected) {
            QTest::newRow(tag) << boxes << expected;
        };
        const auto shares = [](const char *count) { return "Shares:   "_L1 + QLatin1StringView(count); };
        // "Buy Power": the worked examples and the edges of "###,###,###,###".
        row("489", {"500", "10.99", "1"}, shares("489"));
        row("33,333", {"100000", "0", "3"}, shares("33,333"));
        row("16 digits", {"1000000000000000", "0", "1"}, "Share count out of range");
        row("infinite quotient", {u"1"_s + QString(300, u'0'), "0", "0.000000001"}, "Share count out of range");
        row("two points", {"500", "10.99", "1.2.3"}, "The price per share is not a number");
        row("price 0.00", {"500", "10.99", "0.00"}, "The price per share must be above 0");
        row("all empty: capital first", {"", "", ""}, "Enter the capital");
        // "Possible Profit": the grid's figures, with wider limits.
        row("467.02", {"500", "10.99", "1", "2"}, profit("467.02", "489"));
        row("sell price 0", {"500", "10.99", "1", "0"}, profit("-510.98", "489"));
        // Shares are counted in 32 bits like the grid, and never grouped.
        row("a million at $1", {"1000000", "0", "1", "2"}, profit("1000000", "1000000"));
        row("2^31-1 shares", {"2147483647", "0", "1", "1"}, profit("0", "2147483647"));
        row("2^31 shares", {"2147483648", "0", "1", "1"}, "Share count out of range");
        row("16-digit profit", {"1000000000", "0", "1", "10000000000"}, "Profit out of range");
        row("empty buy price", {"500", "10.99", "", "2"}, "Enter the buy price");
        row("lone point sell", {"500", "10.99", "1", "."}, "The sell price is not a number");
        row("buy price 0", {"500", "10.99", "0", "2"}, "The buy price must be above 0");
    }

    void results()
    {
        QFETCH(QStringList, boxes);
        QTEST(boxes.size() == 3 ? CalcFigures::buyPowerText(boxes[0], boxes[1], boxes[2])
                                : CalcFigures::possibleProfitText(boxes[0], boxes[1], boxes[2], boxes[3]),
              "expected");
    }

    void plainAmountText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *text, const char *expected) {
            QTest::newRow(text) << QString::fromLatin1(text) << QString::fromLatin1(expected);
        };
        row("500.00", "500");
        row(".5", "0.5");
        row("1.2.3", "1.2.3"); // no number: kept as the main window has it
        // Kept: the box's filter would drop an exponent's "e" and sign.
        row("0.0000001", "0.0000001");
        row("1000000000000000000000", "1000000000000000000000");
    }

    void plainAmountText()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(CalcFigures::plainAmountText(text), expected);
        // Always a point: the box's filter would drop a comma and turn 10.99 into 1099.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString german = CalcFigures::plainAmountText(text);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(german, expected);
    }

    void calculatorWindow_data()
    {
        QTest::addColumn<QString>("menuItem");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("resultLabel");
        QTest::addColumn<QString>("initialResult");
        QTest::newRow("Buy Power") << u"mnuCalcs_Shares"_s << QStringList{"txtCapital", "txtPrice", "txtComm"}
                                   << u"lblShares"_s << u"Shares:   489"_s;
        QTest::newRow("Possible Profit") << u"mnuCalcs_Profit"_s
                                         << QStringList{"txtCapital", "txtBuy", "txtSell", "txtComm"} << u"lblProfit"_s
                                         << profit("467.02", "489");
    }

    void calculatorWindow()
    {
        QFETCH(QString, menuItem);
        QFETCH(QStringList, boxes);
        QFETCH(QString, resultLabel);
        QFETCH(QString, initialResult);
        frmMain w(m_dir.path(), &m_prompter);
        QPointer<QWidget> calc = choose(w, menuItem);
        QVERIFY(calc);
        QVERIFY(!w.isEnabled() && calc->isEnabled());
        auto *button = calc->findChild<QPushButton *>(u"butDS"_s);
        auto *label = calc->findChild<QLabel *>(resultLabel);
        QVERIFY(button && label);

        // "Calc" works out the example from the initial texts; typing in a
        // box keeps only digits and points and changes nothing until "Calc"
        // or Enter.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(label->text(), initialResult);
        for (const QString &name : boxes) {
            auto *box = calc->findChild<QLineEdit *>(name);
            QVERIFY2(box, qPrintable(name));
            box->clear();
            QTest::keyClicks(box, u"1,2a3.-5"_s);
            QCOMPARE(box->text(), u"123.5"_s);
        }
        QCOMPARE(label->text(), initialResult);
        // Enter in a box works them out as "Calc" does.
        QTest::keyClick(calc->findChild<QLineEdit *>(boxes.first()), Qt::Key_Return);
        QVERIFY(label->text() != initialResult);

        // The close box gives the main window back, with nothing written to it.
        QVERIFY(calc->close());
        QVERIFY(w.isEnabled());
        QCOMPARE(w.box("txtCapital")->text(), u"500.00"_s);

        // Reopening at once, while the closed window still awaits deletion,
        // gives a fresh window with what the main window holds now.
        w.box("txtCapital")->setText(u"1234.50"_s);
        w.box("txtComm")->setText(u"7.00"_s);
        QPointer<QWidget> second = choose(w, menuItem);
        QVERIFY(second && second != calc);
        QCOMPARE(second->findChild<QLineEdit *>(u"txtCapital"_s)->text(), u"1234.5"_s);
        QCOMPARE(second->findChild<QLineEdit *>(u"txtComm"_s)->text(), u"7"_s);
        QTRY_VERIFY(calc.isNull());
        QVERIFY(!w.isEnabled());
        // Left open, it goes with the main window (cleanup checks).
    }
};

QTEST_MAIN(TestCalc)
#include "tst_calc.moc"
