#include "common/QuoteAnswers.h"
#include "common/TestFiles.h"

#include "market/MarketStore.h"
#include "quoted/CloseHistory.h"
#include "quoted/MarketWatch.h"
#include "quoted/UpstreamCsv.h"
#include "quoted/UpstreamQuotes.h"
#include "market/SymbolList.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Status = UpstreamQuotes::Status;

Q_DECLARE_METATYPE(UpstreamQuote)

namespace {

UpstreamQuote aapl(const QByteArray &symbol = "AAPL.US", std::optional<double> previousClose = {})
{
    return {symbol, QDate(2026, 12, 4), QTime(22, 0, 9), 190.5, 192, 189.25, 191.23, previousClose, 51234567};
}

} // namespace

// The live source: its CSV, the closes kept between runs, and the cache that
// fetches in batches, against a scripted source on loopback.
class TestUpstream : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<LoopbackServer> m_source;
    std::unique_ptr<UpstreamQuotes> m_quotes;

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
    void cleanup()
    {
        m_quotes.reset();
        m_source.reset();
        QFile::remove(m_dir.filePath(QStringLiteral("closes.csv")));
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
        const QUrl url = upstreamUrl(QUrl(QStringLiteral("https://example.invalid/q/l/")), {"AAPL", "BRK.B", "A&B"}, ".us");
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
        m_quotes.reset();                                // closes written at the end of a run
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

QTEST_GUILESS_MAIN(TestUpstream)
#include "tst_upstream.moc"
