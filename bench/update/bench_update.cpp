// Symbols per second of "Update Database" over 5,000 listed stocks against
// tarnvale-quoted on a loopback port, and ApacheBench's rate for the same
// quote path from the same service in the same run (one request at a time,
// HTTP/1.0, a new connection each). Target: at least 80% of ab's rate.
#include "common/BenchFixtures.h"
#include "common/BenchStats.h"

#include "market/MarketStore.h"
#include "quoted/QuoteLine.h"
#include "quotes/QuoteRequest.h"
#include "quotes/UpdateDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <optional>

#include <sys/resource.h>

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
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ab's rate; *cpuMicros gets its CPU time per request.
std::optional<double> abRate(const QString &ab, const QString &url, double *cpuMicros, QString *why)
{
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ab, {QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-n"),
                       QString::number(kSymbols), url});
    if (!process.waitForFinished(300'000) || process.exitCode() != 0) {
        *why = QStringLiteral("ab failed: ") + QString::fromLocal8Bit(process.readAll()).trimmed();
        return std::nullopt;
    }
    *cpuMicros = (cpuSeconds(RUSAGE_CHILDREN) - cpuBefore) / kSymbols * 1e6;
    const QString text = QString::fromLocal8Bit(process.readAll());
    const QRegularExpressionMatch failed = QRegularExpression(QStringLiteral(R"(Failed requests:\s+(\d+))")).match(text);
    const QRegularExpressionMatch rate =
        QRegularExpression(QStringLiteral(R"(Requests per second:\s+([\d.]+))")).match(text);
    if (!rate.hasMatch() || (failed.hasMatch() && failed.captured(1).toInt() != 0)) {
        *why = QStringLiteral("ab: ") + text;
        return std::nullopt;
    }
    return rate.captured(1).toDouble();
}

struct UpdateRun
{
    double rate = 0;
    double cpuMicros = 0; // this process's CPU time per symbol
    UpdateDatabase::Result result;
};

std::optional<UpdateRun> updateRate(const QString &dir, quint16 port, QString *why)
{
    MarketDatabase db;
    for (int i = 0; i < kSymbols; ++i) {
        db.Stocks.last().Symbol = QString::fromLatin1(symbolAt(i));
        db.Stocks.append(StockRecord{});
    }
    if (!writeMarketFile(QDir(dir).filePath(QStringLiteral("nasdaq.bin")), db, why))
        return std::nullopt;
    MarketStore store(dir);
    store.selectMarket(kNasdaq);
    if (!store.LoadDatabase(why))
        return std::nullopt;

    UpdateDatabase update(store, {QStringLiteral("127.0.0.1"), port});
    QEventLoop loop;
    UpdateRun run;
    QObject::connect(&update, &UpdateDatabase::finished, &loop, [&](const UpdateDatabase::Result &result) {
        run.result = result;
        loop.quit();
    });
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    clock.start();
    update.start();
    loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    run.cpuMicros = (cpuSeconds(RUSAGE_SELF) - cpuBefore) / kSymbols * 1e6;
    if (run.result.ending != UpdateDatabase::Ending::Completed || run.result.refreshed != kSymbols) {
        *why = QStringLiteral("the update refreshed %1 of %2 symbols").arg(run.result.refreshed).arg(kSymbols);
        return std::nullopt;
    }
    run.rate = kSymbols / seconds;
    return run;
}

double best(const QList<double> &values)
{
    return *std::max_element(values.begin(), values.end());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString quoted = QStringLiteral(TARNVALE_BIN_DIR "/tarnvale-quoted");
    const QString ab = QStandardPaths::findExecutable(QStringLiteral("ab"));
    if (!QFile::exists(quoted) || ab.isEmpty()) {
        err << "bench_update: needs " << quoted << " and ab (apache2-utils)\n";
        return 1;
    }
    QTemporaryDir dir;
    const QString snapshot = dir.filePath(QStringLiteral("quotes.csv"));
    if (!dir.isValid() || !writeSnapshot(snapshot)) {
        err << "bench_update: cannot write the quotes snapshot\n";
        return 1;
    }

    QProcess service;
    service.start(quoted, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--snapshot"),
                           snapshot});
    // The service names its port on its first line of output.
    quint16 port = 0;
    QByteArray banner;
    while (port == 0 && service.waitForReadyRead(10'000)) {
        banner += service.readAllStandardOutput();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral(R"(listening on 127\.0\.0\.1:(\d+))")).match(QString::fromLatin1(banner));
        if (m.hasMatch())
            port = quint16(m.captured(1).toUInt());
    }
    if (port == 0) {
        err << "bench_update: tarnvale-quoted did not start: " << banner << service.readAllStandardError() << '\n';
        return 1;
    }

    const QString url = QStringLiteral("http://127.0.0.1:%1").arg(port) + quotePath(QStringLiteral("MSFT"));
    QList<double> abRates;
    QList<double> updateRates;
    QString why;
    int status = 0;
    for (int round = 0; round < kRounds && status == 0; ++round) {
        double abCpu = 0;
        const std::optional<double> abRun = abRate(ab, url, &abCpu, &why);
        const std::optional<UpdateRun> updateRun = abRun ? updateRate(dir.path(), port, &why) : std::nullopt;
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
    service.terminate();
    service.waitForFinished(10'000);
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
