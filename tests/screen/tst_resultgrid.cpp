#include "screen/GridFill.h"
#include "screen/ResultGrid.h"

#include <QSignalSpy>
#include <QTest>

namespace {

StockRecord stock(const char *symbol, float change = 0, double volume = 0)
{
    StockRecord s;
    s.Symbol = QString::fromLatin1(symbol);
    s.Last = 2.25f;
    s.Open = 2.0f;
    s.Change = change;
    s.Low = 2.0f;
    s.High = 2.5f;
    s.Spread = 0.5f;
    s.Volume = volume;
    return s;
}

const PersonalAmounts kDefaults{500.00f, 10.99f};
const NumberFormat::Symbols kC{QLocale::c()};

QStringList rowTexts(const ResultGrid &g, int row)
{
    QStringList texts;
    for (int c = 0; c < ResultGrid::Cols; ++c)
        texts << g.text(row, c);
    return texts;
}

} // namespace

class TestResultGrid : public QObject
{
    Q_OBJECT

private slots:
    void emptyLayout()
    {
        ResultGrid g;
        g.setCurrentCell(1, 3);
        setupGrid(g);
        QCOMPARE(g.rows(), 2);
        QCOMPARE(rowTexts(g, 0), (QStringList{"#", "SYMBOL", "LAST", "OPEN", "CHANGE", "LOW", "HIGH", "SPREAD",
                                              "VOLUME", "PROFIT", "SHARES"}));
        QCOMPARE(rowTexts(g, 1), QStringList(ResultGrid::Cols, QString()));
        const QList<int> widths{500, 900, 900, 900, 900, 900, 900, 1100, 1100, 900, 900};
        for (int c = 0; c < ResultGrid::Cols; ++c) {
            QVERIFY(g.bold(0, c));
            QCOMPARE(g.color(0, c), GridColor::White);
            QCOMPARE(g.colWidth(c), widths[c]);
            QVERIFY(!g.bold(1, c));
            QCOMPARE(g.color(1, c), ResultGrid::NoColor);
        }
        // Header row, last header column.
        QCOMPARE(g.row(), 0);
        QCOMPARE(g.col(), 10);
        QCOMPARE(g.text(), QStringLiteral("SHARES"));
    }

    void resetAfterAFillIsTheSameEmptyLayout()
    {
        ResultGrid g;
        setupGrid(g);
        for (const char *s : {"A", "B", "C"})
            addResultRow(g, stock(s, -1), kDefaults, kC);
        setupGrid(g);
        QCOMPARE(g.rows(), 2);
        for (int c = 0; c < ResultGrid::Cols; ++c) {
            QCOMPARE(g.text(1, c), QString());
            QVERIFY(!g.bold(1, c));
            QCOMPARE(g.color(1, c), ResultGrid::NoColor);
        }
        QCOMPARE(g.text(2, 0), QString()); // gone, not just blank
        setupGrid(g);
        QCOMPARE(g.rows(), 2);
        QCOMPARE(g.row(), 0);
        QCOMPARE(g.col(), 10);
    }

    void rowsAreNumberedAndFollowedByAMarker()
    {
        ResultGrid g;
        setupGrid(g);
        addResultRow(g, stock("aa"), kDefaults, kC);
        QCOMPARE(g.rows(), 3);
        QCOMPARE(g.text(1, 0), QStringLiteral("1"));
        QCOMPARE(rowTexts(g, 2), QStringList{"*"} + QStringList(ResultGrid::Cols - 1, QString()));
        addResultRow(g, stock("bb"), kDefaults, kC);
        addResultRow(g, stock("cc"), kDefaults, kC);
        QCOMPARE(g.rows(), 5);
        for (int r = 1; r <= 3; ++r) {
            QCOMPARE(g.text(r, 0), QString::number(r));
            QCOMPARE(g.color(r, 0), GridColor::White);
        }
        QCOMPARE(g.text(4, 0), QStringLiteral("*"));
        QCOMPARE(g.text(3, 1), QStringLiteral("CC"));
        // The row just written, SHARES column.
        QCOMPARE(g.row(), 3);
        QCOMPARE(g.col(), 10);
    }

