#include "quoted/GroupedDaily.h"

#include "base/ErrorReturn.h"
#include "history/HistoryStore.h"
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

// The "results" of an answer; an undefined value when the source answered
// well that it has none, nullopt when it did not answer well.
std::optional<QJsonValue> resultsOf(QByteArrayView json, QString *error)
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
        return QJsonValue(QJsonValue::Undefined);
    }
    if (!results.isArray()) {
        fail(error, QStringLiteral("the source's results are not a list"));
        return std::nullopt;
    }
    return results;
}

QString dayList(const QSet<QDate> &days)
{
    QList<QDate> sorted(days.cbegin(), days.cend());
    std::sort(sorted.begin(), sorted.end());
    QStringList texts;
    for (const QDate day : sorted)
        texts.append(day.toString(Qt::ISODate));
    return texts.join(u',');
}

// Runs on the parsing thread, through a store of its own: a store belongs
// to the thread that opened it.
QString storeDay(const QString &path, QDate day, const QList<GroupedBar> &bars)
{
    QString error;
    const std::unique_ptr<HistoryStore> store = HistoryStore::open(path, HistoryStore::Mode::ReadWrite, &error);
    if (!store)
        return error;
    QHash<QString, BarSeries> bySymbol;
    bySymbol.reserve(bars.size());
    for (const GroupedBar &bar : bars)
        bySymbol.insert(
            QString::fromLatin1(quoteSymbolKey(bar.symbol)),
            {DailyBar{day, float(bar.open), float(bar.high), float(bar.low), float(bar.close), bar.volume}});
    store->addBars(bySymbol, &error);
    return error;
}

constexpr QLatin1StringView kStoredDaysKey("grouped-days");

} // namespace

