// "Update Database" of a 5,000-symbol market through tarnvale-quoted with
// its live source, a loopback stand-in that answers every request after
// 100 ms.
//  - Cold (nothing cached, the market given with --market): the whole
//    update against what one symbol per source request would cost
//    (5,000 x 100 ms). Target: at most 15 s, at least 30 times faster.
//  - Warm (everything cached): the update's rate against ApacheBench's
//    (-c 1) for the same path from the same service. Target: at least 80%.
#include "common/BenchFixtures.h"
#include "common/BenchStats.h"

#include "market/MarketStore.h"
#include "quotes/QuoteRequest.h"
#include "quotes/UpdateDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <optional>

namespace {

constexpr int kSymbols = 5000;
constexpr int kSourceDelayMs = 100;
constexpr int kWarmRounds = 5;
constexpr double kColdTargetSeconds = 15;
constexpr double kWarmTarget = 0.8;

QTextStream out(stdout);
QTextStream err(stderr);

// The live source's stand-in: a CSV table for every asked symbol, 100 ms late.
class SlowSource : public QObject
{
public:
    SlowSource()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/q/l/").arg(m_server.serverPort()); }
    int requests = 0;

private:
    void read(QTcpSocket *socket)
    {
        QByteArray request = socket->property("r").toByteArray() + socket->readAll();
        socket->setProperty("r", request);
        if (!request.contains("\r\n\r\n"))
            return;
        socket->setProperty("r", QByteArray());
        ++requests;
        const QByteArray target = request.split(' ').value(1);
        const qsizetype from = target.indexOf("s=") + 2;
        QByteArray body = "Symbol,Date,Time,Open,High,Low,Close,Volume\r\n";
        for (const QByteArray &s : target.mid(from, target.indexOf('&', from) - from).split('+'))
            body += s.toUpper() + ",2026-12-04,22:00:09,10.10,10.50,9.90,10.25,123456\r\n";
        QTimer::singleShot(kSourceDelayMs, socket, [socket, body] {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/csv\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        });
    }

