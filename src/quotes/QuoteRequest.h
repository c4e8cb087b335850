#pragma once

#include <QByteArray>
#include <QString>

// The quote request: one HTTP/1.0 GET per symbol, three Accept lines and no
// Host header, which is what the quote service has always been sent.

// Fields the service is asked for, in reply order: symbol, last trade, trade
// date, trade time, change, open, day high, day low, volume.
inline constexpr char QuoteFieldList[] = "sl1d1t1c1ohgv";
// The path of every quote request; the bundled service answers no other
// but its "/status".
inline constexpr char QuotePath[] = "/d/quotes.csv";

// "/d/quotes.csv?s=SYMBOL&f=sl1d1t1c1ohgv&e=.csv". The symbol goes in as
// UTF-8 with every byte outside A-Z a-z 0-9 - . _ ~ percent-encoded, so a
// typed blank, "&", "%" or line break can never change the request; ordinary
// symbols go out unchanged.
QString quotePath(const QString &symbol);

// The request bytes for a path: request line, "Accept: */*",
// "Accept: text/html", "Accept: cvs" (spelled so), then an empty line; every
// line ends in CR LF.
QByteArray quoteRequest(const QString &path);
