#pragma once

#include "history/StooqNames.h"
#include "quoted/QuoteLine.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QString>
#include <QTime>
#include <QUrl>
#include <QtGlobal>

#include <optional>

// One line of the live quote source's CSV (a stooq-style light quote table):
// the symbol as the source echoes it, suffix and all, and whatever values it
// had. date and time are those of the last trade in US Eastern time, the
// time the program shows; the source itself writes Central European time.
// A line without a close is the source saying it does not know the symbol.
struct UpstreamQuote
{
    QByteArray symbol;
    QDate date;
    QTime time;
    std::optional<double> open;
    std::optional<double> high;
    std::optional<double> low;
    std::optional<double> close;
    std::optional<double> previousClose; // only when the source offers such a column
    std::optional<qint64> volume;

    bool known() const { return close.has_value(); }
    // The line the service serves for it under symbol, without a change
    // (that needs the previous close, which the source may not give).
    QuoteLine line(const QByteArray &symbol) const;
    friend bool operator==(const UpstreamQuote &, const UpstreamQuote &) = default;
};

// The field list asked for: symbol, date, time, open, high, low, close, volume.
inline constexpr QByteArrayView kUpstreamFields = "sd2t2ohlcv";
// The zone of the source's dates and times, and the zone they are served in.
inline constexpr QByteArrayView kUpstreamTimeZone = "Europe/Warsaw";
inline constexpr QByteArrayView kServedTimeZone = "America/New_York";

// A request URL stays below this many bytes, well within what servers and
// proxies accept (many refuse 8 KiB); batches are cut short to fit.
inline constexpr qsizetype kMaxUpstreamUrlBytes = 2000;

// The source's name for a symbol: upstreamName (history/StooqNames.h).

// What one name adds to a request URL, separator included.
qsizetype upstreamUrlCost(QByteArrayView name);

// The request for a batch of names (see upstreamName):
// base?s=aapl.us+brk-b.us+%5Edji&f=sd2t2ohlcv&h&e=csv ("^" percent-encoded).
// An invalid QUrl when the result would not be a valid http(s) URL or would
// reach kMaxUpstreamUrlBytes; such a request is never sent.
QUrl upstreamUrl(const QUrl &base, const QList<QByteArray> &names);

// The most bytes an answer for this many symbols may have: a table row runs
// to about 70 bytes, a notice or a challenge page fits in the fixed part.
// A longer answer is cut off while it arrives and counts as a source fault.
inline constexpr qint64 kUpstreamBytesPerSymbol = 256;
inline constexpr qint64 kUpstreamBodyBase = 16 * 1024;
inline constexpr qint64 kUpstreamBodyCeiling = 1024 * 1024;
constexpr qint64 upstreamBodyCap(qsizetype symbols)
{
    return qMin(kUpstreamBodyCeiling, kUpstreamBodyBase + kUpstreamBytesPerSymbol * symbols);
}

// Reads the source's answer as RFC 4180 CSV: fields may stand in double
// quotes, inside which commas, line breaks and doubled quotes are text.
// Columns are found by their header names (any order, any case, blanks
// around them ignored); CR LF or LF line ends; "N/D", "N/A" or an empty field
// is a missing value. A row whose field count differs from the header's is
// left out, and so is a last row without its line end: the answer may have
// been cut off inside it, and a cut-off number would be a wrong price. The
// header needs at least Symbol and Close; anything else (an HTML page, a
// plain-text notice such as a daily limit) is a fault of the source: nullopt
// and error, in which the source's own bytes appear escaped.
std::optional<QList<UpstreamQuote>> parseUpstreamCsv(QByteArrayView body, QString *error = nullptr);
