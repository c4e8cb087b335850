#include "quoted/HistoryService.h"

#include "history/HistoryCsv.h"
#include "history/HistoryStore.h"
#include "quoted/QuoteLine.h"
#include "quoted/ServiceRequest.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

HistoryService::HistoryService(QObject *parent)
    : QObject(parent)
{}

HistoryService::~HistoryService()
{
    if (m_builder) {
        m_builder->disconnect(this);
        m_builder->wait();
        delete m_builder;
    }
}

bool HistoryService::open(const QString &path, QString *error)
{
    QString why;
    QDir().mkpath(QFileInfo(path).absolutePath());
    m_store = HistoryStore::open(path, HistoryStore::Mode::ReadWrite, &why);
    m_error = m_store ? QString() : QStringLiteral("The price history cannot be used: %1").arg(why);
    if (!m_error.isEmpty() && !m_error.endsWith(u'.'))
        m_error += u'.';
    if (error)
        *error = m_error;
    return m_store != nullptr;
}

void HistoryService::setSource(GroupedDailySource *source)
{
    if (m_source)
        m_source->disconnect(this);
    m_source = source;
    // Clients of the source that went hear so now, not at their time-out.
    const QHash<QString, QList<Waiting>> orphans = std::exchange(m_fetching, {});
    for (const QList<Waiting> &waiting : orphans)
        for (const Waiting &client : waiting)
            client.answer(httpError("503 Service Unavailable", "The quote source changed while it was asked."));
    if (!m_source)
        return;
    connect(m_source, &GroupedDailySource::historyFetched, this, &HistoryService::fetched);
    connect(m_source, &GroupedDailySource::dayStored, this, [this](QDate, const QString &error) {
        if (error.isEmpty())
            storeChanged();
    });
}

QByteArray HistoryService::unavailable() const
{
    return httpError("503 Service Unavailable", m_error.toUtf8());
}

QByteArray HistoryService::historyAnswer(const QString &symbol, QDate from) const
{
    return httpResponse("200 OK", "text/csv", historyCsv(m_store->bars(symbol, from)));
}

void HistoryService::history(const QByteArray &symbol, QDate from, Answer answer)
{
    if (!m_store)
        return answer(unavailable());
    const QString key = QString::fromLatin1(quoteSymbolKey(symbol));
    if (m_store->hasBars(key))
        return answer(historyAnswer(key, from));
    if (!m_source)
        return answer(httpError("404 Not Found", "No price history of " + key.toLatin1()
                                                     + " is stored, and no keyed quote source is set to fetch it."));
    QList<Waiting> &waiting = m_fetching[key];
    waiting.append({from, std::move(answer)});
    if (waiting.size() == 1 && !m_source->fetchHistory(key.toLatin1())) {
        const SourceStatus &status = m_source->status();
        FetchedHistory refused;
        refused.state = status.state;
        refused.reason = status.reason;
        fetched(key.toLatin1(), refused);
    }
}

void HistoryService::fetched(const QByteArray &symbol, const FetchedHistory &fetched)
{
    const QString key = QString::fromLatin1(symbol);
    const QList<Waiting> waiting = m_fetching.take(key);
    if (!fetched.bars) {
        const QByteArray status =
            fetched.state == SourceStatus::State::Limited ? "503 Service Unavailable" : "502 Bad Gateway";
        for (const Waiting &client : waiting)
            client.answer(httpError(status, fetched.reason.toUtf8()));
        return;
    }
    if (fetched.bars->empty()) {
        for (const Waiting &client : waiting)
            client.answer(httpError("404 Not Found", "The quote source has no price history of " + symbol + "."));
        return;
    }
    QString why;
    if (m_store->addBars({{key, *fetched.bars}}, &why)) {
        storeChanged();
        for (const Waiting &client : waiting)
            client.answer(historyAnswer(key, client.from));
        return;
    }
    // Not kept, but the clients still get what came.
    qWarning("tarnvale-quoted: the price history of %s was not stored: %s", symbol.constData(), qPrintable(why));
    for (const Waiting &client : waiting) {
        BarSeries bars;
        std::copy_if(fetched.bars->cbegin(), fetched.bars->cend(), std::back_inserter(bars),
                     [&client](const DailyBar &bar) { return !client.from.isValid() || bar.date >= client.from; });
        client.answer(httpResponse("200 OK", "text/csv", historyCsv(bars)));
    }
}

HistoryService::Stamp HistoryService::stamp() const
{
    Stamp stamp;
    for (const QString &suffix : {QString(), QStringLiteral("-wal")}) {
        const QFileInfo file(m_store->path() + suffix);
        stamp << file.size() << file.lastModified().toMSecsSinceEpoch();
    }
    return stamp;
}

void HistoryService::technicals(Answer answer)
{
    if (!m_store)
        return answer(unavailable());
    // One look at the files a request: cheap next to building the table.
    if (m_builtGeneration == m_generation && !m_technicals.isEmpty() && m_builtFrom == stamp())
        return answer(m_technicals);
    m_technicalsWaiting.append(std::move(answer));
    if (!m_builder)
        buildTechnicals();
}

void HistoryService::buildTechnicals()
{
    struct Built
    {
        QByteArray answer;
        QString error;
    };
    auto built = std::make_shared<Built>();
    const Stamp before = stamp();
    const quint64 generation = m_generation;
    // Thousands of rows are read and written on a thread of their own, through
    // a store of its own, so that quote clients do not wait meanwhile.
    m_builder = QThread::create([built, path = m_store->path()] {
        const std::unique_ptr<HistoryStore> store =
            HistoryStore::open(path, HistoryStore::Mode::ReadOnly, &built->error);
        if (store)
            built->answer = httpResponse("200 OK", "text/csv", technicalsCsv(store->technicals()));
    });
    connect(m_builder, &QThread::finished, this, [this, built, before, generation] {
        m_builder->wait();
        delete m_builder;
        m_builder = nullptr;
        const QByteArray answer =
            built->answer.isEmpty()
                ? httpError("503 Service Unavailable",
                            QStringLiteral("The price history cannot be read: %1").arg(built->error).toUtf8())
                : built->answer;
        if (!built->answer.isEmpty()) {
            // A write during the build makes the next request build again.
            m_technicals = built->answer;
            m_builtFrom = before;
            m_builtGeneration = generation;
        }
        for (const Answer &client : std::exchange(m_technicalsWaiting, {}))
            client(answer);
    });
    m_builder->start(QThread::LowPriority);
}
