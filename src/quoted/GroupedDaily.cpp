#include "quoted/GroupedDaily.h"

#include "base/ErrorReturn.h"
#include "quoted/TradingCalendar.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QThread>
#include <QTimeZone>
#include <QUrlQuery>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

// A ticker as the quote service can serve it: 1 to 32 printable ASCII
// characters without blanks.
bool servableSymbol(const QByteArray &symbol)
{
    return !symbol.isEmpty() && symbol.size() <= 32
           && std::all_of(symbol.begin(), symbol.end(), [](char c) { return c > ' ' && c < 127; });
}

std::optional<double> number(const QJsonObject &bar, QLatin1StringView key)
{
    const QJsonValue value = bar.value(key);
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        return std::nullopt;
    return value.toDouble();
}

} // namespace

std::optional<QList<DailyBar>> parseGroupedDaily(QByteArrayView json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        fail(error, QStringLiteral("the source sent no JSON answer"));
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QJsonValue results = object.value(QLatin1StringView("results"));
    if (results.isUndefined() || results.isNull()) {
        // "status" is OK (or DELAYED) for a day without bars; anything else
        // is the source saying no.
        const QString status = object.value(QLatin1StringView("status")).toString();
        if (status != u"OK" && status != u"DELAYED") {
            fail(error, QStringLiteral("the source answered with status \"%1\"").arg(status.left(40)));
            return std::nullopt;
        }
        return QList<DailyBar>{};
    }
    if (!results.isArray()) {
        fail(error, QStringLiteral("the source's results are not a list"));
        return std::nullopt;
    }
    const QJsonArray array = results.toArray();
    QList<DailyBar> bars;
    bars.reserve(array.size());
    for (const QJsonValue &value : array) {
        const QJsonObject bar = value.toObject();
        DailyBar out;
        out.symbol = bar.value(QLatin1StringView("T")).toString().toLatin1();
        const std::optional<double> close = number(bar, QLatin1StringView("c"));
        if (!servableSymbol(out.symbol) || !close || *close < 0)
            continue;
        out.close = *close;
        out.open = number(bar, QLatin1StringView("o")).value_or(0);
        out.high = number(bar, QLatin1StringView("h")).value_or(0);
        out.low = number(bar, QLatin1StringView("l")).value_or(0);
        const double volume = number(bar, QLatin1StringView("v")).value_or(0);
        out.volume = volume > 0 && volume < 1e15 ? qint64(std::llround(volume)) : 0;
        bars.append(out);
    }
    return bars;
}

QUrl groupedDailyUrl(const QUrl &base, QDate day)
{
    QUrl url(base);
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + QStringLiteral("/v2/aggs/grouped/locale/us/market/stocks/") + day.toString(Qt::ISODate));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("adjusted"), QStringLiteral("true"));
    query.addQueryItem(QStringLiteral("include_otc"), QStringLiteral("false"));
    url.setQuery(query);
    return url;
}

QuoteSnapshot dailyQuotes(const QList<DailyBar> &day, QDate date, const QList<DailyBar> &previous)
{
    QHash<QByteArray, double> closes;
    closes.reserve(previous.size());
    for (const DailyBar &bar : previous)
        closes.insert(quoteSymbolKey(bar.symbol), bar.close);
    QuoteSnapshot quotes;
    quotes.reserve(day.size());
    for (const DailyBar &bar : day) {
        QuoteLine line;
        line.symbol = bar.symbol;
        line.last = bar.close;
        line.date = date;
        line.time = QTime(16, 0);
        const QByteArray key = quoteSymbolKey(bar.symbol);
        if (const auto it = closes.constFind(key); it != closes.cend())
            line.change = bar.close - *it;
        line.open = bar.open;
        line.high = bar.high;
        line.low = bar.low;
        line.volume = bar.volume;
        quotes.insert(key, line);
    }
    return quotes;
}

GroupedDailySource::GroupedDailySource(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    m_status.source = QStringLiteral("massive");
    const QHostAddress host(m_options.base.host());
    if (m_options.base.host() == u"localhost" || (!host.isNull() && host.isLoopback()))
        m_network.setProxy(QNetworkProxy::NoProxy);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &GroupedDailySource::plan);
}

GroupedDailySource::~GroupedDailySource()
{
    if (m_parser) {
        m_parser->disconnect(this);
        m_parser->wait();
        delete m_parser;
    }
}

void GroupedDailySource::start()
{
    plan();
}

void GroupedDailySource::planAt(const QDateTime &when)
{
    m_nextLook = when;
    const qint64 wait = qBound<qint64>(0, m_options.now().msecsTo(when), qint64(std::numeric_limits<int>::max()));
    m_timer.start(std::chrono::milliseconds(wait));
}