    void cellsOfOneRow()
    {
        ResultGrid g;
        setupGrid(g);
        addResultRow(g, stock("msft", 1.5f, 1234567), kDefaults, kC);
        QCOMPARE(rowTexts(g, 1), (QStringList{"1", "MSFT", "2.25", "2", "1.5", "2", "2.5", "0.5", "1,234,567",
                                              "100.52", "245"}));
        QVERIFY(g.bold(1, 1));
        for (int c = 2; c < ResultGrid::Cols; ++c)
            QVERIFY(!g.bold(1, c));
        QCOMPARE(g.color(1, 1), ResultGrid::NoColor);
        QCOMPARE(g.color(1, 2), 0x000096u);
        QCOMPARE(g.color(1, 3), 0x323232u);
        QCOMPARE(g.color(1, 4), 0x009600u);
        QCOMPARE(g.color(1, 5), 0x323232u);
        QCOMPARE(g.color(1, 6), 0x323232u);
        QCOMPARE(g.color(1, 7), 0xC89600u);
        QCOMPARE(g.color(1, 8), 0x323232u);
        QCOMPARE(g.color(1, 9), 0x009600u);
        QCOMPARE(g.color(1, 10), 0x323232u);
    }

    void coloursBySign_data()
    {
        QTest::addColumn<float>("change");
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("color");
        QTest::newRow("down") << -0.25f << QStringLiteral("-0.25") << 0xBE0000u;
        QTest::newRow("flat") << 0.0f << QStringLiteral("0") << 0x323232u;
        QTest::newRow("negative zero") << -0.0f << QStringLiteral("0") << 0x323232u;
        QTest::newRow("up") << 1.5f << QStringLiteral("1.5") << 0x009600u;
    }

    void coloursBySign()
    {
        QFETCH(float, change);
        QFETCH(QString, text);
        QFETCH(quint32, color);
        ResultGrid g;
        setupGrid(g);
        addResultRow(g, stock("X", change), kDefaults, kC);
        QCOMPARE(g.text(1, 4), text);
        QCOMPARE(g.color(1, 4), color);
    }

    void sharesAndProfitCells_data()
    {
        QTest::addColumn<QString>("capital");
        QTest::addColumn<QString>("commission");
        QTest::addColumn<float>("high");
        QTest::addColumn<float>("low");
        QTest::addColumn<QString>("profit");
        QTest::addColumn<quint32>("profitColor");
        QTest::addColumn<QString>("shares");
        const quint32 grey = 0x323232, green = 0x009600, red = 0xBE0000;
        QTest::newRow("worked example") << "500.00" << "10.99" << 2.5f << 2.0f << "100.52" << green << "245";
        QTest::newRow("half share to even") << "25" << "0" << 12.0f << 10.0f << "4" << green << "2";
        QTest::newRow("3.5 shares") << "35" << "0" << 12.0f << 10.0f << "8" << green << "4";
        QTest::newRow("high zero") << "500" << "10.99" << 0.0f << 2.0f << "0" << grey << "0";
        QTest::newRow("loss") << "100" << "1" << 1.0f << 2.0f << "-52" << red << "50";
        QTest::newRow("capital below commission") << "5" << "10.99" << 2.5f << 2.0f << "-23.48" << red << "-3";
        // No number in a box, or figures that do not fit: both cells empty.
        QTest::newRow("empty capital") << "" << "10.99" << 2.5f << 2.0f << "" << 0x323232u << "";
        QTest::newRow("lone point") << "." << "10.99" << 2.5f << 2.0f << "" << 0x323232u << "";
        QTest::newRow("two points") << "500" << "1.2.3" << 2.5f << 2.0f << "" << 0x323232u << "";
        QTest::newRow("share count overflows") << "3000000000" << "0" << 2.5f << 1.0f << "" << 0x323232u << "";
    }

