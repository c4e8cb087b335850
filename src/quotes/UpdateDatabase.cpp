#include "quotes/UpdateDatabase.h"

#include "market/MarketStore.h"

UpdateDatabase::UpdateDatabase(MarketStore &store, const QuoteHost &host, QObject *parent)
    : QObject(parent), m_store(store), m_host(host)
{
    m_saver = [this] { return m_store.SaveDatabase(); };
    connect(&m_fetch, &QuoteFetch::finished, this, &UpdateDatabase::onFetched);
}

void UpdateDatabase::start()
{
    if (m_running)
        return;
    m_running = true;
    m_result = Result{};
    m_index = 0;
    m_requested = 0;
    m_unanswered = 0;
    const quint64 generation = ++m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation && m_running)
                next();
        },
        Qt::QueuedConnection);
}

void UpdateDatabase::next()
{
    const MarketDatabase &db = m_store.database();
    // Records with an empty symbol are passed over without a request.
    while (m_index < db.listedCount() && db.Stocks[m_index].Symbol.isEmpty())
        ++m_index;
    if (m_index >= db.listedCount()) {
        end(Ending::Completed);
        return;
    }
    ++m_requested;
    m_fetch.fetch(m_host, db.Stocks[m_index].Symbol);
}

void UpdateDatabase::onFetched(const QuoteFetch::Result &fetched)
{
    if (!m_running)
        return;
    MarketDatabase &db = m_store.database();
    if (m_index >= db.listedCount()) {
        end(Ending::Completed);
        return;
    }
    if (fetched.quote) {
        storeQuote(*fetched.quote, db.Stocks[m_index]);
        ++m_result.refreshed;
    } else {
        m_result.skipped.append(fetched.symbol);
    }
    m_unanswered = fetched.answered ? 0 : m_unanswered + 1;
    emit progress(progressPercent(m_index, db.listedCount()), fetched.symbol);
    if (!m_running)
        return;
    if (m_unanswered > 0 && (m_requested == 1 || m_unanswered >= UnansweredInARow)) {
        end(Ending::Unreachable);
        return;
    }
    ++m_index;
    // Every reply comes in through the event loop, so the window stays alive
    // between symbols without a pause of its own.
    next();
}

void UpdateDatabase::cancel()
{
    if (!m_running)
        return;
    m_fetch.cancel();
    end(Ending::Stopped);
}

void UpdateDatabase::end(Ending ending)
{
    ++m_generation;
    m_running = false;
    m_result.ending = ending;
    // The date says when the quotes were last refreshed: an update that
    // refreshed none leaves it, and the file, as they were.
    if (m_result.refreshed > 0) {
        if (ending == Ending::Completed)
            m_store.database().LastUpdate = dateToMarketDate(QDate::currentDate());
        m_result.saved = m_saver();
    }
    emit finished(m_result);
}

int UpdateDatabase::progressPercent(qsizetype index, qsizetype count)
{
    if (count <= 0)
        return 0;
    // Exact integer arithmetic, so 12.5 really is a half.
    const qint64 scaled = qint64(index + 1) * 100;
    qint64 percent = scaled / count;
    const qint64 twiceRest = 2 * (scaled % count);
    if (twiceRest > count || (twiceRest == count && percent % 2 != 0))
        ++percent;
    return int(percent);
}

QString UpdateDatabase::progressCaption(int percent, const QString &symbol)
{
    return QStringLiteral("Updating: ") + QString::number(percent) + QStringLiteral("%\r\nUpdating: ") + symbol;
}

QString UpdateDatabase::completionMessage(const Result &result)
{
    QString text = QString::fromLatin1(UpdateCompletedMessage);
    if (result.refreshed == 0)
        text += QStringLiteral("\n\nNo quote was refreshed, so the date of the last update stays as it was.");
    if (result.skipped.isEmpty())
        return text;
    const qsizetype count = result.skipped.size();
    QStringList named;
    for (qsizetype i = 0; i < qMin(count, NamedSkipped); ++i)
        named.append(u'"' + result.skipped[i] + u'"');
    text += count == 1 ? QStringLiteral("\n\n1 symbol could not be updated: ")
                       : QStringLiteral("\n\n%1 symbols could not be updated: ").arg(count);
    text += named.join(QStringLiteral(", "));
    if (count > NamedSkipped)
        text += QStringLiteral(" and %1 more").arg(count - NamedSkipped);
    text += u'.';
    return text;
}
