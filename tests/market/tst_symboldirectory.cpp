#include "common/LoopbackServer.h"
#include "common/TestFiles.h"
#include "market/MarketStore.h"
#include "market/SymbolDirectory.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using SymbolDirectory::Exchange;
using SymbolDirectory::Prune;

namespace {

const QByteArray kNasdaqListed = "Symbol|Security Name|Market Category|Test Issue|Financial Status|Round Lot Size|ETF|"
                                 "NextShares\r\n"
                                 "AAPL|Apple Inc. - Common Stock|Q|N|N|100|N|N\r\n"
                                 "ZXZZT|NASDAQ TEST STOCK|G|Y|N|100|N|N\r\n"
                                 "MSFT|Microsoft Corporation - Common Stock|Q|N|N|100|N|N\r\n"
                                 "NEWCO|New Company Inc.|S|N|N|100|N|N\r\n"
                                 "File Creation Time: 1204202622:01|||||||\r\n";
const QByteArray kOtherListed =
    "ACT Symbol|Security Name|Exchange|CQS Symbol|ETF|Round Lot Size|Test Issue|NASDAQ Symbol\n"
    "BRK.B|Berkshire Hathaway Inc.|N|BRK.B|N|100|N|BRK=B\n"
    "SPY|SPDR S&P 500|P|SPY|Y|100|N|SPY\n"
    "ATEST|NYSE Test Stock|N|ATEST|N|100|Y|ATEST\n"
    "IBM|International Business Machines|N|IBM|N|100|N|IBM\n"
    "File Creation Time: 1204202622:01|||||||\n";

StockRecord quoted(const QString &symbol, float last)
{
    return {.Reserved = {}, .Symbol = symbol, .Last = last, .Volume = 7, .High = last + 1};
}

QStringList symbolsOf(const MarketDatabase &db)
{
    QStringList symbols;
    for (qsizetype i = 0; i < db.listedCount(); ++i)
        symbols.append(db.Stocks[i].Symbol);
    return symbols;
}

} // namespace

