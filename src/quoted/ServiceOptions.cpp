#include "quoted/ServiceOptions.h"

#include "base/InstallLayout.h"
#include "history/HistoryStore.h"
#include "market/MarketStore.h"
#include "quoted/QuoteServer.h"
#include "quoted/UpstreamQuotes.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr const char *kMassiveUrl = "https://api.massive.com";
constexpr const char *kStooqUrl = "https://stooq.com/q/l/";
// The free plan's two years of history.
constexpr int kMaxBackfillDays = 730;

QCommandLineOption option(const char *name, const QString &help, const char *value = nullptr,
                          const char *defaultValue = nullptr)
{
    QCommandLineOption o(QString::fromLatin1(name), help);
    if (value)
        o.setValueName(QString::fromLatin1(value));
    if (defaultValue)
        o.setDefaultValue(QString::fromLatin1(defaultValue));
    return o;
}

std::optional<int> wholeNumber(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<ServiceOptions::Source> sourceNamed(const QString &name)
{
    if (name == u"massive")
        return ServiceOptions::Source::Massive;
    if (name == u"stooq")
        return ServiceOptions::Source::Stooq;
    if (name == u"snapshot")
        return ServiceOptions::Source::Snapshot;
    return std::nullopt;
}

bool webAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty() && (url.scheme() == u"http" || url.scheme() == u"https");
}

QString sampleQuotes(const QString &programDir)
{
    return QDir(InstallLayout::dataDirectory(programDir)).filePath(QStringLiteral("quotes/sample-quotes.csv"));
}

// Set only by the command line or the environment, which the configuration
// file never overrides.
struct Fixed
{
    bool key = false;
    bool url = false;
};

} // namespace

QString ServiceOptions::sourceName(Source source)
{
    switch (source) {
    case Source::Massive:
        return QStringLiteral("massive");
    case Source::Stooq:
        return QStringLiteral("stooq");
    case Source::Snapshot:
        return QStringLiteral("snapshot");
    }
    return QString();
}

void addServiceOptions(QCommandLineParser &parser)
{
    QCommandLineOption clock =
        option("clock-start", QStringLiteral("Start the service's clock at this instant."), "TIME");
    // Lets a test run the service at a chosen hour of the trading week.
    clock.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({
        option("listen", QStringLiteral("Address and port to listen on (default 127.0.0.1:8765)."), "ADDRESS:PORT",
               "127.0.0.1:8765"),
        option("source",
               QStringLiteral("Where quotes come from: massive (needs an API key), stooq or snapshot (default: as "
                              "the configuration file says, else massive when a key is set, else stooq)."),
               "NAME"),
        option("source-url",
               QStringLiteral("The source's base address (massive: %1, stooq: %2).")
                   .arg(QLatin1StringView(kMassiveUrl), QLatin1StringView(kStooqUrl)),
               "URL"),
        option("upstream", QStringLiteral("The same as --source-url."), "URL"),
        option("api-key-file",
               QStringLiteral("File whose first line is the source's API key (else TARNVALE_API_KEY, else the "
                              "configuration file)."),
               "FILE"),
        option("config",
               QStringLiteral("The configuration file the program writes, read at start and whenever it changes "
                              "(default %1).")
                   .arg(quoteSourceConfigPath()),
               "FILE"),
        option("snapshot", QStringLiteral("Serve the quotes of this snapshot file (the snapshot source)."), "FILE"),
        option("symbol-suffix", QStringLiteral("Added to every symbol asked of stooq (default .us)."), "TEXT", ".us"),
        option("batch", QStringLiteral("Symbols per stooq request, 1 to 200 (default 50)."), "N", "50"),
        option("max-inflight", QStringLiteral("stooq requests at once, 1 to 16 (default 2)."), "N", "2"),
        option("refresh",
               QStringLiteral("Seconds between stooq fetches of a quote during the US trading session (default "
                              "600). Outside it a quote is fetched once after the close, not over nights, weekends "
                              "and holidays."),
               "SECONDS", "600"),
        option("market",
               QStringLiteral("Market file whose listed symbols are kept fresh; may be given more than "
                              "once."),
               "FILE"),
        option("program-markets",
               QStringLiteral("Keep fresh the market files of the program installed beside this service (in your "
                              "data folder when installed).")),
        option("state",
               QStringLiteral("File of the last closes, for each day's change (default closes.csv in the cache "
                              "folder)."),
               "FILE"),
        option("history",
               QStringLiteral("The price history store (default %1 beside the market files).")
                   .arg(QLatin1StringView(HistoryStore::kFileName)),
               "FILE"),
        option("backfill-days",
               QStringLiteral("Calendar days of the whole market's past days that Massive fills the price history "
                              "with, newest first, 0 to %1 (default 365; 0 turns it off).")
                   .arg(kMaxBackfillDays),
               "N", "365"),
        clock,
    });
}

