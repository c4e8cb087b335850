#include "quoted/QuoteService.h"

#include "market/SafeFile.h"
#include "quoted/GroupedDaily.h"
#include "quoted/HistoryService.h"
#include "quoted/MarketWatch.h"
#include "quoted/UpstreamQuotes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimeZone>

namespace {

// The service's clock: the system's, or one started at a test's chosen hour.
std::function<QDateTime()> clockOf(const ServiceOptions &options)
{
    if (!options.clockStart)
        return [] { return QDateTime::currentDateTimeUtc(); };
    QElapsedTimer running;
    running.start();
    return [start = *options.clockStart, running] { return start.addMSecs(running.elapsed()).toUTC(); };
}

bool sameSource(const ServiceOptions &a, const ServiceOptions &b)
{
    return a.source == b.source && a.apiKey == b.apiKey && a.sourceUrl == b.sourceUrl
           && a.snapshotPath == b.snapshotPath;
}

QString localTime(const QDateTime &when)
{
    return when.toTimeZone(QTimeZone::systemTimeZone()).toString(Qt::ISODate);
}

} // namespace

QuoteService::QuoteService(ServiceOptions options, QTextStream &log, QObject *parent)
    : QObject(parent)
    , m_commandLine(std::move(options))
    , m_options(m_commandLine)
    , m_log(log)
{
    connect(&m_server, &QuoteServer::snapshotLoaded, this,
            [this](int quotes, const QStringList &warnings, int badRows) {
                for (const QString &warning : warnings)
                    say(QStringLiteral("snapshot ") + warning);
                if (badRows > warnings.size())
                    say(QStringLiteral("snapshot: %1 rows left out in all").arg(badRows));
                if (m_started)
                    say(QStringLiteral("snapshot reloaded, serving %1 quotes").arg(quotes));
            });
    // Later failures (a half-saved edit, say) leave the served quotes as they were.
    connect(&m_server, &QuoteServer::snapshotFailed, this, [this](const QString &why) {
        say(QStringLiteral("snapshot not reloaded, still serving the previous quotes: ") + why);
    });
    connect(&m_config, &QuietFileWatch::changed, this, &QuoteService::reconfigure);
}

QuoteService::~QuoteService()
{
    stopSource();
}

void QuoteService::say(const QString &text)
{
    m_log << "tarnvale-quoted: " << text << '\n';
    m_log.flush();
}

bool QuoteService::start(QString *error)
{
    QString why;
    const std::optional<QuoteSourceConfig> config = readQuoteSourceConfig(m_commandLine.configPath, &why);
    if (!config)
        say(QStringLiteral("cannot read the configuration file %1: %2").arg(m_commandLine.configPath, why));
    m_options = m_commandLine.withConfig(config.value_or(QuoteSourceConfig{}));
    m_history = std::make_unique<HistoryService>();
    // Quotes are served all the same; the history's requests hear why not.
    if (!m_history->open(m_options.historyPath, &why))
        say(why);
    m_server.setHistory(m_history.get());
    if (!startSource(m_options, error))
        return false;
    if (!m_server.listen(m_options.address, m_options.port, &why)) {
        if (error)
            *error = QStringLiteral("cannot listen on %1: %2").arg(m_options.listenText, why);
        return false;
    }
    m_config.setFiles({m_commandLine.configPath});
    m_started = true;
    return true;
}

QString QuoteService::banner() const
{
    const QHostAddress bound = m_server.serverAddress();
    const QString host = bound.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(bound.toString())
                             : bound.toString();
    QString serving;
    switch (m_options.source) {
    case ServiceOptions::Source::Snapshot:
        serving = QStringLiteral("%1 quotes from %2")
                      .arg(m_server.quoteCount())
                      .arg(QDir::toNativeSeparators(m_options.snapshotPath));
        break;
    case ServiceOptions::Source::Stooq:
        serving = QStringLiteral("%1 (%2 listed symbols kept fresh)")
                      .arg(m_options.sourceDescription())
                      .arg(m_markets ? m_markets->symbols().size() : 0);
        break;
    case ServiceOptions::Source::Massive:
        serving = m_options.sourceDescription();
        break;
    }
    return QStringLiteral("listening on %1:%2, serving %3").arg(host).arg(m_server.serverPort()).arg(serving);
}

