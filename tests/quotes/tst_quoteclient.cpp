#include "common/QuoteAnswers.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "market/SymbolList.h"
#include "quoted/QuoteLine.h"
#include "quotes/QuoteReply.h"
#include "quotes/QuoteRequest.h"
#include "quotes/UpdateDatabase.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

using Script = LoopbackServer::Script;
using Ending = UpdateDatabase::Ending;

namespace {

const QByteArray kHead = "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\n\r\n";
const QByteArray kMsft = "\"MSFT\",27.50,\"6/4/2004\",\"4:00pm\",+0.12,27.40,27.60,27.30,1234567\r\n";

// The classic reply with one of its nine fields replaced.
QByteArray classic(int field = -1, const QByteArray &text = {})
{
    QList<QByteArray> fields = kMsft.chopped(2).split(',');
    if (field >= 0)
        fields[field] = text;
    return kHead + fields.join(',') + "\r\n";
}

// What every record holds before the update: a skipped one must keep it all.
StockRecord preset(const QString &symbol)
{
    return {"keep", symbol, 9.99f, 1, 42, 10, 9, -1, 9.5f};
}

// Each symbol gets its own last price, so records cannot be mixed up.
QByteArray lastFor(const QString &symbol)
{
    return QByteArray::number(10 + symbol.at(0).unicode() - 'A') + ".25";
}

StockRecord refreshed(const QString &symbol)
{
    return {"keep", symbol, lastFor(symbol).toFloat(), float(27.60 - 27.30), 1234567, 27.6f, 27.3f, 0.12f, 27.4f};
}

void answerWell(QTcpSocket *socket, const QByteArray &symbol)
{
    LoopbackServer::send(socket,
                         {ServiceAnswer::reply(ServiceAnswer::line(symbol, lastFor(QString::fromLatin1(symbol))))});
}

// Answers with the pieces given, 20 ms apart; none: a close without a word.
Script answers(const QList<QByteArray> &pieces)
{
    return [pieces](QTcpSocket *socket, const QByteArray &) { LoopbackServer::send(socket, pieces); };
}

} // namespace

// The quote client: the request on the wire, where the service lives, the
// reply's field rules, and the whole-database update against a loopback
// service that misbehaves on purpose.
class TestQuoteClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MarketStore> m_store;

    MarketDatabase openMarket(const QStringList &symbols)
    {
        m_dir = std::make_unique<QTemporaryDir>();
        MarketDatabase db;
        db.LastUpdate = 38142; // 2004-06-04
        for (const QString &s : symbols)
            db.Stocks.insert(db.listedCount(), s.isEmpty() ? StockRecord{} : preset(s));
        writeMarketFile(m_dir->filePath(QStringLiteral("nasdaq.bin")), db);
        m_store = std::make_unique<MarketStore>(m_dir->path());
        m_store->selectMarket(kNasdaq);
        m_store->LoadDatabase();
        return db;
    }

    MarketDatabase onDisk() const
    {
        MarketDatabase db;
        readMarketFile(m_store->filePath(), &db);
        return db;
    }

    QStringList m_progress; // the symbols the update reports

    // A short reply time-out keeps the silent-server cases quick.
    std::optional<UpdateDatabase::Result> update(quint16 port)
    {
        UpdateDatabase update(*m_store, {QStringLiteral("127.0.0.1"), port});
        update.setTimeouts(2000, 300);
        m_progress.clear();
        connect(&update, &UpdateDatabase::progress, this, [this](int, const QString &s) { m_progress.append(s); });
        QSignalSpy done(&update, &UpdateDatabase::finished);
        update.start();
        if (!done.wait(60000))
            return std::nullopt;
        return done.first().first().value<UpdateDatabase::Result>();
    }

