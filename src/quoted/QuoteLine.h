#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

/*
 * Quotes snapshot: the CSV file the service answers from. UTF-8 text, one
 * quote a line; blank lines and lines whose first non-blank character is "#"
 * are ignored. The first other line is the header, exactly
 *
 *     symbol,last,date,time,change,open,high,low,volume
 *
 * (case and blanks around names do not matter), then one row per symbol:
 *
 *     MSFT,27.50,2004-06-04,16:00,+0.12,27.40,27.60,27.30,1234567
 *
 * - symbol: 1 to 32 printable ASCII characters, no blanks; looked up without
 *   regard to case. A later row for the same symbol replaces an earlier one.
 * - last: the last trade, a number from 0 to below 1e9; required.
 * - date yyyy-MM-dd and time HH:mm (24 hours) of the last trade.
 * - change (may carry a sign), open, high, low: numbers below 1e9 in size;
 *   open, high and low are not negative.
 * - volume: a whole number of shares from 0 to 10^15.
 * Every field but symbol and last may be empty or N/A (any case) for a
 * missing value.
 * Fields are trimmed and may stand in double quotes; numbers use "." as the
 * decimal point whatever the locale. A row that breaks these rules is left
 * out; the first few such rows are named in warnings ("line 7: ...") and
 * the rest only counted.
 *
 * A file larger than kMaxSnapshotBytes (64 MiB, about 700,000 quotes) is
 * refused whole.
 *
 * Replacing the file: write the new snapshot to a temporary file in the same
 * folder and rename it over the old one, so that a reader only ever sees a
 * whole file. The service also waits until the file has been left unchanged
 * for a quiet second before it reads it, and serves the previous quotes
 * until the new ones are ready, but a writer that stalls longer than that in
 * the middle of an in-place rewrite would still be read half-written.
 */

// One quote as the quote service hands it out. A missing value (an invalid
// date or time, an empty optional) goes out as "N/A".
struct QuoteLine
{
    QByteArray symbol; // printable ASCII, as listed in the snapshot
    double last = 0;
    QDate date;
    QTime time;
    std::optional<double> change;
    std::optional<double> open;
    std::optional<double> high;
    std::optional<double> low;
    std::optional<qint64> volume;

    // The reply line without its line end, e.g.
    // "MSFT",27.50,"6/4/2004","4:00pm",+0.12,27.40,27.60,27.30,1234567
    QByteArray format() const;
    // The line for a symbol the service does not know: 0.00 and "N/A" for the rest.
    static QByteArray unknown(QByteArrayView symbol);

    friend bool operator==(const QuoteLine &, const QuoteLine &) = default;
};

// The symbol as it may stand between the double quotes of a reply line: bytes
// that could end the field or the line (double quote, comma, control and
// non-ASCII bytes, and "%" itself) are percent-encoded, so an echoed request
// can never change the shape of the reply.
QByteArray quoteSymbolText(QByteArrayView symbol);

// Prices go out with two decimals, or up to four when the value needs them.
QByteArray formatPrice(double value);

using QuoteSnapshot = QHash<QByteArray, QuoteLine>; // key: the symbol in upper case

QByteArray quoteSnapshotHeader();                    // the header line, without line end
QByteArray quoteSnapshotRow(const QuoteLine &quote); // one row, without line end

// A snapshot file larger than this is refused.
inline constexpr qint64 kMaxSnapshotBytes = 64 * 1024 * 1024;
// At most this many bad rows are named in the warnings; *badRows counts all.
inline constexpr int kMaxSnapshotWarnings = 5;

// Fails (error set) only when the text has no header line; bad rows become
// warnings ("line 7: ..."), the first kMaxSnapshotWarnings of them.
std::optional<QuoteSnapshot> parseQuoteSnapshot(QByteArrayView text, QStringList *warnings = nullptr,
                                                QString *error = nullptr, qsizetype *badRows = nullptr);
// The file's bytes; fails when it cannot be read or is larger than kMaxSnapshotBytes.
std::optional<QByteArray> readSnapshotBytes(const QString &path, QString *error = nullptr);
// Also fails when the file cannot be read or is larger than kMaxSnapshotBytes.
std::optional<QuoteSnapshot> readQuoteSnapshot(const QString &path, QStringList *warnings = nullptr,
                                               QString *error = nullptr, qsizetype *badRows = nullptr);

// One comma-separated field without its surrounding blanks and double quotes.
QByteArrayView unquoted(QByteArrayView field);

// The key a symbol is looked up by: ASCII letters in upper case.
QByteArray quoteSymbolKey(QByteArrayView symbol);
