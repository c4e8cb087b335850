#pragma once

#include "market/MarketDatabase.h"

#include <QByteArrayView>
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

// The exchange's listed symbols in file order, test issues left out, each
// once. Columns are found by their header names. Fails when the header is
// not the expected one or the closing line is missing (a cut-off download).
std::optional<QStringList> parse(QByteArrayView text, Exchange exchange, QString *error = nullptr);

struct MergeCounts
{
    qsizetype added = 0;
    qsizetype kept = 0;
    qsizetype removed = 0;
    qsizetype unlisted = 0; // no longer listed but left in (no pruning)
};

// Brings the market's symbol list in line with the directory: symbols
// already listed (compared as the program compares them) keep their records
// and quotes, new ones go before the spare record in directory order, and
// symbols the directory no longer lists are removed only when prune is set.
// Fails, leaving db untouched, when the result would exceed the program's
// limit of listed stocks.
std::optional<MergeCounts> merge(MarketDatabase &db, const QStringList &listed, bool prune,
                                 QString *error = nullptr);

// The most stocks a market may list: the program walks them with a 16-bit index.
inline constexpr qsizetype MaxListed = 32'766;

} // namespace SymbolDirectory
