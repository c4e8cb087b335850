#include "history/StooqNames.h"

#include "market/StockRecord.h"

#include <algorithm>

QByteArray upstreamName(QByteArrayView symbol, QByteArrayView suffix)
{
    const bool index = symbol.startsWith('^');
    const QByteArrayView body = index ? symbol.sliced(1) : symbol;
    if (body.isEmpty() || symbol.size() > kMaxSymbolLength)
        return {};
    const bool spellable = std::all_of(body.begin(), body.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
    if (!spellable)
        return {};
    QByteArray name = symbol.toByteArray().toLower().replace('.', '-');
    if (!index)
        name += suffix.toByteArray().toLower();
    return name;
}

QByteArray symbolOfUpstreamName(QByteArrayView name, QByteArrayView suffix)
{
    QByteArrayView body = name;
    if (!name.startsWith('^')) {
        if (suffix.isEmpty() || name.size() <= suffix.size()
            || name.last(suffix.size()).compare(suffix, Qt::CaseInsensitive) != 0)
            return {};
        body.chop(suffix.size());
    }
    QByteArray symbol = body.toByteArray().toUpper().replace('-', '.');
    return upstreamName(symbol, suffix).isEmpty() ? QByteArray() : symbol;
}
