#pragma once

#include "market/StockRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QLocale>
#include <QList>
#include <QString>

#include <optional>

// The open market. Stocks always ends with one empty spare record, so the
// number of listed stocks is Stocks.size() - 1 (the array's upper bound), and
// every walk over the list stops before the spare.
struct MarketDatabase
{
    double LastUpdate = 0; // days since 1899-12-30, fraction = time of day
    QList<StockRecord> Stocks{StockRecord{}};

    qsizetype listedCount() const { return Stocks.size() - 1; }

    friend bool operator==(const MarketDatabase &, const MarketDatabase &) = default;
};

// File layout: little-endian, no signature. Header of 18 bytes (LastUpdate,
// dimension count 1, element count N + 1, lower bound 0), then N + 1 records
// of 36 + a + b bytes each.
namespace MarketFormat {
constexpr qsizetype HeaderSize = 18;
constexpr qsizetype MinRecordSize = 36;

QByteArray encode(const MarketDatabase &db);
// Refuses a damaged header before allocating anything from it; bytes after
// the last record are ignored.
std::optional<MarketDatabase> decode(QByteArrayView data, QString *error = nullptr);
// The same, reading into db and reusing its storage; db is left untouched
// when the data is refused.
bool decodeInto(QByteArrayView data, MarketDatabase &db, QString *error = nullptr);
} // namespace MarketFormat

// LastUpdate <-> calendar, in the day-count convention of the file.
double dateToMarketDate(const QDate &date);
// "Last update: " text: the date alone at midnight, the time alone when the
// date part is zero (a never-updated file shows midnight), both otherwise.
QString marketDateText(double value, const QLocale &locale);
