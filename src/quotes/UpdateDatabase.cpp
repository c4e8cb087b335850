#include "quotes/UpdateDatabase.h"

#include "market/MarketStore.h"
#include "quotes/QuoteReply.h"

#include <QHash>
#include <QLocale>

UpdateDatabase::UpdateDatabase(MarketStore &store, const QuoteHost &host, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_host(host)
{
    m_saver = [this](const MarketStore::Change &change) { return m_store.saveChange(change); };
    connect(&m_fetch, &QuoteFetch::finished, this, &UpdateDatabase::onFetched);
    connect(&m_status, &ServiceStatusQuery::finished, this, [this](const std::optional<ServiceStatus> &status) {
        m_result.sourceReason = status ? statusExplanation(*status) : QString();
        emit finished(m_result);
    });
}

void UpdateDatabase::start()
{
    if (m_running)
        return;
    m_running = true;
    m_result = Result{};
    m_stored.clear();
    m_symbols.clear();
    m_occurrence.clear();
    const MarketDatabase &db = m_store.database();
    QHash<QString, int> seen;
    for (qsizetype i = 0; i < db.listedCount(); ++i) {
        m_symbols.append(db.Stocks[i].Symbol);
        m_occurrence.append(++seen[db.Stocks[i].Symbol]);
    }
    for (qsizetype i = 0; i < m_symbols.size(); ++i) {
        if (seen.value(m_symbols[i]) == 1)
            m_occurrence[i] = 0;
    }
    m_index = 0;
    m_shift = 0;
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
    // Records with an empty symbol, and symbols no longer listed, are passed
    // over without a request.
    while (m_index < m_symbols.size() && (m_symbols[m_index].isEmpty() || locate(m_index) < 0))
        ++m_index;
    if (m_index >= m_symbols.size()) {
        end(Ending::Completed);
        return;
    }
    ++m_requested;
    m_fetch.fetch(m_host, m_symbols[m_index]);
}

qsizetype UpdateDatabase::locate(qsizetype i)
{
    const QString &symbol = m_symbols[i];
    const MarketDatabase &db = m_store.database();
    const qsizetype guess = i + m_shift;
    // A symbol listed more than once is always counted out, as the guess may
    // hit its other record.
    if (m_occurrence[i] == 0 && guess >= 0 && guess < db.listedCount() && db.Stocks[guess].Symbol == symbol)
        return guess;
    // The list changed under the update. Removing keeps the order of the
    // rest, and a symbol is removed with every record of it, so the record
    // is the same occurrence of its symbol as at the start.
    int occurrence = qMax(m_occurrence[i], 1);
    for (qsizetype k = 0; k < db.listedCount(); ++k) {
        if (db.Stocks[k].Symbol == symbol && --occurrence == 0) {
            m_shift = k - i;
            return k;
        }
    }
    return -1;
}

void UpdateDatabase::onFetched(const QuoteFetch::Result &fetched)
{
    if (!m_running)
        return;
    // Stored by the symbol asked for, never by position alone: the record
    // that held it may have moved, or gone.
    const qsizetype record = locate(m_index);
    if (record >= 0 && fetched.quote) {
        storeQuote(*fetched.quote, m_store.database().Stocks[record]);
        m_stored.append({fetched.symbol, *fetched.quote});
        ++m_result.refreshed;
        if (fetched.tradeDate > m_result.quotesDate) // an invalid date is before every other
            m_result.quotesDate = fetched.tradeDate;
    } else if (record >= 0) {
        m_result.skipped.append(fetched.symbol);
    }
    m_unanswered = fetched.answered ? 0 : m_unanswered + 1;
    emit progress(progressPercent(m_index, m_symbols.size()), fetched.symbol);
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
        const double today = dateToMarketDate(QDate::currentDate());
        const bool dated = ending == Ending::Completed;
        m_result.saved = m_saver([stored = m_stored, today, dated](MarketDatabase &db) {
            for (const auto &[symbol, quote] : stored) {
                for (qsizetype i = 0; i < db.listedCount(); ++i) {
                    if (db.Stocks[i].Symbol == symbol)
                        storeQuote(quote, db.Stocks[i]);
                }
            }
            if (dated)
                db.LastUpdate = today;
        });
    }
    // A service that is there but cannot get quotes says why; the message
    // waits for that answer, a short one at most.
    if (ending == Ending::Unreachable && isLocalHost(m_host)) {
        m_status.ask(m_host);
        return;
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
    if (result.refreshed > 0 && result.quotesDate.isValid())
        text += QStringLiteral("\n\nThe quotes stored are of %1.")
                    .arg(QLocale().toString(result.quotesDate, QLocale::LongFormat));
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
