#include "quoted/UpstreamQuotes.h"

#include "base/Text.h"
#include "quoted/TradingCalendar.h"
#include "quoted/UpstreamCsv.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <limits>

namespace {

// How long a miss waits for others to join its request.
constexpr std::chrono::milliseconds kGather{20};
constexpr std::chrono::milliseconds kStateSaveDelay{2000};
// A day the source has not published yet is asked for again no sooner.
constexpr qint64 kRecheckMs = 15 * 60'000;
// A refusal that names no time to come back waits this long, doubled with
// each refusal in a row up to the most; one that does is kept within bounds.
constexpr qint64 kRefusalWaitMs = 15 * 60'000;
constexpr qint64 kMostRefusalWaitMs = 6 * 3600'000;
constexpr qint64 kShortestRetryAfterMs = 10'000;
constexpr qint64 kLongestRetryAfterMs = 24 * 3600'000;
// Set on a reply cut off for running past the size cap.
constexpr const char *kOverCapProperty = "tarnvaleOverCap";

bool isLoopback(const QUrl &url)
{
    const QString host = url.host();
    return host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback();
}

} // namespace

UpstreamQuotes::UpstreamQuotes(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    m_options.batch = qBound(1, m_options.batch, MaxBatch);
    m_options.maxInflight = qMax(1, m_options.maxInflight);
    m_status.source = m_options.source;
    m_status.reason = QStringLiteral("The quote source has not been asked yet.");
    // A source on this machine is never reached through a proxy.
    if (isLoopback(m_options.url))
        m_network.setProxy(QNetworkProxy::NoProxy);

    m_pump.setSingleShot(true);
    connect(&m_pump, &QTimer::timeout, this, &UpstreamQuotes::pump);
    m_refresh.setInterval(qMax(std::chrono::milliseconds(1000), m_options.refresh / 4));
    connect(&m_refresh, &QTimer::timeout, this, &UpstreamQuotes::fetchDue);
    m_refresh.start();
    m_stateSave.setSingleShot(true);
    m_stateSave.setInterval(kStateSaveDelay);
    connect(&m_stateSave, &QTimer::timeout, this, &UpstreamQuotes::saveState);

    if (!m_options.statePath.isEmpty()) {
        QString why;
        if (std::optional<CloseHistory> history = CloseHistory::load(m_options.statePath, &why)) {
            m_history = std::move(*history);
        } else {
            // Never write over a file that could not be read.
            m_stateWritable = false;
            m_stateError = QStringLiteral("%1: %2; closes are kept in memory only").arg(m_options.statePath, why);
        }
    }
}

UpstreamQuotes::~UpstreamQuotes()
{
    saveState();
}

UpstreamQuotes::Answer UpstreamQuotes::lookUp(QByteArrayView symbol)
{
    const QByteArray key = quoteSymbolKey(symbol);
    const auto it = m_cache.constFind(key);
    if (it != m_cache.cend() && !due(*it, m_options.refresh.count()))
        return {Status::Ready, lineFor(symbol, *it)};
    if (holdingOff() || heldBack(key)) {
        if (it != m_cache.cend())
            return {Status::Ready, lineFor(symbol, *it)}; // older than wished, but what there is
        return {Status::Unavailable, {}};
    }
    if (!want(key, true))
        return {Status::Ready, lineFor(symbol, m_cache.value(key))};
    return {Status::Waiting, {}};
}

void UpstreamQuotes::unwanted(QByteArrayView symbol)
{
    const QByteArray key = quoteSymbolKey(symbol);
    if (!m_keptSet.contains(key) && m_urgent.removeOne(key))
        m_queued.remove(key);
}

void UpstreamQuotes::setKeptSymbols(const QList<QByteArray> &symbols)
{
    QSet<QByteArray> kept;
    m_kept.clear();
    for (const QByteArray &symbol : symbols) {
        const QByteArray key = quoteSymbolKey(symbol);
        if (!key.isEmpty() && !kept.contains(key)) {
            kept.insert(key);
            m_kept.append(key);
        }
    }
    m_keptSet = kept;
    // Symbols no longer listed are not fetched ahead any more.
    m_background.removeIf([&](const QByteArray &key) {
        if (kept.contains(key))
            return false;
        m_queued.remove(key);
        return true;
    });
    fetchDue();
}