    QTcpServer m_server;
};

std::optional<double> updateSeconds(const QString &dir, quint16 port, QString *why)
{
    MarketStore store(dir);
    store.selectMarket(kNasdaq);
    if (!store.LoadDatabase(why))
        return std::nullopt;
    UpdateDatabase update(store, {QStringLiteral("127.0.0.1"), port});
    QEventLoop loop;
    UpdateDatabase::Result result;
    QObject::connect(&update, &UpdateDatabase::finished, &loop, [&](const UpdateDatabase::Result &r) {
        result = r;
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    update.start();
    loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (result.ending != UpdateDatabase::Ending::Completed || result.refreshed != kSymbols) {
        *why = QStringLiteral("the update refreshed %1 of %2 symbols").arg(result.refreshed).arg(kSymbols);
        return std::nullopt;
    }
    return seconds;
}

// ab runs as a child while this process's event loop keeps the source alive.
std::optional<double> abRate(const QString &ab, const QString &url, QString *why)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    process.start(ab, {QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-n"),
                       QString::number(kSymbols), url});
    loop.exec();
    const QString text = QString::fromLocal8Bit(process.readAll());
    const QRegularExpressionMatch failed = QRegularExpression(QStringLiteral(R"(Failed requests:\s+(\d+))")).match(text);
    const QRegularExpressionMatch rate =
        QRegularExpression(QStringLiteral(R"(Requests per second:\s+([\d.]+))")).match(text);
    if (process.exitCode() != 0 || !rate.hasMatch() || (failed.hasMatch() && failed.captured(1).toInt() != 0)) {
        *why = QStringLiteral("ab: ") + text;
        return std::nullopt;
    }
    return rate.captured(1).toDouble();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString quoted = QStringLiteral(TARNVALE_BIN_DIR "/tarnvale-quoted");
    const QString ab = QStandardPaths::findExecutable(QStringLiteral("ab"));
    if (!QFile::exists(quoted) || ab.isEmpty()) {
        err << "bench_bridge: needs " << quoted << " and ab (apache2-utils)\n";
        return 1;
    }
    QTemporaryDir dir;
    MarketDatabase db;
    for (int i = 0; i < kSymbols; ++i) {
        db.Stocks.last().Symbol = QString::fromLatin1(symbolAt(i));
        db.Stocks.append(StockRecord{});
    }
    const QString market = dir.filePath(QStringLiteral("nasdaq.bin"));
    QString why;
    if (!dir.isValid() || !writeMarketFile(market, db, &why)) {
        err << "bench_bridge: cannot write the market file: " << why << '\n';
        return 1;
    }

    SlowSource source;
    QProcess service;
    service.start(quoted, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--upstream"),
                           source.url(), QStringLiteral("--market"), market, QStringLiteral("--state"),
                           dir.filePath(QStringLiteral("closes.csv"))});
    QElapsedTimer sinceStart;
    sinceStart.start();
    quint16 port = 0;
    if (service.waitForReadyRead(10'000)) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral(R"(listening on 127\.0\.0\.1:(\d+))"))
                                              .match(QString::fromLatin1(service.readAllStandardOutput()));
        port = m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
    }
    if (port == 0) {
        err << "bench_bridge: tarnvale-quoted did not start: " << service.readAllStandardError() << '\n';
        return 1;
    }

    const std::optional<double> cold = updateSeconds(dir.path(), port, &why);
    if (!cold) {
        err << "bench_bridge: " << why << '\n';
        return 1;
    }
    const double oneByOne = kSymbols * kSourceDelayMs / 1000.0;
    out << QStringLiteral("cold update of %1 symbols (source answers after %2 ms, batches of 50, 2 at once): "
                          "%3 s from the service's start, %4 source requests\n")
               .arg(kSymbols)
               .arg(kSourceDelayMs)
               .arg(double(sinceStart.nsecsElapsed()) / 1e9, 0, 'f', 2)
               .arg(source.requests)
        << QStringLiteral("  the update itself %1 s; one symbol per request would take %2 s: %3x faster "
                          "(target at most %4 s, at least 30x): %5\n")
               .arg(*cold, 0, 'f', 2)
               .arg(oneByOne, 0, 'f', 0)
               .arg(oneByOne / *cold, 0, 'f', 1)
               .arg(kColdTargetSeconds, 0, 'f', 0)
               .arg(*cold <= kColdTargetSeconds && oneByOne / *cold >= 30 ? QStringLiteral("met")
                                                                          : QStringLiteral("NOT met"));
    out.flush();

    const QString url = QStringLiteral("http://127.0.0.1:%1").arg(port) + quotePath(QStringLiteral("AAAA"));
    QList<double> ratios, updateRates, abRates;
    // Round 0 only warms both up, as the other benchmarks do.
    for (int round = 0; round <= kWarmRounds; ++round) {
        const std::optional<double> abRun = abRate(ab, url, &why);
        const std::optional<double> warm = abRun ? updateSeconds(dir.path(), port, &why) : std::nullopt;
        if (!warm) {
            err << "bench_bridge: " << why << '\n';
            return 1;
        }
        if (round == 0)
            continue;
        updateRates.append(kSymbols / *warm);
        abRates.append(*abRun);
        ratios.append(updateRates.last() / *abRun);
        out << QStringLiteral("warm round %1: update %2 symbols/s, ab %3 requests/s: %4%\n")
                   .arg(round)
                   .arg(updateRates.last(), 0, 'f', 0)
                   .arg(*abRun, 0, 'f', 0)
                   .arg(ratios.last() * 100, 0, 'f', 1);
        out.flush();
    }
    service.terminate();
    service.waitForFinished(10'000);
    const double ratio = median(ratios);
    out << QStringLiteral("warm update: %1 symbols/s, ab -c 1: %2 requests/s; update / ab, median: %3% "
                          "(target %4%): %5\n")
               .arg(median(updateRates), 0, 'f', 0)
               .arg(median(abRates), 0, 'f', 0)
               .arg(ratio * 100, 0, 'f', 1)
               .arg(kWarmTarget * 100, 0, 'f', 0)
               .arg(ratio >= kWarmTarget ? QStringLiteral("met") : QStringLiteral("NOT met"));
    return 0;
}
