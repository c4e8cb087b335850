#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QString>
#include <QTime>
#include <QUrl>

#include <optional>

// One line of the live quote source's CSV (a stooq-style light quote table):
// the symbol as the source echoes it, suffix and all, and whatever values it
// had. A line without a close is the source saying it does not know the
// symbol.
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
    friend bool operator==(const UpstreamQuote &, const UpstreamQuote &) = default;
};

// The field list asked for: symbol, date, time, open, high, low, close, volume.
inline constexpr QByteArrayView kUpstreamFields = "sd2t2ohlcv";

// The request for a batch of symbols: base?s=aapl.us+msft.us&f=sd2t2ohlcv&h&e=csv
// (symbols in lower case with the suffix, anything but letters, digits and
// ".-_^" percent-encoded).
QUrl upstreamUrl(const QUrl &base, const QList<QByteArray> &symbols, QByteArrayView suffix);

// The look-up key of a symbol the source echoes: the suffix dropped (any
// case), then upper case, as the service keys its quotes.
QByteArray upstreamSymbolKey(QByteArrayView echoed, QByteArrayView suffix);

// Reads the source's answer. Columns are found by their header names (any
// order, any case, blanks and double quotes around them ignored); CR LF or LF
// line ends; "N/D", "N/A" or an empty field is a missing value. The header
// needs at least Symbol and Close; anything else (an HTML page, a plain-text
// notice such as a daily limit) is a fault of the source: nullopt and error.
std::optional<QList<UpstreamQuote>> parseUpstreamCsv(QByteArrayView body, QString *error = nullptr);
