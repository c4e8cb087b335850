#include "common/QuoteAnswers.h"
#include "common/TestFiles.h"
#include "market/MarketStore.h"
#include "market/SymbolList.h"
#include "quoted/CloseHistory.h"
#include "quoted/MarketWatch.h"
#include "quoted/QuoteLine.h"
#include "quoted/QuoteServer.h"
#include "quoted/UpstreamCsv.h"
#include "quoted/UpstreamQuotes.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using Status = UpstreamQuotes::Status;

Q_DECLARE_METATYPE(UpstreamQuote)

namespace {

UpstreamQuote aapl(const QByteArray &symbol = "AAPL.US", std::optional<double> previousClose = {})
{
    return {symbol, QDate(2026, 12, 4), QTime(22, 0, 9), 190.5, 192, 189.25, 191.23, previousClose, 51234567};
}

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

// The bundled quote service: its answers, its limits, and its snapshot file;
// then the live source behind it: its CSV, the closes kept between runs, and
// the cache that fetches in batches, against a scripted source on loopback.
class TestQuoteServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<QuoteServer> m_server;
    std::unique_ptr<LoopbackServer> m_source;
    std::unique_ptr<UpstreamQuotes> m_quotes;
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

    void start(LoopbackServer::Script script, UpstreamQuotes::Options options = {})
    {
        m_source = std::make_unique<LoopbackServer>(std::move(script));
        options.url = m_source->url(QStringLiteral("/q/l/"));
        options.backOff = {50ms, 100ms};
        if (options.statePath.isEmpty())
            options.statePath = m_dir.filePath(QStringLiteral("closes.csv"));
        m_quotes = std::make_unique<UpstreamQuotes>(options);
    }

