#include "base/Text.h"
#include "screen/Figures.h"
#include "common/TestFiles.h"
#include "screen/Contrast.h"
#include "screen/GridFill.h"
#include "screen/GridSort.h"
#include "screen/ResultsExport.h"
#include "screen/SavedScreens.h"
#include "screen/ScreenNotice.h"
#include "screen/ScreenRunOptions.h"
#include "screen/Screening.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const PersonalAmounts kDefaults{500.00f, 10.99f};
const NumberFormat::Symbols kC{QLocale::c()};

// Open and low 2, high 2.5.
StockRecord stock(const char *symbol, float last = 2.25f, double volume = 0, float change = 0)
{
    return {{}, QString::fromLatin1(symbol), last, 0.5f, volume, 2.5f, 2.0f, change, 2.0f};
}

// The spare record after the listed stocks lies inside most ranges screened
// here and matches "MSFT": the walks must never reach it.
MarketDatabase market(const QList<StockRecord> &stocks)
{
    MarketDatabase db;
    db.Stocks = stocks;
    db.Stocks.append(stock("MSFT", 0.1f, 1000000));
    return db;
}

// Ticks the criteria named in triples of caption, start box, end box.
CriteriaBoxes boxes(const QStringList &triples)
{
    CriteriaBoxes b;
    for (qsizetype i = 0; i + 2 < triples.size(); i += 3) {
        for (size_t c = 0; c < kCriteria.size(); ++c) {
            if (triples[i] == QLatin1StringView(kCriteria[c].caption))
                b[c] = {true, triples[i + 1], triples[i + 2]};
        }
        for (size_t m = 0; m < kTechnicalMeasures.size(); ++m) {
            if (triples[i] == QLatin1StringView(kTechnicalMeasures[m].name))
                b[technicalBox(m)] = {true, triples[i + 1], triples[i + 2]};
        }
    }
    return b;
}

// Five rows with ties, empty cells and a cell that shows no number, in fill
// order 1..5: LAST 2, 1, 2, 3, nan; CHANGE -1, 0, 1.5, -1, 0; VOLUME empty,
// 500, 500, 100, 100; SHARES 245, empty, 245, 122, 245.
void fillForSorting(ResultGrid &g)
{
    auto row = [](const char *symbol, float last, double volume, float change, float low, float high) {
        StockRecord s = stock(symbol, last, volume, change);
        s.Low = low;
        s.High = high;
        return s;
    };
    setupGrid(g);
    for (const StockRecord &s :
         {row("msft", 2, 0, -1, 2, 2.5f), row("AAPL", 1, 500, 0, 1e-9f, 1), row("ibm", 2, 500, 1.5f, 2, 2.5f),
          row("aapl", 3, 100, -1, 4, 5), row("", float(kNaN), 100, 0, 2, 2.5f)})
        addResultRow(g, s, kDefaults);
}

QList<int> fillOrders(const ResultGrid &g)
{
    QList<int> orders;
    for (int r = 1; r + 1 < g.rows(); ++r)
        orders << g.fillOrder(r);
    return orders;
}

QStringList rowTexts(const ResultGrid &g, int row)
{
    QStringList texts;
    for (int c = 0; c < ResultGrid::Cols; ++c)
        texts << g.text(row, c);
    return texts;
}

} // namespace

class TestScreen : public QObject
{
    Q_OBJECT

private slots:
    // The boxes hold "." whatever the locale: a comma locale must not read "0.10" as 10.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void sharesAndProfit_data()
    {
        QTest::addColumn<float>("capital");
        QTest::addColumn<float>("commission");
        QTest::addColumn<float>("high");
        QTest::addColumn<float>("low");
        QTest::addColumn<double>("shares"); // not a number: neither figure fits
        QTest::addColumn<double>("profit");
        // (500 - 10.99) / 2 = 244.505 rounds to 245; proceeds 601.51, cost 500.99.
        QTest::newRow("worked example") << 500.0f << 10.99f << 2.5f << 2.0f << 245.0 << 100.52;
        QTest::newRow("2.5 shares to even 2") << 25.0f << 0.0f << 12.0f << 10.0f << 2.0 << 4.0;
        QTest::newRow("3.5 shares to even 4") << 35.0f << 0.0f << 12.0f << 10.0f << 4.0 << 8.0;
        QTest::newRow("high zero") << 500.0f << 10.99f << 0.0f << 2.0f << 0.0 << 0.0;
        QTest::newRow("low zero") << 500.0f << 10.99f << 2.5f << 0.0f << 0.0 << 0.0;
        QTest::newRow("capital below commission") << 5.0f << 10.99f << 2.5f << 2.0f << -3.0 << -23.48;
        // Widened exactly: 1.015f is 1.01499998..., under the half cent.
        QTest::newRow("widened exactly") << 1.0f << 0.0f << 1.015f << 1.0f << 1.0 << 0.01;
        QTest::newRow("half cent to even down") << 1.0f << 0.0f << 1.125f << 1.0f << 1.0 << 0.12;
        QTest::newRow("half cent to even up") << 1.0f << 0.0f << 1.375f << 1.0f << 1.0 << 0.38;
        // 2147483520 is the largest float below 2^31.
        QTest::newRow("largest 32-bit count") << 2147483520.0f << 0.0f << 2.0f << 1.0f << 2147483520.0 << 2147483520.0;
        QTest::newRow("2^31 overflows") << 2147483648.0f << 0.0f << 2.0f << 1.0f << kNaN << kNaN;
        QTest::newRow("capital not a number") << float(kNaN) << 0.0f << 2.5f << 2.0f << kNaN << kNaN;
    }

