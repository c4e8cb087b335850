// Requests per second of tarnvale-quoted against Debian's nginx serving the
// same quote lines as static files (one file per symbol, chosen by
// try_files on the s argument). Both listen on loopback ports of their own
// and are measured the same way: ApacheBench, one request at a time, HTTP/1.0
// with a new connection per request. Target: at least 50% of nginx's rate.
#include "common/BenchFixtures.h"
#include "common/BenchService.h"
#include "common/BenchStats.h"

#include "quoted/QuoteLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <optional>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kRequests = 5000;
constexpr int kWarmUp = 500;
constexpr int kRounds = 5;
constexpr double kTarget = 0.5;

QTextStream out(stdout);
QTextStream err(stderr);

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// The workers of an nginx started as root run as an unprivileged user; they
// must be able to read the files.
void openToAll(const QString &path, bool folder)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                    | QFileDevice::ReadOther
                                    | (folder ? QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther
                                              : QFileDevice::Permissions()));
}

class Nginx
{
public:
    Nginx(QString binary, QString prefix)
        : m_binary(std::move(binary))
        , m_prefix(std::move(prefix))
    {}
    ~Nginx() { stop(); }

    QStringList arguments() const
    {
        return {QStringLiteral("-p"), m_prefix + u'/',
                QStringLiteral("-c"), m_prefix + QStringLiteral("/nginx.conf"),
                QStringLiteral("-e"), m_prefix + QStringLiteral("/error.log")};
    }

    // Returns once nginx has bound its port: it forks into the background only after that.
    bool start(QString *why)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(m_binary, arguments());
        if (!process.waitForFinished(30'000) || process.exitCode() != 0) {
            QFile log(m_prefix + QStringLiteral("/error.log"));
            log.open(QIODevice::ReadOnly);
            *why = QStringLiteral("nginx did not start: ") + QString::fromLocal8Bit(process.readAll() + log.readAll());
            return false;
        }
        m_running = true;
        return true;
    }

    // Returns once nginx has gone, so that its files can be removed.
    void stop()
    {
        if (!m_running)
            return;
        m_running = false;
        QFile pidFile(m_prefix + QStringLiteral("/nginx.pid"));
        const pid_t pid = pidFile.open(QIODevice::ReadOnly) ? pid_t(pidFile.readAll().trimmed().toInt()) : 0;
        // nginx is not our child: its end is awaited through a process descriptor.
        const int pidFd = pid > 0 ? int(syscall(SYS_pidfd_open, pid, 0)) : -1;
        QProcess::execute(m_binary, arguments() << QStringLiteral("-s") << QStringLiteral("stop"));
        if (pidFd >= 0) {
            pollfd exited{pidFd, POLLIN, 0};
            ::poll(&exited, 1, 10'000);
            ::close(pidFd);
        }
    }

private:
    QString m_binary;
    QString m_prefix;
    bool m_running = false;
};

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
    const QString temp = prefix.filePath(QStringLiteral("temp"));
    const QString config = QStringLiteral("worker_processes 1;\n"
                                          "pid %1/nginx.pid;\n"
                                          "error_log %1/error.log;\n"
                                          "events { worker_connections 1024; }\n"
                                          "http {\n"
                                          "  access_log off;\n"
                                          "  client_body_temp_path %2/body;\n"
                                          "  proxy_temp_path %2/proxy;\n"
                                          "  fastcgi_temp_path %2/fastcgi;\n"
                                          "  uwsgi_temp_path %2/uwsgi;\n"
                                          "  scgi_temp_path %2/scgi;\n"
                                          "  types { text/csv csv; }\n"
                                          "  default_type text/csv;\n"
                                          "  server {\n"
                                          "    listen 127.0.0.1:%3;\n"
                                          "    root %4;\n"
                                          "    location = /d/quotes.csv { try_files /$arg_s.csv =404; }\n"
                                          "  }\n"
                                          "}\n")
                               .arg(prefix.path(), temp)
                               .arg(nginxPort)
                               .arg(docs);
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
    if (!service.start({QStringLiteral("--snapshot"), snapshotPath}, &why)) {
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
