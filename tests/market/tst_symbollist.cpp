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
        const MarketDatabase db = listOf({"MSFT", " ibm "});
        QCOMPARE(findSymbol(db, QStringLiteral("msft")), 0);
        QCOMPARE(findSymbol(db, QStringLiteral(" IBM ")), 1);
        QCOMPARE(findSymbol(db, QStringLiteral("IBM")), -1);
        QCOMPARE(findSymbol(db, QStringLiteral("MSFTX")), -1);
        QCOMPARE(findSymbol(db, QString()), -1); // the spare is never listed
    }

    void removalKeepsOrderAndLeavesOneSpare_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("middle") << QStringList{"AAPL", "MSFT", "INTC"} << QStringLiteral("msft") << QStringList{"AAPL", "INTC", ""};
        QTest::newRow("only one") << QStringList{"IBM"} << QStringLiteral("IBM") << QStringList{""};
        QTest::newRow("listed twice") << QStringList{"MSFT", "AAPL", "msft", "INTC"} << QStringLiteral("MSFT")
                                      << QStringList{"AAPL", "INTC", ""};
        QTest::newRow("not listed") << QStringList{"AAPL"} << QStringLiteral("MSFT") << QStringList{"AAPL", ""};
    }

    void removalKeepsOrderAndLeavesOneSpare()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, removed);
        QFETCH(QStringList, after);
        MarketDatabase db;
        db.LastUpdate = 38142;
        for (const QString &s : before)
            addSymbol(db, s);
        db.Stocks[before.size() - 1].Last = 20.5f; // the last record's fields travel with it
        const qsizetype dropped = removeSymbol(db, removed);
        QCOMPARE(dropped, before.size() - (after.size() - 1));
        QCOMPARE(symbolsOf(db), after);
        QCOMPARE(db.Stocks.last(), StockRecord{});
        QCOMPARE(db.LastUpdate, 38142.0);
        if (after.size() > 1 && after[after.size() - 2] == before.last())
            QCOMPARE(db.Stocks[after.size() - 2].Last, 20.5f);
    }
};

QTEST_GUILESS_MAIN(TestSymbolList)
#include "tst_symbollist.moc"
