// Symbols per second of "Update Database" over 5,000 listed stocks against
// tarnvale-quoted on a loopback port, and ApacheBench's rate for the same
// quote path from the same service in the same run (one request at a time,
// HTTP/1.0, a new connection each). Target: at least 80% of ab's rate.
#include "common/BenchFixtures.h"
#include "common/BenchService.h"
#include "common/BenchStats.h"

#include "quoted/QuoteLine.h"
#include "quotes/QuoteRequest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <optional>

namespace {

constexpr int kSymbols = 5000;
constexpr int kRounds = 5;
constexpr double kTarget = 0.8;

QTextStream out(stdout);
QTextStream err(stderr);

bool writeSnapshot(const QString &path)
{
    QByteArray text = quoteSnapshotHeader() + '\n';
    for (int i = 0; i < kSymbols; ++i) {
        QuoteLine q;
        q.symbol = symbolAt(i);
        q.last = 10 + (i % 1000) / 100.0;
        q.date = QDate(2004, 6, 4);
        q.time = QTime(16, 0);
        q.change = 0.12;
        q.open = q.last - 0.1;
        q.high = q.last + 0.1;
        q.low = q.last - 0.2;
        q.volume = 1000 + i;
        text += quoteSnapshotRow(q) + '\n';
    }
    return writeFile(path, text);
}

// ab's rate; *cpuMicros gets its CPU time per request.
std::optional<double> abRate(const QString &ab, const QString &url, double *cpuMicros, QString *why)
{
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    const std::optional<AbRun> run = runAb(ab, kSymbols, url, why);
    if (!run)
        return std::nullopt;
    *cpuMicros = (cpuSeconds(RUSAGE_CHILDREN) - cpuBefore) / kSymbols * 1e6;
    return run->rate;
}

struct UpdateRun
{
    double rate = 0;
    double cpuMicros = 0; // this process's CPU time per symbol
};

// The update of a market whose symbols have no quote yet.
std::optional<UpdateRun> updateRate(const QString &dir, quint16 port, QString *why)
{
    if (!writeMarketFile(QDir(dir).filePath(QStringLiteral("nasdaq.bin")), unquotedMarket(kSymbols), why))
        return std::nullopt;
    const std::optional<TimedUpdate> update = timeUpdate(dir, port, why);
    if (!update)
        return std::nullopt;
    return UpdateRun{kSymbols / update->seconds, update->cpuSeconds / kSymbols * 1e6};
}

double best(const QList<double> &values)
{
    return *std::max_element(values.begin(), values.end());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString ab = abBesideTheService("bench_update", err);
    if (ab.isEmpty())
        return 1;
    QTemporaryDir dir;
    const QString snapshot = dir.filePath(QStringLiteral("quotes.csv"));
    if (!dir.isValid() || !writeSnapshot(snapshot)) {
        err << "bench_update: cannot write the quotes snapshot\n";
        return 1;
    }

    QuotedService service;
    QString why;
    if (!service.start({QStringLiteral("--snapshot"), snapshot}, &why)) {
        err << "bench_update: " << why << '\n';
        return 1;
    }

    const QString url = service.url(quotePath(QStringLiteral("MSFT")));
    QList<double> abRates;
    QList<double> updateRates;
    int status = 0;
    for (int round = 0; round < kRounds && status == 0; ++round) {
        double abCpu = 0;
        const std::optional<double> abRun = abRate(ab, url, &abCpu, &why);
        const std::optional<UpdateRun> updateRun = abRun ? updateRate(dir.path(), service.port(), &why) : std::nullopt;
        if (!abRun || !updateRun) {
            err << "bench_update: " << why << '\n';
            status = 1;
            break;
        }
        abRates.append(*abRun);
        updateRates.append(updateRun->rate);
        out << QStringLiteral("round %1: update %2 symbols/s (%3 us CPU each), ab %4 requests/s (%5 us CPU "
                              "each): %6%\n")
                   .arg(round + 1)
                   .arg(updateRun->rate, 0, 'f', 0)
                   .arg(updateRun->cpuMicros, 0, 'f', 1)
                   .arg(*abRun, 0, 'f', 0)
                   .arg(abCpu, 0, 'f', 1)
                   .arg(updateRun->rate / *abRun * 100, 0, 'f', 1);
        out.flush();
    }
    service.stop();
    if (status != 0)
        return status;

    // Each round runs ab and the update back to back, so their ratio is
    // the figure least disturbed by whatever else the machine is doing.
    QList<double> ratios;
    for (qsizetype i = 0; i < abRates.size(); ++i)
        ratios.append(updateRates[i] / abRates[i]);
    const double ratio = median(ratios);
    out << QStringLiteral("update of %1 symbols: %2 symbols/s (median of %3, best %4)\n")
               .arg(kSymbols)
               .arg(median(updateRates), 0, 'f', 0)
               .arg(kRounds)
               .arg(best(updateRates), 0, 'f', 0);
    out << QStringLiteral("ab -c 1 -n %1, same path, same service: %2 requests/s (median, best %3)\n")
               .arg(kSymbols)
               .arg(median(abRates), 0, 'f', 0)
               .arg(best(abRates), 0, 'f', 0);
    out << QStringLiteral("update / ab, median of the rounds: %1% (target %2%): %3\n")
               .arg(ratio * 100, 0, 'f', 1)
               .arg(kTarget * 100, 0, 'f', 0)
               .arg(ratio >= kTarget ? QStringLiteral("met") : QStringLiteral("NOT met"));
    return 0;
}
