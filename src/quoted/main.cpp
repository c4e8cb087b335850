// tarnvale-quoted: the bundled local quote service. Answers the program's
// quote requests over HTTP/1.0, from a live public quote source (fetched in
// batches and cached) or from a quotes snapshot file.
#include "base/CommandLine.h"
#include "market/SafeFile.h"
#include "quoted/MarketWatch.h"
#include "quoted/QuoteServer.h"
#include "quoted/UpstreamQuotes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimeZone>

#include <memory>
#include <optional>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

int signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM (a service manager stopping the service) and SIGINT end the event
// loop like a normal quit, so the closes not yet written are saved.
void quitOnStopSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

constexpr const char *kDefaultUpstream = "https://stooq.com/q/l/";

std::optional<int> wholeNumber(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef __GLIBC__
    // Fixed thresholds: by default glibc raises them once a large block is
    // freed, after which up to 64 MB freed by a large snapshot could stay
    // with the process for good, out of reach of the trim after a reload.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 4 * 1024 * 1024);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnvale-quoted"));
    QCoreApplication::setApplicationVersion(CommandLine::programVersion());

    QCommandLineParser parser;
    CommandLine::addStandardOptions(
        parser, QStringLiteral("Tarnvale's local quote service. Without --snapshot it fetches quotes from a live "
                               "source (default %1).")
                    .arg(QLatin1StringView(kDefaultUpstream)));
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          QStringLiteral("Address and port to listen on (default 127.0.0.1:8765)."),
                                          QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:8765"));
    const QCommandLineOption snapshotOption(
        QStringLiteral("snapshot"), QStringLiteral("Serve the quotes of this snapshot file."), QStringLiteral("FILE"));
    const QCommandLineOption upstreamOption(
        QStringLiteral("upstream"),
        QStringLiteral("Live CSV quote source (default %1).").arg(QLatin1StringView(kDefaultUpstream)),
        QStringLiteral("URL"));
    const QCommandLineOption suffixOption(QStringLiteral("symbol-suffix"),
                                          QStringLiteral("Added to every symbol asked of the source (default .us)."),
                                          QStringLiteral("TEXT"), QStringLiteral(".us"));
    const QCommandLineOption batchOption(QStringLiteral("batch"),
                                         QStringLiteral("Symbols per source request, 1 to 200 (default 50)."),
                                         QStringLiteral("N"), QStringLiteral("50"));
    const QCommandLineOption inflightOption(QStringLiteral("max-inflight"),
                                            QStringLiteral("Source requests at once, 1 to 16 (default 2)."),
                                            QStringLiteral("N"), QStringLiteral("2"));
    const QCommandLineOption refreshOption(
        QStringLiteral("refresh"),
        QStringLiteral("Seconds between fetches of a quote during the US trading session (default 600). Outside "
                       "it a quote is fetched once after the close, not over nights, weekends and holidays."),
        QStringLiteral("SECONDS"), QStringLiteral("600"));
    const QCommandLineOption marketOption(
        QStringLiteral("market"),
        QStringLiteral("Market file whose listed symbols are kept fresh; may be given more than once."),
        QStringLiteral("FILE"));
    const QCommandLineOption stateOption(
        QStringLiteral("state"),
        QStringLiteral("File of the last closes, for each day's change (default closes.csv in the cache folder)."),
        QStringLiteral("FILE"));
    // Lets a test run the service at a chosen hour of the trading week.
    QCommandLineOption clockOption(QStringLiteral("clock-start"),
                                   QStringLiteral("Start the service's clock at this ISO 8601 instant."),
                                   QStringLiteral("TIME"));
    clockOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({listenOption, snapshotOption, upstreamOption, suffixOption, batchOption, inflightOption,
                       refreshOption, marketOption, stateOption, clockOption});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    auto usage = [&err](const QString &why) {
        err << "tarnvale-quoted: " << why << '\n';
        return 2;
    };
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    QHostAddress address;
    quint16 port = 0;
    const QString listenText = parser.value(listenOption);
    if (!QuoteServer::parseListenAddress(listenText, &address, &port))
        return usage(QStringLiteral("\"%1\" is not ADDRESS:PORT (an IP address or localhost, and a port from 0 to "
                                    "65535)")
                         .arg(listenText));
    if (parser.isSet(snapshotOption) && parser.isSet(upstreamOption))
        return usage(QStringLiteral("--snapshot and --upstream exclude each other"));

    QuoteServer server;
    std::unique_ptr<UpstreamQuotes> upstream;
    std::unique_ptr<MarketWatch> markets;
    QString source;
    QString error;
    bool started = false;

    if (parser.isSet(snapshotOption)) {
        QObject::connect(&server, &QuoteServer::snapshotLoaded, &server,
                         [&err, &started](int quotes, const QStringList &warnings, int badRows) {
                             for (const QString &warning : warnings)
                                 err << "tarnvale-quoted: snapshot " << warning << '\n';
                             if (badRows > warnings.size())
                                 err << "tarnvale-quoted: snapshot: " << badRows << " rows left out in all\n";
                             if (started)
                                 err << "tarnvale-quoted: snapshot reloaded, serving " << quotes << " quotes\n";
                             err.flush();
                         });
        const QString snapshot = parser.value(snapshotOption);
        if (!server.setSnapshotFile(snapshot, &error)) {
            err << "tarnvale-quoted: cannot read the quotes snapshot " << error << '\n';
            return 1;
        }
        // Later failures (a half-saved edit, say) leave the served quotes as they were.
        QObject::connect(&server, &QuoteServer::snapshotFailed, &server, [&err](const QString &why) {
            err << "tarnvale-quoted: snapshot not reloaded, still serving the previous quotes: " << why << '\n';
            err.flush();
        });
        source = QStringLiteral("%1 quotes from %2").arg(server.quoteCount()).arg(QDir::toNativeSeparators(snapshot));
    } else {
        UpstreamQuotes::Options options;
        options.url =
            QUrl(parser.isSet(upstreamOption) ? parser.value(upstreamOption) : QString::fromLatin1(kDefaultUpstream));
        if (!options.url.isValid() || options.url.host().isEmpty()
            || (options.url.scheme() != u"http" && options.url.scheme() != u"https"))
            return usage(QStringLiteral("--upstream needs an http or https URL"));
        options.suffix = parser.value(suffixOption).toLatin1();
        const std::optional<int> batch = wholeNumber(parser.value(batchOption), 1, UpstreamQuotes::MaxBatch);
        const std::optional<int> inflight = wholeNumber(parser.value(inflightOption), 1, 16);
        const std::optional<int> refresh = wholeNumber(parser.value(refreshOption), 1, 86'400);
        if (!batch || !inflight || !refresh)
            return usage(QStringLiteral("--batch takes 1 to 200, --max-inflight 1 to 16, --refresh 1 to 86400"));
        options.batch = *batch;
        options.maxInflight = *inflight;
        options.refresh = std::chrono::seconds(*refresh);
        if (parser.isSet(clockOption)) {
            const QDateTime start = QDateTime::fromString(parser.value(clockOption), Qt::ISODate);
            if (!start.isValid())
                return usage(QStringLiteral("--clock-start needs an ISO 8601 time"));
            QElapsedTimer running;
            running.start();
            options.clock = [start, running] { return start.addMSecs(running.elapsed()).toUTC(); };
        }
        options.statePath = parser.isSet(stateOption)
                                ? parser.value(stateOption)
                                : QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
                                      .filePath(QStringLiteral("closes.csv"));
        // Copies left by a save that was killed half-way would pile up.
        SafeFile::removeStaleCopies(options.statePath);
        upstream = std::make_unique<UpstreamQuotes>(options);
        if (!upstream->stateError().isEmpty())
            err << "tarnvale-quoted: cannot read the closes file " << upstream->stateError() << '\n';
        QObject::connect(upstream.get(), &UpstreamQuotes::sourceWentDown, &server, [&err](const QString &why) {
            err << "tarnvale-quoted: the quote source is down (" << why
                << "); serving cached quotes, closing requests for symbols not cached\n";
            err.flush();
        });
        QObject::connect(upstream.get(), &UpstreamQuotes::sourceRefused, &server,
                         [&err](const QString &reason, const QDateTime &retryAt) {
                             err << "tarnvale-quoted: " << reason << " Serving cached quotes; asking again at "
                                 << retryAt.toTimeZone(QTimeZone::systemTimeZone()).toString(Qt::ISODate) << '\n';
                             err.flush();
                         });
        QObject::connect(upstream.get(), &UpstreamQuotes::sourceCameBack, &server, [&err] {
            err << "tarnvale-quoted: the quote source answers again\n";
            err.flush();
        });
        QObject::connect(upstream.get(), &UpstreamQuotes::stateProblem, &server, [&err](const QString &why) {
            err << "tarnvale-quoted: cannot save the closes file " << why << '\n';
            err.flush();
        });
        server.setUpstream(upstream.get());

        const QStringList marketFiles = parser.values(marketOption);
        if (!marketFiles.isEmpty()) {
            markets = std::make_unique<MarketWatch>();
            QObject::connect(markets.get(), &MarketWatch::problem, &server, [&err](const QString &why) {
                err << "tarnvale-quoted: cannot read the market file " << why << '\n';
                err.flush();
            });
            QObject::connect(markets.get(), &MarketWatch::symbolsChanged, upstream.get(),
                             &UpstreamQuotes::setKeptSymbols);
            markets->setFiles(marketFiles);
            upstream->setKeptSymbols(markets->symbols());
        }
        source = QStringLiteral("quotes from %1 (%2 listed symbols kept fresh)")
                     .arg(options.url.toDisplayString())
                     .arg(markets ? markets->symbols().size() : 0);
    }

    if (!server.listen(address, port, &error)) {
        err << "tarnvale-quoted: cannot listen on " << listenText << ": " << error << '\n';
        return 1;
    }
    const QHostAddress bound = server.serverAddress();
    const QString host = bound.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(bound.toString())
                             : bound.toString();
    out << "tarnvale-quoted: listening on " << host << ':' << server.serverPort() << ", serving " << source << '\n';
    out.flush();
    started = true;
    quitOnStopSignals(app);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&upstream] {
        if (upstream)
            upstream->saveState();
    });
    return app.exec();
}
