#pragma once

#include "quotes/QuoteHost.h"
#include "quotes/QuoteTransport.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

// What the quote service says of its source at "/status": which source it
// uses, whether that source answers, and why not when it does not.
struct ServiceStatus
{
    QString source;        // "massive", "stooq" or "snapshot"
    QString state;         // "ok", "no-key", "unauthorized", "limited", "refused" or "unreachable"
    QString reason;        // one plain sentence for a user
    QDateTime lastSuccess; // invalid when never
    QDateTime retryAt;     // invalid when the service is not waiting to ask again
    QDate quotesDate;      // the trading date of the quotes it serves; invalid when none
};

inline constexpr char ServiceStatusPath[] = "/status";

// The status in a whole HTTP reply: a 200 whose body is the JSON object.
// Anything else (an older service's quote line, a cut reply) gives nothing.
std::optional<ServiceStatus> parseServiceStatus(QByteArrayView reply);

// The sentences that follow the program's own message when an update or a
// live quote failed, telling the user why and what to do; empty when the
// status gives no reason (the source answers).
QString statusExplanation(const ServiceStatus &status);

// True when host names this machine: only a local service is asked why.
bool isLocalHost(const QuoteHost &host);

// What the service says of itself in one sentence or two, for a user who
// asked ("Test" in the quote source settings).
QString statusSummary(const ServiceStatus &status);

// Asks a local quote service for its status, with short time-outs so that a
// failure message never waits long for its explanation. finished() always
// comes later, from the event loop, with the status or nothing.
class ServiceStatusQuery : public QObject
{
    Q_OBJECT

public:
    explicit ServiceStatusQuery(QObject *parent = nullptr);

    void ask(const QuoteHost &host);

signals:
    void finished(const std::optional<ServiceStatus> &status);

private:
    QuoteTransport m_transport;
};
