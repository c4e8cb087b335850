#include "quotes/LiveQuote.h"

qsizetype findLiveQuoteIndex(const MarketDatabase &db, const QString &symbol)
{
    // The walk does not stop at a match: with a symbol listed twice the later
    // record is the one refreshed.
    qsizetype found = -1;
    for (qsizetype i = 0; i < db.listedCount(); ++i) {
        if (db.Stocks[i].Symbol.toUpper() == symbol)
            found = i;
    }
    return found;
}

QString liveQuoteQuestion(const QString &symbol)
{
    return symbol + QStringLiteral(" was not found the the market database, would you like to add it?");
}

QString liveQuoteFailedMessage(const QString &symbol)
{
    return QStringLiteral("No usable quote for \"") + symbol
           + QStringLiteral("\" came from the quote service. Try again in a few moments.");
}

QString liveQuoteUnknownMessage(const QString &symbol)
{
    return QStringLiteral("The quote service does not know \"") + symbol + QStringLiteral("\". Nothing was changed.");
}