    // Looks up and, when it must wait, looks up again once resolved.
    UpstreamQuotes::Answer answer(const QByteArray &symbol)
    {
        UpstreamQuotes::Answer a = m_quotes->lookUp(symbol);
        if (a.status != Status::Waiting)
            return a;
        QSignalSpy resolved(m_quotes.get(), &UpstreamQuotes::resolved);
        if (!QTest::qWaitFor(
                [&] {
                    return std::any_of(resolved.cbegin(), resolved.cend(), [&](const QList<QVariant> &s) {
                        return s.at(0).toByteArray() == symbol.toUpper();
                    });
                },
                10'000))
            return {Status::Waiting, "never resolved"};
        return m_quotes->lookUp(symbol);
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

    void cleanup()
    {
        m_server.reset();
        m_quotes.reset();
        m_source.reset();
        QFile::remove(m_dir.filePath(QStringLiteral("closes.csv")));
    }

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
            << QByteArray("GET /d/quotes.csv?e=.csv&f=sl1d1t1c1ohgv&s=%4dsft HTTP/1.1\nHost: x\n\n") << okReply(kMsft);
        QTest::newRow("line break cannot split the reply")
            << programRequest("X%0D%0AY%22%2C1") << okReply("\"X%0D%0AY%22%2C1\"" + notAvailable);
        QTest::newRow("exactly the size limit") << limit << okReply(kMsft);
        QTest::newRow("one byte over it") << QByteArray(limit).insert(40, 'p') << bad;
        QTest::newRow("endless") << "GET /d/quotes.csv?s=" + QByteArray(1 << 20, 'A') << bad;
        QTest::newRow("garbage") << QByteArray("hello there\r\n\r\n") << bad;
    }

    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        const QByteArray reply = ask(request);
        QCOMPARE(expected.endsWith("\r\n") ? reply : reply.left(reply.indexOf("\r\n")), expected);
        QTRY_COMPARE(m_server->clientCount(), 0);
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

    // Forty clients send half a request each and are held open together;
    // then each finishes in turn, last first.
    void servesManyClientsAtOnce()
    {
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < 40; ++i)
            clients.push_back(std::make_unique<Client>(m_server->serverPort(), programRequest("MSFT").left(30)));
        QTRY_COMPARE(m_server->clientCount(), 40);
        for (int i = 39; i >= 0; --i)
            clients[i]->socket.write(programRequest("MSFT").mid(30));
        for (const auto &client : clients) {
            QTRY_VERIFY(client->done);
            QCOMPARE(client->received, okReply(kMsft));
        }
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

    void parsesTheSourcesCsv_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QList<UpstreamQuote>>("expected");
        QTest::addColumn<QString>("error"); // a source fault
        const QList<UpstreamQuote> one{aapl()};
        UpstreamQuote unknown;
        unknown.symbol = "NOPE.US";
        QTest::newRow("as documented, CR LF")
            << QByteArray("Symbol,Date,Time,Open,High,Low,Close,Volume\r\n"
                          "AAPL.US,2026-12-04,22:00:09,190.5,192,189.25,191.23,51234567\r\n")
            << one << QString();
        QTest::newRow("other order, lower case, LF, quotes, no final line end")
            << QByteArray("close, \"volume\",symbol,low,high,open,time,date\n"
                          "191.23,51234567,AAPL.US,189.25,192,190.5,22:00:09,20261204")
            << one << QString();
        QTest::newRow("N/D: not known; echoed in another case")
            << QByteArray("Symbol,Date,Time,Open,High,Low,Close,Volume\n"
                          "NOPE.US,N/D,N/D,N/D,N/D,N/D,N/D,N/D\n"
                          "aapl.us,2026-12-04,22:00:09,190.5,192,189.25,191.23,51234567\n")
            << QList<UpstreamQuote>{unknown, aapl("aapl.us")} << QString();
        QTest::newRow("a previous close column")
            << QByteArray("Symbol,Date,Time,Open,High,Low,Close,Volume,Prev\n"
                          "AAPL.US,2026-12-04,22:00:09,190.5,192,189.25,191.23,51234567,190\n")
            << QList<UpstreamQuote>{aapl("AAPL.US", 190)} << QString();
        QTest::newRow("a limit notice") << QByteArray("Exceeded the daily hits limit\n") << QList<UpstreamQuote>()
                                        << "the source sent no quote table: \"Exceeded the daily hits limit\"";
        QTest::newRow("a web page") << QByteArray("<!DOCTYPE html>\n<html><body>Symbol,Close</body></html>")
                                    << QList<UpstreamQuote>() << "the source sent a web page instead of quotes";
        QTest::newRow("nothing") << QByteArray("\r\n") << QList<UpstreamQuote>() << "the source sent an empty answer";
    }

    void parsesTheSourcesCsv()
    {
        QFETCH(QByteArray, body);
        QFETCH(QList<UpstreamQuote>, expected);
        QFETCH(QString, error);
        QString why;
        const std::optional<QList<UpstreamQuote>> quotes = parseUpstreamCsv(body, &why);
        QCOMPARE(why, error);
        QCOMPARE(quotes.has_value(), error.isEmpty());
        if (quotes)
            QCOMPARE(*quotes, expected);
    }

    void buildsTheRequest()
    {
        const QUrl url =
            upstreamUrl(QUrl(QStringLiteral("https://example.invalid/q/l/")), {"AAPL", "BRK.B", "A&B"}, ".us");
        QCOMPARE(url.toString(QUrl::FullyEncoded),
                 QStringLiteral("https://example.invalid/q/l/?s=aapl.us+brk.b.us+a%26b.us&f=sd2t2ohlcv&h&e=csv"));
        QCOMPARE(upstreamSymbolKey("brk.b.US", ".us"), QByteArray("BRK.B"));
    }

    // Thursday, then Friday: a change; across a weekend: a change; across a
    // missing weekday: none. Only a few dates are kept; the text reads back.
    void keepsTheLastCloses()
    {
        CloseHistory history;
        QVERIFY(history.record("AAPL", QDate(2026, 12, 3), 10)); // Thursday
        QVERIFY(!history.record("AAPL", QDate(2026, 12, 3), 10));
        QCOMPARE(history.previousClose("AAPL", QDate(2026, 12, 3)), std::nullopt);
        QCOMPARE(history.previousClose("AAPL", QDate(2026, 12, 4)), 10.0);
        history.record("AAPL", QDate(2026, 12, 4), 11);
        QCOMPARE(history.previousClose("AAPL", QDate(2026, 12, 7)), 11.0); // Monday
        QCOMPARE(history.previousClose("AAPL", QDate(2026, 12, 8)), std::nullopt);
        for (int day = 7; day < 12; ++day)
            history.record("AAPL", QDate(2026, 12, day), day);
        const CloseHistory back = CloseHistory::fromText(history.toText() + "junk\nMSFT,2026-13-01,1\n");
        QCOMPARE(back.toText(), history.toText());
        QCOMPARE(back.symbolCount(), 1);
        QCOMPARE(back.previousClose("AAPL", QDate(2026, 12, 7)), std::nullopt); // Friday's close dropped

        // Saved and loaded; a file of another kind is refused, not emptied.
        const QString path = m_dir.filePath(QStringLiteral("history.csv"));
        QVERIFY(history.save(path));
        QCOMPARE(CloseHistory::load(path)->toText(), history.toText());
        QVERIFY(writeFile(path, "\x01\x02 a market file\n"));
        QString why;
        QVERIFY(!CloseHistory::load(path, &why));
        QVERIFY(why.contains(QStringLiteral("not a closes file")));
    }

    // 120 kept symbols in batches of 50, two at a time; then every one is
    // served from the cache without another request.
    void fetchesKeptSymbolsInBatches()
    {
        start([](QTcpSocket *s, const QByteArray &r) { LoopbackServer::send(s, {"", SourceAnswer::table(r)}, 50); });
        QList<QByteArray> symbols;
        for (int i = 0; i < 120; ++i)
            symbols.append("S" + QByteArray::number(i));
        m_quotes->setKeptSymbols(symbols);
        QTRY_COMPARE(m_quotes->cachedCount(), 120);
        QCOMPARE(m_source->requests.size(), 3);
        QCOMPARE(SourceAnswer::symbolsOf(m_source->requests.first()).size(), 50);
        QCOMPARE(m_source->mostAtOnce, 2);
        for (const QByteArray &symbol : {QByteArray("S0"), QByteArray("s119")}) {
            const UpstreamQuotes::Answer a = m_quotes->lookUp(symbol);
            QCOMPARE(a.status, Status::Ready);
            QVERIFY(a.line.startsWith('"' + symbol + "\","
                                      + QByteArray::number(SourceAnswer::priceOf(symbol + ".us"), 'f', 2)));
        }
        QCOMPARE(m_source->requests.size(), 3);
    }

    // Misses that arrive together share one request.
    void gathersMisses()
    {
        start([](QTcpSocket *s, const QByteArray &r) { LoopbackServer::send(s, {SourceAnswer::table(r)}); });
        for (const char *symbol : {"A", "B", "C", "D"})
            QCOMPARE(m_quotes->lookUp(symbol).status, Status::Waiting);
        QCOMPARE(answer("D").status, Status::Ready);
        QCOMPARE(m_source->requests.size(), 1);
        QCOMPARE(SourceAnswer::symbolsOf(m_source->requests.first()),
                 (QList<QByteArray>{"a.us", "b.us", "c.us", "d.us"}));
    }

    // What each kind of answer turns into, and how often the source is asked;
    // an answer that is not available counts the source as down.
    void sourceFaults_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("line"); // start of the answer, empty when unavailable
        QTest::addColumn<int>("requests");
        const QByteArray known = "\"AAA\"," + QByteArray::number(SourceAnswer::priceOf("aaa.us"), 'f', 2);
        QTest::newRow("slow, within the time-out") << QByteArray("slow") << known << 1;
        QTest::newRow("500 once, then well") << QByteArray("500 once") << known << 2;
        QTest::newRow("N/D: unknown at once") << QByteArray("N/D") << QuoteLine::unknown("AAA") << 1;
        QTest::newRow("left out: unknown") << QByteArray("left out") << QuoteLine::unknown("AAA") << 1;
        QTest::newRow("limit notice: no retry") << QByteArray("limit") << QByteArray() << 1;
        QTest::newRow("404: no retry") << QByteArray("404") << QByteArray() << 1;
        QTest::newRow("500, twice retried") << QByteArray("500") << QByteArray() << 3;
        QTest::newRow("silence, twice retried") << QByteArray("silent") << QByteArray() << 3;
    }