qint64 UpstreamQuotes::now() const
{
    return m_options.clock().toMSecsSinceEpoch();
}

UpstreamQuotes::Schedule UpstreamQuotes::scheduleAt(qint64 fetchedAt) const
{
    using namespace TradingCalendar;
    const qint64 delay = m_options.sourceDelay.count();
    const QDateTime shown = QDateTime::fromMSecsSinceEpoch(fetchedAt - delay, QTimeZone::utc());
    const QDate session = currentOrNextSession(shown);
    Schedule s;
    s.fetchedAt = fetchedAt;
    s.sessionStart = sessionOpen(session).toMSecsSinceEpoch() + delay;
    s.sessionEnd = sessionClose(session).toMSecsSinceEpoch() + delay;
    s.completed = latestCompletedDay(shown);
    // The longer the day has been missing, the longer until the next try.
    const qint64 sinceClose = fetchedAt - (sessionClose(s.completed).toMSecsSinceEpoch() + delay);
    s.recheck = fetchedAt + qMax(kRecheckMs, sinceClose);
    return s;
}

bool UpstreamQuotes::due(const Entry &entry, qint64 maxAge) const
{
    const qint64 t = now();
    const Schedule &s = entry.schedule;
    if (t >= s.sessionEnd)
        return true; // the close, and for an unknown symbol a new trading day
    if (!entry.known)
        return false;
    if (t >= s.sessionStart)
        return t - s.fetchedAt >= maxAge;
    return t >= entry.recheckAt;
}

bool UpstreamQuotes::holdingOff() const
{
    return qMax(m_downUntil, m_refusedUntil) > now();
}

bool UpstreamQuotes::heldBack(const QByteArray &key) const
{
    return m_heldBack.value(key) > now();
}

bool UpstreamQuotes::want(const QByteArray &key, bool urgent)
{
    if (upstreamName(key, m_options.suffix).isEmpty()) {
        // Never sent, so it cannot spoil the batch it would have joined.
        store(key, UpstreamQuote{}, scheduleAt(now()));
        return false;
    }
    if (m_inflight.contains(key) || heldBack(key))
        return true;
    if (m_queued.contains(key)) {
        if (urgent && m_background.removeOne(key))
            m_urgent.append(key);
    } else {
        (urgent ? m_urgent : m_background).append(key);
        m_queued.insert(key);
    }
    schedulePump(urgent ? kGather : std::chrono::milliseconds(0));
    return true;
}

void UpstreamQuotes::schedulePump(std::chrono::milliseconds delay)
{
    if (m_pump.isActive() && m_pump.remainingTime() <= delay.count())
        return;
    m_pump.start(delay);
}

void UpstreamQuotes::pump()
{
    if (holdingOff()) {
        if (!m_urgent.isEmpty() || !m_background.isEmpty())
            schedulePump(std::chrono::milliseconds(qMax(m_downUntil, m_refusedUntil) - now()));
        return;
    }
    while (m_active < m_options.maxInflight && (!m_urgent.isEmpty() || !m_background.isEmpty())) {
        Batch batch;
        qsizetype urlRoom = kMaxUpstreamUrlBytes - upstreamUrl(m_options.url, {}).toEncoded().size();
        // Waiting clients first; the rest of the batch is filled from the
        // symbols due for a refresh, which costs nothing extra.
        for (QList<QByteArray> *queue : {&m_urgent, &m_background}) {
            while (batch.keys.size() < m_options.batch && !queue->isEmpty()) {
                const qsizetype cost = upstreamUrlCost(upstreamName(queue->first(), m_options.suffix));
                if (cost >= urlRoom && !batch.keys.isEmpty())
                    break;
                urlRoom -= cost;
                const QByteArray key = queue->takeFirst();
                m_queued.remove(key);
                m_inflight.insert(key);
                batch.keys.append(key);
            }
        }
        ++m_active;
        send(batch);
    }
}

