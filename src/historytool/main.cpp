// tarnvale-history: fills the price history store, from stooq's bulk daily
// archive that the user downloaded, or with made-up sample history.
#include "base/CommandLine.h"
#include "base/InstallLayout.h"
#include "history/HistoryImport.h"
#include "history/HistoryStore.h"
#include "history/SampleHistory.h"
#include "market/MarketStore.h"
#include "quoted/QuoteLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTextStream>

#include <cmath>

namespace {

// A year of sessions and a week more, so that even the year's performance
// (252 sessions back) is known.
constexpr int kDefaultSampleDays = 260;
constexpr int kMaxSampleDays = 25'000;

QTextStream out(stdout);
QTextStream err(stderr);

const QString kUsage = QStringLiteral("usage: tarnvale-history import [--all] [--history FILE] PATH\n"
                                      "       tarnvale-history sample [--days N] [--quotes FILE] [--history FILE]\n");

// Where the program keeps its market files, and the installed seeds of those
// not made yet: the same places the program itself uses.
InstallLayout::MarketLocation marketLocation()
{
    const QString userData = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                                 .filePath(QStringLiteral("Tarnvale"));
    return InstallLayout::marketLocation(QCoreApplication::applicationDirPath(), userData, marketFileNames());
}

// The listed stocks of both markets, each market from the data folder or,
// before the program made it, its seed.
std::optional<QList<StockRecord>> listedStocks(const InstallLayout::MarketLocation &where, QDate *lastUpdate)
{
    QList<StockRecord> stocks;
    for (const QString &name : marketFileNames()) {
        QString path = QDir(where.directory).filePath(name);
        if (!QFileInfo::exists(path) && !where.seedDirectory.isEmpty())
            path = QDir(where.seedDirectory).filePath(name);
        if (!QFileInfo::exists(path))
            continue;
        MarketDatabase db;
        QString why;
        if (!readMarketFile(path, &db, &why)) {
            err << "tarnvale-history: cannot read " << QDir::toNativeSeparators(path) << ": " << why << '\n';
            return std::nullopt;
        }
        stocks.append(db.Stocks.mid(0, db.listedCount()));
        if (db.LastUpdate >= 1)
            *lastUpdate = std::max(*lastUpdate, QDate(1899, 12, 30).addDays(qint64(db.LastUpdate)));
    }
    return stocks;
}

int import(const QString &source, const QString &storePath, bool all, const InstallLayout::MarketLocation &where)
{
    HistoryImport job(source, storePath);
    if (!all) {
        QString why;
        const std::optional<QSet<QString>> symbols =
            HistoryImport::marketSymbols(where.directory, where.seedDirectory, &why);
        if (!symbols) {
            err << "tarnvale-history: cannot read " << why << '\n';
            return 1;
        }
        job.setWanted(*symbols);
    }
    const HistoryImport::Result result = job.run();
    const QLocale c = QLocale::c();
    out << QDir::toNativeSeparators(storePath) << ": " << c.toString(result.symbols) << " symbols, "
        << c.toString(result.rows) << " rows imported from " << c.toString(result.files) << " files";
    if (result.skipped > 0)
        out << "; " << c.toString(result.skipped) << " symbols skipped, not in the market files (--all imports them)";
    out << '\n';
    if (result.ok)
        return 0;
    if (result.failedEntry.isEmpty())
        err << "tarnvale-history: " << result.error << '\n';
    else
        err << "tarnvale-history: " << result.failedEntry << ": " << result.error
            << "; the files before it are imported, nothing of it\n";
    return 1;
}

int sample(int days, const QString &quotesPath, const QString &storePath, const InstallLayout::MarketLocation &where)
{
    QuoteSnapshot quotes;
    if (!quotesPath.isEmpty()) {
        QString why;
        std::optional<QuoteSnapshot> read = readQuoteSnapshot(quotesPath, nullptr, &why);
        if (!read) {
            err << "tarnvale-history: " << QDir::toNativeSeparators(quotesPath) << ": " << why << '\n';
            return 1;
        }
        quotes = *std::move(read);
    }
    QDate lastUpdate;
    const std::optional<QList<StockRecord>> stocks = listedStocks(where, &lastUpdate);
    if (!stocks)
        return 1;
    QString why;
    const std::unique_ptr<HistoryStore> store = HistoryStore::open(storePath, HistoryStore::Mode::ReadWrite, &why);
    if (!store) {
        err << "tarnvale-history: " << why << '\n';
        return 1;
    }
    QHash<QString, BarSeries> bySymbol;
    qint64 rows = 0;
    int kept = 0;
    for (const StockRecord &stock : *stocks) {
        const QString symbol = stock.Symbol.trimmed();
        if (symbol.isEmpty() || bySymbol.contains(symbol))
            continue;
        if (store->hasBars(symbol)) {
            ++kept; // real or earlier history is never replaced
            continue;
        }
        const QuoteLine quote = quotes.value(quoteSymbolKey(symbol.toLatin1()));
        const double last = quote.last > 0 ? quote.last : double(stock.Last);
        const qint64 volume = quote.volume.value_or(qint64(stock.Volume));
        const QDate date = quote.date.isValid() ? quote.date : lastUpdate.isValid() ? lastUpdate : QDate::currentDate();
        BarSeries bars = sampleHistory(symbol.toLatin1(), last, volume, date, days);
        rows += qint64(bars.size());
        if (!bars.empty())
            bySymbol.insert(symbol, std::move(bars));
    }
    if (!bySymbol.isEmpty() && !store->addBars(bySymbol, &why)) {
        err << "tarnvale-history: " << why << '\n';
        return 1;
    }
    const QLocale c = QLocale::c();
    out << QDir::toNativeSeparators(storePath) << ": sample history for " << c.toString(bySymbol.size()) << " symbols, "
        << c.toString(rows) << " rows; " << c.toString(kept) << " symbols kept their history\n";
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CommandLine::nameProgram(QStringLiteral("tarnvale-history"));
    QCommandLineParser parser;
    CommandLine::addStandardOptions(
        parser,
        QStringLiteral("Fills Tarnvale's price history: \"import\" reads stooq's U.S. daily archive (the .zip, a "
                       "folder unpacked from it, or one of its .txt files); \"sample\" writes made-up history "
                       "for listed symbols that have none."));
    const QCommandLineOption historyOption(
        QStringLiteral("history"),
        QStringLiteral("The history store (default: history.sqlite beside the market files)."), QStringLiteral("FILE"));
    const QCommandLineOption allOption(
        QStringLiteral("all"), QStringLiteral("import: every symbol of the archive, not only the listed ones."));
    const QCommandLineOption daysOption(
        QStringLiteral("days"), QStringLiteral("sample: sessions per symbol (default %1).").arg(kDefaultSampleDays),
        QStringLiteral("N"), QString::number(kDefaultSampleDays));
    const QCommandLineOption quotesOption(
        QStringLiteral("quotes"), QStringLiteral("sample: a quotes snapshot whose last prices the history ends at."),
        QStringLiteral("FILE"));
    parser.addOptions({historyOption, allOption, daysOption, quotesOption});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("import PATH, or sample"));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    const bool importing = command == u"import" && args.size() == 2;
    const bool sampling = command == u"sample" && args.size() == 1;
    if ((!importing && !sampling) || (sampling && parser.isSet(allOption))
        || (importing && (parser.isSet(daysOption) || parser.isSet(quotesOption)))) {
        err << kUsage;
        return 2;
    }
    bool ok = false;
    const int days = parser.value(daysOption).toInt(&ok);
    if (!ok || days < 1 || days > kMaxSampleDays) {
        err << "tarnvale-history: --days takes 1 to " << kMaxSampleDays << '\n';
        return 2;
    }

    const InstallLayout::MarketLocation where = marketLocation();
    const QString storePath =
        parser.isSet(historyOption) ? parser.value(historyOption) : historyStorePath(where.directory);
    if (!parser.isSet(historyOption) && !QDir().mkpath(where.directory)) {
        err << "tarnvale-history: cannot make " << QDir::toNativeSeparators(where.directory) << '\n';
        return 1;
    }
    if (importing)
        return import(args[1], storePath, parser.isSet(allOption), where);
    return sample(days, parser.value(quotesOption), storePath, where);
}