    void sourceFaults()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, line);
        QFETCH(int, requests);
        UpstreamQuotes::Options options;
        options.timeout = 300ms;
        start(
            [this, kind](QTcpSocket *s, const QByteArray &r) {
                QByteArray a = SourceAnswer::table(r);
                if (kind == "500" || (kind == "500 once" && m_source->requests.size() == 1))
                    a = LoopbackServer::http(500, "text/plain", "busy");
                else if (kind == "N/D")
                    a = LoopbackServer::http(200, "text/csv",
                                             SourceAnswer::header() + "AAA.US,N/D,N/D,N/D,N/D,N/D,N/D,N/D\r\n");
                else if (kind == "left out")
                    a = LoopbackServer::http(200, "text/csv", SourceAnswer::header());
                else if (kind == "limit")
                    a = LoopbackServer::http(200, "text/plain", "Exceeded the daily hits limit");
                else if (kind == "404")
                    a = LoopbackServer::http(404, "text/html", "<html>Not here</html>");
                if (kind != "silent")
                    LoopbackServer::send(s, {"", a}, kind == "slow" ? 150 : 0);
            },
            options);
        QSignalSpy wentDown(m_quotes.get(), &UpstreamQuotes::sourceWentDown);
        const UpstreamQuotes::Answer a = answer("AAA");
        QCOMPARE(a.status, line.isEmpty() ? Status::Unavailable : Status::Ready);
        QVERIFY2(a.line.startsWith(line), a.line.constData());
        // A silent source lets the client go after its first time-out; the
        // retries go on behind it.
        QTRY_COMPARE(m_source->requests.size(), requests);
        QTRY_COMPARE(wentDown.count(), line.isEmpty() ? 1 : 0);
        // While down, a second uncached symbol is turned away without asking.
        if (line.isEmpty())
            QCOMPARE(m_quotes->lookUp("BBB").status, Status::Unavailable);
    }

    // A cached quote is served, old as it is, while the source is down.
    void servesTheCacheWhileDown()
    {
        UpstreamQuotes::Options options;
        options.refresh = 200ms;
        start([](QTcpSocket *s, const QByteArray &r) { LoopbackServer::send(s, {SourceAnswer::table(r)}); }, options);
        const QByteArray fresh = answer("AAA").line;
        QVERIFY(fresh.startsWith("\"AAA\",1"));
        m_source->stop();
        QSignalSpy wentDown(m_quotes.get(), &UpstreamQuotes::sourceWentDown);
        QTRY_COMPARE(m_quotes->lookUp("AAA").status, Status::Waiting); // stale now: asked again
        QTRY_COMPARE(wentDown.count(), 1);
        QCOMPARE(m_quotes->lookUp("AAA").line, fresh);
        QVERIFY(m_quotes->sourceDown());
    }

    // The watched markets' symbols, read again when the program replaces a
    // file; a file that cannot be read lists nothing until it can.
    void watchesTheMarkets()
    {
        const auto write = [this](const char *name, const QStringList &symbols) {
            MarketDatabase db;
            for (const QString &symbol : symbols)
                addSymbol(db, symbol);
            return writeMarketFile(m_dir.filePath(QString::fromLatin1(name)), db);
        };
        QVERIFY(write("nasdaq.bin", {"AAA", "bbb", "", "AAA"}));
        MarketWatch watch;
        watch.setQuietTime(100ms);
        QSignalSpy problems(&watch, &MarketWatch::problem);
        watch.setFiles({m_dir.filePath(QStringLiteral("nasdaq.bin")), m_dir.filePath(QStringLiteral("nyse.bin"))});
        QCOMPARE(watch.symbols(), QList<QByteArray>({"AAA", "bbb"}));
        QCOMPARE(problems.count(), 1);
        QVERIFY(write("nasdaq.bin", {"AAA", "CCC"}));
        QVERIFY(write("nyse.bin", {"BBB", "DDD"}));
        QTRY_COMPARE(watch.symbols(), QList<QByteArray>({"AAA", "CCC", "BBB", "DDD"}));
    }

    // The change comes from the previous trading day's close, kept in the
    // closes file from one run to the next; without one it is N/A.
    void changeFromTheClosesFile()
    {
        QByteArray date = "2026-12-03";
        double close = 10;
        const auto script = [&date, &close](QTcpSocket *s, const QByteArray &r) {
            const QByteArray row = SourceAnswer::row(SourceAnswer::symbolsOf(r).value(0), close, date);
            LoopbackServer::send(s, {LoopbackServer::http(200, "text/csv", SourceAnswer::header() + row)});
        };
        start(script);
        QVERIFY(answer("AAA").line.contains(",N/A,")); // first day: no change known
        m_quotes.reset();                              // closes written at the end of a run
        QVERIFY(QFile(m_dir.filePath(QStringLiteral("closes.csv"))).size() > 0);
        date = "2026-12-04";
        close = 11.5;
        start(script);
        QVERIFY(answer("AAA").line.contains("\"10:00pm\",+1.50,"));
        date = "2026-12-08"; // Monday skipped: no change rather than a wrong one
        start(script);
        QVERIFY(answer("AAA").line.contains("\"10:00pm\",N/A,"));
    }
};

QTEST_GUILESS_MAIN(TestQuoteServer)
#include "tst_quoteserver.moc"
