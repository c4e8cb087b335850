// Times process start to main window shown for the program and for a minimal
// Qt program, alternating runs, and prints the medians and their ratio.
#include "common/BenchStats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

double runOnce(const QString &program, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(program, {});
    // A benchmark harness may block: it only measures its children.
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return -1;
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir config; // keeps the user's real settings out of it
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    const QString dir = QStringLiteral(TARNVALE_BENCH_DIR);
    const QString tarnvale = dir + QStringLiteral("/bench_startup_tarnvale");
    const QString minimal = dir + QStringLiteral("/bench_startup_minimal");
    const QString withText = dir + QStringLiteral("/bench_startup_minimal_text");

    constexpr int runs = 21;
    std::vector<double> a, b, c;
    runOnce(tarnvale, env); // warm the file cache for all three
    runOnce(minimal, env);
    runOnce(withText, env);
    for (int i = 0; i < runs; ++i) {
        a.push_back(runOnce(tarnvale, env));
        b.push_back(runOnce(minimal, env));
        c.push_back(runOnce(withText, env));
    }
    if (*std::min_element(a.begin(), a.end()) < 0 || *std::min_element(b.begin(), b.end()) < 0
        || *std::min_element(c.begin(), c.end()) < 0) {
        QTextStream(stderr) << "a child program failed\n";
        return 1;
    }
    QTextStream out(stdout);
    out << QStringLiteral("start-up to window shown, offscreen, median of %1 runs\n").arg(runs);
    out << QStringLiteral("tarnvale         %1 ms\n").arg(median(a), 0, 'f', 1);
    out << QStringLiteral("minimal Qt       %1 ms\n").arg(median(b), 0, 'f', 1);
    out << QStringLiteral("minimal + label  %1 ms\n").arg(median(c), 0, 'f', 1);
    out << QStringLiteral("ratio            %1 against the empty window (target <= 1.5)\n").arg(median(a) / median(b), 0, 'f', 2);
    out << QStringLiteral("ratio            %1 against the window with one label\n").arg(median(a) / median(c), 0, 'f', 2);
    return 0;
}
