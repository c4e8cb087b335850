#pragma once

#include "market/MarketDatabase.h"

#include <QByteArrayView>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The exchanges' official symbol directories: pipe-delimited text with a
// header line, one security a line, and a closing "File Creation Time:"
// line that shows the file arrived whole.
//   nasdaqlisted.txt  Symbol|Security Name|Market Category|Test Issue|...
//   otherlisted.txt   ACT Symbol|Security Name|Exchange|CQS Symbol|ETF|
//                     Round Lot Size|Test Issue|NASDAQ Symbol  (Exchange N = NYSE)
namespace SymbolDirectory {

enum class Exchange { Nasdaq, Nyse };

// The directory file that lists the exchange's symbols.
QString fileName(Exchange exchange);

struct Listing
{
    QStringList symbols;     // the exchange's, in file order, test issues left out, each once
    QSet<QString> elsewhere; // in lower case: listed in the same file on another exchange (NYSE Arca, ...)
    qsizetype skipped = 0;   // rows left out as unreadable, or with a symbol a market cannot hold
    qsizetype overLong = 0;  // of those, the rows whose symbol runs past kMaxSymbolLength
};

// The exchange's listing. Columns are found by their header names. Fails
// when the header is not the expected one or the closing line is missing (a
// cut-off download).
std::optional<Listing> parse(QByteArrayView text, Exchange exchange, QString *error = nullptr);

struct MergeCounts
{
    qsizetype added = 0;
    qsizetype kept = 0;
    qsizetype removed = 0;
    qsizetype unlisted = 0;  // no longer listed but left in (no pruning)
    qsizetype elsewhere = 0; // listed on another exchange now, left in even when pruning
};

enum class Prune {
    No,
    // Refused when the directory lists nothing for the exchange, or when more
    // than a quarter of the market would go: a broken download, not a market
    // that changed overnight.
    Guarded,
    Forced,
};

// Brings the market's symbol list in line with the directory: symbols
// already listed (compared as the program compares them) keep their records
// and quotes, new ones go before the spare record in directory order, and
// symbols the directory no longer lists are removed only when pruning, never
// those it lists on another exchange. Fails, leaving db untouched, when the
// result would exceed the program's limit of listed stocks, or when a
// guarded prune is refused.
std::optional<MergeCounts> merge(MarketDatabase &db, const Listing &listing, Prune prune, QString *error = nullptr);

// The most stocks a market may list: the program walks them with a 16-bit index.
inline constexpr qsizetype MaxListed = 32'766;

} // namespace SymbolDirectory
