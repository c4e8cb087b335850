#pragma once

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
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

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
 * their change the difference to the trading day before.
 */

// One stock's bar of one day.
struct DailyBar
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
std::optional<QList<DailyBar>> parseGroupedDaily(QByteArrayView json, QString *error = nullptr);

// The request for one day.
QUrl groupedDailyUrl(const QUrl &base, QDate day);

// The quotes of day, with each symbol's change against its close on the
// previous trading day, when it traded then. The time is the 16:00 close.
QuoteSnapshot dailyQuotes(const QList<DailyBar> &day, QDate date, const QList<DailyBar> &previous);

// Fetches the grouped daily bars as rarely as the market allows: the latest
// completed trading day and the one before it at start, then once after each
// close, at most perMinute requests in any minute (as the free plan allows). A day that is not yet published is asked
// again every notPublishedRetry while the previous day's quotes are served. A refusal (bad key, limit) is backed off
// and reported once with the time of the next try. Everything runs from the event loop of the owner's thread.
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

signals:
    // New quotes to serve, of the trading day date.
    void quotesReady(const QuoteSnapshot &quotes, QDate date);
    // A request to the source has ended, well or not, and what it brought
    // has been taken in.
    void requestEnded();
    // A refusal or failure, said once until the source answers again;
    // retryAt is invalid when nothing is tried until the key changes.
    void sourceRefused(const QString &reason, const QDateTime &retryAt);

private:
    void plan();
    void request(QDate day);
    void onReply(QNetworkReply *reply, QDate day);
    void takeIn(QDate day, std::optional<QList<DailyBar>> bars, const QString &why, const QDateTime &now);
    void serve(QDate day);
    void backOff(SourceStatus::State state, const QString &reason, const QDateTime &retryAt);
    void planAt(const QDateTime &when);

    Options m_options;
    QNetworkAccessManager m_network;
    QHash<QDate, QList<DailyBar>> m_days; // the few days the served quotes need
    QHash<QDate, QDateTime> m_askedAt;    // when each kept day was answered
    QDate m_served;
    QList<QDateTime> m_sent; // the requests of the last minute, oldest first
    QTimer m_timer;
    QThread *m_parser = nullptr; // reading an answer
    QDateTime m_nextLook;
    SourceStatus m_status;
    bool m_busy = false;
    bool m_reported = false;
    int m_requestsSent = 0;
};