void UpstreamQuotes::send(Batch batch)
{
    batch.sentAt = now();
    QList<QByteArray> names; // BRK.B and BRK-B are one name to the source
    for (const QByteArray &key : batch.keys) {
        const QByteArray name = upstreamName(key, m_options.suffix);
        if (!names.contains(name))
            names.append(name);
    }
    const QUrl url = upstreamUrl(m_options.url, names);
    if (!url.isValid()) {
        // Deferred, as a reply would be: the callers expect no answer yet.
        QTimer::singleShot(0, this, [this, batch] { endBatch(batch, true); });
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_options.timeout.count()));
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("tarnvale-quoted"));
    ++m_requestsSent;
    QNetworkReply *reply = m_network.get(request);
    // The transfer time-out above only notices silence; this bounds a
    // source that trickles its answer too.
    QTimer::singleShot(m_options.timeout, reply, [reply] { reply->abort(); });
    // An answer is cut off as soon as it runs past its cap, so a huge one is
    // never held whole: the read buffer stops at one byte over the cap, and
    // every arrival is checked (progress signals come too seldom for that).
    const qint64 cap = upstreamBodyCap(batch.keys.size());
    reply->setReadBufferSize(cap + 1);
    const auto checkCap = [reply, cap] {
        if (reply->bytesAvailable() > cap || reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > cap) {
            reply->setProperty(kOverCapProperty, true);
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, checkCap);
    connect(reply, &QNetworkReply::readyRead, reply, checkCap);
    connect(reply, &QNetworkReply::finished, this, [this, reply, batch] { onReply(reply, batch); });
}

void UpstreamQuotes::onReply(QNetworkReply *reply, Batch batch)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool overCap = reply->property(kOverCapProperty).toBool();
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray(); // closed when aborted
    if (overCap) {
        markDown(QStringLiteral("the answer ran past %1 bytes").arg(upstreamBodyCap(batch.keys.size())));
        endBatch(batch);
        return;
    }
    if (const std::optional<SourceRefusal> refusal =
            sourceRefusal(status, body, reply->rawHeader("Retry-After"), m_options.clock(), m_options.sourceZone)) {
        refuse(*refusal);
        endBatch(batch);
        return;
    }
    QString why;
    bool retry = false;
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        const std::optional<QList<UpstreamQuote>> quotes = parseUpstreamCsv(body, &why);
        const Schedule schedule = scheduleAt(now());
        // The source echoes its own spelling (BRK-B.US); the answer goes to
        // every symbol asked for under that name, in the client's spelling.
        QHash<QByteArray, QList<QByteArray>> keysByName;
        for (const QByteArray &key : std::as_const(batch.keys))
            keysByName[upstreamName(key, m_options.suffix)].append(key);
        QSet<QByteArray> asked(batch.keys.cbegin(), batch.keys.cend());
        for (const UpstreamQuote &quote : quotes ? *quotes : QList<UpstreamQuote>()) {
            for (const QByteArray &key : keysByName.value(quote.symbol.trimmed().toLower())) {
                if (asked.remove(key))
                    store(key, quote, schedule);
            }
        }
        // An answer that names none of them is not the source saying it
        // knows none of them: the cache stays as it was.
        if (quotes && asked.size() == batch.keys.size()) {
            why = QStringLiteral("the answer named none of the %1 symbols asked for").arg(batch.keys.size());
        } else if (quotes) {
            for (const QByteArray &key : std::as_const(asked))
                store(key, UpstreamQuote{}, schedule); // left out of the answer: not known to the source
            m_status.lastSuccess = QDateTime::fromMSecsSinceEpoch(schedule.fetchedAt, QTimeZone::utc());
            // An answer to a request sent before a refusal says nothing of it.
            if (batch.sentAt >= m_refusedAt)
                cameBack();
            --m_active;
            for (const QByteArray &key : std::as_const(batch.keys))
                m_inflight.remove(key);
            for (const QByteArray &key : std::as_const(batch.keys))
                emit resolved(key);
            schedulePump(std::chrono::milliseconds(0));
            return;
        }
        // A notice or a web page in place of the table will not change by
        // asking again at once.
    } else if (status >= 400 && status < 500 && status != 407) {
        // Something in this request (its length, one symbol) displeased the
        // source; the other batches may well be answered. Refusals of the
        // service itself were told apart above.
        endBatch(batch, true);
        return;
    } else if (status >= 400 && status < 500) {
        why = QStringLiteral("HTTP %1").arg(status);
    } else {
        retry = true;
        // Qt's error text quotes the source's own reason phrase.
        why = status >= 500 ? QStringLiteral("HTTP %1").arg(status) : printable(reply->errorString().toUtf8());
        if (reply->error() == QNetworkReply::OperationCanceledError)
            why = QStringLiteral("no answer within %1 s").arg(m_options.timeout.count() / 1000.0);
    }
    if (retry && batch.attempt <= m_options.backOff.size()) {
        if (reply->error() == QNetworkReply::OperationCanceledError) {
            // A source that does not answer in time will most likely not
            // answer the retries either: clients are not kept waiting for
            // them. Those with nothing cached are let go now, as by a dead
            // service, while the retries go on and fill the cache.
            m_downUntil = now() + m_options.downHold.count();
            for (const QByteArray &key : std::as_const(batch.keys))
                emit resolved(key);
        }
        const std::chrono::milliseconds pause = m_options.backOff[batch.attempt - 1];
        ++batch.attempt;
        QTimer::singleShot(pause, this, [this, batch] { send(batch); });
        return;
    }
    markDown(why);
    endBatch(batch);
}