bool QuoteService::startSource(const ServiceOptions &options, QString *error)
{
    using Source = ServiceOptions::Source;
    if (options.source == Source::Snapshot) {
        QString why;
        if (!m_server.setSnapshotFile(options.snapshotPath, &why)) {
            if (error)
                *error = QStringLiteral("cannot read the quotes snapshot ") + why;
            return false;
        }
        return true;
    }
    const std::function<QDateTime()> clock = clockOf(options);
    if (options.source == Source::Massive) {
        m_server.awaitQuotes();
        GroupedDailySource::Options daily;
        daily.base = options.sourceUrl;
        daily.apiKey = options.apiKey;
        daily.now = clock;
        daily.history = m_history->store();
        daily.backfillDays = options.backfillDays;
        m_daily = std::make_unique<GroupedDailySource>(daily);
        connect(m_daily.get(), &GroupedDailySource::dayStored, this, [this](QDate day, const QString &error) {
            if (!error.isEmpty())
                say(QStringLiteral("the bars of %1 were not stored in the price history: %2")
                        .arg(day.toString(Qt::ISODate), error));
        });
        if (!options.apiKey.isEmpty())
            m_history->setSource(m_daily.get());
        connect(m_daily.get(), &GroupedDailySource::quotesReady, this, [this](const QuoteSnapshot &quotes, QDate day) {
            m_server.serveQuotes(quotes);
            say(QStringLiteral("serving %1 quotes of %2").arg(quotes.size()).arg(day.toString(Qt::ISODate)));
        });
        connect(m_daily.get(), &GroupedDailySource::sourceRefused, this,
                [this](const QString &reason, const QDateTime &retryAt) {
                    say(retryAt.isValid() ? QStringLiteral("%1 Asking again at %2.").arg(reason, localTime(retryAt))
                                          : reason);
                });
        m_server.setStatusSource([daily = m_daily.get()] { return daily->status(); });
        m_daily->start();
        return true;
    }

    UpstreamQuotes::Options upstream;
    upstream.url = options.sourceUrl;
    upstream.suffix = options.suffix;
    upstream.batch = options.batch;
    upstream.maxInflight = options.maxInflight;
    upstream.refresh = options.refresh;
    upstream.clock = clock;
    upstream.statePath = options.statePath;
    // Copies left by a save that was killed half-way would pile up.
    SafeFile::removeStaleCopies(options.statePath);
    m_upstream = std::make_unique<UpstreamQuotes>(upstream);
    if (!m_upstream->stateError().isEmpty())
        say(QStringLiteral("cannot read the closes file ") + m_upstream->stateError());
    connect(m_upstream.get(), &UpstreamQuotes::sourceWentDown, this, [this](const QString &why) {
        say(QStringLiteral("the quote source is down (%1); serving cached quotes, closing requests for symbols not "
                           "cached")
                .arg(why));
    });
    connect(m_upstream.get(), &UpstreamQuotes::sourceRefused, this,
            [this](const QString &reason, const QDateTime &retryAt) {
                say(QStringLiteral("%1 Serving cached quotes; asking again at %2").arg(reason, localTime(retryAt)));
            });
    connect(m_upstream.get(), &UpstreamQuotes::sourceCameBack, this,
            [this] { say(QStringLiteral("the quote source answers again")); });
    connect(m_upstream.get(), &UpstreamQuotes::stateProblem, this,
            [this](const QString &why) { say(QStringLiteral("cannot save the closes file ") + why); });
    m_server.clearSnapshot();
    m_server.setUpstream(m_upstream.get());
    if (!options.marketFiles.isEmpty()) {
        m_markets = std::make_unique<MarketWatch>();
        connect(m_markets.get(), &MarketWatch::problem, this,
                [this](const QString &why) { say(QStringLiteral("cannot read the market file ") + why); });
        connect(m_markets.get(), &MarketWatch::symbolsChanged, m_upstream.get(), &UpstreamQuotes::setKeptSymbols);
        m_markets->setFiles(options.marketFiles);
        m_upstream->setKeptSymbols(m_markets->symbols());
    }
    return true;
}

void QuoteService::stopSource()
{
    if (m_history)
        m_history->setSource(nullptr);
    m_server.setUpstream(nullptr);
    m_server.setStatusSource({});
    m_markets.reset();
    if (m_upstream)
        m_upstream->saveState();
    m_upstream.reset();
    m_daily.reset();
}

void QuoteService::reconfigure()
{
    QString why;
    const std::optional<QuoteSourceConfig> config = readQuoteSourceConfig(m_commandLine.configPath, &why);
    if (!config) {
        say(QStringLiteral("cannot read the configuration file %1: %2; the source stays as it was")
                .arg(m_commandLine.configPath, why));
        return;
    }
    const ServiceOptions next = m_commandLine.withConfig(*config);
    if (sameSource(next, m_options))
        return;
    stopSource();
    if (!startSource(next, &why)) {
        say(QStringLiteral("%1; serving from %2 instead").arg(why, m_options.sourceDescription()));
        startSource(m_options, nullptr);
        return;
    }
    m_options = next;
    say(QStringLiteral("the quote source settings changed; now serving ") + m_options.sourceDescription());
}

void QuoteService::saveState()
{
    if (m_upstream)
        m_upstream->saveState();
}
