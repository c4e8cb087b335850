#pragma once

#include "history/DailyBar.h"
#include "quoted/QuoteLine.h"
#include "quoted/SourceStatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class HistoryStore;
class QNetworkReply;
class QThread;

/*
 * The keyed whole-market source: Massive's grouped daily bars,
 *
 *   GET {base}/v2/aggs/grouped/locale/us/market/stocks/{YYYY-MM-DD}?adjusted=true&include_otc=false
 *   Authorization: Bearer KEY
 *
 * answered with JSON whose "results" array holds {T, o, h, l, c, v, vw, t, n}
 * for every US stock that traded that day. One request thus fills the whole
 * market; the quotes served are the latest completed trading day's bars,
 * their change the difference to the trading day before. The same source
 * gives one symbol's history:
 *
 *   GET {base}/v2/aggs/ticker/{T}/range/1/day/{from}/{to}?adjusted=true&sort=asc&limit=50000
 *
 * answered with "results" of {t, o, h, l, c, v}, t the bar's start in
 * milliseconds since 1970.
 */

// One stock's bar of one day, as the whole market's answer gives it.
struct GroupedBar
{
    QByteArray symbol;
    double open = 0;
    double high = 0;
    double low = 0;
    double close = 0;
    qint64 volume = 0;
};

// The bars of a grouped daily answer. An answer with no "results" (a day not
// yet published, or no trading) gives an empty list. Fails when the text is
// not such an answer; results without a ticker or a close are left out.
std::optional<QList<GroupedBar>> parseGroupedDaily(QByteArrayView json, QString *error = nullptr);

// The request for one day.
QUrl groupedDailyUrl(const QUrl &base, QDate day);

// One symbol's bars of an aggregates answer, each dated by its t on the
// exchange's calendar, ascending; empty when the source has none. Fails like
// parseGroupedDaily; bars without a date or a close are left out.
std::optional<BarSeries> parseAggregates(QByteArrayView json, QString *error = nullptr);
QUrl aggregatesUrl(const QUrl &base, const QByteArray &symbol, QDate from, QDate to);

// A symbol's history as the source gave it, or why not.
struct FetchedHistory
{
    std::optional<BarSeries> bars;
    SourceStatus::State state = SourceStatus::State::Ok;
    QString reason; // one sentence for a user, when bars are missing
};

// The quotes of day, with each symbol's change against its close on the
// previous trading day, when it traded then. The time is the 16:00 close.
QuoteSnapshot dailyQuotes(const QList<GroupedBar> &day, QDate date, const QList<GroupedBar> &previous);

// Fetches the grouped daily bars as rarely as the market allows: the latest
// completed trading day and the one before it at start, then once after each
// close, at most perMinute requests in any minute (as the free plan allows). A day that is not yet published is asked
// again every notPublishedRetry while the previous day's quotes are served. A refusal (bad key, limit) is backed off
// and reported once with the time of the next try. Everything runs from the event loop of the owner's thread.
//
// With a history store, every day's answer is kept there too, and the budget
// left over serves, in this order, symbols' histories that clients wait for
// and a backfill of the past days' whole market, newest first, one request
// per 60/perMinute seconds so that a client never waits long behind it.
class GroupedDailySource : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QUrl base{QStringLiteral("https://api.massive.com")};
        QString apiKey; // never logged, never part of a message
        int perMinute = 5;
        std::chrono::milliseconds notPublishedRetry{15 * 60'000};
        // The first try after a close: the day is rarely published sooner.
        std::chrono::milliseconds afterClose{75 * 60'000};
        std::chrono::milliseconds timeout{60'000};
        qint64 maxBodyBytes = 16 * 1024 * 1024; // a whole US day is about 2 MB
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
        // Where the days' bars are kept (not owned; the bars are written
        // through a store of the parsing thread's own), and how many calendar
        // days back the backfill reaches (0: none).
        HistoryStore *history = nullptr;
        int backfillDays = 0;
    };

    explicit GroupedDailySource(Options options, QObject *parent = nullptr);
    ~GroupedDailySource() override;

    // Fetches what the quotes of the latest completed trading day need.
    void start();
    // What GET /status tells of the source.
    const SourceStatus &status() const { return m_status; }
    int requestsSent() const { return m_requestsSent; }
    // When the source looks again by itself (invalid while nothing is planned).
    QDateTime nextLook() const { return m_nextLook; }
    // Asks for a symbol's daily bars of the last two years, in turn with the
    // other requests; historyFetched follows. False when the source cannot be
    // asked now (no key, or a refusal still holds); status() says why.
    bool fetchHistory(const QByteArray &symbol);

signals:
    // New quotes to serve, of the trading day date.
    void quotesReady(const QuoteSnapshot &quotes, QDate date);
    // A request to the source has ended, well or not, and what it brought
    // has been taken in.
    void requestEnded();
    // A refusal or failure, said once until the source answers again;
    // retryAt is invalid when nothing is tried until the key changes.
    void sourceRefused(const QString &reason, const QDateTime &retryAt);
    void historyFetched(const QByteArray &symbol, const FetchedHistory &history);
    // A day's whole market went into the history store, or failed to (error).
    void dayStored(QDate day, const QString &error);

private:
    struct Failure
    {
        SourceStatus::State state;
        QString reason;
        QDateTime retryAt; // invalid: only this request failed, nothing is backed off
    };

    void plan();
    // A waiting symbol's history, else a backfill day, as the budget allows.
    void askMore(const QDateTime &now);
    // Starts a request; nullptr, with the timer set, when the budget is spent.
    QNetworkReply *send(const QUrl &url, bool daily);
    void request(QDate day, bool backfill = false);
    void onReply(QNetworkReply *reply, QDate day, bool backfill);
    void onHistoryReply(QNetworkReply *reply, const QByteArray &symbol);
    std::optional<Failure> failureOf(QNetworkReply *reply, const QByteArray &body, const QDateTime &now) const;
    void takeIn(QDate day, std::optional<QList<GroupedBar>> bars, const QString &why, const QDateTime &now,
                bool backfill);
    void serve(QDate day);
    void backOff(SourceStatus::State state, const QString &reason, const QDateTime &retryAt);
    void planAt(const QDateTime &when);
    // Sets the timer to when, unless it goes off sooner anyway.
    void wakeAt(const QDateTime &when);
    void markStored(QDate day);
    QDate nextBackfillDay() const;
    void updateBackfill(const QDateTime &now);

    Options m_options;
    QNetworkAccessManager m_network;
    QHash<QDate, QList<GroupedBar>> m_days; // the few days the served quotes need
    QHash<QDate, QDateTime> m_askedAt;      // when each kept day was answered
    QDate m_served;
    QList<QDateTime> m_sent; // the requests of the last minute, oldest first
    QTimer m_timer;
    QThread *m_parser = nullptr; // reading an answer, and keeping its bars
    QList<QByteArray> m_wanted;  // symbols whose history clients wait for, first asked first
    QSet<QDate> m_stored;        // trading days whose whole market the history holds
    bool m_backfillStopped = false;
    QDateTime m_nextLook;
    SourceStatus m_status;
    bool m_busy = false;
    bool m_reported = false;
    int m_requestsSent = 0;
};
