// Feeds arbitrary bytes to the readers of what the quote service and the
// symbol tool take from outside: the live source's CSV, the exchanges'
// symbol directories and the quotes snapshot. The first byte picks the
// reader. Whatever a reader accepts must keep its own rules: finite values
// in range, symbols that can stand in a reply line or a market file, and a
// quote line for every accepted quote that stays one line of nine fields.
#include "market/SymbolDirectory.h"
#include "quoted/QuoteLine.h"
#include "quoted/UpstreamCsv.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool finiteBelow(const std::optional<double> &v, double limit)
{
    return !v || (std::isfinite(*v) && std::abs(*v) < limit);
}

void checkLine(const QByteArray &line)
{
    check(!line.contains('\r') && !line.contains('\n') && line.count(',') == 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 4) {
    case 0:
        if (const auto quotes = parseUpstreamCsv(bytes)) {
            for (const UpstreamQuote &q : *quotes) {
                check(!q.symbol.isEmpty());
                for (const auto &v : {q.open, q.high, q.low, q.close, q.previousClose})
                    check(finiteBelow(v, 1e9));
                check(!q.volume || (*q.volume >= 0 && *q.volume <= 1'000'000'000'000'000));
                checkLine(q.line(q.symbol).format());
                // A name is either nothing or one that can stand in a URL unencoded but for "^".
                const QByteArray name = upstreamName(q.symbol, ".us");
                check(name.isEmpty() || upstreamUrl(QUrl(QStringLiteral("http://127.0.0.1/")), {name}).isValid());
            }
        }
        break;
    case 1:
    case 2:
        if (const auto listing = SymbolDirectory::parse(bytes, data[0] % 4 == 1 ? SymbolDirectory::Exchange::Nasdaq
                                                                                : SymbolDirectory::Exchange::Nyse)) {
            for (const QString &s : listing->symbols)
                check(!s.isEmpty() && s.size() <= 32 && !s.contains(u',') && !s.contains(u' '));
            check(listing->overLong <= listing->skipped);
            MarketDatabase db;
            if (SymbolDirectory::merge(db, *listing, SymbolDirectory::Prune::Forced))
                check(db.listedCount() == listing->symbols.size() && db.Stocks.last() == StockRecord{});
            // A guarded prune never empties a market, not even an empty one.
            MarketDatabase empty;
            if (listing->symbols.isEmpty())
                check(!SymbolDirectory::merge(empty, *listing, SymbolDirectory::Prune::Guarded));
        }
        break;
    default:
        if (const auto snapshot = parseQuoteSnapshot(bytes)) {
            for (auto it = snapshot->cbegin(); it != snapshot->cend(); ++it) {
                check(it.key() == quoteSymbolKey(it->symbol));
                check(std::isfinite(it->last) && it->last >= 0 && it->last < 1e9);
                checkLine(it->format());
            }
        }
        break;
    }
    return 0;
}
