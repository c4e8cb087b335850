// The history store at the size of a whole exchange's decade: 8,000 symbols
// of 2,500 sessions each (arguments: symbols, sessions, for a quick run).
//  - import: one addBars per symbol into a fresh store, the store's time
//    alone (target with parsing: >= 500,000 rows/s);
//  - the file's size after the last connection checkpointed it (target:
//    <= 40 bytes per bar);
//  - a new day for every symbol in one addBars, indicators included (target:
//    <= 1 s), median of three days;
//  - technicals() of every symbol, median of five reads.
#include "common/BenchFixtures.h"
#include "common/BenchStats.h"
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>
#include <random>
#include <vector>

namespace {

QTextStream out(stdout);

// The next weekday after day.
QDate nextSession(QDate day)
{
    do
        day = day.addDays(1);
    while (day.dayOfWeek() > 5);
    return day;
}

// A random walk in cents from a price between 2 and 200, one bar per weekday.
struct Walk
{
    std::mt19937 random;
    double close;
    QDate day;

    Walk(int seed, QDate before)
        : random(seed)
        , close(2 + std::uniform_real_distribution<>(0, 198)(random))
        , day(before)
    {}

    DailyBar next()
    {
        std::normal_distribution<> change(0, 0.02);
        std::uniform_real_distribution<> wick(0, 0.01);
        const auto cents = [](double p) { return float(std::max(0.01, std::round(p * 100) / 100)); };
        const double open = close * (1 + change(random) / 4);
        close = std::max(0.05, close * (1 + change(random)));
        day = nextSession(day);
        return DailyBar{day,
                        cents(open),
                        cents(std::max(open, close) * (1 + wick(random))),
                        cents(std::min(open, close) * (1 - wick(random))),
                        cents(close),
                        qint64(std::lognormal_distribution<>(12, 1.5)(random))};
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int symbolCount = args.size() > 1 ? args[1].toInt() : 8000;
    const int sessions = args.size() > 2 ? args[2].toInt() : 2500;
    QTemporaryDir dir;
    const QString path = historyStorePath(dir.path());
    QString error;

    std::vector<Walk> walks;
    for (int i = 0; i < symbolCount; ++i)
        walks.emplace_back(i, QDate(2014, 12, 31));
    double importMs = 0;
    double cpu = cpuSeconds(RUSAGE_SELF);
    {
        auto store = HistoryStore::open(path, HistoryStore::Mode::ReadWrite, &error);
        if (!store) {
            out << error << '\n';
            return 1;
        }
        for (int i = 0; i < symbolCount; ++i) {
            BarSeries bars(static_cast<size_t>(sessions));
            for (DailyBar &bar : bars)
                bar = walks[size_t(i)].next();
            const QHash<QString, BarSeries> one{{QString::fromLatin1(symbolAt(i)), std::move(bars)}};
            importMs += timeMs([&] {
                if (!store->addBars(one, &error))
                    out << error << '\n';
            });
        }
    } // the last connection closed: the WAL is checkpointed into the file
    const double importCpu = cpuSeconds(RUSAGE_SELF) - cpu;
    const qint64 rows = qint64(symbolCount) * sessions;
    const qint64 bytes = QFile(path).size();
    out << QStringLiteral(
               "import: %1 symbols x %2 sessions in %3 s, %4 rows/s (store alone; cpu incl. generating %5 s)\n")
               .arg(symbolCount)
               .arg(sessions)
               .arg(importMs / 1000, 0, 'f', 2)
               .arg(double(rows) / importMs * 1000, 0, 'f', 0)
               .arg(importCpu, 0, 'f', 1);
    out << QStringLiteral("file:   %1 bytes, %2 bytes per bar (target <= 40)\n")
               .arg(bytes)
               .arg(double(bytes) / double(rows), 0, 'f', 1);

    auto store = HistoryStore::open(path, HistoryStore::Mode::ReadWrite, &error);
    std::vector<double> day, read;
    cpu = cpuSeconds(RUSAGE_SELF);
    for (int run = 0; run < (qEnvironmentVariableIsSet("HC_DAYS") ? 30 : 3); ++run) {
        QHash<QString, BarSeries> newDay;
        for (int i = 0; i < symbolCount; ++i)
            newDay.insert(QString::fromLatin1(symbolAt(i)), BarSeries{walks[size_t(i)].next()});
        day.push_back(timeMs([&] {
            if (!store->addBars(newDay, &error))
                out << error << '\n';
        }));
    }
    const double dayCpu = (cpuSeconds(RUSAGE_SELF) - cpu) / 3;
    for (int run = 0; run < 5; ++run)
        read.push_back(timeMs([&] {
            volatile size_t n = store->technicals().size();
            (void)n;
        }));
    out << QStringLiteral("day:    one addBars of %1 symbols x 1 bar, indicators included: median %2 ms of %3, %4, %5"
                          " (target <= 1000; cpu %6 ms a day)\n")
               .arg(symbolCount)
               .arg(median(day), 0, 'f', 1)
               .arg(day[0], 0, 'f', 1)
               .arg(day[1], 0, 'f', 1)
               .arg(day[2], 0, 'f', 1)
               .arg(dayCpu * 1000, 0, 'f', 0);
    out << QStringLiteral("read:   technicals() of %1 symbols: median %2 ms\n")
               .arg(store->technicals().size())
               .arg(median(read), 0, 'f', 1);
    return 0;
}
