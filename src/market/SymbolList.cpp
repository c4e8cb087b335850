#include "market/SymbolList.h"

bool symbolsMatch(const QString &listed, const QString &typed)
{
    return listed.toLower() == typed.toLower();
}

qsizetype findSymbol(const MarketDatabase &db, const QString &symbol)
{
    for (qsizetype i = 0; i < db.listedCount(); ++i) {
        if (symbolsMatch(db.Stocks[i].Symbol, symbol))
            return i;
    }
    return -1;
}

void addSymbol(MarketDatabase &db, const QString &symbol)
{
    db.Stocks.last() = StockRecord{};
    db.Stocks.last().Symbol = symbol;
    db.Stocks.append(StockRecord{});
}

qsizetype removeSymbol(MarketDatabase &db, const QString &symbol)
{
    QList<StockRecord> kept;
    kept.reserve(db.Stocks.size());
    for (qsizetype i = 0; i < db.listedCount(); ++i) {
        if (!symbolsMatch(db.Stocks[i].Symbol, symbol))
            kept.append(db.Stocks[i]);
    }
    const qsizetype removed = db.listedCount() - kept.size();
    if (removed > 0) {
        kept.append(StockRecord{});
        db.Stocks = std::move(kept);
    }
    return removed;
}