void UpstreamQuotes::store(const QByteArray &key, const UpstreamQuote &quote, const Schedule &schedule)
{
    m_heldBack.remove(key);
    Entry entry;
    entry.schedule = schedule;
    entry.known = quote.known();
    if (entry.known) {
        entry.quote = quote.line(key);
        QuoteLine &line = entry.quote;
        std::optional<double> previous = quote.previousClose;
        if (!previous && quote.date.isValid())
            previous = m_history.previousClose(key, quote.date);
        if (previous)
            line.change = *quote.close - *previous;
        // Only a price seen after its day's close is that day's close; one
        // seen during the session would give tomorrow a false change.
        const bool closed = quote.date.isValid() && quote.date <= schedule.completed;
        if (closed && m_history.record(key, quote.date, *quote.close)) {
            m_stateDirty = true;
            if (!m_stateSave.isActive())
                m_stateSave.start();
        }
        entry.recheckAt = quote.date < schedule.completed ? schedule.recheck : std::numeric_limits<qint64>::max();
        if (quote.date.isValid() && (!m_status.quotesDate.isValid() || quote.date > m_status.quotesDate))
            m_status.quotesDate = quote.date;
    }
    entry.line = entry.known ? entry.quote.format() : QuoteLine::unknown(key);
    // Symbols asked for outside the watched markets are kept in bounds,
    // whoever asks for how many.
    if (!m_keptSet.contains(key) && !m_cache.contains(key)) {
        m_unwatched.append(key);
        while (m_unwatched.size() > qMax(1, m_options.maxUnwatched)) {
            const QByteArray oldest = m_unwatched.takeFirst();
            if (!m_keptSet.contains(oldest))
                m_cache.remove(oldest);
        }
    }
    m_cache.insert(key, entry);
}

