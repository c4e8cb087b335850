#include "QuoteFaultServer.h"

#include "market/MarketStore.h"
#include "quotes/QuoteReply.h"
#include "quotes/UpdateDatabase.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Action = QuoteFaultServer::Action;
using Ending = UpdateDatabase::Ending;

namespace {

const double kOldDate = 38142; // 2004-06-04

// What every record holds before the update: a skipped one must keep it all.
StockRecord preset(const QString &symbol)
{
    StockRecord r;
    r.Reserved = QStringLiteral("keep");
    r.Symbol = symbol;
    r.Last = 9.99f;
    r.Spread = 1;
    r.Volume = 42;
    r.High = 10;
    r.Low = 9;
    r.Change = -1;
    r.Open = 9.5f;
    return r;
}

// The record as the fault server's line for it fills it.
StockRecord refreshed(const QString &symbol, float last)
{
    StockRecord r = preset(symbol);
    r.Last = last;
    r.Spread = float(27.60 - 27.30);
    r.Volume = 1234567;
    r.High = 27.6f;
    r.Low = 27.3f;
    r.Change = 0.12f;
    r.Open = 27.4f;
    return r;
}

// Each good symbol gets its own last price, so records cannot be mixed up.
QByteArray lastFor(const QByteArray &symbol)
{
    return QByteArray::number(10 + symbol.at(0) - 'A') + ".25";
}

float lastValue(const QString &symbol)
{
    return lastFor(symbol.toLatin1()).toFloat();
}

QuoteFaultServer::Action goodAnswer(const QByteArray &symbol)
{
    return QuoteFaultServer::answer(QuoteFaultServer::line(symbol, lastFor(symbol)));
}

enum class Fault {
    SplitReply,
    ProxyErrorOnce,
    ProxyErrorForever,
    HeadersOnly,
    NoHeaderEnd,
    TooFewFields,
    Garbage,
    LowerCaseNA,
    OverLong,
    Silent,
    ResetBeforeBody,
    ResetMidBody,
    CloseWithoutAWord,
};

Action faulty(Fault fault, const QByteArray &symbol, int attempt)
{
    const QByteArray line = QuoteFaultServer::line(symbol, lastFor(symbol));
    const QByteArray whole = QuoteFaultServer::reply(line);
    switch (fault) {
    case Fault::SplitReply:
        return {Action::Reply, {whole.left(5), whole.mid(5, 40), whole.mid(45, 3), whole.mid(48)}};
    case Fault::ProxyErrorOnce:
        if (attempt > 1)
            return {Action::Reply, {whole}};
        return {Action::Reply, {"HTTP/1.0 502 Proxy Error\r\n\r\n" + line}};
    case Fault::ProxyErrorForever:
        return {Action::Reply, {QuoteFaultServer::reply("<h1>proxy error</h1>" + line)}};
    case Fault::HeadersOnly:
        return {Action::Reply, {QuoteFaultServer::headers()}};
    case Fault::NoHeaderEnd:
        return {Action::Reply, {line}};
    case Fault::TooFewFields:
        return {Action::Reply, {QuoteFaultServer::reply("\"" + symbol + "\",27.50,\"6/4/2004\"\r\n")}};
    case Fault::Garbage:
        return {Action::Reply, {QuoteFaultServer::reply(QByteArray("\x00\xff\x01,,\x7f", 6) + "<html>")}};
    case Fault::LowerCaseNA:
        return {Action::Reply, {QuoteFaultServer::reply(QByteArray(line).replace("+0.12", "n/a"))}};
    case Fault::OverLong:
        return {Action::Reply, {whole + QByteArray(QuoteTransport::MaxReplySize, ',')}};
    case Fault::Silent:
        return {Action::Silent, {}};
    case Fault::ResetBeforeBody:
        return {Action::Reset, {"HTTP/1.0 200 OK\r\n"}};
    case Fault::ResetMidBody:
        // Cut inside the volume: nine fields, but not the whole reply.
        return {Action::Reset, {QuoteFaultServer::headers(line.size()) + line.left(line.size() - 5)}};
    case Fault::CloseWithoutAWord:
        return {Action::Close, {}};
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(Fault)

// The whole-database update against a loopback service that answers some
// symbols badly on purpose.
class TestUpdateDatabase : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MarketStore> m_store;

    void openMarket(const QStringList &symbols)
    {
        m_dir = std::make_unique<QTemporaryDir>();
        MarketDatabase db;
        db.LastUpdate = kOldDate;
        for (const QString &s : symbols) {
            db.Stocks.last() = s.isEmpty() ? StockRecord{} : preset(s);
            db.Stocks.append(StockRecord{});
        }
        QVERIFY(writeMarketFile(m_dir->filePath(QStringLiteral("nasdaq.bin")), db));
        m_store = std::make_unique<MarketStore>(m_dir->path());
        m_store->selectMarket(kNasdaq);
        QVERIFY(m_store->LoadDatabase());
    }

    MarketDatabase onDisk() const
    {
        MarketDatabase db;
        readMarketFile(m_store->filePath(), &db);
        return db;
    }

    QByteArray fileBytes() const
    {
        QFile f(m_store->filePath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

    struct Run
    {
        UpdateDatabase::Result result;
        QList<int> percents;
        QStringList symbols;
        QStringList captions;
    };

    Run update(quint16 port, int replyTimeoutMs = 300)
    {
        Run run;
        UpdateDatabase update(*m_store, {QStringLiteral("127.0.0.1"), port});
        update.setTimeouts(2000, replyTimeoutMs);
        connect(&update, &UpdateDatabase::progress, this, [&run](int percent, const QString &symbol) {
            run.percents.append(percent);
            run.symbols.append(symbol);
            run.captions.append(UpdateDatabase::progressCaption(percent, symbol));
        });
        QSignalSpy done(&update, &UpdateDatabase::finished);
        update.start();
        if (!done.wait(60000) || done.size() != 1) {
            qWarning("the update did not finish");
            return run;
        }
        run.result = done.first().first().value<UpdateDatabase::Result>();
        return run;
    }

    double today() const { return dateToMarketDate(QDate::currentDate()); }

private slots:
    void faults_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("refreshedInTheEnd");
        QTest::addColumn<int>("attempts");
        QTest::newRow("split reply") << Fault::SplitReply << true << 1;
        QTest::newRow("Proxy Error once") << Fault::ProxyErrorOnce << true << 2;
        QTest::newRow("Proxy Error forever") << Fault::ProxyErrorForever << false << 4;
        QTest::newRow("headers only") << Fault::HeadersOnly << false << 4;
        QTest::newRow("no header end") << Fault::NoHeaderEnd << false << 4;
        QTest::newRow("too few fields") << Fault::TooFewFields << false << 4;
        QTest::newRow("garbage") << Fault::Garbage << false << 4;
        QTest::newRow("lower-case n/a") << Fault::LowerCaseNA << false << 4;
        QTest::newRow("over-long reply") << Fault::OverLong << false << 4;
        QTest::newRow("silent server") << Fault::Silent << false << 4;
        QTest::newRow("reset before the body") << Fault::ResetBeforeBody << false << 4;
        QTest::newRow("reset mid-reply") << Fault::ResetMidBody << false << 4;
        QTest::newRow("closed without a word") << Fault::CloseWithoutAWord << false << 4;
    }

    // One symbol answered badly between two good ones: it is asked again at
    // most three times, then skipped with its record as it was, and the
    // update goes on to the end.
    void faults()
    {
        QFETCH(Fault, fault);
        QFETCH(bool, refreshedInTheEnd);
        QFETCH(int, attempts);
        openMarket({QStringLiteral("AAA"), QStringLiteral("BAD"), QStringLiteral("CCC")});
        QuoteFaultServer server([fault](const QByteArray &symbol, int attempt) {
            return symbol == "BAD" ? faulty(fault, symbol, attempt) : goodAnswer(symbol);
        });
        const Run run = update(server.port());

        QCOMPARE(run.result.ending, Ending::Completed);
        QCOMPARE(server.attemptsFor("BAD"), attempts);
        QCOMPARE(server.attemptsFor("AAA"), 1);
        QCOMPARE(server.attemptsFor("CCC"), 1);
        const MarketDatabase &db = m_store->database();
        QCOMPARE(db.Stocks[0], refreshed(QStringLiteral("AAA"), lastValue(QStringLiteral("AAA"))));
        QCOMPARE(db.Stocks[2], refreshed(QStringLiteral("CCC"), lastValue(QStringLiteral("CCC"))));
        if (refreshedInTheEnd) {
            QCOMPARE(db.Stocks[1], refreshed(QStringLiteral("BAD"), lastValue(QStringLiteral("BAD"))));
            QVERIFY(run.result.skipped.isEmpty());
            QCOMPARE(run.result.refreshed, 3);
        } else {
            QCOMPARE(db.Stocks[1], preset(QStringLiteral("BAD")));
            QCOMPARE(run.result.skipped, QStringList{QStringLiteral("BAD")});
            QCOMPARE(run.result.refreshed, 2);
        }
        QCOMPARE(db.Stocks[3], StockRecord{});
        QCOMPARE(db.LastUpdate, today());
        QVERIFY(run.result.saved);
        QCOMPARE(onDisk(), db);
        QCOMPARE(run.percents, (QList<int>{33, 67, 100}));
    }

    void unreachableFromTheStart()
    {
        openMarket({QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC")});
        const QByteArray before = fileBytes();
        const Run run = update(refusedPort());
        QCOMPARE(run.result.ending, Ending::Unreachable);
        QCOMPARE(run.result.refreshed, 0);
        QCOMPARE(run.symbols, QStringList{QStringLiteral("AAA")});
        QCOMPARE(m_store->database().LastUpdate, kOldDate);
        QCOMPARE(fileBytes(), before);
    }

    // The service goes away in the middle: three symbols in a row without a
    // connection end the update, and what was refreshed is saved undated.
    void serviceGoesAway()
    {
        openMarket({QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC"), QStringLiteral("DDD"),
                    QStringLiteral("EEE"), QStringLiteral("FFF")});
        QuoteFaultServer *serverPtr = nullptr;
        QuoteFaultServer server([&serverPtr](const QByteArray &symbol, int) {
            if (symbol == "BBB")
                serverPtr->stop();
            return goodAnswer(symbol);
        });
        serverPtr = &server;
        const Run run = update(server.port());
        QCOMPARE(run.result.ending, Ending::Unreachable);
        QCOMPARE(run.result.refreshed, 2);
        QCOMPARE(run.symbols, (QStringList{QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC"),
                                           QStringLiteral("DDD"), QStringLiteral("EEE")}));
        const MarketDatabase disk = onDisk();
        QCOMPARE(disk.LastUpdate, kOldDate);
        QCOMPARE(disk.Stocks[1], refreshed(QStringLiteral("BBB"), lastValue(QStringLiteral("BBB"))));
        for (int i = 2; i < 6; ++i)
            QCOMPARE(disk.Stocks[i], preset(disk.Stocks[i].Symbol));
        QVERIFY(run.result.saved);
    }

    // A service that accepts but never says a word counts as not there.
    void speechlessService()
    {
        openMarket({QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC"), QStringLiteral("DDD"),
                    QStringLiteral("EEE")});
        QuoteFaultServer server([](const QByteArray &symbol, int) {
            return symbol == "AAA" ? goodAnswer(symbol) : Action{Action::Close, {}};
        });
        const Run run = update(server.port());
        QCOMPARE(run.result.ending, Ending::Unreachable);
        QCOMPARE(server.attemptsFor("DDD"), 4);
        QCOMPARE(server.attemptsFor("EEE"), 0);
        QCOMPARE(onDisk().Stocks[0], refreshed(QStringLiteral("AAA"), lastValue(QStringLiteral("AAA"))));
        QCOMPARE(onDisk().LastUpdate, kOldDate);
    }

    void stopInTheMiddle()
    {
        openMarket({QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC")});
        QuoteFaultServer server([](const QByteArray &symbol, int) {
            return symbol == "AAA" ? goodAnswer(symbol) : Action{Action::Silent, {}};
        });
        UpdateDatabase update(*m_store, {QStringLiteral("127.0.0.1"), server.port()});
        QSignalSpy done(&update, &UpdateDatabase::finished);
        update.start();
        QVERIFY(update.running());
        QTRY_COMPARE(server.attemptsFor("BBB"), 1);
        update.cancel();
        QCOMPARE(done.size(), 1); // at once
        QVERIFY(!update.running());
        const auto result = done.first().first().value<UpdateDatabase::Result>();
        QCOMPARE(result.ending, Ending::Stopped);
        QCOMPARE(result.refreshed, 1);
        const MarketDatabase disk = onDisk();
        QCOMPARE(disk.LastUpdate, kOldDate);
        QCOMPARE(disk.Stocks[0], refreshed(QStringLiteral("AAA"), lastValue(QStringLiteral("AAA"))));
        QCOMPARE(disk.Stocks[1], preset(QStringLiteral("BBB")));
        QVERIFY(!done.wait(300));
        QCOMPARE(server.attemptsFor("CCC"), 0);
        QCOMPARE(server.attemptsFor("BBB"), 1);
    }

    void progressPercent_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("percent");
        QTest::newRow("1 of 4") << 0 << 4 << 25;
        QTest::newRow("1 of 3") << 0 << 3 << 33;
        QTest::newRow("2 of 3") << 1 << 3 << 67;
        QTest::newRow("3 of 3") << 2 << 3 << 100;
        QTest::newRow("1 of 8, 12.5 to even") << 0 << 8 << 12;
        QTest::newRow("3 of 8, 37.5 to even") << 2 << 8 << 38;
        QTest::newRow("5 of 8, 62.5 to even") << 4 << 8 << 62;
        QTest::newRow("1 of 200, 0.5 to even") << 0 << 200 << 0;
        QTest::newRow("3 of 200, 1.5 to even") << 2 << 200 << 2;
        QTest::newRow("1 of 40, 2.5 to even") << 0 << 40 << 2;
        QTest::newRow("1 of 1") << 0 << 1 << 100;
    }

    void progressPercent()
    {
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(int, percent);
        QCOMPARE(UpdateDatabase::progressPercent(index, count), percent);
    }

    void progressCaptions_data()
    {
        QTest::addColumn<int>("stocks");
        QTest::addColumn<QList<int>>("percents");
        QTest::newRow("4 stocks") << 4 << QList<int>{25, 50, 75, 100};
        QTest::newRow("3 stocks") << 3 << QList<int>{33, 67, 100};
        QTest::newRow("8 stocks") << 8 << QList<int>{12, 25, 38, 50, 62, 75, 88, 100};
    }

    void progressCaptions()
    {
        QFETCH(int, stocks);
        QFETCH(QList<int>, percents);
        QStringList symbols;
        for (int i = 0; i < stocks; ++i)
            symbols.append(QString(3, QChar(u'A' + i)));
        openMarket(symbols);
        QuoteFaultServer server([](const QByteArray &symbol, int) { return goodAnswer(symbol); });
        const Run run = update(server.port());
        QCOMPARE(run.percents, percents);
        QCOMPARE(run.symbols, symbols);
        QCOMPARE(run.captions.first(),
                 QStringLiteral("Updating: %1%\r\nUpdating: AAA").arg(percents.first()));
    }

    void emptySymbolIsPassedOver()
    {
        openMarket({QStringLiteral("AAA"), QString(), QStringLiteral("CCC")});
        QuoteFaultServer server([](const QByteArray &symbol, int) { return goodAnswer(symbol); });
        const Run run = update(server.port());
        QCOMPARE(run.result.ending, Ending::Completed);
        QCOMPARE(server.requests.size(), 2);
        QCOMPARE(run.percents, (QList<int>{33, 100}));
        QCOMPARE(m_store->database().Stocks[1], StockRecord{});
    }

    void noListedStocks()
    {
        openMarket({});
        QuoteFaultServer server([](const QByteArray &symbol, int) { return goodAnswer(symbol); });
        const Run run = update(server.port());
        QCOMPARE(run.result.ending, Ending::Completed);
        QVERIFY(server.requests.isEmpty());
        QVERIFY(run.percents.isEmpty());
        QCOMPARE(onDisk().LastUpdate, today());
        QCOMPARE(onDisk().Stocks.size(), 1);
    }

    void failedSaveIsReported()
    {
        openMarket({QStringLiteral("AAA")});
        QuoteFaultServer server([](const QByteArray &symbol, int) { return goodAnswer(symbol); });
        UpdateDatabase update(*m_store, {QStringLiteral("127.0.0.1"), server.port()});
        int saves = 0;
        update.setSaver([&saves] {
            ++saves;
            return false;
        });
        QSignalSpy done(&update, &UpdateDatabase::finished);
        update.start();
        QVERIFY(done.wait(10000));
        QCOMPARE(saves, 1);
        QVERIFY(!done.first().first().value<UpdateDatabase::Result>().saved);
    }

    void completionMessage_data()
    {
        QTest::addColumn<QStringList>("skipped");
        QTest::addColumn<QString>("text");
        QTest::newRow("all refreshed") << QStringList{} << QStringLiteral("The update has been completed!");
        QTest::newRow("one skipped") << QStringList{QStringLiteral("XYZ")}
                                     << QStringLiteral("The update has been completed!\n\n"
                                                       "1 symbol could not be updated: \"XYZ\".");
        QTest::newRow("two skipped") << QStringList{QStringLiteral("A"), QStringLiteral("B")}
                                     << QStringLiteral("The update has been completed!\n\n"
                                                       "2 symbols could not be updated: \"A\", \"B\".");
        QTest::newRow("seven skipped")
            << QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D"),
                           QStringLiteral("E"), QStringLiteral("F"), QStringLiteral("G")}
            << QStringLiteral("The update has been completed!\n\n7 symbols could not be updated: "
                              "\"A\", \"B\", \"C\", \"D\", \"E\" and 2 more.");
    }

    void completionMessage()
    {
        QFETCH(QStringList, skipped);
        QFETCH(QString, text);
        UpdateDatabase::Result result;
        result.skipped = skipped;
        QCOMPARE(UpdateDatabase::completionMessage(result), text);
    }
};

QTEST_GUILESS_MAIN(TestUpdateDatabase)
#include "tst_updatedatabase.moc"
