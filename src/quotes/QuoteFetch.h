#pragma once

#include "quotes/QuoteHost.h"
#include "quotes/QuoteReply.h"
#include "quotes/QuoteTransport.h"

#include <QObject>
#include <QString>

#include <optional>

// Fetches the quote of one symbol. What a second request may mend (no
// connection, a time-out, a reply cut short, a proxy or server error) is
// asked again at most MaxRetries times; a whole reply that cannot be used
// (an error page, a field that is no number, a reply too long) ends the fetch
// at once, since asking again would only bring the same. It never shows
// anything itself.
class QuoteFetch : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxRetries = 3;

    struct Result
    {
        QString symbol;
        std::optional<ParsedQuote> quote;    // set when a reply could be used
        QDate tradeDate;                     // the used reply's trade date, when it gave one
        bool answered = false;               // some attempt got bytes back from the service
        ReplyFault fault = ReplyFault::None; // why the last reply could not be used
        int attempts = 0;
    };

    explicit QuoteFetch(QObject *parent = nullptr);

    void setTimeouts(int connectMs, int replyMs) { m_transport.setTimeouts(connectMs, replyMs); }
    // A pause before every attempt, the first one included.
    void setPause(float seconds) { m_pause = seconds; }

    // Starts the fetch; false while one is under way. finished() always comes
    // later, from the event loop.
    bool fetch(const QuoteHost &host, const QString &symbol);
    // Drops the fetch under way; no finished() follows.
    void cancel();
    bool busy() const { return m_busy; }

signals:
    void finished(const QuoteFetch::Result &result);

private:
    void attempt();
    void onReply(QuoteTransport::Outcome outcome);

    QuoteTransport m_transport;
    QuoteHost m_host;
    Result m_result;
    float m_pause = 0;
    quint64 m_generation = 0;
    bool m_busy = false;
};
