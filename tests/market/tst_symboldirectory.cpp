#include "common/LoopbackServer.h"
#include "common/TestFiles.h"
#include "market/MarketStore.h"
#include "market/SymbolDirectory.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using SymbolDirectory::Exchange;

namespace {

const QByteArray kNasdaqListed = "Symbol|Security Name|Market Category|Test Issue|Financial Status|Round Lot Size|ETF|"
                           "NextShares\r\n"
                           "AAPL|Apple Inc. - Common Stock|Q|N|N|100|N|N\r\n"
                           "ZXZZT|NASDAQ TEST STOCK|G|Y|N|100|N|N\r\n"
                           "MSFT|Microsoft Corporation - Common Stock|Q|N|N|100|N|N\r\n"
                           "NEWCO|New Company Inc.|S|N|N|100|N|N\r\n"
                           "File Creation Time: 1204202622:01|||||||\r\n";
const QByteArray kOtherListed = "ACT Symbol|Security Name|Exchange|CQS Symbol|ETF|Round Lot Size|Test Issue|NASDAQ Symbol\n"
                          "BRK.B|Berkshire Hathaway Inc.|N|BRK.B|N|100|N|BRK=B\n"
                          "SPY|SPDR S&P 500|P|SPY|Y|100|N|SPY\n"
                          "ATEST|NYSE Test Stock|N|ATEST|N|100|Y|ATEST\n"
                          "IBM|International Business Machines|N|IBM|N|100|N|IBM\n"
                          "File Creation Time: 1204202622:01|||||||\n";

StockRecord quoted(const QString &symbol, float last)
{
    return {.Reserved = {}, .Symbol = symbol, .Last = last, .Volume = 7, .High = last + 1};
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
        QTest::newRow("nasdaqlisted, test issue left out") << kNasdaqListed << true
                                                            << QStringList{"AAPL", "MSFT", "NEWCO"};
        QTest::newRow("otherlisted, NYSE only, test issue left out") << kOtherListed << false
                                                                      << QStringList{"BRK.B", "IBM"};
        QTest::newRow("cut off before the closing line") << kNasdaqListed.left(kNasdaqListed.indexOf("NEWCO")) << true
                                                         << QStringList();
        QTest::newRow("the other exchange's file") << kOtherListed << true << QStringList();
        QTest::newRow("a web page") << QByteArray("<html>maintenance</html>\n") << false << QStringList();
    }

    void parses()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, nasdaq);
        QFETCH(QStringList, expected);
        QString why;
        const std::optional<QStringList> symbols =
            SymbolDirectory::parse(text, nasdaq ? Exchange::Nasdaq : Exchange::Nyse, &why);
        QCOMPARE(symbols.value_or(QStringList()), expected);
        QCOMPARE(why.isEmpty(), !expected.isEmpty());
    }

    // Listed symbols keep their records; new ones go before the spare; the
    // no longer listed stay unless pruned.
    void merges_data()
    {
        QTest::addColumn<bool>("prune");
        QTest::newRow("keep") << false;
        QTest::newRow("prune") << true;
    }

    void merges()
    {
        QFETCH(bool, prune);
        MarketDatabase db;
        db.LastUpdate = 46000;
        db.Stocks = {quoted("aapl", 190), quoted("GONE", 3), quoted("MSFT", 400), StockRecord{}};
        const auto counts = SymbolDirectory::merge(db, {"AAPL", "MSFT", "NEWCO"}, prune);
        QVERIFY(counts);
        QCOMPARE(counts->added, 1);
        QCOMPARE(counts->kept, 2);
        QCOMPARE(counts->removed, prune ? 1 : 0);
        QCOMPARE(counts->unlisted, prune ? 0 : 1);
        QList<StockRecord> expected{quoted("aapl", 190), quoted("GONE", 3), quoted("MSFT", 400),
                                    StockRecord{.Reserved = {}, .Symbol = "NEWCO"}, StockRecord{}};
        if (prune)
            expected.removeAt(1);
        QCOMPARE(db.Stocks, expected);
        QCOMPARE(db.LastUpdate, 46000.0);
    }

    // The tool from a web directory and from a folder: the counts it prints
    // and the file it saves; a cut-off directory leaves the file as it was.
    void tool_data()
    {
        QTest::addColumn<bool>("fromFolder");
        QTest::addColumn<bool>("prune");
        QTest::addColumn<bool>("truncated");
        QTest::addColumn<QString>("printed");
        QTest::newRow("web, keep") << false << false << false
                                   << "2 added, 1 kept, 0 removed (1 no longer listed, kept; --prune removes them)";
        QTest::newRow("folder, prune") << true << true << false << "2 added, 1 kept, 1 removed";
        QTest::newRow("web, cut off") << false << true << true << "the market file is left as it was";
    }

    void tool()
    {
        QFETCH(bool, fromFolder);
        QFETCH(bool, prune);
        QFETCH(bool, truncated);
        QFETCH(QString, printed);
        const QByteArray nasdaq =
            truncated ? kNasdaqListed.left(kNasdaqListed.indexOf("File Creation")) : kNasdaqListed;
        LoopbackServer server([nasdaq](QTcpSocket *socket, const QByteArray &request) {
            const QByteArray path = LoopbackServer::path(request);
            const QByteArray body = path == "/dir/nasdaqlisted.txt"  ? nasdaq
                                    : path == "/dir/otherlisted.txt" ? kOtherListed
                                                                     : QByteArray();
            LoopbackServer::send(socket, {LoopbackServer::http(body.isEmpty() ? 404 : 200, "text/plain", body)});
        });
        QTemporaryDir folder;
        QVERIFY(writeFile(folder.filePath(QStringLiteral("nasdaqlisted.txt")), nasdaq));

        const QString market = m_dir.filePath(QStringLiteral("nasdaq.bin"));
        MarketDatabase db;
        db.Stocks = {quoted("MSFT", 400), quoted("GONE", 3), StockRecord{}};
        QVERIFY(writeMarketFile(market, db));
        const QByteArray bytesBefore = fileBytes(market);

        QStringList args{"--directory", fromFolder ? folder.path() : server.url(QStringLiteral("/dir")).toString()};
        if (prune)
            args << "--prune";
        args << "nasdaq" << market;
        QString output;
        const int code = runTool(args, &output);
        QVERIFY2(output.contains(printed), qPrintable(output));
        QCOMPARE(code, truncated ? 1 : 0);
        MarketDatabase after;
        QVERIFY(readMarketFile(market, &after));
        if (truncated) {
            QCOMPARE(fileBytes(market), bytesBefore);
            return;
        }
        QStringList symbols;
        for (qsizetype i = 0; i < after.listedCount(); ++i)
            symbols.append(after.Stocks[i].Symbol);
        QCOMPARE(symbols, prune ? QStringList({"MSFT", "AAPL", "NEWCO"}) : QStringList({"MSFT", "GONE", "AAPL", "NEWCO"}));
        QCOMPARE(after.Stocks.first(), quoted("MSFT", 400)); // its quote kept
    }
};

QTEST_GUILESS_MAIN(TestSymbolDirectory)
#include "tst_symboldirectory.moc"
