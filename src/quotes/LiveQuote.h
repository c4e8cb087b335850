#pragma once

#include "market/MarketDatabase.h"

#include <QString>

// The live quote: one fresh quote for the symbol typed in the quick search.

// Every attempt waits this long first, so a double click sends one request.
inline constexpr float LiveQuotePauseSeconds = 0.1f;

// The last listed record whose symbol, upper-cased, equals the typed symbol
// exactly (the quick-search box holds upper case only), or -1.
qsizetype findLiveQuoteIndex(const MarketDatabase &db, const QString &symbol);

// "<SYMBOL> was not found the the market database, would you like to add it?"
QString liveQuoteQuestion(const QString &symbol);

// Shown when the service answered, but never with a usable quote.
QString liveQuoteFailedMessage(const QString &symbol);

// Shown when the service says it does not know the symbol.
QString liveQuoteUnknownMessage(const QString &symbol);