std::optional<ServiceOptions> serviceOptions(const QCommandLineParser &parser, const QProcessEnvironment &environment,
                                             const QString &programDir, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<ServiceOptions> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    ServiceOptions o;
    o.listenText = parser.value(QStringLiteral("listen"));
    if (!QuoteServer::parseListenAddress(o.listenText, &o.address, &o.port))
        return fail(QStringLiteral("\"%1\" is not ADDRESS:PORT (an IP address or localhost, and a port from 0 to "
                                   "65535)")
                        .arg(o.listenText));

    const bool snapshot = parser.isSet(QStringLiteral("snapshot"));
    QString url = parser.value(QStringLiteral("source-url"));
    if (url.isEmpty())
        url = parser.value(QStringLiteral("upstream"));
    if (parser.isSet(QStringLiteral("source"))) {
        const std::optional<ServiceOptions::Source> source = sourceNamed(parser.value(QStringLiteral("source")));
        if (!source)
            return fail(QStringLiteral("--source takes massive, stooq or snapshot"));
        o.source = *source;
        o.sourceFixed = true;
    } else if (snapshot) {
        o.source = ServiceOptions::Source::Snapshot;
        o.sourceFixed = true;
    } else if (!url.isEmpty()) {
        o.source = ServiceOptions::Source::Stooq; // the one source that used to take an address
        o.sourceFixed = true;
    }
    if (snapshot && (o.source != ServiceOptions::Source::Snapshot || !url.isEmpty()))
        return fail(QStringLiteral("--snapshot serves a file; it excludes another --source and --source-url"));
    o.snapshotPath = snapshot ? parser.value(QStringLiteral("snapshot")) : sampleQuotes(programDir);
    if (!url.isEmpty()) {
        o.sourceUrl = QUrl(url);
        if (!webAddress(o.sourceUrl))
            return fail(QStringLiteral("--source-url needs an http or https URL"));
    }

    if (parser.isSet(QStringLiteral("api-key-file"))) {
        QFile file(parser.value(QStringLiteral("api-key-file")));
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read the API key file %1: %2").arg(file.fileName(), file.errorString()));
        o.apiKey = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (o.apiKey.isEmpty())
            return fail(QStringLiteral("the API key file %1 holds no key").arg(file.fileName()));
    } else {
        o.apiKey = environment.value(QStringLiteral("TARNVALE_API_KEY")).trimmed();
    }
    o.configPath =
        parser.isSet(QStringLiteral("config")) ? parser.value(QStringLiteral("config")) : quoteSourceConfigPath();

    o.suffix = parser.value(QStringLiteral("symbol-suffix")).toLatin1();
    const std::optional<int> batch = wholeNumber(parser.value(QStringLiteral("batch")), 1, UpstreamQuotes::MaxBatch);
    const std::optional<int> inflight = wholeNumber(parser.value(QStringLiteral("max-inflight")), 1, 16);
    const std::optional<int> refresh = wholeNumber(parser.value(QStringLiteral("refresh")), 1, 86'400);
    if (!batch || !inflight || !refresh)
        return fail(QStringLiteral("--batch takes 1 to 200, --max-inflight 1 to 16, --refresh 1 to 86400"));
    o.batch = *batch;
    o.maxInflight = *inflight;
    o.refresh = std::chrono::seconds(*refresh);
    o.statePath = parser.isSet(QStringLiteral("state"))
                      ? parser.value(QStringLiteral("state"))
                      : QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
                            .filePath(QStringLiteral("closes.csv"));
    o.marketFiles = parser.values(QStringLiteral("market"));
    const QString userData = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                                 .filePath(QStringLiteral("Tarnvale"));
    const QString programMarkets = InstallLayout::marketLocation(programDir, userData, marketFileNames()).directory;
    if (parser.isSet(QStringLiteral("program-markets"))) {
        for (const QString &name : marketFileNames())
            o.marketFiles.append(QDir(programMarkets).filePath(name));
    }
    // The history lives with the markets it covers: the first one named, or
    // the program's.
    o.historyPath = parser.isSet(QStringLiteral("history"))
                        ? parser.value(QStringLiteral("history"))
                        : historyStorePath(o.marketFiles.isEmpty() ? programMarkets
                                                                   : QFileInfo(o.marketFiles.first()).absolutePath());
    const std::optional<int> backfill = wholeNumber(parser.value(QStringLiteral("backfill-days")), 0, kMaxBackfillDays);
    if (!backfill)
        return fail(QStringLiteral("--backfill-days takes 0 to %1").arg(kMaxBackfillDays));
    o.backfillDays = *backfill;
    if (parser.isSet(QStringLiteral("clock-start"))) {
        const QDateTime start = QDateTime::fromString(parser.value(QStringLiteral("clock-start")), Qt::ISODate);
        if (!start.isValid())
            return fail(QStringLiteral("--clock-start needs an ISO 8601 time"));
        o.clockStart = start;
    }
    // What the command line and environment fixed is remembered by leaving
    // the configuration file nothing to say about it.
    o.keyFixed = !o.apiKey.isEmpty();
    o.urlFixed = !o.sourceUrl.isEmpty();
    return o.withConfig({});
}

ServiceOptions ServiceOptions::withConfig(const QuoteSourceConfig &config) const
{
    ServiceOptions o = *this;
    if (!keyFixed)
        o.apiKey = config.apiKey;
    if (!sourceFixed) {
        const std::optional<Source> named = sourceNamed(config.name);
        o.source = named ? *named : o.apiKey.isEmpty() ? Source::Stooq : Source::Massive;
    }
    if (!urlFixed) {
        const QUrl configured(config.url);
        o.sourceUrl = o.source != Source::Snapshot && webAddress(configured)
                          ? configured
                          : QUrl(QString::fromLatin1(o.source == Source::Massive ? kMassiveUrl : kStooqUrl));
    }
    return o;
}

QString ServiceOptions::sourceDescription() const
{
    switch (source) {
    case Source::Massive:
        return QStringLiteral("the whole US market from Massive (%1)").arg(sourceUrl.toDisplayString());
    case Source::Stooq:
        return QStringLiteral("quotes from %1").arg(sourceUrl.toDisplayString());
    case Source::Snapshot:
        return QStringLiteral("quotes from %1").arg(QDir::toNativeSeparators(snapshotPath));
    }
    return QString();
}
