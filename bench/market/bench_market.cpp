// Load and save of a market file at the design limit of 32,767 listed
// stocks: median of 25 runs each, and load time against reading the same
// bytes into memory.
#include "common/BenchFixtures.h"
#include "common/BenchStats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    MarketStore store(dir.path());
    store.selectMarket(kNasdaq);

    MarketDatabase db = listedMarket(32767, [](int i, StockRecord &s) {
        s.Symbol = QStringLiteral("S%1").arg(i, 4, 36, QLatin1Char('0')).toUpper();
        s.Last = 1.0f + float(i % 500) / 10.0f;
        s.Spread = 0.25f;
        s.Volume = 1000.0 * i;
        s.High = s.Last + 0.5f;
        s.Low = s.Last - 0.25f;
        s.Change = float(i % 7) - 3.0f;
        s.Open = s.Last;
    });
    db.LastUpdate = 46000;
    if (!writeMarketFile(store.filePath(), db))
        return 1;

    constexpr int runs = 25;
    std::vector<double> load, read, save, first;
    for (int i = 0; i < runs; ++i) {
        read.push_back(timeMs([&] {
            QFile f(store.filePath());
            f.open(QIODevice::ReadOnly);
            volatile qsizetype n = f.readAll().size();
            (void)n;
        }));
        load.push_back(timeMs([&] { store.LoadDatabase(); }));
        save.push_back(timeMs([&] { store.SaveDatabase(); }));
        MarketStore fresh(dir.path()); // opening a market: nothing to reuse
        fresh.selectMarket(kNasdaq);
        first.push_back(timeMs([&] { fresh.LoadDatabase(); }));
    }
    const qint64 bytes = QFile(store.filePath()).size();
    QTextStream out(stdout);
    out << "market file: 32767 stocks, " << bytes << " bytes, " << runs << " runs\n";
    out << QStringLiteral("load   median %1 ms, reload over an open market (target <= 10)\n")
               .arg(median(load), 0, 'f', 2);
    out << QStringLiteral("first  median %1 ms (load into an empty store)\n").arg(median(first), 0, 'f', 2);
    out << QStringLiteral("read   median %1 ms (bytes into memory)\n").arg(median(read), 0, 'f', 2);
    out << QStringLiteral("ratio  load/read %1 (target <= 5)\n").arg(median(load) / median(read), 0, 'f', 2);
    out << QStringLiteral("save   median %1 ms incl. atomic replace (target <= 30)\n").arg(median(save), 0, 'f', 2);
    return store.database() == db ? 0 : 1;
}
