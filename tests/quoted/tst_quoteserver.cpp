#include "common/FakeUpstream.h"
#include "common/TestFiles.h"

#include "history/HistoryCsv.h"
#include "history/HistoryStore.h"
#include "quoted/GroupedDaily.h"
#include "quoted/HistoryService.h"
#include "quoted/QuoteLine.h"
#include "quoted/QuoteServer.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

// Byte order mark, comments, blank lines, header case and blanks, quoted and
// blank fields, CR LF and LF, no final line end; one bad row left out.
const QByteArray kSnapshot = "\xEF\xBB\xBF# test quotes\r\n\r\n"
                             "  Symbol , Last,DATE,time,change,open,high,low,volume\r\n"
                             "MSFT,27.50,2004-06-04,16:00,+0.12,27.40,27.60,27.30,1234567\r\n"
                             "   # an indented comment\n"
                             "BRK.B,412.3,2024-12-31,12:30,-1.05,413.00,414.10,410.95,N/A\n"
                             "BAD,1e3,N/A,N/A,N/A,N/A,N/A,N/A,N/A\n"
                             R"("penny", "0.0123" ,N/A,00:05,-0.00001,n/a,1234.5,0.12346,)";
const QByteArray kMsft = R"("MSFT",27.50,"6/4/2004","4:00pm",+0.12,27.40,27.60,27.30,1234567)";

QByteArray programRequest(const QByteArray &encodedSymbol)
{
    return "GET /d/quotes.csv?s=" + encodedSymbol
           + "&f=sl1d1t1c1ohgv&e=.csv HTTP/1.0\r\nAccept: */*\r\nAccept: text/html\r\nAccept: cvs\r\n\r\n";
}

QByteArray okReply(const QByteArray &line)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\nContent-Length: " + QByteArray::number(line.size() + 2)
           + "\r\n\r\n" + line + "\r\n";
}

QByteArray textReply(const QByteArray &status, const QByteArray &sentence)
{
    return "HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: "
           + QByteArray::number(sentence.size() + 2) + "\r\n\r\n" + sentence + "\r\n";
}

QByteArray csvReply(const QByteArray &table)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\nContent-Length: " + QByteArray::number(table.size())
           + "\r\n\r\n" + table;
}

// Sessions of two symbols from 2026-11-02 on, each close a step above the last.
QHash<QString, BarSeries> sessions(int count)
{
    QHash<QString, BarSeries> out;
    for (const QString &symbol : {QStringLiteral("AAA"), QStringLiteral("BRK.B")})
        for (int i = 0; i < count; ++i) {
            const float close = float(10 * symbol.size() + i) + 0.25f;
            out[symbol].push_back({QDate(2026, 11, 2).addDays(i), close - 1, close + 1, close - 2, close, 1000 + i});
        }
    return out;
}

// One loopback connection; collects everything the server sends until it closes.
struct Client
{
    explicit Client(quint16 port, const QByteArray &request = {})
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, &socket, [this] { done = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write(request);
    }
    QTcpSocket socket;
    QByteArray received;
    bool done = false;
};

} // namespace

// The bundled quote service: its answers, its limits, and its snapshot file.
class TestQuoteServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<QuoteServer> m_server;
    QDateTime m_written; // each save a second after the one before, however fast the test runs

    // In place, or as editors do it: a new file renamed over the old one.
    bool save(const QByteArray &text, bool inPlace = true)
    {
        const QString path = m_dir.filePath(QStringLiteral("quotes.csv"));
        if (!inPlace) {
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
                return false;
        }
        QFile file(path);
        m_written = m_written.addSecs(1);
        return file.open(inPlace ? QIODevice::WriteOnly : QIODevice::Append)
               && (!inPlace || (file.write(text) == text.size() && file.flush()))
               && file.setFileTime(m_written, QFileDevice::FileModificationTime);
    }

    QByteArray ask(const QByteArray &request)
    {
        Client client(m_server->serverPort(), request);
        return QTest::qWaitFor([&] { return client.done; }, 5000) ? client.received : "no reply";
    }

