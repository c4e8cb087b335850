#include "market/SymbolDirectory.h"

#include "base/ErrorReturn.h"
#include "base/Text.h"

#include <QList>

namespace SymbolDirectory {

namespace {

QList<QByteArrayView> cells(QByteArrayView line)
{
    QList<QByteArrayView> out;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype bar = line.indexOf('|', pos);
        out.append(line.sliced(pos, (bar < 0 ? line.size() : bar) - pos).trimmed());
        if (bar < 0)
            return out;
        pos = bar + 1;
    }
}

bool usable(QByteArrayView symbol)
{
    if (symbol.isEmpty() || symbol.size() > kMaxSymbolLength)
        return false;
    return std::all_of(symbol.begin(), symbol.end(), [](char c) { return c > ' ' && c <= '~' && c != ','; });
}

} // namespace

QString fileName(Exchange exchange)
{
    return exchange == Exchange::Nasdaq ? QStringLiteral("nasdaqlisted.txt") : QStringLiteral("otherlisted.txt");
}

std::optional<Listing> parse(QByteArrayView text, Exchange exchange, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(fileName(exchange), why);
        return std::nullopt;
    };
    QList<QByteArrayView> lines;
    for (qsizetype pos = 0; pos < text.size();) {
        qsizetype end = text.indexOf('\n', pos);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = text.sliced(pos, end - pos).trimmed();
        if (!line.isEmpty())
            lines.append(line);
        pos = end + 1;
    }
    if (lines.isEmpty())
        return fail(QStringLiteral("the file is empty"));

    const QByteArrayView symbolName = exchange == Exchange::Nasdaq ? "Symbol" : "ACT Symbol";
    const QList<QByteArrayView> header = cells(lines.first());
    qsizetype symbolColumn = -1, testColumn = -1, exchangeColumn = -1;
    for (qsizetype i = 0; i < header.size(); ++i) {
        if (header[i].compare(symbolName, Qt::CaseInsensitive) == 0)
            symbolColumn = i;
        else if (header[i].compare("Test Issue", Qt::CaseInsensitive) == 0)
            testColumn = i;
        else if (header[i].compare("Exchange", Qt::CaseInsensitive) == 0)
            exchangeColumn = i;
    }
    if (symbolColumn < 0 || testColumn < 0 || (exchange == Exchange::Nyse && exchangeColumn < 0))
        return fail(QStringLiteral("the header \"%1\" is not the symbol directory's")
                        .arg(printable(lines.first().first(qMin<qsizetype>(lines.first().size(), 80)))));
    if (!lines.last().startsWith("File Creation Time:"))
        return fail(QStringLiteral("the closing \"File Creation Time:\" line is missing; the file is incomplete"));

    Listing listing;
    QSet<QString> seen;
    const qsizetype needed = qMax(symbolColumn, qMax(testColumn, exchangeColumn)) + 1;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QList<QByteArrayView> row = cells(lines[i]);
        if (row.size() < needed || (row[testColumn] != "N" && row[testColumn] != "Y")) {
            ++listing.skipped;
            continue;
        }
        if (row[testColumn] == "Y")
            continue;
        const QByteArrayView text = row[symbolColumn];
        if (!usable(text)) {
            ++listing.skipped;
            if (text.size() > kMaxSymbolLength)
                ++listing.overLong;
            continue;
        }
        const QString symbol = QString::fromLatin1(text);
        if (exchange == Exchange::Nyse && row[exchangeColumn] != "N") {
            listing.elsewhere.insert(symbol.toLower());
        } else if (!seen.contains(symbol.toLower())) {
            seen.insert(symbol.toLower());
            listing.symbols.append(symbol);
        }
    }
    return listing;
}

std::optional<MergeCounts> merge(MarketDatabase &db, const Listing &listing, Prune prune, QString *error)
{
    const QStringList &listed = listing.symbols;
    if (prune == Prune::Guarded && listed.isEmpty()) {
        fail(error, QStringLiteral("the directory lists no symbols for this exchange; pruning would empty the market"));
        return std::nullopt;
    }
    QSet<QString> inDirectory;
    for (const QString &symbol : listed)
        inDirectory.insert(symbol.toLower());

    MergeCounts counts;
    MarketDatabase result;
    result.LastUpdate = db.LastUpdate;
    result.Stocks.clear();
    QSet<QString> inMarket;
    for (qsizetype i = 0; i < db.listedCount(); ++i) {
        const StockRecord &record = db.Stocks[i];
        const QString key = record.Symbol.toLower();
        inMarket.insert(key);
        if (inDirectory.contains(key)) {
            ++counts.kept;
        } else if (listing.elsewhere.contains(key)) {
            ++counts.elsewhere;
        } else if (prune != Prune::No) {
            ++counts.removed;
            continue;
        } else {
            ++counts.unlisted;
        }
        result.Stocks.append(record);
    }
    for (const QString &symbol : listed) {
        if (inMarket.contains(symbol.toLower()))
            continue;
        inMarket.insert(symbol.toLower());
        StockRecord record;
        record.Symbol = symbol;
        result.Stocks.append(record);
        ++counts.added;
    }
    if (prune == Prune::Guarded && counts.removed * 4 > db.listedCount()) {
        fail(error, QStringLiteral("pruning would remove %1 of the market's %2 symbols, more than a quarter")
                        .arg(counts.removed)
                        .arg(db.listedCount()));
        return std::nullopt;
    }
    if (result.Stocks.size() > MaxListed) {
        if (error)
            *error = QStringLiteral("%1 stocks would be listed; a market holds at most %2")
                         .arg(result.Stocks.size())
                         .arg(MaxListed);
        return std::nullopt;
    }
    result.Stocks.append(db.Stocks.last()); // the spare record, as it was
    db = std::move(result);
    return counts;
}

} // namespace SymbolDirectory
