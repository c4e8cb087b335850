// tarnvale-quoted while it reloads its snapshot, swapped by rename:
//  - a 50 MB snapshot replacing a small one: the longest wait of a client
//    asking one request after another until the new quotes are served
//    (target: under 100 ms; the reload runs on a thread of its own), and
//    how long the reload took;
//  - the small one back: the service's memory (resident set) before, with
//    the large snapshot, and after (target: back within 20 MB of the start);
//  - a file of 200,000 bad rows: the bytes of warnings one reload prints
//    (target: a few lines).
#include "common/BenchFixtures.h"
#include "common/BenchService.h"
#include "common/BenchStats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>

#include <optional>

namespace {

QTextStream out(stdout);
QTextStream err(stderr);

const QByteArray kHeader = "symbol,last,date,time,change,open,high,low,volume\n";

// Writes beside the snapshot, then renames over it, as writers should.
bool replace(const QString &snapshot, const QByteArray &bytes)
{
    const QString temp = snapshot + QStringLiteral(".new");
    return writeFile(temp, bytes)
           && ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(snapshot).constData()) == 0;
}

// One request, blocking; the reply, or nothing after 10 s.
QByteArray ask(quint16 port, const QByteArray &symbol)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(10'000))
        return {};
    socket.write("GET /d/quotes.csv?s=" + symbol + "&f=sl1d1t1c1ohgv&e=.csv HTTP/1.0\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(10'000))
        reply += socket.readAll();
    return reply + socket.readAll();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString snapshot = dir.filePath(QStringLiteral("quotes.csv"));
    const QByteArray small = kHeader + "MSFT,27.50,2004-06-04,16:00,+0.12,27.40,27.60,27.30,1234567\n";
    QByteArray large = kHeader;
    large.reserve(51 * 1024 * 1024);
    for (int i = 0; large.size() < 50 * 1024 * 1024; ++i)
        large += "S" + QByteArray::number(i) + ",12.50,2024-01-02,16:00,+0.10,12.40,12.60,12.30,123456\n";
    large += "MSFT,31.00,2004-06-04,16:00,+0.12,27.40,27.60,27.30,1234567\n";
    QByteArray bad = kHeader;
    for (int i = 0; i < 200'000; ++i)
        bad += "X" + QByteArray::number(i) + ",abc,,,,,,,\n";
    bad += "MSFT,32.00,2004-06-04,16:00,+0.12,27.40,27.60,27.30,1234567\n";

    if (!dir.isValid() || !writeFile(snapshot, small)) {
        err << "bench_reload: cannot write the snapshot\n";
        return 1;
    }
    QuotedService service;
    QString why;
    if (!service.start({QStringLiteral("--snapshot"), snapshot}, &why)) {
        err << "bench_reload: " << why << '\n';
        return 1;
    }
    const qint64 before = statusKb("VmRSS:", service.pid());

    // While the large file is read, every answer must still come, and fast.
    replace(snapshot, large);
    QElapsedTimer reload;
    reload.start();
    double longestMs = 0;
    int answered = 0;
    while (!ask(service.port(), "MSFT").contains("\"MSFT\",31.00,")) {
        QElapsedTimer one;
        one.start();
        if (!ask(service.port(), "MSFT").contains("\"MSFT\"")) {
            err << "bench_reload: a request went unanswered during the reload\n";
            return 1;
        }
        longestMs = qMax(longestMs, double(one.nsecsElapsed()) / 1e6);
        ++answered;
        if (reload.elapsed() > 300'000) {
            err << "bench_reload: the large snapshot was not served within 5 minutes\n" << service.log();
            return 1;
        }
    }
    const double reloadSeconds = double(reload.nsecsElapsed()) / 1e9;
    const qint64 withLarge = statusKb("VmRSS:", service.pid());

    replace(snapshot, small);
    while (!ask(service.port(), "MSFT").contains("\"MSFT\",27.50,")) {
        if (reload.elapsed() > 600'000)
            return 1;
    }
    const qint64 after = statusKb("VmRSS:", service.pid());

    const qsizetype logBefore = service.log().size();
    replace(snapshot, bad);
    while (!ask(service.port(), "MSFT").contains("\"MSFT\",32.00,")) {
        if (reload.elapsed() > 900'000)
            return 1;
    }
    const QByteArray warnings = service.log().mid(logBefore);

    const bool waitMet = longestMs < 100, memoryMet = after - before < 20 * 1024,
               warningsMet = warnings.count('\n') <= 8;
    out << QStringLiteral("50 MB snapshot swapped in: served after %1 s; %2 answers meanwhile, the longest %3 ms "
                          "(target under 100 ms): %4\n")
               .arg(reloadSeconds, 0, 'f', 1)
               .arg(answered)
               .arg(longestMs, 0, 'f', 1)
               .arg(waitMet ? QStringLiteral("met") : QStringLiteral("NOT met"))
        << QStringLiteral("resident memory: %1 MB before, %2 MB with the large snapshot, %3 MB after the small one "
                          "is back (target within 20 MB of the start): %4\n")
               .arg(before / 1024.0, 0, 'f', 1)
               .arg(withLarge / 1024.0, 0, 'f', 1)
               .arg(after / 1024.0, 0, 'f', 1)
               .arg(memoryMet ? QStringLiteral("met") : QStringLiteral("NOT met"))
        << QStringLiteral("200,000 bad rows: %1 bytes, %2 lines of warnings for the reload (target a few lines): %3\n")
               .arg(warnings.size())
               .arg(warnings.count('\n'))
               .arg(warningsMet ? QStringLiteral("met") : QStringLiteral("NOT met"));
    return 0;
}
