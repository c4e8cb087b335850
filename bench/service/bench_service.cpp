// Requests per second of tarnvale-quoted against Debian's nginx serving the
// same quote lines as static files (one file per symbol, chosen by
// try_files on the s argument). Both listen on loopback ports of their own
// and are measured the same way: ApacheBench, one request at a time, HTTP/1.0
// with a new connection per request. Target: at least 50% of nginx's rate.
#include "common/BenchFixtures.h"
#include "common/BenchNginx.h"
#include "common/BenchService.h"
#include "common/BenchStats.h"

#include "quoted/QuoteLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <optional>

namespace {

constexpr int kRequests = 5000;
constexpr int kWarmUp = 500;
constexpr int kRounds = 5;
constexpr double kTarget = 0.5;

QTextStream out(stdout);
QTextStream err(stderr);

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString snapshotPath = QStringLiteral(TARNVALE_BIN_DIR "/quotes/sample-quotes.csv");
    const QString nginx = findTool(QStringLiteral("nginx"));
    const QString ab = findTool(QStringLiteral("ab"));
    if (nginx.isEmpty() || ab.isEmpty()) {
        err << "bench_service: needs nginx (nginx-light) and ab (apache2-utils)\n";
        return 1;
    }

    QString why;
    const std::optional<QuoteSnapshot> snapshot = readQuoteSnapshot(snapshotPath, nullptr, &why);
    if (!snapshot || snapshot->isEmpty()) {
        err << "bench_service: " << snapshotPath << ": " << (snapshot ? QStringLiteral("no quotes") : why) << '\n';
        return 1;
    }
    const QByteArray symbol = snapshot->contains("MSFT") ? QByteArray("MSFT") : snapshot->constBegin()->symbol;

    // nginx's tree: one file per symbol holding exactly the line the service sends.
    QTemporaryDir prefix;
    if (!prefix.isValid()) {
        err << "bench_service: no temporary folder\n";
        return 1;
    }
    const QString docs = prefix.filePath(QStringLiteral("quotes"));
    QDir().mkpath(docs);
    QDir().mkpath(prefix.filePath(QStringLiteral("temp")));
    openToAll(prefix.path(), true);
    openToAll(docs, true);
    for (const QuoteLine &quote : *snapshot) {
        if (quote.symbol.contains('/') || quote.symbol.startsWith('.'))
            continue;
        const QString file = docs + u'/' + QString::fromLatin1(quote.symbol) + QStringLiteral(".csv");
        if (!writeFile(file, quote.format() + "\r\n")) {
            err << "bench_service: cannot write " << file << '\n';
            return 1;
        }
        openToAll(file, false);
    }
    const quint16 nginxPort = freeLoopbackPort();
    const QString config =
        nginxConfig(prefix.path(), nginxPort, docs, "location = /d/quotes.csv { try_files /$arg_s.csv =404; }");
    if (nginxPort == 0 || !writeFile(prefix.filePath(QStringLiteral("nginx.conf")), config.toUtf8())) {
        err << "bench_service: cannot set up nginx\n";
        return 1;
    }
    Nginx nginxServer(nginx, prefix.path());
    if (!nginxServer.start(&why)) {
        err << "bench_service: " << why << '\n';
        return 1;
    }

    QuotedService service;
    if (!service.start({QStringLiteral("--snapshot"), snapshotPath, QStringLiteral("--history"),
                        prefix.filePath(QStringLiteral("history.sqlite"))},
                       &why)) {
        err << "bench_service: " << why << '\n';
        return 1;
    }

    const QString path = QStringLiteral("/d/quotes.csv?s=%1&f=sl1d1t1c1ohgv&e=.csv").arg(QString::fromLatin1(symbol));
    const QString nginxUrl = QStringLiteral("http://127.0.0.1:%1%2").arg(nginxPort).arg(path);
    const QString serviceUrl = service.url(path);
    const int lineLength = int(snapshot->value(quoteSymbolKey(symbol)).format().size() + 2);

    out << "Quote service against nginx " << QStringLiteral("(path %1)").arg(path) << '\n'
        << "ab -c " << 1 << " -n " << kRequests << ", HTTP/1.0, a new connection per request; median of " << kRounds
        << " rounds after " << kWarmUp << " warm-up requests\n";
    out.flush();

    QList<double> nginxRates;
    QList<double> serviceRates;
    QList<double> ratios;
    for (const QString &url : {nginxUrl, serviceUrl}) {
        if (!runAb(ab, kWarmUp, url, &why)) {
            err << "bench_service: " << why << '\n';
            return 1;
        }
    }
    // Each round measures both back to back, taking turns at going first, so
    // that a busy spell on the machine weighs on both alike.
    for (int round = 0; round < kRounds; ++round) {
        const QStringList order =
            round % 2 == 0 ? QStringList{nginxUrl, serviceUrl} : QStringList{serviceUrl, nginxUrl};
        for (const QString &url : order) {
            const std::optional<AbRun> result = runAb(ab, kRequests, url, &why);
            if (!result) {
                err << "bench_service: " << why << '\n';
                return 1;
            }
            // Both must have served the very same line every time.
            if (result->complete != kRequests || result->failed != 0 || result->non2xx != 0
                || result->documentLength != lineLength) {
                err << "bench_service: " << url << ": " << result->complete << " complete, " << result->failed
                    << " failed, " << result->non2xx << " not 2xx, document length " << result->documentLength
                    << " instead of " << lineLength << '\n';
                return 1;
            }
            (url == nginxUrl ? nginxRates : serviceRates).append(result->rate);
        }
        ratios.append(serviceRates.last() / nginxRates.last());
    }

    service.stop();
    nginxServer.stop();

    auto rounds = [](const QList<double> &rates) {
        QStringList parts;
        for (double r : rates)
            parts << QString::number(r, 'f', 0);
        return parts.join(QStringLiteral(", "));
    };
    const double nginxRate = median(nginxRates);
    const double serviceRate = median(serviceRates);
    const double ratio = median(ratios);
    out << QStringLiteral("  nginx            %1 requests/s  (rounds: %2)\n")
               .arg(nginxRate, 9, 'f', 1)
               .arg(rounds(nginxRates))
        << QStringLiteral("  tarnvale-quoted  %1 requests/s  (rounds: %2)\n")
               .arg(serviceRate, 9, 'f', 1)
               .arg(rounds(serviceRates))
        << QStringLiteral("  ratio            %1% of nginx, median of the rounds (target at least %2%): %3\n")
               .arg(ratio * 100, 0, 'f', 1)
               .arg(kTarget * 100, 0, 'f', 0)
               .arg(ratio >= kTarget ? QStringLiteral("met") : QStringLiteral("NOT met"));
    out.flush();
    return 0;
}