void GroupedDailySource::plan()
{
    if (m_busy)
        return;
    if (m_options.apiKey.isEmpty()) {
        m_status.state = SourceStatus::State::NoKey;
        m_status.reason = QStringLiteral("No API key is set for the Massive quote source.");
        if (!m_reported)
            emit sourceRefused(m_status.reason, QDateTime());
        m_reported = true;
        return;
    }
    const QDateTime now = m_options.now();
    // A refusal named its time; only the timer set for it asks before then.
    if (m_status.retryAt.isValid() && now < m_status.retryAt) {
        planAt(m_status.retryAt);
        return;
    }
    const QDate latest = TradingCalendar::latestCompletedDay(now);
    QDate target = latest;
    QDateTime next = TradingCalendar::sessionClose(TradingCalendar::currentOrNextSession(now))
                         .addMSecs(m_options.afterClose.count());
    // An empty answer for a day that has closed means it is not published
    // yet: the day before is served meanwhile, and the day asked again.
    if (m_days.contains(target) && m_days.value(target).isEmpty()) {
        const QDateTime again = m_askedAt.value(target).addMSecs(m_options.notPublishedRetry.count());
        if (again <= now) {
            m_days.remove(target);
        } else {
            target = TradingCalendar::previousTradingDay(target);
            next = qMin(next, again);
        }
    }
    for (const QDate day : {target, TradingCalendar::previousTradingDay(target)}) {
        if (!m_days.contains(day)) {
            request(day);
            return;
        }
    }
    if (m_served != target && !m_days.value(target).isEmpty())
        serve(target);
    // Only the days the served quotes and the next ones need are kept.
    const QDate oldest = TradingCalendar::previousTradingDay(TradingCalendar::previousTradingDay(latest));
    for (auto it = m_days.begin(); it != m_days.end();) {
        if (it.key() < oldest) {
            m_askedAt.remove(it.key());
            it = m_days.erase(it);
        } else {
            ++it;
        }
    }
    planAt(next);
}

void GroupedDailySource::request(QDate day)
{
    const QDateTime now = m_options.now();
    while (!m_sent.isEmpty() && m_sent.first().secsTo(now) >= 60)
        m_sent.removeFirst();
    if (m_sent.size() >= qMax(1, m_options.perMinute)) {
        planAt(m_sent.first().addSecs(60));
        return;
    }
    QNetworkRequest request(groupedDailyUrl(m_options.base, day));
    request.setRawHeader("Authorization", "Bearer " + m_options.apiKey.toUtf8());
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("tarnvale-quoted"));
    request.setTransferTimeout(int(m_options.timeout.count()));
    m_busy = true;
    m_sent.append(now);
    ++m_requestsSent;
    QNetworkReply *reply = m_network.get(request);
    // A body past the cap is cut off while it streams, never held whole.
    connect(reply, &QNetworkReply::downloadProgress, reply, [this, reply](qint64 received) {
        if (received > m_options.maxBodyBytes) {
            reply->setProperty("tooLarge", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, day] { onReply(reply, day); });
}

void GroupedDailySource::onReply(QNetworkReply *reply, QDate day)
{
    reply->deleteLater();
    m_busy = false;
    // Said last, whichever way the answer is taken in.
    auto ended = qScopeGuard([this] { emit requestEnded(); });
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QDateTime now = m_options.now();
    using State = SourceStatus::State;
    if (reply->property("tooLarge").toBool()) {
        backOff(State::Refused,
                QStringLiteral("The quote source's answer was larger than %1 MB.").arg(m_options.maxBodyBytes >> 20),
                now.addSecs(3600));
        return;
    }
    const QByteArray body = reply->readAll();
    if (const std::optional<SourceRefusal> refusal =
            sourceRefusal(status, body, reply->rawHeader("Retry-After"), now, QTimeZone("America/New_York"))) {
        // Without a time named, a bad key is tried again in an hour, a limit
        // after a minute.
        const qint64 wait = refusal->state == State::Limited ? 60 : 3600;
        QDateTime retryAt = refusal->retryAt.isValid() ? refusal->retryAt : now.addSecs(wait);
        backOff(refusal->state, refusal->reason, retryAt);
        return;
    }
    if (status >= 400 && status < 500) {
        backOff(State::Refused, QStringLiteral("The quote source refused the request (HTTP %1).").arg(status),
                now.addSecs(3600));
        return;
    }
    if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300) {
        const QString why = status >= 500 ? QStringLiteral("HTTP %1").arg(status) : reply->errorString();
        backOff(State::Unreachable, QStringLiteral("The quote source cannot be reached (%1).").arg(why),
                now.addSecs(300));
        return;
    }
    // A whole market's answer is read on a thread of its own, so that no
    // client waits while it is taken apart; requestEnded follows from there.
    ended.dismiss();
    m_busy = true;
    auto parsed = std::make_shared<std::pair<std::optional<QList<DailyBar>>, QString>>();
    m_parser = QThread::create([body, parsed] { parsed->first = parseGroupedDaily(body, &parsed->second); });
    connect(m_parser, &QThread::finished, this, [this, parsed, day, now] {
        m_parser->wait();
        delete m_parser;
        m_parser = nullptr;
        m_busy = false;
        takeIn(day, std::move(parsed->first), parsed->second, now);
        emit requestEnded();
    });
    m_parser->start(QThread::LowPriority);
}

void GroupedDailySource::takeIn(QDate day, std::optional<QList<DailyBar>> bars, const QString &why,
                                const QDateTime &now)
{
    using State = SourceStatus::State;
    if (!bars) {
        backOff(State::Refused, QStringLiteral("The quote source sent no daily bars: %1.").arg(why), now.addSecs(3600));
        return;
    }
    m_days.insert(day, std::move(*bars));
    m_askedAt.insert(day, now);
    m_status.lastSuccess = now;
    m_status.retryAt = QDateTime();
    m_status.state = State::Ok;
    m_status.reason.clear();
    m_reported = false;
    plan();
}

void GroupedDailySource::serve(QDate day)
{
    m_served = day;
    m_status.quotesDate = day;
    emit quotesReady(dailyQuotes(m_days.value(day), day, m_days.value(TradingCalendar::previousTradingDay(day))), day);
}

void GroupedDailySource::backOff(SourceStatus::State state, const QString &reason, const QDateTime &retryAt)
{
    const bool news = !m_reported || state != m_status.state;
    m_status.state = state;
    m_status.reason = reason;
    m_status.retryAt = retryAt;
    if (news)
        emit sourceRefused(reason, retryAt);
    m_reported = true;
    planAt(retryAt);
}