    void sharesAndProfitCells()
    {
        QFETCH(QString, capital);
        QFETCH(QString, commission);
        QFETCH(float, high);
        QFETCH(float, low);
        QFETCH(QString, profit);
        QFETCH(quint32, profitColor);
        QFETCH(QString, shares);
        StockRecord s = stock("X");
        s.High = high;
        s.Low = low;
        ResultGrid g;
        setupGrid(g);
        const PersonalAmounts amounts = readPersonalAmounts(capital, commission);
        addResultRow(g, s, amounts, kC);
        addResultRow(g, stock("NEXT"), amounts, kC); // the fill goes on
        QCOMPARE(g.text(1, 9), profit);
        QCOMPARE(g.color(1, 9), profitColor);
        QCOMPARE(g.text(1, 10), shares);
        QCOMPARE(g.color(1, 10), 0x323232u);
        QCOMPARE(g.text(2, 1), QStringLiteral("NEXT"));
        QCOMPARE(g.rows(), 4);
    }

    void volumeCell()
    {
        ResultGrid g;
        setupGrid(g);
        addResultRow(g, stock("Z", 0, 0), kDefaults, kC);
        addResultRow(g, stock("H", 0, 999.5), kDefaults, kC);
        QCOMPARE(g.text(1, 8), QString());
        QCOMPARE(g.text(2, 8), QStringLiteral("1,000"));
    }

    void cellsFollowTheLocale()
    {
        const NumberFormat::Symbols german{QLocale(QLocale::German, QLocale::Germany)};
        ResultGrid g;
        setupGrid(g);
        addResultRow(g, stock("X", -0.25f, 1234567), kDefaults, german);
        QCOMPARE(rowTexts(g, 1).mid(2),
                 (QStringList{"2,25", "2", "-0,25", "2", "2,5", "0,5", "1.234.567", "100,52", "245"}));
        QCOMPARE(g.text(1, 0), QStringLiteral("1"));
    }

    void bulkRowsSkipIndexesOutsideTheList()
    {
        MarketDatabase db;
        db.Stocks = {stock("A"), stock("B"), StockRecord{}};
        ResultGrid g;
        setupGrid(g);
        addResultRows(g, db, {1, -1, 2, 0, 7}, kDefaults, kC);
        QCOMPARE(g.rows(), 4);
        QCOMPARE(g.text(1, 1), QStringLiteral("B"));
        QCOMPARE(g.text(2, 1), QStringLiteral("A"));
        QCOMPARE(g.text(3, 0), QStringLiteral("*"));
    }

    // A bulk fill tells the views once, at the end, and never mid-way.
    void bulkFillResetsTheModelOnce()
    {
        MarketDatabase db;
        for (int i = 0; i < 1000; ++i)
            db.Stocks.insert(db.Stocks.size() - 1, stock("S"));
        ResultGrid g;
        setupGrid(g);
        QSignalSpy resets(&g, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&g, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&g, &QAbstractItemModel::dataChanged);
        QSignalSpy headers(&g, &QAbstractItemModel::headerDataChanged);
        QSignalSpy current(&g, &ResultGrid::currentCellChanged);
        g.beginUpdate();
        setupGrid(g);
        addResultRows(g, db, allIndexes(db), kDefaults, kC);
        QCOMPARE(resets.size(), 0);
        g.endUpdate();
        QCOMPARE(resets.size(), 1);
        QCOMPARE(inserted.size(), 0);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(headers.size(), 0);
        QCOMPARE(current.size(), 1);
        QCOMPARE(current[0][0].toInt(), 1000);
        QCOMPARE(current[0][1].toInt(), 10);
        QCOMPARE(g.rowCount(), 1001);
    }

