#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

class QTimeZone;

// How the quote service's source stands, as GET /status tells the program:
//   {"source":"stooq","state":"limited","reason":"...",
//    "lastSuccess":"2026-12-04T21:20:00Z","retryAt":null,"quotesDate":"2026-12-04"}
// Times are UTC in ISO 8601; a missing one is null. A source that fills the
// price history adds how far it has come:
//    "backfill":{"from":"2025-12-08","to":"2026-12-04","done":37,"days":250}
struct SourceStatus
{
    enum class State { Ok, NoKey, Unauthorized, Limited, Refused, Unreachable };

    // The trading days from..to whose whole market the history is to hold,
    // and how many of them it does.
    struct Backfill
    {
        QDate from;
        QDate to;
        int done = 0;
        int days = 0;
    };

    QString source;
    State state = State::Ok;
    QString reason; // one plain sentence for a user
    QDateTime lastSuccess;
    QDateTime retryAt;
    QDate quotesDate; // the trading date of the quotes served
    std::optional<Backfill> backfill;

    QByteArray toJson() const;
    static QByteArray stateName(State state);
};

// A source turning the service away, rather than failing: asking again at
// once would only be turned away again. retryAt is invalid when the source
// named no time.
struct SourceRefusal
{
    SourceStatus::State state = SourceStatus::State::Refused;
    QString reason;
    QDateTime retryAt;
};

// Tells a refusal from an answer: 401 or 403, 429 or 503 (with Retry-After
// in seconds or as an HTTP date), a daily-limit notice (good until midnight
// of the source's own day, sourceZone), or a web page in place of a table
// (a browser check). Anything else is nullopt, a good answer or a fault.
std::optional<SourceRefusal> sourceRefusal(int httpStatus, QByteArrayView body, QByteArrayView retryAfter,
                                           const QDateTime &now, const QTimeZone &sourceZone);