private slots:
    void init()
    {
        m_written = QDateTime::currentDateTime().addDays(-1);
        QVERIFY(save(kSnapshot));
        m_server = std::make_unique<QuoteServer>();
        QVERIFY(m_server->setSnapshotFile(m_dir.filePath(QStringLiteral("quotes.csv"))));
        QCOMPARE(m_server->quoteCount(), 3);
        QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
    }

    void cleanup() { m_server.reset(); }

    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected"); // the whole reply, or an error's status line
        QByteArray limit = "GET /d/quotes.csv?s=MSFT HTTP/1.0\r\nX: \r\n\r\n";
        limit.insert(limit.size() - 4, QByteArray(QuoteServer::kMaxRequestBytes - limit.size(), 'p'));
        const QByteArray bad = "HTTP/1.0 400 Bad Request", notAvailable = R"(,0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)";
        QTest::newRow("the program's request") << programRequest("MSFT") << okReply(kMsft);
        QTest::newRow("fall, noon, two-digit month, volume N/A")
            << programRequest("BRK.B")
            << okReply(R"("BRK.B",412.30,"12/31/2024","12:30pm",-1.05,413.00,414.10,410.95,N/A)");
        QTest::newRow("quoted and blank fields, midnight, tiny change, four decimals at most; any case")
            << programRequest("PENNY") << okReply(R"("penny",0.0123,"N/A","12:05am",0.00,N/A,1234.50,0.1235,N/A)");
        QTest::newRow("unknown symbol") << programRequest("NOPE") << okReply("\"NOPE\"" + notAvailable);
        QTest::newRow("encoded, other order, bare LF, HTTP/1.1")
            << QByteArray("GET /d/quotes.csv?e=.csv&f=sl1d1t1c1ohgv&s=%4dsft HTTP/1.1\nHost: LocalHost\n\n")
            << okReply(kMsft);
        const auto withHost = [](const QByteArray &host) {
            return QByteArray(programRequest("MSFT"))
                .insert(programRequest("MSFT").indexOf("\r\n") + 2, "Host: " + host + "\r\n");
        };
        const QByteArray misdirected = "HTTP/1.0 421 Misdirected Request";
        QTest::newRow("Host: the address and port") << withHost("127.0.0.1:PORT") << okReply(kMsft);
        QTest::newRow("Host: localhost and port") << withHost("localhost:PORT") << okReply(kMsft);
        QTest::newRow("Host: another site") << withHost("quotes.example") << misdirected;
        QTest::newRow("Host: another site, our port") << withHost("quotes.example:PORT") << misdirected;
        QTest::newRow("Host: another port") << withHost("127.0.0.1:1") << misdirected;
        QTest::newRow("Host: another loopback address") << withHost("127.0.0.2") << misdirected;
        QTest::newRow("Host twice") << withHost("localhost\r\nHost: localhost") << bad;
        QTest::newRow("32-character symbol")
            << programRequest(QByteArray(32, 'Z')) << okReply('"' + QByteArray(32, 'Z') + '"' + notAvailable);
        QTest::newRow("33-character symbol") << programRequest(QByteArray(33, 'Z')) << bad;
        QTest::newRow("line break cannot split the reply")
            << programRequest("X%0D%0AY%22%2C1") << okReply("\"X%0D%0AY%22%2C1\"" + notAvailable);
        QTest::newRow("exactly the size limit") << limit << okReply(kMsft);
        QTest::newRow("one byte over it") << QByteArray(limit).insert(40, 'p') << bad;
        QTest::newRow("endless") << "GET /d/quotes.csv?s=" + QByteArray(1 << 20, 'A') << bad;
        QTest::newRow("garbage") << QByteArray("hello there\r\n\r\n") << bad;
        QTest::newRow("history: 33-character symbol")
            << "GET /history.csv?s=" + QByteArray(33, 'Z') + " HTTP/1.0\r\n\r\n"
            << bad;
        QTest::newRow("history: blank in the symbol") << QByteArray("GET /history.csv?s=A%20A HTTP/1.0\r\n\r\n") << bad;
        QTest::newRow("history: no such date")
            << QByteArray("GET /history.csv?s=A&from=2026-02-30 HTTP/1.0\r\n\r\n") << bad;
    }

    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        const QByteArray reply = ask(request.replace("PORT", QByteArray::number(m_server->serverPort())));
        QCOMPARE(expected.endsWith("\r\n") ? reply : reply.left(reply.indexOf("\r\n")), expected);
        QTRY_COMPARE(m_server->clientCount(), 0);
    }

    // How the source stands: for a snapshot always well, dated by its latest quote.
    void tellsItsStatus()
    {
        const QByteArray reply = ask("GET /status HTTP/1.0\r\n\r\n");
        QVERIFY(reply.startsWith("HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n"));
        const QJsonObject status = QJsonDocument::fromJson(reply.mid(reply.indexOf("\r\n\r\n") + 4)).object();
        QCOMPARE(status.value(u"source").toString(), QStringLiteral("snapshot"));
        QCOMPARE(status.value(u"state").toString(), QStringLiteral("ok"));
        QCOMPARE(status.value(u"quotesDate").toString(), QStringLiteral("2024-12-31"));
        QVERIFY(status.value(u"retryAt").isNull());
        QVERIFY(!status.value(u"reason").toString().isEmpty());
    }

    // The history's two tables, byte for byte, as the store gives them.
    void historyTables_data()
    {
        QTest::addColumn<QByteArray>("storeBytes"); // empty: a store with two symbols' sessions
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected"); // the whole reply, or an error's status line
        QTest::addColumn<QString>("symbol");      // the expected table: one symbol's from date, or "" the technicals
        QTest::addColumn<QDate>("from");
        QTest::newRow("from a date") << QByteArray()
                                     << QByteArray("GET /history.csv?s=AAA&from=2026-11-05 HTTP/1.0\r\n\r\n")
                                     << QByteArray() << "AAA" << QDate(2026, 11, 5);
        QTest::newRow("any case, HTTP/1.1")
            << QByteArray() << QByteArray("GET /history.csv?s=brk.b HTTP/1.1\r\nHost: localhost:PORT\r\n\r\n")
            << QByteArray() << "BRK.B" << QDate();
        QTest::newRow("technicals") << QByteArray() << QByteArray("GET /technicals.csv HTTP/1.0\r\n\r\n")
                                    << QByteArray() << "" << QDate();
        QTest::newRow("not stored, no source")
            << QByteArray() << QByteArray("GET /history.csv?s=ZZZ HTTP/1.0\r\n\r\n")
            << textReply("404 Not Found",
                         "No price history of ZZZ is stored, and no keyed quote source is set to fetch it.")
            << "" << QDate();
        QTest::newRow("another program's file")
            << QByteArray("SQLite format 3, or so it says") << QByteArray("GET /technicals.csv HTTP/1.0\r\n\r\n")
            << QByteArray("HTTP/1.0 503 Service Unavailable") << "" << QDate();
    }
    void historyTables()
    {
        QFETCH(QByteArray, storeBytes);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        QFETCH(QString, symbol);
        QFETCH(QDate, from);
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        if (!storeBytes.isEmpty())
            QVERIFY(writeFile(path, storeBytes));
        else
            QVERIFY(HistoryStore::open(path, HistoryStore::Mode::ReadWrite)->addBars(sessions(8)));
        HistoryService history;
        QCOMPARE(history.open(path), storeBytes.isEmpty());
        m_server->setHistory(&history);
        if (expected.isEmpty()) {
            const auto store = HistoryStore::open(path, HistoryStore::Mode::ReadOnly);
            expected =
                csvReply(symbol.isEmpty() ? technicalsCsv(store->technicals()) : historyCsv(store->bars(symbol, from)));
            QVERIFY(expected.contains("\n2026-11-09,") || expected.contains("\nBRK.B,2026-11-09,"));
        }
        const QByteArray reply = ask(request.replace("PORT", QByteArray::number(m_server->serverPort())));
        QCOMPARE(expected.endsWith("\n") ? reply : reply.left(reply.indexOf("\r\n")), expected);
        m_server->setHistory(nullptr);
    }

    // The technicals are built once, and again when another process (here
    // another store) has written.
    void technicalsFollowOtherWriters()
    {
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        HistoryService history;
        QVERIFY(history.open(path));
        m_server->setHistory(&history);
        const QByteArray request = "GET /technicals.csv HTTP/1.0\r\n\r\n";
        QCOMPARE(ask(request), csvReply(technicalsCsv({})));
        QVERIFY(HistoryStore::open(path, HistoryStore::Mode::ReadWrite)->addBars(sessions(3)));
        QVERIFY(ask(request).contains("\nBRK.B,2026-11-04,"));
        m_server->setHistory(nullptr);
    }

    // A symbol the store lacks is asked of the keyed source once for two
    // clients, kept, and then served from the store; or the source's "no" is
    // said plainly.
    void fetchesWhatTheStoreLacks_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("results");
        QTest::addColumn<QByteArray>("expected"); // empty: the bars asked for
        QTest::newRow("bars") << 200
                              << QByteArray(R"([{"t":1796101200000,"o":5,"h":6,"l":4,"c":5.5,"v":7e5},)"
                                            R"({"t":1796187600000,"o":5.5,"h":7,"l":5,"c":6.75,"v":8e5}])")
                              << QByteArray();
        QTest::newRow("none") << 200 << QByteArray("[]")
                              << textReply("404 Not Found", "The quote source has no price history of ZZZ.");
        QTest::newRow("limit") << 429 << QByteArray("[]")
                               << textReply("503 Service Unavailable",
                                            "The quote source asked to be asked less often (HTTP 429).");
    }
    void fetchesWhatTheStoreLacks()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, results);
        QFETCH(QByteArray, expected);
        std::unique_ptr<FakeUpstream> source; // the whole market's two days, then the symbol's history
        source = std::make_unique<FakeUpstream>([&](const QList<QByteArray> &, int) {
            if (!source->heads.last().contains("/aggs/ticker/"))
                return FakeUpstream::Action{FakeUpstream::Action::Reply, 200, "application/json",
                                            R"({"status":"OK","results":[{"T":"AAA","c":1}]})"};
            return FakeUpstream::Action{FakeUpstream::Action::Reply, status, "application/json",
                                        R"({"status":"OK","results":)" + results + "}", 200};
        });
        const QTemporaryDir dir;
        HistoryService history;
        QVERIFY(history.open(dir.filePath(QStringLiteral("history.sqlite"))));
        GroupedDailySource::Options options;
        options.base = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(source->port()));
        options.apiKey = QStringLiteral("k");
        options.now = [] { return QDateTime(QDate(2026, 12, 5), QTime(12, 0), QTimeZone::utc()); }; // a Saturday
        options.history = history.store();
        GroupedDailySource daily(options);
        history.setSource(&daily);
        m_server->setHistory(&history);
        const QByteArray request = "GET /history.csv?s=zzz&from=2026-12-02 HTTP/1.0\r\n\r\n";
        Client first(m_server->serverPort(), request), second(m_server->serverPort(), request);
        QTRY_VERIFY(first.done && second.done);
        if (expected.isEmpty())
            expected = csvReply(historyCsv(history.store()->bars(QStringLiteral("ZZZ"), QDate(2026, 12, 2))));
        QCOMPARE(first.received, expected);
        QCOMPARE(second.received, expected);
        const auto aggs = [&source] {
            return source->heads.join('\n').count(
                "GET /v2/aggs/ticker/ZZZ/range/1/day/2024-12-05/2026-12-05?adjusted=true&sort=asc&limit=50000 ");
        };
        QCOMPARE(aggs(), 1);
        QCOMPARE(ask(request), expected);
        QCOMPARE(aggs(), status == 200 && results == "[]" ? 2 : 1);
        QVERIFY(results == "[]" || history.store()->bars(QStringLiteral("ZZZ")).back().close == 6.75f);
        m_server->setHistory(nullptr);
    }

    void idleClientsAreDropped()
    {
        m_server->setIdleTimeout(std::chrono::milliseconds(500));
        Client silent(m_server->serverPort()), halfway(m_server->serverPort(), "GET /d/quotes.csv?s=MS");
        QTRY_COMPARE(m_server->clientCount(), 2);
        QTRY_VERIFY(silent.done && halfway.done);
        QCOMPARE(silent.received + halfway.received, QByteArray());
        QTRY_COMPARE(m_server->clientCount(), 0);
    }

    // As many clients as one address may have send half a request each and
    // are held open together; then each finishes in turn, last first.
    void servesManyClientsAtOnce()
    {
        std::vector<std::unique_ptr<Client>> clients;
        const int count = QuoteServer::kMaxClientsPerAddress;
        for (int i = 0; i < count; ++i)
            clients.push_back(std::make_unique<Client>(m_server->serverPort(), programRequest("MSFT").left(30)));
        QTRY_COMPARE(m_server->clientCount(), count);
        for (int i = count - 1; i >= 0; --i)
            clients[i]->socket.write(programRequest("MSFT").mid(30));
        for (const auto &client : clients) {
            QTRY_VERIFY(client->done);
            QCOMPARE(client->received, okReply(kMsft));
        }
    }

    // One address's idle connections make way for its client that asks.
    void idleConnectionsMakeWay()
    {
        std::vector<std::unique_ptr<Client>> idle;
        for (int i = 0; i < QuoteServer::kMaxClientsPerAddress; ++i)
            idle.push_back(std::make_unique<Client>(m_server->serverPort()));
        QTRY_COMPARE(m_server->clientCount(), QuoteServer::kMaxClientsPerAddress);
        QCOMPARE(ask(programRequest("MSFT")), okReply(kMsft));
        QTRY_VERIFY(idle.front()->done);
        QCOMPARE(idle.front()->received, QByteArray());
        QVERIFY(!idle.back()->done);
    }

    // Written in place or replaced as editors do (the watch survives each);
    // a damaged snapshot leaves the served quotes as they were.
    void reloadsTheSnapshotWhenItChanges()
    {
        QSignalSpy loaded(m_server.get(), &QuoteServer::snapshotLoaded);
        QSignalSpy failed(m_server.get(), &QuoteServer::snapshotFailed);
        const QByteArray prices[] = {"28.00", "29.00", "30.00", "31.00"};
        for (int i = 0; i < 4; ++i) {
            QVERIFY(save(QByteArray(kSnapshot).replace("MSFT,27.50", "MSFT," + prices[i]), i == 0 || i == 3));
            QTRY_COMPARE(loaded.count(), i + 1);
            QCOMPARE(loaded.last().at(1).toStringList(), QStringList{"line 7: last: \"1e3\" is not a number"});
            QCOMPARE(loaded.last().at(2).toInt(), 1);
            QVERIFY(ask(programRequest("MSFT")).contains("\"MSFT\"," + prices[i] + ','));
        }
        QVERIFY(save("AAPL\nMSFT\n", false));
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(ask(programRequest("MSFT")).contains("\"MSFT\",31.00,"));
    }

    // A writer that stops half-way through an in-place rewrite: the half file
    // is never served; the old quotes are, until the whole new file is read.
    // A file just renamed in is not watched yet: its rewrite is found only by
    // looking at it again when the quiet time is over.
    void neverServesAHalfWrittenFile_data()
    {
        QTest::addColumn<bool>("renamedIn");
        QTest::addColumn<int>("pauseMs"); // under the quiet time, or one and a half of it after the rename
        QTest::newRow("rewritten in place") << false << 600;
        QTest::newRow("renamed in, then rewritten") << true << 1500;
    }

    void neverServesAHalfWrittenFile()
    {
        QFETCH(bool, renamedIn);
        QFETCH(int, pauseMs);
        QSignalSpy loaded(m_server.get(), &QuoteServer::snapshotLoaded);
        const QByteArray next = QByteArray(kSnapshot).replace("MSFT,27.50", "MSFT,40.00");
        const qsizetype half = next.indexOf("BRK.B");
        QFile file(m_dir.filePath(QStringLiteral("quotes.csv")));
        bool halfWritten = false, finished = false;
        const auto writeHalf = [&] {
            halfWritten = file.open(QIODevice::WriteOnly) && file.write(next.left(half)) == half && file.flush();
        };
        QObject writer;  // nothing more written once the test has ended
        if (renamedIn) { // the half once the rename has been seen, and well within the quiet time
            QVERIFY(save(QByteArray(kSnapshot).replace("MSFT,27.50", "MSFT,30.00"), false));
            QTimer::singleShot(pauseMs / 3, &writer, writeHalf);
        } else {
            writeHalf();
        }
        QTimer::singleShot(pauseMs, &writer, [&] {
            file.write(next.mid(half));
            file.close();
            finished = true;
        });
        while (!finished) // during the pause, and the quiet time before it, BRK.B stays known
            QVERIFY(ask(programRequest("BRK.B")).contains("\"BRK.B\",412.30,"));
        QVERIFY(halfWritten);
        QTRY_COMPARE(loaded.count(), 1);
        QVERIFY(ask(programRequest("MSFT")).contains("\"MSFT\",40.00,"));
        QVERIFY(ask(programRequest("BRK.B")).contains("\"BRK.B\",412.30,"));
        QCOMPARE(loaded.count(), 1);
    }

    // A file of bad rows names a few and counts the rest; a file over the
    // size limit is refused before it is read, the old quotes stay.
    void limitsWhatAReloadCosts()
    {
        QSignalSpy loaded(m_server.get(), &QuoteServer::snapshotLoaded);
        QSignalSpy failed(m_server.get(), &QuoteServer::snapshotFailed);
        QByteArray bad = kSnapshot;
        for (int i = 0; i < 1000; ++i)
            bad += "\nX" + QByteArray::number(i) + ",abc,,,,,,,";
        QVERIFY(save(bad, false));
        QTRY_COMPARE(loaded.count(), 1);
        QCOMPARE(loaded.last().at(1).toStringList().size(), kMaxSnapshotWarnings);
        QCOMPARE(loaded.last().at(2).toInt(), 1001);
        QCOMPARE(m_server->quoteCount(), 3);

        QFile file(m_dir.filePath(QStringLiteral("quotes.csv")));
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(kMaxSnapshotBytes + 1)); // sparse
        file.close();
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(failed.last().at(0).toString().contains(QStringLiteral("larger than the limit of 64 MiB")));
        QVERIFY(ask(programRequest("MSFT")).contains("\"MSFT\",27.50,"));
        QCOMPARE(loaded.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestQuoteServer)
#include "tst_quoteserver.moc"
