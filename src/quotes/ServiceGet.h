#pragma once

#include "quotes/QuoteHost.h"
#include "quotes/QuoteTransport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// One GET of one of the quote service's tables ("/technicals.csv",
// "/history.csv?s=..."), any host the user set: the HTTP status and the body.
// finished() always comes later, from the event loop.
class ServiceGet : public QObject
{
    Q_OBJECT

public:
    struct Reply
    {
        bool reached = false; // a whole HTTP reply came back
        int status = 0;       // its status code
        QByteArray body;      // what follows the headers
        QString failure;      // why nothing usable came back, for a user; empty when reached

        // Why the reply brings no table, for a user: the failure when no
        // reply came, else the service's own one-sentence refusal (or its
        // status when it gave none); empty for a 200.
        QString refusal() const;
    };

    explicit ServiceGet(QObject *parent = nullptr);

    void setMaxSize(qsizetype bytes) { m_transport.setMaxReplySize(bytes); }
    void setTimeouts(int connectMs, int replyMs) { m_transport.setTimeouts(connectMs, replyMs); }

    // Starts the request; false while one is under way.
    bool get(const QuoteHost &host, const QString &pathAndQuery);
    // Drops the request under way; no finished() follows.
    void cancel() { m_transport.cancel(); }
    bool busy() const { return m_transport.busy(); }

signals:
    void finished(const ServiceGet::Reply &reply);

private:
    QuoteTransport m_transport;
    QuoteHost m_host;
};

// Splits a whole HTTP reply into status and body; reached is false when it is
// not one (no status line, no end of headers).
ServiceGet::Reply splitHttpReply(const QByteArray &reply);
