#pragma once

#include "quoted/CloseHistory.h"
#include "quoted/QuoteLine.h"
#include "quoted/SourceStatus.h"
#include "quoted/UpstreamCsv.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimeZone>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

class QNetworkReply;

// The quote service's live source: a cache of quotes fetched in batches
// from a keyless CSV quote endpoint (see UpstreamCsv.h). A cached quote is
// asked for again only when the market can have changed since it was
// fetched (see TradingCalendar.h): every refresh time during the US regular
// session, once more after the close, never over weekends and holidays. A
// quote of a day before the latest completed one (the source not having
// published that day yet) is asked again after a quarter of an hour, then at
// widening intervals; a symbol the source does not know, once per trading
// day. Requests for symbols not cached, or due, are gathered for a moment so
// that misses arriving close together share one request; the listed symbols
// of the watched markets are fetched ahead in the background. Never more than
// maxInflight requests run at once; each has a time-out and is retried at
// most twice, after a pause, when a retry can help. A source that refuses
// (see SourceStatus.h) is left alone until it said to come back, or for a
// back-off that doubles with each refusal in a row, while the cache is
// served. Everything runs from the event loop of the owner's thread.
class UpstreamQuotes : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString source = QStringLiteral("stooq"); // the name GET /status gives
        QUrl url;
        QByteArray suffix = ".us";
        int batch = 50;
        int maxInflight = 2;
        std::chrono::milliseconds refresh{600'000}; // during the session
        std::chrono::milliseconds timeout{10'000};
        QList<std::chrono::milliseconds> backOff{std::chrono::milliseconds(500), std::chrono::milliseconds(1500)};
        // After a failed request, misses of uncached symbols are turned away
        // at once for this long instead of asking the source again.
        std::chrono::milliseconds downHold{10'000};
        QString statePath; // empty: closes are kept in memory only
        // Quotes kept of symbols outside the watched markets; beyond this
        // many, those fetched longest ago are forgotten.
        int maxUnwatched = 2000;
        // Free sources show the market this late: the session and its close
        // are judged by the time the source shows.
        std::chrono::milliseconds sourceDelay{std::chrono::minutes(15)};
        // Where the source's day, and so its daily request limit, begins anew.
        QTimeZone sourceZone{"Europe/Warsaw"};
        // Now, in UTC; tests and benchmarks move it themselves.
        std::function<QDateTime()> clock = [] { return QDateTime::currentDateTimeUtc(); };
    };
    static constexpr int MaxBatch = 200;

    enum class Status {
        Ready,       // line holds the quote (or the unknown-symbol line)
        Waiting,     // a fetch is under way; resolved() follows
        Unavailable, // the source is down and nothing is cached
    };
    struct Answer
    {
        Status status = Status::Waiting;
        QByteArray line; // without line end
    };

    explicit UpstreamQuotes(Options options, QObject *parent = nullptr);
    ~UpstreamQuotes() override;

    // The answer for a symbol the program asks for, now or after resolved().
    Answer lookUp(QByteArrayView symbol);
    // Symbols to keep fresh in the background (the listed symbols of the
    // watched markets); replaces the earlier list and fetches what is due.
    void setKeptSymbols(const QList<QByteArray> &symbols);
    // No client waits for the symbol any more: a fetch of it that has not
    // been sent is dropped, unless the symbol is kept fresh anyway.
    void unwanted(QByteArrayView symbol);

    // Asks for the kept symbols that are due; also done every quarter of the
    // refresh time.
    void fetchDue();

    bool sourceDown() const { return m_down; }
    SourceStatus status() const;
    int requestsSent() const { return m_requestsSent; }
    int cachedCount() const { return int(m_cache.size()); }
    // Symbols waiting for a request or for its answer.
    int pendingCount() const { return int(m_queued.size() + m_inflight.size()); }
    // Writes pending closes now (also done shortly after every change).
    void saveState();
    // Why the closes file could not be read at start, or empty.
    QString stateError() const { return m_stateError; }

signals:
    // A fetch that included key has ended, well or not: look it up again.
    void resolved(const QByteArray &key);
    void sourceWentDown(const QString &why);
    // Once for each refusal that changes how the source stands.
    void sourceRefused(const QString &reason, const QDateTime &retryAt);
    void sourceCameBack();
    void stateProblem(const QString &why);

private:
    // When what was fetched at one instant falls due, in milliseconds of
    // the clock (UTC since the epoch), the source's delay included.
    struct Schedule
    {
        qint64 fetchedAt = 0;
        qint64 sessionStart = 0; // of the session under way then, or the next
        qint64 sessionEnd = 0;
        qint64 recheck = 0; // for a quote older than the latest completed day
        QDate completed;    // the latest completed trading day the source shows
    };
    struct Entry
    {
        QuoteLine quote;
        QByteArray line; // formatted once, for the symbol as the key spells it
        bool known = false;
        Schedule schedule;
        qint64 recheckAt = 0; // only for a quote older than schedule.completed
    };
    struct Batch
    {
        QList<QByteArray> keys;
        int attempt = 1;
        qint64 sentAt = 0;
    };

    qint64 now() const;
    Schedule scheduleAt(qint64 fetchedAt) const;
    bool due(const Entry &entry, qint64 maxAge) const;
    bool holdingOff() const;
    bool heldBack(const QByteArray &key) const;
    // False when the symbol cannot be asked for; it is then cached as unknown.
    bool want(const QByteArray &key, bool urgent);
    void schedulePump(std::chrono::milliseconds delay);
    void pump();
    void send(Batch batch);
    void onReply(QNetworkReply *reply, Batch batch);
    void store(const QByteArray &key, const UpstreamQuote &quote, const Schedule &schedule);
    // holdBack: the batch's own fault (a 4xx for it, no URL for it); only its
    // symbols are held back for the down time, the source is not taken for down.
    void endBatch(const Batch &batch, bool holdBack = false);
    void markDown(const QString &why);
    void refuse(const SourceRefusal &refusal);
    void cameBack();
    QByteArray lineFor(QByteArrayView symbol, const Entry &entry) const;

    Options m_options;
    QNetworkAccessManager m_network;
    QHash<QByteArray, Entry> m_cache; // key: upper-case symbol
    QList<QByteArray> m_urgent;       // misses of waiting clients, first come first
    QList<QByteArray> m_background;   // due for a refresh
    QSet<QByteArray> m_queued;        // in either queue
    QSet<QByteArray> m_inflight;
    QList<QByteArray> m_kept;
    QSet<QByteArray> m_keptSet;
    QList<QByteArray> m_unwatched; // cached symbols outside the kept ones, oldest first
    int m_active = 0;              // requests under way or waiting for a retry
    int m_requestsSent = 0;
    bool m_down = false;
    qint64 m_downUntil = 0;
    qint64 m_refusedAt = 0;
    qint64 m_refusedUntil = 0;
    int m_refusalsInARow = 0;
    SourceStatus m_status;
    QHash<QByteArray, qint64> m_heldBack; // key -> time (now()) its batch's fault stops holding it
    QTimer m_pump;
    QTimer m_refresh;
    CloseHistory m_history;
    bool m_stateWritable = true;
    bool m_stateDirty = false;
    QString m_stateError;
    QTimer m_stateSave;
};