// The exchanges' symbol directories, their merge into a market file, and
// the tarnvale-symbols tool that does both.
class TestSymbolDirectory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Runs the real tool, the event loop serving the directory meanwhile.
    int runTool(const QStringList &args, QString *output)
    {
        QProcess tool;
        tool.start(QStringLiteral(TARNVALE_BIN_DIR "/tarnvale-symbols"), args);
        if (!QTest::qWaitFor([&] { return tool.state() == QProcess::NotRunning; }, 20'000))
            return -1;
        *output = QString::fromLocal8Bit(tool.readAllStandardOutput() + tool.readAllStandardError());
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }

private slots:
    void parses_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("nasdaq");
        QTest::addColumn<QStringList>("expected"); // empty: refused
        QTest::addColumn<QStringList>("elsewhere");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("overLong");
        QTest::newRow("nasdaqlisted, test issue left out")
            << kNasdaqListed << true << QStringList{"AAPL", "MSFT", "NEWCO"} << QStringList() << 0 << 0;
        QTest::newRow("otherlisted, NYSE's, test issue left out, Arca's apart")
            << kOtherListed << false << QStringList{"BRK.B", "IBM"} << QStringList{"spy"} << 0 << 0;
        QByteArray odd = kNasdaqListed;
        odd.insert(odd.indexOf("MSFT"), "SHORT|row\r\nA,B|Comma|Q|N|N|100|N|N\r\n" + QByteArray(33, 'L')
                                            + "|Long|Q|N|N|100|N|N\r\nWHAT|Unsaid|Q|?|N|100|N|N\r\n");
        QTest::newRow("odd rows counted")
            << odd << true << QStringList{"AAPL", "MSFT", "NEWCO"} << QStringList() << 4 << 1;
        QTest::newRow("cut off before the closing line")
            << kNasdaqListed.left(kNasdaqListed.indexOf("NEWCO")) << true << QStringList() << QStringList() << 0 << 0;
        QTest::newRow("the other exchange's file") << kOtherListed << true << QStringList() << QStringList() << 0 << 0;
        QTest::newRow("a web page") << QByteArray("<html>maintenance</html>\n") << false << QStringList()
                                    << QStringList() << 0 << 0;
    }

    void parses()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, nasdaq);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, elsewhere);
        QFETCH(int, skipped);
        QFETCH(int, overLong);
        QString why;
        const auto listing = SymbolDirectory::parse(text, nasdaq ? Exchange::Nasdaq : Exchange::Nyse, &why);
        QCOMPARE(why.isEmpty(), !expected.isEmpty());
        if (!listing)
            return;
        QCOMPARE(listing->symbols, expected);
        QCOMPARE(listing->elsewhere, QSet<QString>(elsewhere.cbegin(), elsewhere.cend()));
        QCOMPARE(listing->skipped, skipped);
        QCOMPARE(listing->overLong, overLong);
    }

    // Listed symbols keep their records; new ones go before the spare; the
    // no longer listed stay unless pruned, and those listed on another
    // exchange always stay. A prune that would empty the market or take
    // more than a quarter of it is refused unless forced.
    void merges_data()
    {
        QTest::addColumn<int>("prune");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("after"); // empty: refused
        const QStringList three{"AAPL", "MSFT", "NEWCO"};
        const int no = int(Prune::No), guarded = int(Prune::Guarded), forced = int(Prune::Forced);
        QTest::newRow("keep") << no << three << QStringList{"aapl", "GONE", "MSFT", "SPY", "NEWCO"};
        QTest::newRow("prune a quarter, the Arca symbol kept")
            << guarded << three << QStringList{"aapl", "MSFT", "SPY", "NEWCO"};
        QTest::newRow("prune more than a quarter") << guarded << QStringList{"AAPL", "NEWCO"} << QStringList();
        QTest::newRow("forced") << forced << QStringList{"AAPL", "NEWCO"} << QStringList{"aapl", "SPY", "NEWCO"};
        QTest::newRow("prune by an empty directory") << guarded << QStringList() << QStringList();
        QTest::newRow("forced by an empty directory") << forced << QStringList() << QStringList{"SPY"};
    }

    void merges()
    {
        QFETCH(int, prune);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, after);
        MarketDatabase db;
        db.LastUpdate = 46000;
        const QList<StockRecord> before{quoted("aapl", 190), quoted("GONE", 3), quoted("MSFT", 400), quoted("SPY", 600),
                                        StockRecord{}};
        db.Stocks = before;
        SymbolDirectory::Listing listing{.symbols = listed, .elsewhere = {"spy"}};
        QString why;
        const auto counts = SymbolDirectory::merge(db, listing, Prune(prune), &why);
        QCOMPARE(counts.has_value(), !after.isEmpty());
        QCOMPARE(why.isEmpty(), counts.has_value());
        QCOMPARE(symbolsOf(db), after.isEmpty() ? QStringList({"aapl", "GONE", "MSFT", "SPY"}) : after);
        QCOMPARE(db.Stocks[symbolsOf(db).indexOf(u"SPY")], quoted("SPY", 600)); // kept, quote and all
        QCOMPARE(db.Stocks.last(), StockRecord{});
        QCOMPARE(db.LastUpdate, 46000.0);
    }

    // The tool from a web directory and from a folder: the counts it prints
    // and the file it saves; a refused prune and a cut-off directory leave
    // the file as it was, and say so in one line. A save's stale copy goes.
    void tool_data()
    {
        QTest::addColumn<bool>("fromFolder");
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<QByteArray>("directory");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QStringList>("after"); // empty: refused, the file as it was
        const QByteArray cutOff = kNasdaqListed.left(kNasdaqListed.indexOf("File Creation"));
        const QStringList prune{"--prune"}, force{"--prune", "--force"};
        QTest::newRow("web, keep") << false << QStringList() << kNasdaqListed
                                   << "2 added, 1 kept, 0 removed (1 no longer listed, kept; --prune removes them)"
                                   << QStringList{"MSFT", "GONE", "AAPL", "NEWCO"};
        QTest::newRow("folder, prune half") << true << prune << kNasdaqListed
                                            << "more than a quarter; the market file is left as it was (--force "
                                               "prunes all the same)"
                                            << QStringList();
        QTest::newRow("web, prune half, forced")
            << false << force << kNasdaqListed << "2 added, 1 kept, 1 removed" << QStringList{"MSFT", "AAPL", "NEWCO"};
        QTest::newRow("web, cut off") << false << prune << cutOff << "the market file is left as it was"
                                      << QStringList();
        QTest::newRow("folder, cut off") << true << QStringList() << cutOff << "the market file is left as it was"
                                         << QStringList();
    }

    void tool()
    {
        QFETCH(bool, fromFolder);
        QFETCH(QStringList, flags);
        QFETCH(QByteArray, directory);
        QFETCH(QString, printed);
        QFETCH(QStringList, after);
        LoopbackServer server([directory](QTcpSocket *socket, const QByteArray &request) {
            const QByteArray path = LoopbackServer::path(request);
            const QByteArray body = path == "/dir/nasdaqlisted.txt"  ? directory
                                    : path == "/dir/otherlisted.txt" ? kOtherListed
                                                                     : QByteArray();
            LoopbackServer::send(socket, {LoopbackServer::http(body.isEmpty() ? 404 : 200, "text/plain", body)});
        });
        QTemporaryDir folder;
        QVERIFY(writeFile(folder.filePath(QStringLiteral("nasdaqlisted.txt")), directory));

        const QString market = m_dir.filePath(QStringLiteral("nasdaq.bin"));
        MarketDatabase db;
        db.Stocks = {quoted("MSFT", 400), quoted("GONE", 3), StockRecord{}};
        QVERIFY(writeMarketFile(market, db));
        const QByteArray bytesBefore = fileBytes(market);
        QFile stale(market + QStringLiteral(".AbCdEf"));
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write(bytesBefore) > 0 && stale.flush());
        QVERIFY(stale.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        stale.close();

        QString output;
        const int code = runTool(
            QStringList{"--directory", fromFolder ? folder.path() : server.url(QStringLiteral("/dir")).toString()}
                + flags + QStringList{"nasdaq", market},
            &output);
        QVERIFY2(output.contains(printed), qPrintable(output));
        QCOMPARE(output.count(u'\n'), 1);
        QCOMPARE(code, after.isEmpty() ? 1 : 0);
        QVERIFY(!stale.exists());
        if (after.isEmpty()) {
            QCOMPARE(fileBytes(market), bytesBefore);
            return;
        }
        MarketDatabase saved;
        QVERIFY(readMarketFile(market, &saved));
        QCOMPARE(symbolsOf(saved), after);
        QCOMPARE(saved.Stocks.first(), quoted("MSFT", 400)); // its quote kept
    }
};

QTEST_GUILESS_MAIN(TestSymbolDirectory)
#include "tst_symboldirectory.moc"
