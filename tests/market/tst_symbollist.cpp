#include "market/SymbolList.h"

#include <QTest>

namespace {

MarketDatabase listOf(std::initializer_list<const char *> symbols)
{
    MarketDatabase db;
    db.LastUpdate = 38142;
    for (const char *s : symbols)
        addSymbol(db, QString::fromLatin1(s));
    return db;
}

QStringList symbolsOf(const MarketDatabase &db)
{
    QStringList out;
    for (const StockRecord &s : db.Stocks)
        out << s.Symbol;
    return out;
}

} // namespace

class TestSymbolList : public QObject
{
    Q_OBJECT

private slots:
    void comparisonIgnoresCaseButNotBlanks()
    {
        QVERIFY(symbolsMatch(QStringLiteral("MSFT"), QStringLiteral("msft")));
        QVERIFY(!symbolsMatch(QStringLiteral(" ibm "), QStringLiteral("ibm")));
        QVERIFY(!symbolsMatch(QStringLiteral("MSFT"), QStringLiteral("MSFTX")));
        const MarketDatabase db = listOf({"MSFT", " ibm "});
        QCOMPARE(findSymbol(db, QStringLiteral("msft")), 0);
        QCOMPARE(findSymbol(db, QStringLiteral(" IBM ")), 1);
        QCOMPARE(findSymbol(db, QStringLiteral("IBM")), -1);
        // The spare is never a listed record, even though its symbol is empty.
        QCOMPARE(findSymbol(db, QString()), -1);
    }

    void addingFillsTheSpareAndAppendsANewOne()
    {
        MarketDatabase db;
        addSymbol(db, QStringLiteral("ibm "));
        QCOMPARE(db.Stocks.size(), 2);
        QCOMPARE(db.Stocks[0].Symbol, QStringLiteral("ibm "));
        QCOMPARE(db.Stocks[1], StockRecord{});
        QCOMPARE(db.listedCount(), 1);
    }

    void removingKeepsOrderDateAndFields()
    {
        MarketDatabase db = listOf({"AAPL", "MSFT", "INTC"});
        db.Stocks[2].Last = 20.5f;
        db.Stocks[2].Reserved = QStringLiteral("r");
        QCOMPARE(removeSymbol(db, QStringLiteral("msft")), 1);
        QCOMPARE(symbolsOf(db), (QStringList{"AAPL", "INTC", ""}));
        QCOMPARE(db.Stocks[1].Last, 20.5f);
        QCOMPARE(db.Stocks[1].Reserved, QStringLiteral("r"));
        QCOMPARE(db.LastUpdate, 38142.0);
        QCOMPARE(db.Stocks.last(), StockRecord{});
    }

    void removingTheOnlyStockLeavesTheSpare()
    {
        MarketDatabase db = listOf({"IBM"});
        QCOMPARE(removeSymbol(db, QStringLiteral("IBM")), 1);
        QCOMPARE(MarketFormat::encode(db), MarketFormat::encode(MarketDatabase{38142, {StockRecord{}}}));
        QCOMPARE(MarketFormat::encode(db).size(), 54);
    }

    void duplicatesLeaveNoEmptyListedRecords()
    {
        MarketDatabase db = listOf({"MSFT", "AAPL", "msft", "INTC"});
        QCOMPARE(removeSymbol(db, QStringLiteral("MSFT")), 2);
        QCOMPARE(symbolsOf(db), (QStringList{"AAPL", "INTC", ""}));
    }

    void removingAnUnlistedSymbolChangesNothing()
    {
        MarketDatabase db = listOf({"AAPL"});
        const MarketDatabase before = db;
        QCOMPARE(removeSymbol(db, QStringLiteral("MSFT")), 0);
        QCOMPARE(db, before);
    }
};

QTEST_GUILESS_MAIN(TestSymbolList)
#include "tst_symbollist.moc"