std::optional<QList<GroupedBar>> parseGroupedDaily(QByteArrayView json, QString *error)
{
    const std::optional<QJsonValue> results = resultsOf(json, error);
    if (!results)
        return std::nullopt;
    const QJsonArray array = results->toArray();
    QList<GroupedBar> bars;
    bars.reserve(array.size());
    for (const QJsonValue &value : array) {
        const QJsonObject bar = value.toObject();
        GroupedBar out;
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

std::optional<BarSeries> parseAggregates(QByteArrayView json, QString *error)
{
    const std::optional<QJsonValue> results = resultsOf(json, error);
    if (!results)
        return std::nullopt;
    const QTimeZone zone = TradingCalendar::exchangeZone();
    BarSeries bars;
    for (const QJsonValue &value : results->toArray()) {
        const QJsonObject bar = value.toObject();
        const std::optional<double> t = number(bar, QLatin1StringView("t"));
        const std::optional<double> close = number(bar, QLatin1StringView("c"));
        if (!t || std::abs(*t) > 1e14 || !close || *close < 0)
            continue;
        const auto price = [&bar](const char *key) { return float(number(bar, QLatin1StringView(key)).value_or(0)); };
        const double volume = number(bar, QLatin1StringView("v")).value_or(0);
        DailyBar out{QDateTime::fromMSecsSinceEpoch(qint64(*t), QTimeZone::utc()).toTimeZone(zone).date(),
                     price("o"),
                     price("h"),
                     price("l"),
                     float(*close),
                     volume > 0 && volume < 1e15 ? qint64(std::llround(volume)) : 0};
        // One bar a date, ascending, whatever order the source used.
        if (!bars.empty() && out.date <= bars.back().date) {
            const auto at = std::lower_bound(bars.begin(), bars.end(), out.date,
                                             [](const DailyBar &b, QDate d) { return b.date < d; });
            if (at->date == out.date)
                *at = out;
            else
                bars.insert(at, out);
            continue;
        }
        bars.push_back(out);
    }
    return bars;
}

QUrl aggregatesUrl(const QUrl &base, const QByteArray &symbol, QDate from, QDate to)
{
    QUrl url(base);
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    // The ticker is one path segment whatever it holds.
    url.setPath(path + QStringLiteral("/v2/aggs/ticker/") + QString::fromLatin1(symbol.toPercentEncoding())
                    + QStringLiteral("/range/1/day/") + from.toString(Qt::ISODate) + u'/' + to.toString(Qt::ISODate),
                QUrl::TolerantMode);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("adjusted"), QStringLiteral("true"));
    query.addQueryItem(QStringLiteral("sort"), QStringLiteral("asc"));
    query.addQueryItem(QStringLiteral("limit"), QStringLiteral("50000"));
    url.setQuery(query);
    return url;
}

QuoteSnapshot dailyQuotes(const QList<GroupedBar> &day, QDate date, const QList<GroupedBar> &previous)
{
    QHash<QByteArray, double> closes;
    closes.reserve(previous.size());
    for (const GroupedBar &bar : previous)
        closes.insert(quoteSymbolKey(bar.symbol), bar.close);
    QuoteSnapshot quotes;
    quotes.reserve(day.size());
    for (const GroupedBar &bar : day) {
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
    if (m_options.history) {
        for (const QString &text : m_options.history->state(kStoredDaysKey).split(u',', Qt::SkipEmptyParts))
            if (const QDate day = QDate::fromString(text, Qt::ISODate); day.isValid())
                m_stored.insert(day);
    }
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

void GroupedDailySource::wakeAt(const QDateTime &when)
{
    const qint64 wait = qBound<qint64>(0, m_options.now().msecsTo(when), qint64(std::numeric_limits<int>::max()));
    if (!m_timer.isActive() || m_timer.remainingTime() > wait)
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
    updateBackfill(now);
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
    askMore(now);
}

void GroupedDailySource::askMore(const QDateTime &now)
{
    if (!m_wanted.isEmpty()) {
        const QByteArray symbol = m_wanted.first();
        const QDate today = now.toTimeZone(TradingCalendar::exchangeZone()).date();
        if (QNetworkReply *reply = send(aggregatesUrl(m_options.base, symbol, today.addYears(-2), today), false))
            connect(reply, &QNetworkReply::finished, this, [this, reply, symbol] { onHistoryReply(reply, symbol); });
        return;
    }
    const QDate day = nextBackfillDay();
    // The daily fetch keeps its turn: the backfill leaves it the minute
    // before it looks.
    if (!day.isValid() || (m_nextLook.isValid() && now.secsTo(m_nextLook) < 60))
        return;
    const QDateTime at = m_sent.isEmpty() ? now : m_sent.last().addMSecs(60'000 / qMax(1, m_options.perMinute));
    if (at > now)
        wakeAt(at);
    else
        request(day, true);
}

QNetworkReply *GroupedDailySource::send(const QUrl &url, bool daily)
{
    const QDateTime now = m_options.now();
    while (!m_sent.isEmpty() && m_sent.first().secsTo(now) >= 60)
        m_sent.removeFirst();
    if (m_sent.size() >= qMax(1, m_options.perMinute)) {
        if (daily)
            planAt(m_sent.first().addSecs(60));
        else
            wakeAt(m_sent.first().addSecs(60));
        return nullptr;
    }
    QNetworkRequest request(url);
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
    return reply;
}

void GroupedDailySource::request(QDate day, bool backfill)
{
    if (QNetworkReply *reply = send(groupedDailyUrl(m_options.base, day), !backfill))
        connect(reply, &QNetworkReply::finished, this, [this, reply, day, backfill] { onReply(reply, day, backfill); });
}

std::optional<GroupedDailySource::Failure> GroupedDailySource::failureOf(QNetworkReply *reply, const QByteArray &body,
                                                                         const QDateTime &now) const
{
    using State = SourceStatus::State;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->property("tooLarge").toBool())
        return Failure{
            State::Refused,
            QStringLiteral("The quote source's answer was larger than %1 MB.").arg(m_options.maxBodyBytes >> 20),
            now.addSecs(3600)};
    if (const std::optional<SourceRefusal> refusal =
            sourceRefusal(status, body, reply->rawHeader("Retry-After"), now, QTimeZone("America/New_York"))) {
        // Without a time named, a bad key is tried again in an hour, a limit
        // after a minute.
        const qint64 wait = refusal->state == State::Limited ? 60 : 3600;
        return Failure{refusal->state, refusal->reason,
                       refusal->retryAt.isValid() ? refusal->retryAt : now.addSecs(wait)};
    }
    if (status >= 400 && status < 500)
        return Failure{State::Refused, QStringLiteral("The quote source refused the request (HTTP %1).").arg(status),
                       now.addSecs(3600)};
    if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300) {
        const QString why = status >= 500 ? QStringLiteral("HTTP %1").arg(status) : reply->errorString();
        return Failure{State::Unreachable, QStringLiteral("The quote source cannot be reached (%1).").arg(why),
                       now.addSecs(300)};
    }
    return std::nullopt;
}

void GroupedDailySource::onReply(QNetworkReply *reply, QDate day, bool backfill)
{
    reply->deleteLater();
    m_busy = false;
    // Said last, whichever way the answer is taken in.
    auto ended = qScopeGuard([this] { emit requestEnded(); });
    const QDateTime now = m_options.now();
    const QByteArray body = reply->property("tooLarge").toBool() ? QByteArray() : reply->readAll();
    if (const std::optional<Failure> failure = failureOf(reply, body, now)) {
        backOff(failure->state, failure->reason, failure->retryAt);
        return;
    }
    // A whole market's answer is read, and kept in the history, on a thread
    // of its own, so that no client waits meanwhile; requestEnded follows
    // from there.
    ended.dismiss();
    m_busy = true;
    struct Parsed
    {
        std::optional<QList<GroupedBar>> bars;
        QString why;
        bool keep = false;
        QString storeError;
    };
    auto parsed = std::make_shared<Parsed>();
    parsed->keep = m_options.history && !m_stored.contains(day);
    m_parser = QThread::create([body, parsed, day, path = parsed->keep ? m_options.history->path() : QString()] {
        parsed->bars = parseGroupedDaily(body, &parsed->why);
        parsed->keep = parsed->keep && parsed->bars && !parsed->bars->isEmpty();
        if (parsed->keep)
            parsed->storeError = storeDay(path, day, *parsed->bars);
    });
    connect(m_parser, &QThread::finished, this, [this, parsed, day, now, backfill] {
        m_parser->wait();
        delete m_parser;
        m_parser = nullptr;
        m_busy = false;
        if (parsed->keep) {
            if (parsed->storeError.isEmpty())
                markStored(day);
            else
                m_backfillStopped = true; // asking on would only fail again
            emit dayStored(day, parsed->storeError);
        } else if (backfill && parsed->bars && parsed->bars->isEmpty()) {
            markStored(day); // a past day on which nothing traded
        }
        takeIn(day, std::move(parsed->bars), parsed->why, now, backfill);
        emit requestEnded();
    });
    m_parser->start(QThread::LowPriority);
}

void GroupedDailySource::onHistoryReply(QNetworkReply *reply, const QByteArray &symbol)
{
    reply->deleteLater();
    m_busy = false;
    m_wanted.removeAll(symbol);
    const QDateTime now = m_options.now();
    const QByteArray body = reply->property("tooLarge").toBool() ? QByteArray() : reply->readAll();
    FetchedHistory history;
    if (const std::optional<Failure> failure = failureOf(reply, body, now)) {
        history.state = failure->state;
        history.reason = failure->reason;
        // A bad key or the limit holds for every request; a fault of this
        // one does not.
        if (failure->state == SourceStatus::State::Unauthorized || failure->state == SourceStatus::State::Limited)
            backOff(failure->state, failure->reason, failure->retryAt);
    } else {
        QString why;
        history.bars = parseAggregates(body, &why);
        if (!history.bars) {
            history.state = SourceStatus::State::Refused;
            history.reason = QStringLiteral("The quote source sent no daily bars: %1.").arg(why);
        }
    }
    emit historyFetched(symbol, history);
    emit requestEnded();
    plan();
}

void GroupedDailySource::takeIn(QDate day, std::optional<QList<GroupedBar>> bars, const QString &why,
                                const QDateTime &now, bool backfill)
{
    using State = SourceStatus::State;
    if (!bars) {
        backOff(State::Refused, QStringLiteral("The quote source sent no daily bars: %1.").arg(why), now.addSecs(3600));
        return;
    }
    // A backfilled day is in the history now; only the served quotes' days
    // stay in memory.
    if (!backfill) {
        m_days.insert(day, std::move(*bars));
        m_askedAt.insert(day, now);
    }
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
    // Clients waiting for a history hear the refusal now, not in an hour.
    for (const QByteArray &symbol : std::exchange(m_wanted, {}))
        emit historyFetched(symbol, FetchedHistory{std::nullopt, state, reason});
}

bool GroupedDailySource::fetchHistory(const QByteArray &symbol)
{
    if (m_options.apiKey.isEmpty() || (m_status.retryAt.isValid() && m_options.now() < m_status.retryAt))
        return false;
    if (!m_wanted.contains(symbol))
        m_wanted.append(symbol);
    plan();
    return true;
}

void GroupedDailySource::markStored(QDate day)
{
    m_stored.insert(day);
    updateBackfill(m_options.now());
    // Days before the backfill's reach (or the last weeks' without one) are
    // no longer counted or kept.
    const QDate from = m_status.backfill ? m_status.backfill->from : day.addDays(-14);
    m_stored.removeIf([from](QDate d) { return d < from; });
    QString error;
    if (!m_options.history->setState(kStoredDaysKey, dayList(m_stored), &error))
        emit dayStored(day, error);
}

QDate GroupedDailySource::nextBackfillDay() const
{
    if (!m_status.backfill || m_backfillStopped)
        return {};
    for (QDate day = m_status.backfill->to; day >= m_status.backfill->from;
         day = TradingCalendar::previousTradingDay(day)) {
        // The days the quotes are served from are the daily fetch's own.
        if (!m_stored.contains(day) && !m_days.contains(day))
            return day;
    }
    return {};
}

void GroupedDailySource::updateBackfill(const QDateTime &now)
{
    if (!m_options.history || m_options.backfillDays <= 0) {
        m_status.backfill.reset();
        return;
    }
    SourceStatus::Backfill backfill;
    backfill.to = TradingCalendar::latestCompletedDay(now);
    const QDate reach = now.toTimeZone(TradingCalendar::exchangeZone()).date().addDays(-m_options.backfillDays);
    backfill.from = TradingCalendar::isTradingDay(reach) ? reach : TradingCalendar::nextTradingDay(reach);
    for (QDate day = backfill.from; day <= backfill.to; day = TradingCalendar::nextTradingDay(day)) {
        ++backfill.days;
        backfill.done += m_stored.contains(day) ? 1 : 0;
    }
    m_status.backfill = backfill;
}