    void sharesAndProfit()
    {
        QFETCH(float, capital);
        QFETCH(float, commission);
        QFETCH(float, high);
        QFETCH(float, low);
        QTEST(CalcShares(capital, commission, high, low).value_or(kNaN), "shares");
        QTEST(CalcProfit(capital, commission, high, low).value_or(kNaN), "profit");
    }

    // How figures are written: the general rule in single (7 digits) and
    // double (15) precision, and VOLUME's whole, grouped numbers.
    void formats_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<char>("kind"); // 's' single, 'd' double, 'g' grouped
        QTest::addColumn<QString>("expected");
        QTest::newRow("7 digits of a third") << 1.0 / 3 << 's' << "0.3333333";
        QTest::newRow("float noise hidden") << 1.1 << 's' << "1.1";
        QTest::newRow("negative zero") << -0.0 << 's' << "0";
        QTest::newRow("8 need an exponent") << 12345678.0 << 's' << "1.234568e+07";
        QTest::newRow("15 digits hide noise") << 0.1 + 0.2 << 'd' << "0.3";
        QTest::newRow("15 whole digits") << 123456789012345.0 << 'd' << "123456789012345";
        QTest::newRow("16 need an exponent") << 1e15 << 'd' << "1e+15";
        QTest::newRow("threes") << 1234567.0 << 'g' << "1,234,567";
        QTest::newRow("three digits") << 999.0 << 'g' << "999";
        QTest::newRow("zero is empty") << 0.0 << 'g' << "";
        QTest::newRow("negative rounds to zero") << -0.4 << 'g' << "";
        QTest::newRow("half away from zero") << 0.5 << 'g' << "1";
        QTest::newRow("2.5 up, not to even") << 2.5 << 'g' << "3";
        QTest::newRow("negative grouped, half away") << -1234566.5 << 'g' << "-1,234,567";
    }

    void formats()
    {
        QFETCH(double, value);
        QFETCH(char, kind);
        QTEST(kind == 's'   ? NumberFormat::general(float(value), kC)
              : kind == 'd' ? NumberFormat::general(value, kC)
                            : NumberFormat::grouped(value, kC),
              "expected");
    }

    // Whole numbers and cents take a shortcut that must agree with the rule.
    void shortcutAgreesWithTheGeneralRule()
    {
        QRandomGenerator random(7);
        for (int i = 0; i < 20000; ++i) {
            const qint64 k = qint64(random.bounded(2000000000)) * (random.bounded(2) ? 1 : -1)
                             * (i % 3 == 0 ? qint64(random.bounded(100000)) : 1);
            QCOMPARE(NumberFormat::general(double(k) / 100, kC), QString::number(double(k) / 100, 'g', 15));
            QCOMPARE(NumberFormat::general(double(k), kC), QString::number(double(k), 'g', 15));
            QCOMPARE(NumberFormat::general(float(k % 10000000), kC), QString::number(double(k % 10000000), 'g', 7));
        }
    }

    void matchStocks_data()
    {
        QTest::addColumn<QStringList>("criteria");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("on the start bound") << QStringList{"Last", "0.10", "0.50"} << QList<int>{0, 1, 5};
        QTest::newRow("on the end bound") << QStringList{"Last", "0", "0.1"} << QList<int>{0, 3};
        QTest::newRow("volume 1000000 in, 1000001 out")
            << QStringList{"Volume", "50000", "1000000"} << QList<int>{0, 2, 5};
        // 16777217 is no float: a single-precision bound would shut it out.
        QTest::newRow("volume in double") << QStringList{"Volume", "16777217", "16777217"} << QList<int>{4};
        QTest::newRow("inverted range") << QStringList{"Last", "0.50", "0.10"} << QList<int>{};
        QTest::newRow("nothing ticked") << QStringList{} << QList<int>{};
        QTest::newRow("two criteria, one fails")
            << QStringList{"Last", "0.10", "0.50", "Volume", "50000", "1000000"} << QList<int>{0, 5};
    }

    void matchStocks()
    {
        QFETCH(QStringList, criteria);
        const MarketDatabase db = market({stock("ON_START", 0.10f, 1000000), stock("ON_END", 0.50f, 1000001),
                                          stock("OVER", std::nextafter(0.50f, 1.0f), 50000), stock("UNDER", 0.09f),
                                          stock("NAN", float(kNaN), 16777217), stock("IN", 0.3f, 60000)});
        const std::optional<ScreenBounds> bounds = readScreenBounds(boxes(criteria));
        QVERIFY(bounds);
        QTEST(::matchStocks(db, *bounds), "expected");
    }

    void matchTechnicals_data()
    {
        QTest::addColumn<QStringList>("criteria");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("inside, on the bound") << QStringList{"FromHigh52", "-10", "0"} << QList<int>{0, 1};
        QTest::newRow("outside") << QStringList{"Rsi14", "60", "80"} << QList<int>{1};
        QTest::newRow("no row never matches") << QStringList{"Rsi14", "0", "100"} << QList<int>{0, 1, 3};
        QTest::newRow("unknown value never matches") << QStringList{"Perf1W", "-100", "100"} << QList<int>{0, 1};
        QTest::newRow("negative bounds") << QStringList{"Perf1W", "-5", "-1"} << QList<int>{0};
        QTest::newRow("after the classic ranges")
            << QStringList{"Last", "0.1", "0.5", "Rsi14", "0", "100"} << QList<int>{0, 3};
        QTest::newRow("nothing ticked") << QStringList{} << QList<int>{};
    }

    // A: 10% under its high, down 3% in a week, RSI 55; B: at its high, up 2%,
    // RSI 75; C has no row; D knows only its RSI (40). B's last is out of 0.1..0.5.
    void matchTechnicals()
    {
        QFETCH(QStringList, criteria);
        const MarketDatabase db = market({stock("a", 0.3f), stock("B", 0.6f), stock("C", 0.3f), stock("D", 0.3f)});
        auto row = [](const char *symbol, double close, double high, double perf, double rsi) {
            TechnicalRow r;
            r.symbol = QString::fromLatin1(symbol);
            r.values[size_t(Technical::Close)] = close, r.values[size_t(Technical::High52)] = high;
            r.values[size_t(Technical::Perf1W)] = perf, r.values[size_t(Technical::Rsi14)] = rsi;
            return r;
        };
        const TechnicalTable table(
            {row("A", 90, 100, -3, 55), row("B", 100, 100, 2, 75), row("D", 50, kNaN, kNaN, 40)});
        const CriteriaBoxes b = boxes(criteria);
        const std::optional<TechnicalRanges> ranges = readTechnicalRanges(b);
        QVERIFY(ranges);
        QTEST(::matchStocks(db, *readScreenBounds(b), *ranges, table), "expected");
    }

    // Each criterion compares its own field.
    void criteriaReadTheirFields()
    {
        StockRecord s;
        s.Last = 1, s.Spread = 2, s.Open = 3, s.Change = 4, s.Volume = 5, s.High = 6, s.Low = 7;
        for (size_t i = 0; i < kCriteria.size(); ++i)
            QCOMPARE(kCriteria[i].field(s), double(i + 1));
    }

    void boxesThatHoldNoNumber_data()
    {
        QTest::addColumn<QStringList>("criteria");
        QTest::addColumn<int>("bad");
        QTest::newRow("empty") << QStringList{"Last", "", "0.50"} << 0;
        QTest::newRow("lone point") << QStringList{"Open", ".", "1"} << 2;
        QTest::newRow("two points") << QStringList{"Change", "1", "1.2.3"} << 3;
        QTest::newRow("beyond double") << QStringList{"Volume", "0", QString(400, u'9')} << 4;
        QTest::newRow("beyond single") << QStringList{"High", "0", "1" + QString(39, u'0')} << 5;
    }

    // The first bad ticked criterion is named; an unticked one is never read.
    void boxesThatHoldNoNumber()
    {
        QFETCH(QStringList, criteria);
        QFETCH(int, bad);
        CriteriaBoxes b = boxes(criteria + QStringList{"Low", ".", "1"});
        b[1] = {false, ".", ""};
        int named = -1;
        QVERIFY(!readScreenBounds(b, &named));
        QCOMPARE(named, bad);
        const QString message = badBoundsMessage(kCriteria[size_t(named)]);
        QVERIFY(message.contains(u'"' + criteria[0] + u'"'));
        QVERIFY(message.contains(QStringLiteral("both")));
        b[size_t(bad)] = {true, ".5", "5."};
        b[6].start = "0";
        QVERIFY(readScreenBounds(b));
    }

    void quickSearchAndListAll()
    {
        const MarketDatabase db =
            market({stock("MSFT"), stock("msft"), stock("MSFTX"), stock(" MSFT"), stock("MsFt"), stock("IBM")});
        QCOMPARE(quickSearch(db, QStringLiteral("MSFT")), (QList<int>{0, 1, 4}));
        QCOMPARE(quickSearch(db, QStringLiteral("MSF")), QList<int>{});
        QCOMPARE(quickSearch(db, QStringLiteral(" MSFT")), QList<int>{3});
        QCOMPARE(allStocks(db), (QList<int>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(allStocks(MarketDatabase()), QList<int>{});
    }

    // Blank row before the first stock, "*" after the last, rows numbered,
    // current cell on the SHARES cell of the row just written; the second row
    // in the default (comma) locale.
    void rowContract()
    {
        ResultGrid g;
        setupGrid(g);
        QCOMPARE(rowTexts(g, 0), (QStringList{"#", "SYMBOL", "LAST", "OPEN", "CHANGE", "LOW", "HIGH", "SPREAD",
                                              "VOLUME", "PROFIT", "SHARES"}));
        QCOMPARE(rowTexts(g, 1), QStringList(ResultGrid::Cols, QString()));
        QCOMPARE(QPoint(g.col(), g.row()), QPoint(10, 0));
        addResultRow(g, stock("msft", 2.25f, 1234567, -0.25f), kDefaults, kC);
        addResultRow(g, stock("ibm", 2.25f, 999.5, 1.5f), kDefaults, NumberFormat::Symbols());
        QCOMPARE(rowTexts(g, 1),
                 (QStringList{"1", "MSFT", "2.25", "2", "-0.25", "2", "2.5", "0.5", "1,234,567", "100.52", "245"}));
        QCOMPARE(rowTexts(g, 2),
                 (QStringList{"2", "IBM", "2,25", "2", "1,5", "2", "2,5", "0,5", "1.000", "100,52", "245"}));
        QCOMPARE(rowTexts(g, 3), QStringList{"*"} + QStringList(ResultGrid::Cols - 1, QString()));
        QCOMPARE(g.rows(), 4);
        QCOMPARE(QPoint(g.col(), g.row()), QPoint(10, 2));
        QCOMPARE(g.color(1, 4), GridColor::Red);
        QCOMPARE(g.color(2, 4), GridColor::Green);
        // A new layout forgets the rows, their texts and their formatting.
        setupGrid(g);
        QCOMPARE(g.rows(), 2);
        QCOMPARE(rowTexts(g, 1), QStringList(ResultGrid::Cols, QString()));
        QCOMPARE(g.color(1, 4), ResultGrid::NoColor);
    }

    // PROFIT coloured by its sign; no number in a box, or figures that do not
    // fit: both figure cells empty, and the fill goes on.
    void figureCells_data()
    {
        QTest::addColumn<QString>("capital");
        QTest::addColumn<QString>("commission");
        QTest::addColumn<QString>("profit");
        QTest::addColumn<QString>("shares");
        QTest::addColumn<quint32>("color");
        QTest::newRow("worked example") << "500.00"
                                        << "10.99"
                                        << "100.52"
                                        << "245" << GridColor::Green;
        QTest::newRow("break even") << "9"
                                    << "1"
                                    << "0"
                                    << "4" << GridColor::DarkGrey;
        QTest::newRow("loss") << "5"
                              << "10.99"
                              << "-23.48"
                              << "-3" << GridColor::Red;
        QTest::newRow("two points") << "500"
                                    << "1.2.3"
                                    << ""
                                    << "" << GridColor::DarkGrey;
        QTest::newRow("shares overflow") << "6000000000"
                                         << "0"
                                         << ""
                                         << "" << GridColor::DarkGrey;
    }

    void figureCells()
    {
        QFETCH(QString, capital);
        QFETCH(QString, commission);
        ResultGrid g;
        setupGrid(g);
        const PersonalAmounts amounts = readPersonalAmounts(capital, commission);
        addResultRow(g, stock("X"), amounts, kC);
        addResultRow(g, stock("NEXT"), amounts, kC);
        QTEST(g.text(1, 9), "profit");
        QTEST(g.text(1, 10), "shares");
        QTEST(g.color(1, 9), "color");
        QCOMPARE(g.text(2, 1), QStringLiteral("NEXT"));
    }

    // A bulk fill passes over indexes outside the list and tells the views
    // once; the model shows the ordinary cells, the fixed ones as headers.
    void bulkFillAndModel()
    {
        MarketDatabase db;
        db.Stocks = {stock("A", 1, 0, -1), stock("B"), stock("SPARE")};
        ResultGrid g;
        setupGrid(g);
        QSignalSpy resets(&g, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&g, &QAbstractItemModel::dataChanged);
        QSignalSpy current(&g, &ResultGrid::currentCellChanged);
        addResultRows(g, db, {1, -1, 2, 0, 7}, kDefaults, kC);
        QCOMPARE(resets.size(), 1);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(current.size(), 1);
        QCOMPARE(current[0], (QVariantList{2, 10}));
        QCOMPARE(g.rowCount(), 3);
        QCOMPARE(g.data(g.index(0, 0)).toString() + g.data(g.index(1, 0)).toString(), QStringLiteral("BA"));
        QCOMPARE(g.data(g.index(1, 3), ResultGrid::ColorRole).toUInt(), GridColor::Red);
        QCOMPARE(g.headerData(1, Qt::Vertical).toString() + g.headerData(2, Qt::Vertical).toString(),
                 QStringLiteral("2*"));
        // Outside a bulk fill each change reaches the views as it happens.
        addResultRow(g, stock("C"), kDefaults, kC);
        QCOMPARE(resets.size(), 1);
        QVERIFY(changed.size() >= 9);
        // The current cell stays inside the grid.
        g.setCurrentCell(99, 99);
        QCOMPARE(QPoint(g.col(), g.row()), QPoint(10, 4));
        g.setRows(2);
        QCOMPARE(g.row(), 1);
    }

    void sortByColumn_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QList<int>>("expected"); // fill order of the rows, top to bottom
        const Qt::SortOrder up = Qt::AscendingOrder, down = Qt::DescendingOrder;
        // Ties keep the fill's order in both directions; empty cells go last.
        QTest::newRow("SYMBOL ignores case") << 1 << up << QList<int>{2, 4, 3, 1, 5};
        QTest::newRow("SYMBOL descending") << 1 << down << QList<int>{1, 3, 2, 4, 5};
        QTest::newRow("LAST, nan last") << 2 << up << QList<int>{2, 1, 3, 4, 5};
        QTest::newRow("CHANGE below zero first") << 4 << up << QList<int>{1, 4, 2, 5, 3};
        QTest::newRow("VOLUME descending, zero shows empty") << 8 << down << QList<int>{2, 3, 4, 5, 1};
        QTest::newRow("SHARES, no figure last") << 10 << up << QList<int>{4, 1, 3, 5, 2};
    }

    // The rows move whole and are numbered again; the marker row stays last
    // and the current cell goes to the last row's SHARES.
    void sortByColumn()
    {
        QFETCH(int, col);
        QFETCH(Qt::SortOrder, order);
        QFETCH(QList<int>, expected);
        ResultGrid g;
        fillForSorting(g);
        ResultGrid unsorted;
        fillForSorting(unsorted);
        g.setCurrentCell(2, 3);
        sortResultRows(g, col, order);
        QCOMPARE(fillOrders(g), expected);
        for (int r = 1; r <= 5; ++r) {
            QStringList moved = rowTexts(unsorted, expected[r - 1]);
            moved[0] = QString::number(r);
            QCOMPARE(rowTexts(g, r), moved);
            QCOMPARE(g.color(r, 4), unsorted.color(expected[r - 1], 4));
            QVERIFY(g.bold(r, 1));
        }
        QCOMPARE(rowTexts(g, 6), QStringList{"*"} + QStringList(ResultGrid::Cols - 1, QString()));
        QCOMPARE(g.rows(), 7);
        QCOMPARE(QPoint(g.col(), g.row()), QPoint(col, 1));
        QCOMPARE(g.sortColumn(), col);
        QCOMPARE(g.headerData(col - 1, Qt::Horizontal, ResultGrid::SortRole), QVariant(int(order)));
        QVERIFY(!g.headerData(col % 10, Qt::Horizontal, ResultGrid::SortRole).isValid());
    }

    // Forty rows in five values, each value eight times and well mixed: enough
    // that a sort that does not keep ties in the fill's order would show it.
    // The symbols differ only after their first letters, and in case.
    void tiesKeepTheFillOrder_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::newRow("SYMBOL up") << 1 << Qt::AscendingOrder;
        QTest::newRow("SYMBOL down") << 1 << Qt::DescendingOrder;
        QTest::newRow("LAST up") << 2 << Qt::AscendingOrder;
        QTest::newRow("LAST down") << 2 << Qt::DescendingOrder;
    }

    void tiesKeepTheFillOrder()
    {
        QFETCH(int, col);
        QFETCH(Qt::SortOrder, order);
        ResultGrid g;
        setupGrid(g);
        const auto valueOf = [](int fill) { return fill * 7 % 5; };
        const char *const symbols[] = {"abcd", "abcde1", "abcde2", "abcdef", "abcdef1"};
        for (int fill = 1; fill <= 40; ++fill) {
            const QByteArray symbol(symbols[valueOf(fill)]);
            addResultRow(g, stock((fill % 2 ? symbol.toUpper() : symbol).constData(), 1.0f + float(valueOf(fill))),
                         kDefaults);
        }
        sortResultRows(g, col, order);
        QList<int> expected; // value by value in the sort's direction, each value's rows as filled
        for (int i = 0; i < 5; ++i) {
            for (int fill = 1; fill <= 40; ++fill) {
                if (valueOf(fill) == (order == Qt::AscendingOrder ? i : 4 - i))
                    expected << fill;
            }
        }
        QCOMPARE(fillOrders(g), expected);
    }

    // A header click sorts up, then down; "#" brings back the fill's order;
    // a new layout or a new row forgets the sort.
    void headerClicks()
    {
        ResultGrid g;
        setupGrid(g);
        sortByHeaderClick(g, 2); // nothing listed: nothing to sort
        QCOMPARE(g.sortColumn(), -1);
        QCOMPARE(QPoint(g.col(), g.row()), QPoint(10, 0));
        fillForSorting(g);
        sortByHeaderClick(g, 2);
        sortByHeaderClick(g, 2);
        QCOMPARE(QPair(g.sortColumn(), g.sortOrder()), QPair(2, Qt::DescendingOrder));
        QCOMPARE(fillOrders(g), (QList<int>{4, 1, 3, 2, 5}));
        sortByHeaderClick(g, 1); // another column starts ascending
        QCOMPARE(QPair(g.sortColumn(), g.sortOrder()), QPair(1, Qt::AscendingOrder));
        g.setCurrentCell(1, 1);
        sortByHeaderClick(g, 0);
        QCOMPARE(fillOrders(g), (QList<int>{1, 2, 3, 4, 5}));
        QCOMPARE(rowTexts(g, 1)[1], QStringLiteral("MSFT"));
        QCOMPARE(QPoint(g.col(), g.row()), QPoint(1, 1));
        QCOMPARE(g.sortColumn(), -1);
        sortByHeaderClick(g, 8);
        addResultRow(g, stock("NEW"), kDefaults);
        QCOMPARE(g.sortColumn(), -1);
        sortByHeaderClick(g, 0); // the appended row stays after the fill's rows
        QCOMPARE(fillOrders(g), (QList<int>{1, 2, 3, 4, 5, 6}));
        sortByHeaderClick(g, 1);
        setupGrid(g);
        QCOMPARE(g.sortColumn(), -1);
        fillForSorting(g);
        // Rows cut off after a sort take their own cells with them.
        sortByHeaderClick(g, 2);
        g.setRows(3);
        QCOMPARE(rowTexts(g, 1).mid(0, 3), (QStringList{"1", "AAPL", "1"}));
        QCOMPARE(rowTexts(g, 2).mid(0, 3), (QStringList{"2", "MSFT", "2"}));
        g.setRows(4);
        QCOMPARE(rowTexts(g, 3), QStringList(ResultGrid::Cols, QString()));
        QCOMPARE(g.fillOrder(3), 3);
        // A move that is no permutation of its rows would lose one: refused.
        g.permuteRows(1, {2, 2});
        g.permuteRows(1, {0, 1});
        g.permuteRows(2, {2, 3, 4});
        QCOMPARE(rowTexts(g, 1)[1] + rowTexts(g, 2)[1], QStringLiteral("AAPLMSFT"));
        g.permuteRows(1, {2, 1});
        QCOMPARE(rowTexts(g, 1)[1] + rowTexts(g, 2)[1], QStringLiteral("MSFTAAPL"));
    }

    // Worked by hand from the relative luminances; the grid's own colours
    // on its selected grey, and what takes their place when they fail.
    void contrast_data()
    {
        QTest::addColumn<quint32>("background");
        QTest::addColumn<quint32>("text");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<quint32>("readable");
        QTest::newRow("black on white") << 0xFFFFFFu << 0x000000u << 21.0 << 0x000000u;
        QTest::newRow("same grey") << 0x808080u << 0x808080u << 1.0 << 0x000000u;
        QTest::newRow("white on selected grey") << 0xE0E0E0u << 0xFFFFFFu << 1.32 << 0x000000u;
        QTest::newRow("dark blue on selected grey") << 0xE0E0E0u << 0x000096u << 11.04 << 0x000096u;
        QTest::newRow("green on selected grey") << 0xE0E0E0u << 0x009600u << 2.97 << 0x000000u;
        QTest::newRow("dark red on selected grey") << 0xE0E0E0u << 0xBE0000u << 4.99 << 0xBE0000u;
        QTest::newRow("dark blue on dark theme") << 0x242424u << 0x000096u << 1.06 << 0xFFFFFFu;
    }

    void contrast()
    {
        QFETCH(quint32, background);
        QFETCH(quint32, text);
        QFETCH(double, ratio);
        QVERIFY(qAbs(contrastRatio(background, text) - ratio) < 0.005);
        QCOMPARE(contrastRatio(text, background), contrastRatio(background, text));
        QTEST(readableOn(background, text), "readable");
    }

    // Shown with the (German) default locale's signs, written with "." and
    // no grouping. The file is replaced whole; a refusal says why.
    void exportFile()
    {
        ResultGrid g;
        setupGrid(g);
        const QByteArray header("#,SYMBOL,LAST,OPEN,CHANGE,LOW,HIGH,SPREAD,VOLUME,PROFIT,SHARES\r\n");
        QCOMPARE(ResultsExport::csv(g), header);
        addResultRow(g, stock("msft", 2.25f, 1234567.5, -0.25f), kDefaults);
        addResultRow(g, stock("a,\"b\"", 1234.5f, 0), readPersonalAmounts("", "1"));
        sortResultRows(g, 2, Qt::DescendingOrder);
        QCOMPARE(g.text(2, 8), QStringLiteral("1.234.568"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(writeFile(path, "old contents that are longer than the new"));
        QString error;
        QVERIFY2(ResultsExport::write(g, path, &error), qPrintable(error));
        QCOMPARE(fileBytes(path), header
                                      + "1,\"A,\"\"B\"\"\",1234.5,2,0,2,2.5,0.5,,,\r\n"
                                        "2,MSFT,2.25,2,-0.25,2,2.5,0.5,1234568,100.52,245\r\n");
        QVERIFY(!ResultsExport::write(g, dir.filePath(QStringLiteral("missing/out.csv")), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(ResultsExport::defaultFileName(QStringLiteral("Nasdaq"), QDate(2026, 1, 9)),
                 QStringLiteral("Nasdaq-2026-01-09.csv"));
    }

    // A field is quoted when it holds a comma or a quote, and only then.
    void exportQuotesFields_data()
    {
        QTest::addColumn<QByteArray>("symbol");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << QByteArray("msft") << QByteArray("MSFT");
        QTest::newRow("comma") << QByteArray("a,b") << QByteArray("\"A,B\"");
        QTest::newRow("quote") << QByteArray("a\"b") << QByteArray("\"A\"\"B\"");
        QTest::newRow("both") << QByteArray("a,\"b\"") << QByteArray("\"A,\"\"B\"\"\"");
    }

    void exportQuotesFields()
    {
        QFETCH(QByteArray, symbol);
        QFETCH(QByteArray, field);
        ResultGrid g;
        setupGrid(g);
        addResultRow(g, stock(symbol.constData()), kDefaults);
        const QByteArray csv = ResultsExport::csv(g);
        QCOMPARE(csv.mid(csv.indexOf("\r\n1,") + 4, field.size() + 1), field + ',');
    }

    // The options of a run without a window: its markets (and whether only
    // those there), or the start of why they are refused. "arguments|outcome".
    void screenRunOptions_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("update one, any case") << "--update NYSE --notify|nyse.bin";
        QTest::newRow("screen alone: all") << "--screen Penny --export -|nasdaq.bin nyse.bin existing";
        QTest::newRow("screen with market") << "--market=nasdaq --screen Penny|nasdaq.bin";
        QTest::newRow("unknown market") << "--update amex|Unknown market";
        QTest::newRow("market and update") << "--update all --market nyse --notify|--market is";
        QTest::newRow("market alone") << "--market nyse|--market needs";
        QTest::newRow("export without screen") << "--update all --export x.csv|--export needs";
        QTest::newRow("nothing to do") << "--trading-day|Nothing to do";
        QTest::newRow("update without market") << "--notify --update|Missing value";
        QTest::newRow("stray argument") << "--notify stray|Unexpected argument";
    }

    void screenRunOptions()
    {
        QFETCH(QString, row);
        const QStringList args = QStringList{latin("tarnvale")} + row.section(u'|', 0, 0).split(u' ');
        QVERIFY(ScreenRun::wanted(args) && !ScreenRun::wanted({args[0], latin("--updates")}));
        QString got;
        const std::optional<ScreenRunOptions> options = ScreenRun::read(args, &got);
        for (const MarketInfo &m : options ? options->markets : QList<MarketInfo>())
            got += QString::fromLatin1(m.fileName) + u' ';
        got += options && options->onlyExistingMarkets ? latin("existing") : QString();
        QVERIFY2(got.trimmed() == row.section(u'|', 1) || (!options && got.startsWith(row.section(u'|', 1))),
                 qPrintable(got));
    }

    // What entered since the last notice, how the notice says it, and what
    // is kept for the next: "before|now|body".
    void screenNotices_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("one more, one gone") << "A B|C A|1 stock entered: C";
        QTest::newRow("listed twice") << "|A A|1 stock entered: A";
        QTest::newRow("past ten")
            << "A|A B C D E F G H I J K L M|12 stocks entered: B, C, D, E, F, G, H, I, J, K and 2 more";
    }

    void screenNotices()
    {
        QFETCH(QString, row);
        const auto list = [&row](int i) { return row.section(u'|', i, i).split(u' ', Qt::SkipEmptyParts); };
        ScreenNotice::Kept kept{{latin("PENNY"), list(0)}}; // kept before a save in other letters
        QCOMPARE(ScreenNotice::update(kept, latin("Penny"), list(1)), row.section(u'|', 2));
        QCOMPARE(kept, (ScreenNotice::Kept{{latin("Penny"), list(1)}}));
        // A kept-set file that is not one is refused, and so never written over.
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(latin("k")), row.toLatin1())
                && !ScreenNotice::readKept(dir.filePath(latin("k"))));
    }

    void screenNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name"); // empty: refused
        QTest::newRow("outer spaces trimmed") << "  Penny runners "
                                              << "Penny runners";
        QTest::newRow("40 characters") << QString(40, u'n') << QString(40, u'n');
        QTest::newRow("41 characters") << QString(41, u'n') << QString();
        QTest::newRow("41 with spaces around") << " " + QString(40, u'n') + " " << QString(40, u'n');
        QTest::newRow("empty") << "   " << QString();
        QTest::newRow("slash") << "a/b" << QString();
        QTest::newRow("backslash") << "a\\b" << QString();
        QTest::newRow("ampersand and dots") << "Low & slow..."
                                            << "Low & slow...";
    }

    void screenNames()
    {
        QFETCH(QString, typed);
        QFETCH(QString, name);
        QString error;
        const std::optional<QString> checked = SavedScreens::checkName(typed, &error);
        QCOMPARE(checked.value_or(QString()), name);
        QCOMPARE(error.isEmpty(), !name.isEmpty());
    }

    // Stored as the box texts in their own group of section Screens; other
    // sections stay as they were; names compare ignoring case.
    void savedScreensStore()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tarnvale.conf"));
        QVERIFY(writeFile(path, "[Settings]\nCapital=1,000.50\nLastS=0.10\n\n[Screens]\nHand\\LastTicked=true\n"
                                "Hand\\LastS=1,000.50\nHand\\LastE=.\n"));
        QSettings settings(path, QSettings::IniFormat);
        SavedScreens screens(settings);
        const std::optional<CriteriaBoxes> hand = screens.load(QStringLiteral("HAND"));
        QVERIFY(hand);
        QCOMPARE((*hand)[0].ticked, true);
        QCOMPARE((*hand)[0].start, QStringLiteral("1,000.50")); // unquoted, read back as written
        QCOMPARE((*hand)[0].end, QStringLiteral("."));
        QCOMPARE((*hand)[4].ticked, false);
        QCOMPARE((*hand)[technicalBox(0)].ticked, false); // saved before the technical ranges
        QCOMPARE((*hand)[technicalBox(0)].start, QString());
        QVERIFY(!screens.load(QStringLiteral("none")));

        CriteriaBoxes b = boxes({"Volume", "50000", "1.2.3", "Low", "", "0.5"});
        b[1] = {false, QStringLiteral("0.01"), QStringLiteral("10.00")};
        b[technicalBox(9)] = {true, QStringLiteral("-5"), QStringLiteral("2.5")};
        QString error;
        QVERIFY2(screens.save(QStringLiteral("zeta"), b, &error), qPrintable(error));
        QVERIFY(screens.save(QStringLiteral("Alpha"), CriteriaBoxes{}, &error));
        QCOMPARE(screens.names(), (QStringList{"Alpha", "Hand", "zeta"}));
        QCOMPARE(screens.find(QStringLiteral("ZETA")), QStringLiteral("zeta"));
        const std::optional<CriteriaBoxes> back = screens.load(QStringLiteral("zeta"));
        QVERIFY(back);
        for (size_t i = 0; i < b.size(); ++i) {
            QCOMPARE((*back)[i].ticked, b[i].ticked);
            QCOMPARE((*back)[i].start, b[i].start);
            QCOMPARE((*back)[i].end, b[i].end);
        }
        QVERIFY(screens.save(QStringLiteral("Zeta"), CriteriaBoxes{}, &error)); // replaces "zeta"
        QCOMPARE(screens.names(), (QStringList{"Alpha", "Hand", "Zeta"}));
        QCOMPARE(screens.load(QStringLiteral("zeta"))->at(4).start, QString());
        QVERIFY(screens.remove(QStringLiteral("alpha"), &error));
        QVERIFY(!screens.remove(QStringLiteral("alpha"), &error));
        QVERIFY(error.contains(QStringLiteral("\"alpha\"")));
        QCOMPARE(screens.names(), (QStringList{"Hand", "Zeta"}));

        QSettings again(path, QSettings::IniFormat);
        QCOMPARE(again.childGroups(), (QStringList{"Screens", "Settings"}));
        again.beginGroup(QStringLiteral("Settings"));
        QCOMPARE(again.childKeys(), (QStringList{"Capital", "LastS"}));
        QCOMPARE(again.value(QStringLiteral("Capital")).toStringList(), (QStringList{"1", "000.50"}));
        QCOMPARE(again.value(QStringLiteral("LastS")).toString(), QStringLiteral("0.10"));
        again.endGroup();
        QCOMPARE(again.value(QStringLiteral("Screens/Zeta/VolumeE")).toString(), QString());
        QCOMPARE(again.value(QStringLiteral("Screens/Hand/LastS")).toStringList(), (QStringList{"1", "000.50"}));

        // A store that cannot be written says so.
        QSettings blocked(path + QStringLiteral("/cannot/be.conf"), QSettings::IniFormat);
        SavedScreens nowhere(blocked);
        error.clear();
        QVERIFY(!nowhere.save(QStringLiteral("x"), b, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestScreen)
#include "tst_screen.moc"
