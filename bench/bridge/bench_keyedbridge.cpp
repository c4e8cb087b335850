// "Update Database" of a 6,500-symbol market through tarnvale-quoted with its
// keyed whole-market source, a loopback stand-in of the grouped daily bars.
//  - Cold: from the service's start, the two days fetched, to the update
//    done; and how many source requests that took (target: at most 3).
//  - Warm: the update's rate against ApacheBench's (-c 1) for the same path
//    from the same service. Target: at least 80%.
#include "common/BenchFixtures.h"
#include "common/BenchService.h"
#include "common/BenchStats.h"
#include "common/FakeUpstream.h"

#include "quotes/QuoteRequest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

constexpr int kSymbols = 6500;
constexpr int kWarmRounds = 3;
QTextStream out(stdout);
QTextStream err(stderr);

QByteArray groupedDay()
{
    QByteArray results;
    for (int i = 0; i < kSymbols; ++i)
        results += QByteArray(i ? "," : "") + "{\"T\":\"" + symbolAt(i)
                   + "\",\"o\":10.1,\"h\":10.5,\"l\":9.9,\"c\":10.25,\"v\":123456}";
    return "{\"status\":\"OK\",\"results\":[" + results + "]}";
}

// Runs the event loop (the stand-in answers from it) until done says so.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    look.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString ab = abBesideTheService("bench_keyedbridge", err);
    if (ab.isEmpty())
        return 1;
    QTemporaryDir dir;
    QString why;
    if (!dir.isValid()
        || !writeMarketFile(dir.filePath(QStringLiteral("nasdaq.bin")), unquotedMarket(kSymbols), &why)) {
        err << "bench_keyedbridge: cannot write the market file: " << why << '\n';
        return 1;
    }
    const QByteArray day = groupedDay();
    FakeUpstream source([&day](const QList<QByteArray> &, int) {
        return FakeUpstream::Action{FakeUpstream::Action::Reply, 200, "application/json", day};
    });
    qputenv("TARNVALE_API_KEY", "bench-key"); // the service reads it, as a user's would

    QuotedService service;
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (!service.start({QStringLiteral("--source"), QStringLiteral("massive"), QStringLiteral("--source-url"),
                        source.url().toString(), QStringLiteral("--config"),
                        dir.filePath(QStringLiteral("quoted.conf")), QStringLiteral("--clock-start"),
                        QStringLiteral("2026-12-08T10:00:00-05:00")},
                       &why)
        || !waitFor([&] { return service.log().contains("serving 6500 quotes"); }, 30'000)) {
        err << "bench_keyedbridge: the service served no quotes: " << why << service.log() << '\n';
        return 1;
    }
    const double served = double(sinceStart.nsecsElapsed()) / 1e9;
    const std::optional<TimedUpdate> cold = timeUpdate(dir.path(), service.port(), &why);
    if (!cold) {
        err << "bench_keyedbridge: " << why << '\n';
        return 1;
    }
    out << QStringLiteral("cold update of %1 symbols from the keyed source: quotes served %2 s after the start, "
                          "the update done %3 s after it; %4 source requests (target: at most 3): %5\n")
               .arg(kSymbols)
               .arg(served, 0, 'f', 2)
               .arg(double(sinceStart.nsecsElapsed()) / 1e9, 0, 'f', 2)
               .arg(source.requests.size())
               .arg(source.requests.size() <= 3 ? QStringLiteral("met") : QStringLiteral("NOT met"));
    out.flush();

    const QString url = service.url(quotePath(QString::fromLatin1(symbolAt(0))));
    const std::optional<WarmFigures> warm =
        warmAgainstAb(ab, url, dir.path(), service.port(), kSymbols, kWarmRounds, out, &why);
    if (!warm) {
        err << "bench_keyedbridge: " << why << '\n';
        return 1;
    }
    out << QStringLiteral("warm update / ab -c 1, median: %1% (target 80%)\n").arg(warm->ratio * 100, 0, 'f', 1);
    return 0;
}
