// Milliseconds per GET /technicals.csv of tarnvale-quoted with 8,000 symbols
// in its history store, against Debian's nginx serving the very same bytes as
// a static file. Both are measured the same way: ApacheBench, one request at
// a time, HTTP/1.0 with a new connection per request. Target: at most 30 ms
// a request.
#include "common/BenchFixtures.h"
#include "common/BenchNginx.h"
#include "common/BenchService.h"
#include "common/BenchStats.h"

#include "history/HistoryCsv.h"
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr int kSymbols = 8000;
constexpr int kSessions = 260; // a year and more: every indicator of every row is known
constexpr int kRequests = 200;
constexpr int kRounds = 5;
constexpr double kTargetMs = 30;

QTextStream out(stdout);
QTextStream err(stderr);

int fail(const QString &why)
{
    err << "bench_technicals: " << why << '\n';
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString nginx = findTool(QStringLiteral("nginx"));
    const QString ab = abBesideTheService("bench_technicals", err);
    if (ab.isEmpty())
        return 1;
    if (nginx.isEmpty())
        return fail(QStringLiteral("needs nginx (nginx-light)"));

    QTemporaryDir prefix;
    if (!prefix.isValid())
        return fail(QStringLiteral("no temporary folder"));
    const QString storePath = prefix.filePath(QStringLiteral("history.sqlite"));
    QByteArray table;
    {
        QString why;
        const std::unique_ptr<HistoryStore> store = HistoryStore::open(storePath, HistoryStore::Mode::ReadWrite, &why);
        if (!store)
            return fail(why);
        QHash<QString, BarSeries> bars;
        for (int i = 0; i < kSymbols; ++i) {
            BarSeries &series = bars[QString::fromLatin1(symbolAt(i))];
            for (int day = 0; day < kSessions; ++day) {
                const float close = 10 + float(i % 500) / 7 + float(day % 17) / 4 + float(day) / 50;
                series.push_back({QDate(2025, 11, 1).addDays(day), close - 0.5f, close + 1, close - 1, close,
                                  100'000 + i * 37 + day});
            }
        }
        QElapsedTimer filling;
        filling.start();
        if (!store->addBars(bars, &why))
            return fail(why);
        out << "filled the store with " << kSymbols << " symbols of " << kSessions << " sessions in "
            << filling.elapsed() << " ms\n";
        table = technicalsCsv(store->technicals());
    }

    const QString docs = prefix.filePath(QStringLiteral("docs"));
    QDir().mkpath(docs);
    QDir().mkpath(prefix.filePath(QStringLiteral("temp")));
    openToAll(prefix.path(), true);
    openToAll(docs, true);
    const QString file = docs + QStringLiteral("/technicals.csv");
    const quint16 nginxPort = freeLoopbackPort();
    if (nginxPort == 0 || !writeFile(file, table)
        || !writeFile(prefix.filePath(QStringLiteral("nginx.conf")),
                      nginxConfig(prefix.path(), nginxPort, docs, "").toUtf8()))
        return fail(QStringLiteral("cannot set up nginx"));
    openToAll(file, false);
    Nginx nginxServer(nginx, prefix.path());
    QString why;
    if (!nginxServer.start(&why))
        return fail(why);

    QuotedService service;
    if (!service.start({QStringLiteral("--snapshot"), QStringLiteral(TARNVALE_BIN_DIR "/quotes/sample-quotes.csv"),
                        QStringLiteral("--history"), storePath},
                       &why))
        return fail(why);

    const QString nginxUrl = QStringLiteral("http://127.0.0.1:%1/technicals.csv").arg(nginxPort);
    const QString serviceUrl = service.url(QStringLiteral("/technicals.csv"));
    out << "GET /technicals.csv, " << table.size() << " bytes; ab -c 1 -n " << kRequests
        << ", HTTP/1.0, a new connection per request; median of " << kRounds << " rounds after a warm-up\n";
    out.flush();
    // The first request builds the service's table; the warm-up takes it.
    for (const QString &url : {nginxUrl, serviceUrl}) {
        if (!runAb(ab, 20, url, &why))
            return fail(why);
    }
    QList<double> nginxMs, serviceMs;
    for (int round = 0; round < kRounds; ++round) {
        const QStringList order =
            round % 2 == 0 ? QStringList{nginxUrl, serviceUrl} : QStringList{serviceUrl, nginxUrl};
        for (const QString &url : order) {
            const std::optional<AbRun> run = runAb(ab, kRequests, url, &why);
            if (!run)
                return fail(why);
            // Both must have served the whole table every time.
            if (run->complete != kRequests || run->non2xx != 0 || run->documentLength != table.size())
                return fail(QStringLiteral("%1: %2 complete, %3 not 2xx, document length %4 instead of %5")
                                .arg(url)
                                .arg(run->complete)
                                .arg(run->non2xx)
                                .arg(run->documentLength)
                                .arg(table.size()));
            (url == nginxUrl ? nginxMs : serviceMs).append(1000 / run->rate);
        }
    }
    service.stop();
    nginxServer.stop();

    auto rounds = [](const QList<double> &ms) {
        QStringList parts;
        for (double m : ms)
            parts << QString::number(m, 'f', 2);
        return parts.join(QStringLiteral(", "));
    };
    const double serviceMedian = median(serviceMs);
    out << QStringLiteral("  nginx (static file)  %1 ms/request  (rounds: %2)\n")
               .arg(median(nginxMs), 7, 'f', 2)
               .arg(rounds(nginxMs))
        << QStringLiteral("  tarnvale-quoted      %1 ms/request  (rounds: %2)\n")
               .arg(serviceMedian, 7, 'f', 2)
               .arg(rounds(serviceMs))
        << QStringLiteral("  target at most %1 ms: %2\n")
               .arg(kTargetMs, 0, 'f', 0)
               .arg(serviceMedian <= kTargetMs ? QStringLiteral("met") : QStringLiteral("NOT met"));
    out.flush();
    return 0;
}
