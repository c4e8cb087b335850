#pragma once

#include "common/BenchStats.h"

#include "market/MarketStore.h"
#include "quotes/UpdateDatabase.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <optional>

// tarnvale-quoted of this build, listening on 127.0.0.1 on a port of the
// system's choosing; stopped when the object goes.
class QuotedService
{
public:
    QuotedService() = default;
    QuotedService(const QuotedService &) = delete;
    QuotedService &operator=(const QuotedService &) = delete;
    ~QuotedService() { stop(); }

    static QString program() { return QStringLiteral(TARNVALE_BIN_DIR "/tarnvale-quoted"); }

    // Starts it with these arguments besides --listen; true once it has named
    // its port, which it does on its first line of output.
    bool start(const QStringList &arguments, QString *why)
    {
        m_process.start(program(), QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")} + arguments);
        static const QRegularExpression banner(QStringLiteral(R"(listening on 127\.0\.0\.1:(\d+))"));
        QByteArray out;
        while (m_port == 0 && m_process.waitForReadyRead(10'000)) {
            out += m_process.readAllStandardOutput();
            const QRegularExpressionMatch m = banner.match(QString::fromLatin1(out));
            if (m.hasMatch())
                m_port = quint16(m.captured(1).toUInt());
        }
        if (m_port == 0)
            *why = QStringLiteral("tarnvale-quoted did not start: ")
                   + QString::fromLocal8Bit(out + m_process.readAllStandardError());
        return m_port != 0;
    }

    // Returns once the service has ended.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(10'000);
    }

    quint16 port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path; }

    // Everything the service has printed on stderr so far.
    const QByteArray &log()
    {
        m_process.setReadChannel(QProcess::StandardError);
        m_process.waitForReadyRead(0);
        m_log += m_process.readAllStandardError();
        return m_log;
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_log;
};

// A program by name on PATH, or in sbin, which an ordinary user's PATH may
// lack (nginx); empty when not installed.
inline QString findTool(const QString &name)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty()
               ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
               : onPath;
}

// What ApacheBench reports of one run.
struct AbRun
{
    double rate = 0; // requests per second
    int complete = 0;
    int failed = 0;
    int non2xx = 0;
    int documentLength = -1;
    QString text; // all it printed
};

// ab -c 1 -n requests: one request at a time, HTTP/1.0, a new connection
// each. ab runs as a child while this process's event loop goes on, so that
// servers of the benchmark's own keep answering. Empty when ab fails,
// prints no rate or counts failed requests.
inline std::optional<AbRun> runAb(const QString &ab, int requests, const QString &url, QString *why)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(300'000, &loop, &QEventLoop::quit);
    process.start(ab, {QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-n"),
                       QString::number(requests), url});
    loop.exec();
    AbRun run;
    run.text = QString::fromLocal8Bit(process.readAll());
    if (process.state() != QProcess::NotRunning || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        *why = QStringLiteral("ab failed: ") + run.text.trimmed();
        return std::nullopt;
    }
    auto number = [&run](const QString &pattern, int fallback) {
        const QRegularExpressionMatch m = QRegularExpression(pattern).match(run.text);
        return m.hasMatch() ? m.captured(1).toInt() : fallback;
    };
    const QRegularExpressionMatch rate =
        QRegularExpression(QStringLiteral(R"(Requests per second:\s+([\d.]+))")).match(run.text);
    if (!rate.hasMatch()) {
        *why = QStringLiteral("ab printed no rate:\n") + run.text;
        return std::nullopt;
    }
    run.rate = rate.captured(1).toDouble();
    run.complete = number(QStringLiteral(R"(Complete requests:\s+(\d+))"), 0);
    run.failed = number(QStringLiteral(R"(Failed requests:\s+(\d+))"), 0);
    run.non2xx = number(QStringLiteral(R"(Non-2xx responses:\s+(\d+))"), 0);
    run.documentLength = number(QStringLiteral(R"(Document Length:\s+(\d+) bytes)"), -1);
    if (run.failed != 0) {
        *why = QStringLiteral("ab: ") + run.text;
        return std::nullopt;
    }
    return run;
}

// One "Update Database" of the Nasdaq market in dir against the service on
// port, driven as the main window drives it.
struct TimedUpdate
{
    double seconds = 0;
    double cpuSeconds = 0; // this process's, while it ran
};

// Empty unless every listed symbol was refreshed.
inline std::optional<TimedUpdate> timeUpdate(const QString &dir, quint16 port, QString *why)
{
    MarketStore store(dir);
    store.selectMarket(kNasdaq);
    if (!store.LoadDatabase(why))
        return std::nullopt;
    const qsizetype listed = store.database().listedCount();
    UpdateDatabase update(store, {QStringLiteral("127.0.0.1"), port});
    QEventLoop loop;
    UpdateDatabase::Result result;
    QObject::connect(&update, &UpdateDatabase::finished, &loop, [&](const UpdateDatabase::Result &r) {
        result = r;
        loop.quit();
    });
    TimedUpdate timed;
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    clock.start();
    update.start();
    loop.exec();
    timed.seconds = double(clock.nsecsElapsed()) / 1e9;
    timed.cpuSeconds = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    if (result.ending != UpdateDatabase::Ending::Completed || result.refreshed != listed) {
        *why = QStringLiteral("the update refreshed %1 of %2 symbols").arg(result.refreshed).arg(listed);
        return std::nullopt;
    }
    return timed;
}

// ApacheBench, when it and this build's service are both there; otherwise
// says so on err and gives an empty text.
inline QString abBesideTheService(const char *bench, QTextStream &err)
{
    const QString ab = findTool(QStringLiteral("ab"));
    if (!QFile::exists(QuotedService::program()) || ab.isEmpty()) {
        err << bench << ": needs " << QuotedService::program() << " and ab (apache2-utils)\n";
        return QString();
    }
    return ab;
}

// Warm updates of the market in dir against ApacheBench (-c 1) on one quote
// path of the same service, round by round, back to back, so that their
// ratio is the figure least disturbed by whatever else the machine does.
// Round 0 only warms both up. Prints each round; gives the rates' medians.
struct WarmFigures
{
    double updateRate = 0; // symbols per second
    double abRate = 0;     // requests per second
    double ratio = 0;      // update / ab
};
inline std::optional<WarmFigures> warmAgainstAb(const QString &ab, const QString &url, const QString &dir, quint16 port,
                                                int symbols, int rounds, QTextStream &out, QString *why)
{
    QList<double> ratios, updateRates, abRates;
    for (int round = 0; round <= rounds; ++round) {
        const std::optional<AbRun> abRun = runAb(ab, symbols, url, why);
        const std::optional<TimedUpdate> warm = abRun ? timeUpdate(dir, port, why) : std::nullopt;
        if (!warm)
            return std::nullopt;
        if (round == 0)
            continue;
        updateRates.append(symbols / warm->seconds);
        abRates.append(abRun->rate);
        ratios.append(updateRates.last() / abRun->rate);
        out << QStringLiteral("warm round %1: update %2 symbols/s, ab %3 requests/s: %4%\n")
                   .arg(round)
                   .arg(updateRates.last(), 0, 'f', 0)
                   .arg(abRun->rate, 0, 'f', 0)
                   .arg(ratios.last() * 100, 0, 'f', 1);
        out.flush();
    }
    return WarmFigures{median(updateRates), median(abRates), median(ratios)};
}