void UpstreamQuotes::endBatch(const Batch &batch, bool holdBack)
{
    --m_active;
    if (holdBack) {
        const qint64 until = now() + m_options.downHold.count();
        for (const QByteArray &key : batch.keys)
            m_heldBack.insert(key, until);
    }
    for (const QByteArray &key : batch.keys)
        m_inflight.remove(key);
    for (const QByteArray &key : batch.keys)
        emit resolved(key);
    // Symbols fetched ahead go back in line for when the source is tried
    // again; those held back come back with the refresh after their hold.
    for (const QByteArray &key : batch.keys) {
        if (!holdBack && !m_queued.contains(key) && m_keptSet.contains(key)) {
            m_background.append(key);
            m_queued.insert(key);
        }
    }
    schedulePump(std::chrono::milliseconds(0));
}

void UpstreamQuotes::markDown(const QString &why)
{
    m_downUntil = now() + m_options.downHold.count();
    m_status.state = SourceStatus::State::Unreachable;
    m_status.reason = QStringLiteral("The quote source cannot be reached (%1).").arg(why);
    m_status.retryAt = QDateTime::fromMSecsSinceEpoch(m_downUntil, QTimeZone::utc());
    if (m_down)
        return;
    m_down = true;
    emit sourceWentDown(why);
}

void UpstreamQuotes::refuse(const SourceRefusal &refusal)
{
    const qint64 t = now();
    if (m_refusedUntil > t && m_status.state == refusal.state)
        return; // another request that was under way: the same refusal
    qint64 until = 0;
    if (refusal.retryAt.isValid()) {
        until = qBound(t + kShortestRetryAfterMs, refusal.retryAt.toMSecsSinceEpoch(), t + kLongestRetryAfterMs);
    } else {
        qint64 wait = kRefusalWaitMs;
        for (int i = 0; i < m_refusalsInARow && wait < kMostRefusalWaitMs; ++i)
            wait *= 2;
        until = t + qMin(wait, kMostRefusalWaitMs);
    }
    ++m_refusalsInARow;
    m_refusedAt = t;
    m_refusedUntil = until;
    const bool news = m_status.state != refusal.state || m_status.reason != refusal.reason;
    m_status.state = refusal.state;
    m_status.reason = refusal.reason;
    m_status.retryAt = QDateTime::fromMSecsSinceEpoch(until, QTimeZone::utc());
    if (news)
        emit sourceRefused(refusal.reason, m_status.retryAt);
}

void UpstreamQuotes::cameBack()
{
    m_downUntil = 0;
    m_refusedUntil = 0;
    m_refusalsInARow = 0;
    const bool wasAway = m_down || m_status.state != SourceStatus::State::Ok;
    m_down = false;
    m_status.state = SourceStatus::State::Ok;
    m_status.reason = QStringLiteral("The quote source answers.");
    m_status.retryAt = {};
    if (wasAway)
        emit sourceCameBack();
}

SourceStatus UpstreamQuotes::status() const
{
    SourceStatus status = m_status;
    if (!holdingOff())
        status.retryAt = {};
    return status;
}

void UpstreamQuotes::fetchDue()
{
    // Due a little before they go stale, so a client rarely waits.
    const qint64 dueAge = m_options.refresh.count() * 3 / 4;
    for (const QByteArray &key : std::as_const(m_kept)) {
        const auto it = m_cache.constFind(key);
        if (it == m_cache.cend() || due(*it, dueAge))
            want(key, false);
    }
}

QByteArray UpstreamQuotes::lineFor(QByteArrayView symbol, const Entry &entry) const
{
    if (symbol == entry.quote.symbol || (!entry.known && symbol == quoteSymbolKey(symbol)))
        return entry.line;
    if (!entry.known)
        return QuoteLine::unknown(symbol);
    QuoteLine line = entry.quote;
    line.symbol = symbol.toByteArray();
    return line.format();
}

void UpstreamQuotes::saveState()
{
    m_stateSave.stop();
    if (m_options.statePath.isEmpty() || !m_stateWritable || !m_stateDirty)
        return;
    QString why;
    if (m_history.save(m_options.statePath, &why))
        m_stateDirty = false;
    else
        emit stateProblem(QStringLiteral("%1: %2").arg(m_options.statePath, why));
}
