#pragma once

#include "market/MarketStore.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// "AAAA", "AAAB", ...: four-letter symbols, one for each i.
inline QByteArray symbolAt(int i)
{
    QByteArray s(4, 'A');
    for (int k = 3; k >= 0; --k, i /= 26)
        s[k] = char('A' + i % 26);
    return s;
}

// A market of count listed stocks, fill(i, record) giving each its fields,
// and the spare record after them.
template <typename Fill> MarketDatabase listedMarket(int count, Fill &&fill)
{
    MarketDatabase db;
    db.Stocks.clear();
    for (int i = 0; i < count; ++i) {
        StockRecord s;
        fill(i, s);
        db.Stocks.append(s);
    }
    db.Stocks.append(StockRecord{});
    return db;
}

// A market that lists count symbols (symbolAt) and knows no quote yet: what
// an update starts from.
inline MarketDatabase unquotedMarket(int count)
{
    return listedMarket(count, [](int i, StockRecord &s) { s.Symbol = QString::fromLatin1(symbolAt(i)); });
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