private slots:
    // As captured by a loopback server: ordinary symbols go out unchanged,
    // others percent-encoded. A second request while one is under way is refused.
    void requestOnTheWire_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("ordinary") << "MSFT" << QByteArray("MSFT");
        QTest::newRow("unreserved marks kept") << "BRK.a-b_c~9" << QByteArray("BRK.a-b_c~9");
        QTest::newRow("blank, ampersand, equals, percent, plus") << "A B&f=x%+" << QByteArray("A%20B%26f%3Dx%25%2B");
        QTest::newRow("line break") << "X\r\nHost: evil" << QByteArray("X%0D%0AHost%3A%20evil");
        QTest::newRow("non-ASCII as UTF-8") << "\u00C4B" << QByteArray("%C3%84B");
    }

    void requestOnTheWire()
    {
        QFETCH(QString, symbol);
        QFETCH(QByteArray, encoded);
        LoopbackServer server(answers({ServiceAnswer::reply("x")}));
        QuoteTransport transport;
        QSignalSpy done(&transport, &QuoteTransport::finished);
        QVERIFY(transport.SendQuoteRequest("127.0.0.1", quotePath(symbol), server.port()));
        QVERIFY(!transport.SendQuoteRequest("127.0.0.1", "/b", server.port()));
        QVERIFY(done.wait(5000));
        const QByteArray request = "GET /d/quotes.csv?s=" + encoded
                                   + "&f=sl1d1t1c1ohgv&e=.csv HTTP/1.0\r\n"
                                     "Accept: */*\r\nAccept: text/html\r\nAccept: cvs\r\n\r\n";
        QCOMPARE(server.requests, QList<QByteArray>{request});
        QCOMPARE(done.size(), 1);
    }

    // Absent or blank: the bundled service; no port: 80.
    void hostSetting()
    {
        TestSettings settings;
        QCOMPARE(quoteHostSetting(), (QuoteHost{"localhost", 8765}));
        QCOMPARE(parseQuoteHost(" "), (QuoteHost{"localhost", 8765}));
        QCOMPARE(parseQuoteHost("q.example.net"), (QuoteHost{"q.example.net", 80}));
        QCOMPARE(parseQuoteHost(" q.example.net:8080 "), (QuoteHost{"q.example.net", 8080}));
        QVERIFY(!parseQuoteHost("h:http").isValid());
    }

    void replyFields_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<ReplyFault>("fault");
        QTest::addColumn<ParsedQuote>("quote"); // Last, Spread, Volume, Change, Open, High, Low
        const float spread = float(27.60 - 27.30);
        const ParsedQuote msft{27.5f, spread, 1234567, 0.12f, 27.4f, 27.6f, 27.3f};
        const auto ok = ReplyFault::None, bad = ReplyFault::BadField;
        QTest::newRow("quoted texts, +0.12") << classic() << ok << msft;
        QTest::newRow("N/A in change to volume")
            << kHead + R"("MSFT",27.5,"6/4/2004","4:00pm",N/A,N/A,N/A,N/A,N/A)" << ok << ParsedQuote{27.5f};
        QTest::newRow("blanks: 0") << kHead + R"("MSFT",27.5,"6/4/2004","4:00pm",, ,27.60,27.30,   )" << ok
                                   << ParsedQuote{27.5f, spread, 0, 0, 0, 27.6f, 27.3f};
        QTest::newRow("blanks around numbers")
            << classic(4, " -0.12 ") << ok << ParsedQuote{27.5f, spread, 1234567, -0.12f, 27.4f, 27.6f, 27.3f};
        QTest::newRow("low N/A: spread 0")
            << classic(7, "N/A") << ok << ParsedQuote{27.5f, 0, 1234567, 0.12f, 27.4f, 27.6f, 0};
        QTest::newRow("line break inside removed") << classic(1, "2\r\n7.5") << ok << msft;
        QTest::newRow("extra fields ignored") << classic(8, "1234567,more") << ok << msft;
        QTest::newRow("lower-case n/a") << classic(4, "n/a") << bad;
        QTest::newRow("last N/A") << classic(1, "N/A") << bad;
        QTest::newRow("last quoted") << classic(1, "\"27.50\"") << bad;
        QTest::newRow("high blank breaks the spread") << classic(6, " ") << bad;
        QTest::newRow("stray character") << classic(8, "12;5") << bad;
        QTest::newRow("too large for a float") << classic(1, "1e39") << bad;
        QTest::newRow("Proxy Error status") << "HTTP/1.0 502 Proxy Error\r\n\r\n" + kMsft << ReplyFault::ProxyError;
        QTest::newRow("proxy error in the body, any case") << classic(0, "PROXY eRRor") << ReplyFault::ProxyError;
        QTest::newRow("shorter than its Content-Length")
            << "HTTP/1.0 200 OK\r\nContent-Length: 67\r\n\r\n" + kMsft << ReplyFault::Truncated;
        QTest::newRow("headers only") << kHead + "\r\n" << ReplyFault::NoBody;
        QTest::newRow("5xx status, even with fields")
            << "HTTP/1.1 503 Service Unavailable\r\n\r\n" + kMsft << ReplyFault::ServerError;
        const QByteArray notFound = "HTTP/1.0 404 Not Found\r\n\r\n<html><body>404, not found</body></html>";
        QTest::newRow("not found page") << notFound << ReplyFault::TooFewFields;
        // What the bundled service answers for a symbol it does not know.
        QTest::newRow("unknown to the service") << kHead + QuoteLine::unknown("XYZ") + "\r\n"
                                                << ReplyFault::UnknownSymbol;
        QTest::newRow("unknown, date N/A unquoted")
            << kHead + R"("XYZ",0,N/A,N/A,N/A,N/A,N/A,N/A,N/A)" << ReplyFault::UnknownSymbol;
        QTest::newRow("last 0 with a date is a quote")
            << kHead + R"("XYZ",0.00,"6/4/2004",N/A,N/A,N/A,N/A,N/A,N/A)" << ok << ParsedQuote{};
        QTest::newRow("date N/A with a price is a quote")
            << kHead + R"("XYZ",1.5,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)" << ok << ParsedQuote{1.5f};
        QTest::newRow("status 5000 is no 5xx") << "HTTP/1.0 5000 X\r\n\r\n" + kMsft << ok << msft;
    }

    void replyFields()
    {
        QFETCH(QByteArray, reply);
        QFETCH(ReplyFault, fault);
        const QuoteReply parsed = parseQuoteReply(reply);
        QCOMPARE(parsed.fault, fault);
        QCOMPARE(parsed.quote.has_value(), fault == ReplyFault::None);
        // Only what a second request may bring whole is asked again.
        const bool retried = QList<ReplyFault>{ReplyFault::NoHeaderEnd, ReplyFault::NoBody, ReplyFault::Truncated,
                                               ReplyFault::ProxyError, ReplyFault::ServerError}
                                 .contains(fault);
        QCOMPARE(retryMayMend(fault), retried);
        if (parsed.quote) {
            QFETCH(ParsedQuote, quote);
            QCOMPARE(*parsed.quote, quote);
        }
    }

    void updateFaults_data()
    {
        QTest::addColumn<Script>("bad"); // the first answer, and every answer when not "mended"
        QTest::addColumn<int>("attempts");
        QTest::addColumn<bool>("mended");
        const QByteArray line = ServiceAnswer::line("BAD", lastFor("BAD"));
        const QByteArray whole = ServiceAnswer::reply(line);
        const QByteArray fill(QuoteTransport::MaxReplySize - whole.size(), ',');
        QTest::newRow("split reply") << answers({whole.left(5), whole.mid(5, 40), whole.mid(45)}) << 1 << true;
        QTest::newRow("exactly 64 KiB") << answers({whole + fill}) << 1 << true;
        // What a second request may mend is asked again, at most three times:
        // a fault in a whole reply, no reply in time, none at all, a reset.
        QTest::newRow("Proxy Error once") << answers({"HTTP/1.0 502 Proxy Error\r\n\r\n" + line}) << 2 << true;
        QTest::newRow("5xx forever") << answers({"HTTP/1.0 503 Busy\r\n\r\n"}) << 4 << false;
        QTest::newRow("silent server") << Script([](QTcpSocket *, const QByteArray &) {}) << 4 << false;
        QTest::newRow("closed without a word") << answers({}) << 4 << false;
        // Cut inside the volume: nine fields, but not the whole reply.
        const QByteArray sized = "HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(line.size()) + "\r\n\r\n";
        QTest::newRow("reset mid-reply") << Script([=](QTcpSocket *socket, const QByteArray &) {
            socket->write(sized + line.chopped(5));
            LoopbackServer::reset(socket);
        }) << 4 << false;
        // Whole replies that cannot be used: asking again would bring the same.
        QTest::newRow("too few fields") << answers({ServiceAnswer::reply("\"BAD\",27.50,\"6/4/2004\"\r\n")}) << 1
                                        << false;
        QTest::newRow("one byte over 64 KiB") << answers({whole + fill + ','}) << 1 << false;
    }

    // One symbol answered badly among good ones (and an empty record): when a
    // second request may mend the fault it is asked again at most three
    // times, otherwise not at all; unmended, it is skipped with its record as
    // it was, and the update goes on to the end.
    void updateFaults()
    {
        QFETCH(Script, bad);
        QFETCH(int, attempts);
        QFETCH(bool, mended);
        MarketDatabase expected = openMarket({"AAA", "BAD", "", "CCC"});
        int badAsked = 0;
        LoopbackServer server([&](QTcpSocket *socket, const QByteArray &request) {
            const QByteArray symbol = ServiceAnswer::symbolOf(request);
            if (symbol == "BAD" && (++badAsked == 1 || !mended))
                return bad(socket, request);
            answerWell(socket, symbol);
        });
        const auto result = update(server.port());

        QVERIFY(result);
        QCOMPARE(result->ending, Ending::Completed);
        QCOMPARE(badAsked, attempts);
        QCOMPARE(server.requests.size(), attempts + 2);
        QCOMPARE(result->skipped, mended ? QStringList() : QStringList{"BAD"});
        for (StockRecord &r : expected.Stocks)
            if (!r.Symbol.isEmpty() && (r.Symbol != "BAD" || mended))
                r = refreshed(r.Symbol);
        expected.LastUpdate = dateToMarketDate(QDate::currentDate());
        QCOMPARE(onDisk(), expected);
    }

    // A service that knows none of the symbols costs one request each; with
    // nothing refreshed (nor anything to refresh) the date and the file stay.
    void updateRefreshingNothing_data()
    {
        QTest::addColumn<QStringList>("symbols");
        QStringList symbols;
        for (char c = 'A'; c <= 'Z'; ++c)
            symbols.append(QString(3, QLatin1Char(c)));
        QTest::newRow("none known") << symbols;
        QTest::newRow("nothing listed") << QStringList();
    }

    void updateRefreshingNothing()
    {
        QFETCH(QStringList, symbols);
        const MarketDatabase expected = openMarket(symbols);
        struct stat before = {};
        QCOMPARE(::stat(QFile::encodeName(m_store->filePath()).constData(), &before), 0);
        LoopbackServer server([](QTcpSocket *socket, const QByteArray &request) {
            const QByteArray symbol = ServiceAnswer::symbolOf(request);
            LoopbackServer::send(socket,
                                 {symbol < "H"   ? ServiceAnswer::reply(QuoteLine::unknown(symbol) + "\r\n")
                                  : symbol < "M" ? ServiceAnswer::reply(ServiceAnswer::line(symbol, "N/A"))
                                                 : QByteArray("HTTP/1.0 404 Not Found\r\n\r\n<html>no</html>")});
        });
        const auto result = update(server.port());
        QVERIFY(result);
        QCOMPARE(result->ending, Ending::Completed);
        symbols.removeAll(QString());
        QCOMPARE(server.requests.size(), symbols.size());
        QCOMPARE(result->skipped, symbols);
        QCOMPARE(result->refreshed, 0);
        QCOMPARE(m_store->database(), expected);
        QCOMPARE(onDisk(), expected);
        struct stat after = {};
        QCOMPARE(::stat(QFile::encodeName(m_store->filePath()).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino); // not written again
    }

    // The list changes while BBB's reply is on its way: every reply lands in
    // its own symbol's record, found again by the symbol; a symbol no longer
    // listed is written nowhere (and not asked for when its turn comes); a
    // symbol added meanwhile waits for the next update.
    void updateFollowsTheListChangingUnderIt_data()
    {
        QTest::addColumn<QString>("change"); // "-X" removes X, "+X" adds X
        QTest::addColumn<QStringList>("asked");
        QTest::newRow("one before it removed") << "-AAA" << QStringList{"AAA", "BBB", "CCC", "DUP", "DUP", "EEE"};
        QTest::newRow("itself removed") << "-BBB" << QStringList{"AAA", "BBB", "CCC", "DUP", "DUP", "EEE"};
        QTest::newRow("one after it removed") << "-CCC" << QStringList{"AAA", "BBB", "DUP", "DUP", "EEE"};
        QTest::newRow("a doubled one removed") << "-dup" << QStringList{"AAA", "BBB", "CCC", "EEE"};
        QTest::newRow("one added") << "+FFF" << QStringList{"AAA", "BBB", "CCC", "DUP", "DUP", "EEE"};
    }

    void updateFollowsTheListChangingUnderIt()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, asked);
        MarketDatabase expected = openMarket({"AAA", "BBB", "CCC", "DUP", "DUP", "EEE"});
        auto apply = [&change](MarketDatabase &db) {
            if (change.startsWith(u'-'))
                removeSymbol(db, change.mid(1));
            else
                addSymbol(db, change.mid(1));
        };
        QStringList requested;
        LoopbackServer server([&](QTcpSocket *socket, const QByteArray &request) {
            const QByteArray symbol = ServiceAnswer::symbolOf(request);
            requested.append(QString::fromLatin1(symbol));
            if (symbol == "BBB")
                apply(m_store->database());
            answerWell(socket, symbol);
        });
        const auto result = update(server.port());
        QVERIFY(result);
        QCOMPARE(result->ending, Ending::Completed);
        QCOMPARE(requested, asked);
        apply(expected);
        for (StockRecord &r : expected.Stocks)
            if (asked.contains(r.Symbol))
                r = refreshed(r.Symbol);
        expected.LastUpdate = dateToMarketDate(QDate::currentDate());
        QCOMPARE(onDisk(), expected);
        QVERIFY(result->skipped.isEmpty());
    }

    // Gone, or speechless, after two symbols: three in a row without an answer
    // end the update; what was refreshed is saved, the date is not stamped.
    void updateUnreachable_data()
    {
        QTest::addColumn<bool>("speechless"); // still accepting, closing without a word
        QTest::newRow("gone") << false;
        QTest::newRow("speechless") << true;
    }

    void updateUnreachable()
    {
        QFETCH(bool, speechless);
        const int good = 2; // symbols answered before the service goes
        const QStringList symbols{"AAA", "BBB", "CCC", "DDD", "EEE", "FFF"};
        MarketDatabase expected = openMarket(symbols);
        LoopbackServer server;
        server.setScript([&](QTcpSocket *socket, const QByteArray &request) {
            const QByteArray symbol = ServiceAnswer::symbolOf(request);
            const int index = symbols.indexOf(QString::fromLatin1(symbol));
            if (index < 0 || index >= good) // gone; and /status, asked when the update fails
                return LoopbackServer::send(socket, {});
            answerWell(socket, symbol);
            if (!speechless && index == good - 1)
                server.stop();
        });
        const auto result = update(server.port());

        QVERIFY(result);
        QCOMPARE(result->ending, Ending::Unreachable);
        QCOMPARE(m_progress, symbols.mid(0, good + 3));
        for (int i = 0; i < good; ++i)
            expected.Stocks[i] = refreshed(symbols[i]);
        QCOMPARE(onDisk(), expected);
    }

    void updateProgressHalvesToEven()
    {
        QCOMPARE(UpdateDatabase::progressPercent(1, 3), 67);
        QCOMPARE(UpdateDatabase::progressPercent(0, 8), 12);  // 12.5
        QCOMPARE(UpdateDatabase::progressPercent(2, 8), 38);  // 37.5
        QCOMPARE(UpdateDatabase::progressPercent(0, 200), 0); // 0.5
    }

    void updateCompletionMessage_data()
    {
        QTest::addColumn<int>("refreshed");
        QTest::addColumn<QStringList>("skipped");
        QTest::addColumn<QString>("message");
        const QString none = "\n\nNo quote was refreshed, so the date of the last update stays as it was.";
        QTest::newRow("all refreshed") << 3 << QStringList() << "The update has been completed!";
        QTest::newRow("first five named")
            << 1 << QStringList{"A", "B", "C", "D", "E", "F", "G"}
            << "The update has been completed!\n\n"
               "7 symbols could not be updated: \"A\", \"B\", \"C\", \"D\", \"E\" and 2 more.";
        QTest::newRow("none refreshed") << 0 << QStringList{"A"}
                                        << "The update has been completed!" + none
                                               + "\n\n1 symbol could not be updated: \"A\".";
        QTest::newRow("nothing listed") << 0 << QStringList() << "The update has been completed!" + none;
    }

    void updateCompletionMessage()
    {
        QFETCH(int, refreshed);
        QFETCH(QStringList, skipped);
        QFETCH(QString, message);
        UpdateDatabase::Result result;
        result.refreshed = refreshed;
        result.skipped = skipped;
        QCOMPARE(UpdateDatabase::completionMessage(result), message);
    }
};

QTEST_GUILESS_MAIN(TestQuoteClient)
#include "tst_quoteclient.moc"