    // Outside a bulk fill each change reaches the views as it happens.
    void singleRowSignalsEachChange()
    {
        ResultGrid g;
        setupGrid(g);
        QSignalSpy inserted(&g, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&g, &QAbstractItemModel::dataChanged);
        QSignalSpy headers(&g, &QAbstractItemModel::headerDataChanged);
        QSignalSpy current(&g, &ResultGrid::currentCellChanged);
        addResultRow(g, stock("A"), kDefaults, kC);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted[0][1].toInt(), 1); // model row 1 is the new marker row
        QVERIFY(changed.size() >= 9);
        QVERIFY(headers.size() >= 2); // the marker and the row number
        QCOMPARE(current.last()[0].toInt(), 1);
        QCOMPARE(current.last()[1].toInt(), 10);
    }

    void modelShowsOrdinaryCellsAndHeadersShowFixedOnes()
    {
        ResultGrid g;
        setupGrid(g);
        addResultRow(g, stock("ab", -1), kDefaults, kC);
        QCOMPARE(g.rowCount(), 2);
        QCOMPARE(g.columnCount(), 10);
        QCOMPARE(g.headerData(0, Qt::Horizontal).toString(), QStringLiteral("SYMBOL"));
        QCOMPARE(g.headerData(9, Qt::Horizontal).toString(), QStringLiteral("SHARES"));
        QVERIFY(g.headerData(0, Qt::Horizontal, ResultGrid::BoldRole).toBool());
        QCOMPARE(g.headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
        QCOMPARE(g.headerData(1, Qt::Vertical).toString(), QStringLiteral("*"));
        QCOMPARE(g.headerData(0, Qt::Vertical, ResultGrid::ColorRole).toUInt(), GridColor::White);
        QVERIFY(!g.headerData(2, Qt::Vertical).isValid());
        QCOMPARE(g.data(g.index(0, 0)).toString(), QStringLiteral("AB"));
        QVERIFY(g.data(g.index(0, 0), ResultGrid::BoldRole).toBool());
        QVERIFY(!g.data(g.index(0, 0), ResultGrid::ColorRole).isValid()); // the grid's default
        QCOMPARE(g.data(g.index(0, 3), ResultGrid::ColorRole).toUInt(), GridColor::Red);
        QCOMPARE(g.data(g.index(0, 0), Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
        QCOMPARE(g.data(g.index(0, 1), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
        QVERIFY(g.flags(g.index(0, 0)).testFlag(Qt::ItemIsSelectable));
        QVERIFY(!g.flags(g.index(0, 0)).testFlag(Qt::ItemIsEditable));
    }

    void currentCellStaysInsideTheGrid()
    {
        ResultGrid g;
        setupGrid(g);
        for (const char *s : {"A", "B", "C"})
            addResultRow(g, stock(s), kDefaults, kC);
        g.setCurrentCell(99, 99);
        QCOMPARE(g.row(), 4);
        QCOMPARE(g.col(), 10);
        g.setCurrentCell(-3, -3);
        QCOMPARE(g.row(), 0);
        QCOMPARE(g.col(), 0);
        g.setCurrentCell(4, 2);
        g.setRows(2);
        QCOMPARE(g.row(), 1);
        QCOMPARE(g.col(), 2);
        g.setRow(0);
        g.setCol(5);
        QCOMPARE(g.text(), QStringLiteral("LOW"));
        g.setText(QStringLiteral("X"));
        QCOMPARE(g.text(0, 5), QStringLiteral("X"));
        QCOMPARE(g.text(7, 0), QString());
        QCOMPARE(g.colWidth(11), 0);
    }

private:
    static QList<int> allIndexes(const MarketDatabase &db)
    {
        QList<int> all;
        for (int i = 0; i < db.listedCount(); ++i)
            all << i;
        return all;
    }
};

QTEST_GUILESS_MAIN(TestResultGrid)
#include "tst_resultgrid.moc"
