// "Update Database" of a 5,000-symbol market through tarnvale-quoted with
// its live source, a loopback stand-in that answers every request after
// 100 ms.
//  - Cold (nothing cached, the market given with --market): the whole
//    update against what one symbol per source request would cost
//    (5,000 x 100 ms). Target: at most 15 s, at least 30 times faster.
//  - Warm (everything cached): the update's rate against ApacheBench's
//    (-c 1) for the same path from the same service. Target: at least 80%.
#include "common/BenchFixtures.h"
#include "common/BenchService.h"
#include "common/BenchStats.h"

#include "quotes/QuoteRequest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString ab = abBesideTheService("bench_bridge", err);
    if (ab.isEmpty())
        return 1;
    QTemporaryDir dir;
    const QString market = dir.filePath(QStringLiteral("nasdaq.bin"));
    QString why;
    if (!dir.isValid() || !writeMarketFile(market, unquotedMarket(kSymbols), &why)) {
        err << "bench_bridge: cannot write the market file: " << why << '\n';
        return 1;
    }

    SlowSource source;
    QuotedService service;
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (!service.start({QStringLiteral("--upstream"), source.url(), QStringLiteral("--market"), market,
                        QStringLiteral("--state"), dir.filePath(QStringLiteral("closes.csv"))},
                       &why)) {
        err << "bench_bridge: " << why << '\n';
        return 1;
    }

    const std::optional<TimedUpdate> coldUpdate = timeUpdate(dir.path(), service.port(), &why);
    if (!coldUpdate) {
        err << "bench_bridge: " << why << '\n';
        return 1;
    }
    const double cold = coldUpdate->seconds;
    const double oneByOne = kSymbols * kSourceDelayMs / 1000.0;
    out << QStringLiteral("cold update of %1 symbols (source answers after %2 ms, batches of 50, 2 at once): "
                          "%3 s from the service's start, %4 source requests\n")
               .arg(kSymbols)
               .arg(kSourceDelayMs)
               .arg(double(sinceStart.nsecsElapsed()) / 1e9, 0, 'f', 2)
               .arg(source.requests)
        << QStringLiteral("  the update itself %1 s; one symbol per request would take %2 s: %3x faster "
                          "(target at most %4 s, at least 30x): %5\n")
               .arg(cold, 0, 'f', 2)
               .arg(oneByOne, 0, 'f', 0)
               .arg(oneByOne / cold, 0, 'f', 1)
               .arg(kColdTargetSeconds, 0, 'f', 0)
               .arg(cold <= kColdTargetSeconds && oneByOne / cold >= 30 ? QStringLiteral("met")
                                                                        : QStringLiteral("NOT met"));
    out.flush();

    const QString url = service.url(quotePath(QStringLiteral("AAAA")));
    const std::optional<WarmFigures> warm =
        warmAgainstAb(ab, url, dir.path(), service.port(), kSymbols, kWarmRounds, out, &why);
    if (!warm) {
        err << "bench_bridge: " << why << '\n';
        return 1;
    }
    service.stop();
    out << QStringLiteral("warm update: %1 symbols/s, ab -c 1: %2 requests/s; update / ab, median: %3% "
                          "(target %4%): %5\n")
               .arg(warm->updateRate, 0, 'f', 0)
               .arg(warm->abRate, 0, 'f', 0)
               .arg(warm->ratio * 100, 0, 'f', 1)
               .arg(kWarmTarget * 100, 0, 'f', 0)
               .arg(warm->ratio >= kWarmTarget ? QStringLiteral("met") : QStringLiteral("NOT met"));
    return 0;
}
