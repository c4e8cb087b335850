#pragma once

#include "market/StockRecord.h"

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringView>

#include <optional>

// 1-based position of the first place at or after start where haystack holds
// needle, both compared in lower case, or 0 when there is none. A start below
// 1 counts as 1; an empty needle is found at start while start <= length.
qsizetype FindTextNoCase(QStringView needle, QStringView haystack, qsizetype start);

// Why a reply could not be used.
enum class ReplyFault {
    None,
    // The reply was cut short, or a proxy or the server was in trouble: a
    // second request may well get a whole answer.
    NoHeaderEnd, // no empty line after the headers
    NoBody,      // nothing after the headers
    Truncated,   // shorter than its own Content-Length says
    ProxyError,  // "Proxy Error" anywhere in the reply, any case
    ServerError, // a 5xx status
    // A whole reply that a second request would only repeat.
    TooFewFields,  // the body splits into fewer than nine fields (an error page, say)
    BadField,      // a field that must be a number is not one, or does not fit
    UnknownSymbol, // last trade 0 and trade date "N/A": the service does not know the symbol
};

// True for the faults that asking again may mend.
bool retryMayMend(ReplyFault fault);

// The values of one reply, all converted before any reaches a record.
struct ParsedQuote
{
    float Last = 0;
    float Spread = 0;
    double Volume = 0;
    float Change = 0;
    float Open = 0;
    float High = 0;
    float Low = 0;

    friend bool operator==(const ParsedQuote &, const ParsedQuote &) = default;
};

struct QuoteReply
{
    std::optional<ParsedQuote> quote;
    QDate tradeDate; // the quote's trade date ("M/D/YYYY"); invalid when "N/A" or unreadable
    ReplyFault fault = ReplyFault::None;
};

// Takes a whole reply apart: headers up to the first CR LF CR LF, then a body
// of comma-separated fields with every CR and LF removed. Field 1 is the last
// trade and must be a number; fields 4 to 8 (change, open, high, low, volume)
// are 0 when exactly "N/A" or blank. The spread is high minus low, 0 when
// either is exactly "N/A". Numbers are read with "." as the decimal point,
// whatever the locale, because that is how the service writes them. A last
// trade of 0 with a trade date (field 2) of N/A, quoted or not, is how the
// service says it does not know the symbol: no quote.
QuoteReply parseQuoteReply(QByteArrayView reply);

// Writes a parsed quote into its record in the order Last, Spread, Volume,
// Change, Open, High, Low. Symbol and Reserved stay as they are.
void storeQuote(const ParsedQuote &quote, StockRecord &record);

// A quote number: optional blanks, an optional sign, digits with at most one
// ".", an optional exponent. nullopt for anything else or a value that is
// not finite.
std::optional<double> parseQuoteNumber(QStringView text);
