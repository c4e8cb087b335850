#pragma once

#include "quoted/CloseHistory.h"
#include "quoted/QuoteLine.h"
#include "quoted/UpstreamCsv.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>

class QNetworkReply;

// The quote service's live source: a cache of quotes fetched in batches
// from a keyless CSV quote endpoint (see UpstreamCsv.h). Requests for
// symbols not cached, or cached longer than the refresh time, are gathered
// for a moment so that misses arriving close together share one request;
// the listed symbols of the watched markets are fetched ahead in the
// background. Never more than maxInflight requests run at once; each has a
// time-out and is retried at most twice, after a pause, when a retry can
// help. Everything runs from the event loop of the owner's thread.
class UpstreamQuotes : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QUrl url;
        QByteArray suffix = ".us";
        int batch = 50;
        int maxInflight = 2;
        std::chrono::milliseconds refresh{300'000};
        std::chrono::milliseconds timeout{10'000};
        QList<std::chrono::milliseconds> backOff{std::chrono::milliseconds(500), std::chrono::milliseconds(1500)};
        // After a failed request, misses of uncached symbols are turned away
        // at once for this long instead of asking the source again.
        std::chrono::milliseconds downHold{10'000};
        QString statePath; // empty: closes are kept in memory only
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

    bool sourceDown() const { return m_down; }
    int requestsSent() const { return m_requestsSent; }
    int cachedCount() const { return int(m_cache.size()); }
    // Writes pending closes now (also done shortly after every change).
    void saveState();
    // Why the closes file could not be read at start, or empty.
    QString stateError() const { return m_stateError; }

signals:
    // A fetch that included key has ended, well or not: look it up again.
    void resolved(const QByteArray &key);
    void sourceWentDown(const QString &why);
    void sourceCameBack();
    void stateProblem(const QString &why);

private:
    struct Entry
    {
        QuoteLine quote;
        QByteArray line; // formatted once, for the symbol as the key spells it
        bool known = false;
        qint64 fetchedAt = 0; // m_clock milliseconds
    };
    struct Batch
    {
        QList<QByteArray> keys;
        int attempt = 1;
    };

    bool fresh(const Entry &entry) const;
    bool holdingOff() const;
    bool heldBack(const QByteArray &key) const;
    // False when the symbol cannot be asked for; it is then cached as unknown.
    bool want(const QByteArray &key, bool urgent);
    void schedulePump(std::chrono::milliseconds delay);
    void pump();
    void send(const Batch &batch);
    void onReply(QNetworkReply *reply, Batch batch);
    void store(const QByteArray &key, const UpstreamQuote &quote);
    // sourceFault false: only these symbols are held back for the down
    // time, the source is not taken for down.
    void failBatch(const Batch &batch, const QString &why, bool sourceFault = true);
    void markDown(const QString &why);
    void refreshDue();
    QByteArray lineFor(QByteArrayView symbol, const Entry &entry) const;

    Options m_options;
    QNetworkAccessManager m_network;
    QElapsedTimer m_clock;
    QHash<QByteArray, Entry> m_cache;        // key: upper-case symbol
    QList<QByteArray> m_urgent;               // misses of waiting clients, first come first
    QList<QByteArray> m_background;           // due for a refresh
    QSet<QByteArray> m_queued;                // in either queue
    QSet<QByteArray> m_inflight;
    QList<QByteArray> m_kept;
    int m_active = 0; // requests under way or waiting for a retry
    int m_requestsSent = 0;
    bool m_down = false;
    qint64 m_downUntil = 0;
    QHash<QByteArray, qint64> m_heldBack; // key -> m_clock time its batch's fault stops holding it
    QTimer m_pump;
    QTimer m_refresh;
    CloseHistory m_history;
    bool m_stateWritable = true;
    bool m_stateDirty = false;
    QString m_stateError;
    QTimer m_stateSave;
};
