// Start-up of the program against two minimal Qt programs (an empty
// QMainWindow, and one with a label), on the offscreen platform and, when an
// X display is there, on xcb: time from process start to the window's first
// paint, and the process's peak resident memory at that moment. Alternating
// runs; medians.
#include "common/BenchStats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <vector>

namespace {

struct Run
{
    double ms = -1;
    double peakMiB = -1;
};

Run runOnce(const QString &program, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer t;
    t.start();
    p.start(program, {});
    Run run;
    // A benchmark harness may block: it only measures its children.
    QByteArray out;
    while (!out.contains('\n') && p.waitForReadyRead(30000))
        out += p.readAllStandardOutput();
    if (out.startsWith("shown ")) {
        run.ms = double(t.nsecsElapsed()) / 1e6;
        run.peakMiB = out.mid(6).trimmed().toDouble() / 1024.0;
    }
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return Run{};
    return run;
}

struct Figures
{
    std::vector<double> ms, mib;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir config; // keeps the user's real settings out of it
    const QString dir = QStringLiteral(TARNVALE_BENCH_DIR);
    const QStringList names = {QStringLiteral("tarnvale"), QStringLiteral("empty window"), QStringLiteral("one label")};
    const QStringList programs = {dir + QStringLiteral("/bench_startup_tarnvale"),
                                  dir + QStringLiteral("/bench_startup_minimal"),
                                  dir + QStringLiteral("/bench_startup_minimal_text")};
    QStringList platforms = {QStringLiteral("offscreen")};
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        platforms << QStringLiteral("xcb");

    constexpr int runs = 21;
    QTextStream out(stdout);
    out << QStringLiteral("start-up to the window's first paint and peak resident memory then (VmHWM), median of "
                          "%1 alternating runs\n")
               .arg(runs);
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(QStringLiteral("platform"), -10)
               .arg(QStringLiteral("program"), -13)
               .arg(QStringLiteral("time"), 10)
               .arg(QStringLiteral("peak"), 10)
               .arg(QStringLiteral("ratio (time / peak) to empty, to label"));
    for (const QString &platform : platforms) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        std::vector<Figures> figures(programs.size());
        for (const QString &program : programs)
            runOnce(program, env); // warm the file cache
        for (int i = 0; i < runs; ++i) {
            for (qsizetype k = 0; k < programs.size(); ++k) {
                const Run run = runOnce(programs[k], env);
                if (run.ms < 0) {
                    QTextStream(stderr) << programs[k] << " failed on " << platform << '\n';
                    return 1;
                }
                figures[k].ms.push_back(run.ms);
                figures[k].mib.push_back(run.peakMiB);
            }
        }
        for (qsizetype k = 0; k < programs.size(); ++k) {
            const double ms = median(figures[k].ms), mib = median(figures[k].mib);
            out << QStringLiteral("%1 %2 %3 ms %4 MiB")
                       .arg(platform, -10)
                       .arg(names[k], -13)
                       .arg(ms, 7, 'f', 1)
                       .arg(mib, 6, 'f', 1);
            if (k == 0)
                out << QStringLiteral("   %1x / %2x, %3x / %4x")
                           .arg(ms / median(figures[1].ms), 0, 'f', 2)
                           .arg(mib / median(figures[1].mib), 0, 'f', 2)
                           .arg(ms / median(figures[2].ms), 0, 'f', 2)
                           .arg(mib / median(figures[2].mib), 0, 'f', 2);
            out << '\n';
        }
    }
    out << QStringLiteral("targets on xcb: time <= 1.3x the empty window and <= 1.2x the label, peak <= 45 MiB\n");
    return 0;
}
