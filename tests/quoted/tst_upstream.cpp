#include "common/FakeUpstream.h"

#include "market/MarketStore.h"
#include "quoted/CloseHistory.h"
#include "quoted/MarketWatch.h"
#include "quoted/SourceStatus.h"
#include "quoted/UpstreamCsv.h"
#include "quoted/UpstreamQuotes.h"
#include "market/SymbolList.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Action = FakeUpstream::Action;
using Status = UpstreamQuotes::Status;

Q_DECLARE_METATYPE(UpstreamQuote)

namespace {

// An instant written with its offset from UTC, as New York's clocks show it.
QDateTime at(const QString &iso)
{
    return QDateTime::fromString(iso, Qt::ISODate);
}

const QDateTime kMondayMorning = at(QStringLiteral("2026-12-07T11:00:00-05:00"));

UpstreamQuote aapl()
{
    UpstreamQuote q;
    q.symbol = "AAPL.US";
    q.date = QDate(2026, 12, 4);
    q.time = QTime(16, 0, 9); // 22:00:09 in Warsaw
    q.open = 190.5;
    q.high = 192;
    q.low = 189.25;
    q.close = 191.23;
    q.volume = 51234567;
    return q;
}

} // namespace

// The live source: its CSV, the closes kept between runs, and the cache that
// fetches in batches, against a scripted source on loopback.
class TestUpstream : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeUpstream> m_source;
    std::unique_ptr<UpstreamQuotes> m_quotes;
    QDateTime m_now; // the service's clock

    void start(FakeUpstream::Script script, UpstreamQuotes::Options options = {})
    {
        m_source = std::make_unique<FakeUpstream>(std::move(script));
        options.url = m_source->url();
        options.clock = [this] { return m_now; };
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
    void init() { m_now = kMondayMorning; }

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
        UpstreamQuote echoed = aapl();
        echoed.symbol = "aapl.us";
        UpstreamQuote withPrevious = aapl();
        withPrevious.previousClose = 190;
        QTest::newRow("as documented, CR LF")
            << QByteArray("Symbol,Date,Time,Open,High,Low,Close,Volume\r\n"
                          "AAPL.US,2026-12-04,22:00:09,190.5,192,189.25,191.23,51234567\r\n")
            << one << QString();
        QTest::newRow("other order, lower case, LF, quotes")
            << QByteArray("close, \"volume\",symbol,low,high,open,time,date\n"
                          "191.23,51234567,AAPL.US,189.25,192,190.5,22:00:09,20261204\n")
            << one << QString();
        QTest::newRow("a quoted comma, a doubled quote, a quoted line break") << QByteArray(
            "Symbol,Name,Date,Time,Open,High,Low,Close,Volume\r\n"
            "AAPL.US,\"Apple, \"\"Inc.\"\"\r\n(common)\",2026-12-04,22:00:09,190.5,192,189.25,191.23,51234567\r\n")
                                                                              << one << QString();
        QTest::newRow("rows of another width, or with a stray quote, refused")
            << QByteArray("Symbol,Date,Time,Open,High,Low,Close,Volume\n"
                          "MSFT.US,2026-12-04,22:00:09,1,2\n"
                          "IBM.US,2026-12-04,22:00:09,1,2,3,4,5,6\n"
                          "X.US,\"2026-12-04\"x,22:00:09,1,2,3,4,5\n"
                          "AAPL.US,2026-12-04,22:00:09,190.5,192,189.25,191.23,51234567\n")
            << one << QString();
        QTest::newRow("cut off inside the last row's close")
            << QByteArray("Symbol,Date,Time,Open,High,Low,Volume,Close\n"
                          "AAPL.US,2026-12-04,22:00:09,190.5,192,189.25,51234567,191.23\n"
                          "MSFT.US,2026-12-04,22:00:09,279,280,278,123,27")
            << one << QString();
        UpstreamQuote march = aapl();
        march.date = QDate(2026, 3, 20);
        QTest::newRow("between New York's and Warsaw's clock changes: 5 hours apart")
            << QByteArray("Symbol,Date,Time,Open,High,Low,Close,Volume\n"
                          "AAPL.US,2026-03-20,21:00:09,190.5,192,189.25,191.23,51234567\n")
            << QList<UpstreamQuote>{march} << QString();
        QTest::newRow("N/D: not known; echoed in another case")
            << QByteArray("Symbol,Date,Time,Open,High,Low,Close,Volume\n"
                          "NOPE.US,N/D,N/D,N/D,N/D,N/D,N/D,N/D\n"
                          "aapl.us,2026-12-04,22:00:09,190.5,192,189.25,191.23,51234567\n")
            << QList<UpstreamQuote>{unknown, echoed} << QString();
        QTest::newRow("a previous close column")
            << QByteArray("Symbol,Date,Time,Open,High,Low,Close,Volume,Prev\n"
                          "AAPL.US,2026-12-04,22:00:09,190.5,192,189.25,191.23,51234567,190\n")
            << QList<UpstreamQuote>{withPrevious} << QString();
        QTest::newRow("a limit notice") << QByteArray("Exceeded the daily hits limit\n") << QList<UpstreamQuote>()
                                        << "the source sent no quote table: \"Exceeded the daily hits limit\"";
        QTest::newRow("a notice with control bytes")
            << QByteArray("Limit\x1b[2J\x7f\xc3\xa9\n") << QList<UpstreamQuote>()
            << "the source sent no quote table: \"Limit\\x1b[2J\\x7f\\xc3\\xa9\"";
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

    void spellsSymbolsForTheSource_data()
    {
        QTest::addColumn<QByteArray>("symbol");
        QTest::addColumn<QByteArray>("name"); // empty: never asked for
        QTest::newRow("plain") << QByteArray("AAPL") << QByteArray("aapl.us");
        QTest::newRow("share class") << QByteArray("BRK.B") << QByteArray("brk-b.us");
        QTest::newRow("index: no suffix") << QByteArray("^DJI") << QByteArray("^dji");
        QTest::newRow("a query character") << QByteArray("A&B") << QByteArray();
        QTest::newRow("preferred share sign") << QByteArray("ABR$D") << QByteArray();
        QTest::newRow("a caret inside") << QByteArray("A^B") << QByteArray();
        QTest::newRow("33 characters") << QByteArray(33, 'A') << QByteArray();
    }

    void spellsSymbolsForTheSource()
    {
        QFETCH(QByteArray, symbol);
        QFETCH(QByteArray, name);
        QCOMPARE(upstreamName(symbol, ".us"), name);
    }

    void buildsTheRequest()
    {
        const QUrl base(QStringLiteral("https://example.invalid/q/l/"));
        QCOMPARE(upstreamUrl(base, {"aapl.us", "brk-b.us", "^dji"}).toString(QUrl::FullyEncoded),
                 QStringLiteral("https://example.invalid/q/l/?s=aapl.us+brk-b.us+%5Edji&f=sd2t2ohlcv&h&e=csv"));
        QList<QByteArray> many(kMaxUpstreamUrlBytes / upstreamUrlCost("abcd.us"), "abcd.us");
        QVERIFY(!upstreamUrl(base, many).isValid());
        QVERIFY(!upstreamUrl(QUrl(QStringLiteral("file:///tmp/q")), {"aapl.us"}).isValid());
    }

    // Thursday, then Friday: a change; across a weekend or a holiday: a
    // change; across a missing trading day: none. Only a few dates are
    // kept; the text reads back.
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
        history.record("AAPL", QDate(2026, 11, 25), 9);
        QCOMPARE(history.previousClose("AAPL", QDate(2026, 11, 27)), 9.0); // across Thanksgiving
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
        QFile other(path);
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("\x01\x02 a market file\n") > 0);
        other.close();
        QString why;
        QVERIFY(!CloseHistory::load(path, &why));
        QVERIFY(why.contains(QStringLiteral("not a closes file")));
    }

    // 120 kept symbols in batches of 50, two at a time; then every one is
    // served from the cache without another request.
    void fetchesKeptSymbolsInBatches()
    {
        start([](const QList<QByteArray> &symbols, int) {
            Action a = FakeUpstream::table(symbols);
            a.delayMs = 50;
            return a;
        });
        QList<QByteArray> symbols;
        for (int i = 0; i < 120; ++i)
            symbols.append("S" + QByteArray::number(i));
        m_quotes->setKeptSymbols(symbols);
        QTRY_COMPARE(m_quotes->cachedCount(), 120);
        QCOMPARE(m_source->requests.size(), 3);
        QCOMPARE(m_source->requests.first().size(), 50);
        QCOMPARE(m_source->mostAtOnce(), 2);
        for (const QByteArray &symbol : {QByteArray("S0"), QByteArray("s119")}) {
            const UpstreamQuotes::Answer a = m_quotes->lookUp(symbol);
            QCOMPARE(a.status, Status::Ready);
            QVERIFY(a.line.startsWith('"' + symbol + "\","
                                      + QByteArray::number(FakeUpstream::priceOf(symbol + ".us"), 'f', 2)));
        }
        QCOMPARE(m_source->requests.size(), 3);
    }

    // Misses that arrive together share one request.
    void gathersMisses()
    {
        start([](const QList<QByteArray> &symbols, int) { return FakeUpstream::table(symbols); });
        for (const char *symbol : {"A", "B", "C", "D"})
            QCOMPARE(m_quotes->lookUp(symbol).status, Status::Waiting);
        QCOMPARE(answer("D").status, Status::Ready);
        const QList<QList<QByteArray>> expected{{"a.us", "b.us", "c.us", "d.us"}};
        QCOMPARE(m_source->requests, expected);
    }

    // A miss whose client has gone is not fetched; the quotes of symbols
    // outside the watched markets stay within their bound, the oldest going.
    void keepsOnlyWhatIsWanted()
    {
        UpstreamQuotes::Options options;
        options.maxUnwatched = 2;
        start([](const QList<QByteArray> &symbols, int) { return FakeUpstream::table(symbols); }, options);
        QCOMPARE(m_quotes->lookUp("GONE").status, Status::Waiting);
        m_quotes->unwanted("GONE");
        for (const char *symbol : {"A", "B", "C"})
            QCOMPARE(answer(symbol).status, Status::Ready);
        QCOMPARE(m_source->requests, (QList<QList<QByteArray>>{{"a.us"}, {"b.us"}, {"c.us"}}));
        QCOMPARE(m_quotes->cachedCount(), 2);
        QCOMPARE(m_quotes->lookUp("A").status, Status::Waiting); // forgotten: asked again
        QCOMPARE(m_quotes->lookUp("C").status, Status::Ready);
    }

    // Each symbol in the source's spelling, the answer in the client's; one
    // that cannot be spelled is answered at once and never joins the batch.
    // Batches are cut short to keep the URL within its limit.
    void asksInTheSourcesSpelling()
    {
        UpstreamQuotes::Options options;
        options.batch = UpstreamQuotes::MaxBatch;
        start([](const QList<QByteArray> &symbols, int) { return FakeUpstream::table(symbols); }, options);
        QCOMPARE(m_quotes->lookUp("A&B").line, QuoteLine::unknown("A&B"));
        for (const char *symbol : {"BRK.B", "^DJI", "brk-b"})
            QCOMPARE(m_quotes->lookUp(symbol).status, Status::Waiting);
        for (const auto &[symbol, name] :
             {std::pair<QByteArray, QByteArray>("brk.b", "brk-b.us"), {"BRK-B", "brk-b.us"}, {"^DJI", "^dji"}})
            QVERIFY(answer(symbol).line.startsWith('"' + symbol + "\","
                                                   + QByteArray::number(FakeUpstream::priceOf(name), 'f', 2)));
        const QList<QList<QByteArray>> expected{{"brk-b.us", "^dji"}};
        QCOMPARE(m_source->requests, expected);

        QList<QByteArray> symbols;
        for (int i = 0; i < 100; ++i)
            symbols.append(QByteArray::number(i).rightJustified(28, 'L'));
        m_quotes->setKeptSymbols(symbols);
        QTRY_COMPARE(m_quotes->cachedCount(), 104);
        QCOMPARE(m_source->requests.size(), 3); // 32 bytes a symbol: about 60 to a URL
    }

    // What each kind of answer turns into, and how often the source is asked.
    void sourceFaults_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("line"); // start of the answer, empty when unavailable
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("down");
        const QByteArray known = "\"AAA\"," + QByteArray::number(FakeUpstream::priceOf("aaa.us"), 'f', 2);
        QTest::newRow("echoed in another case") << QByteArray("echo") << int(Status::Ready) << known << 1 << false;
        QTest::newRow("slow, within the time-out") << QByteArray("slow") << int(Status::Ready) << known << 1 << false;
        QTest::newRow("500 once, then well") << QByteArray("500 once") << int(Status::Ready) << known << 2 << false;
        QTest::newRow("N/D: unknown at once")
            << QByteArray("N/D") << int(Status::Ready) << QuoteLine::unknown("AAA") << 1 << false;
        QTest::newRow("header only: a fault")
            << QByteArray("header only") << int(Status::Unavailable) << QByteArray() << 1 << true;
        QTest::newRow("over the cap, cut off as it streams")
            << QByteArray("endless") << int(Status::Unavailable) << QByteArray() << 1 << true;
        QTest::newRow("404: this batch's fault only")
            << QByteArray("404") << int(Status::Unavailable) << QByteArray() << 1 << false;
        QTest::newRow("500, twice retried")
            << QByteArray("500") << int(Status::Unavailable) << QByteArray() << 3 << true;
        QTest::newRow("silence, twice retried")
            << QByteArray("silent") << int(Status::Unavailable) << QByteArray() << 3 << true;
        QTest::newRow("reset, twice retried")
            << QByteArray("reset") << int(Status::Unavailable) << QByteArray() << 3 << true;
    }

    void sourceFaults()
    {
        QFETCH(QByteArray, kind);
        QFETCH(int, status);
        QFETCH(QByteArray, line);
        QFETCH(int, requests);
        QFETCH(bool, down);
        UpstreamQuotes::Options options;
        options.timeout = kind == "endless" ? 60s : 300ms; // a cut-off answer must not wait for the time-out
        start(
            [kind](const QList<QByteArray> &symbols, int request) {
                Action a = FakeUpstream::table(symbols);
                if (kind == "echo")
                    a.body.replace("AAA.US", "aaa.Us");
                else if (kind == "slow")
                    a.delayMs = 150;
                else if (kind == "500 once" && request == 1)
                    a = {Action::Reply, 500, "text/plain", "busy", 0};
                else if (kind == "N/D")
                    a.body = FakeUpstream::header() + "AAA.US,N/D,N/D,N/D,N/D,N/D,N/D,N/D\r\n";
                else if (kind == "header only")
                    a.body = FakeUpstream::header();
                else if (kind == "endless")
                    a = {Action::Reply, 200, "text/csv", FakeUpstream::header() + QByteArray(100'000, '1'), 0, {},
                         true};
                else if (kind == "404")
                    a = {Action::Reply, 404, "text/html", "<html>Not here</html>", 0};
                else if (kind == "500")
                    a = {Action::Reply, 500, "text/plain", "busy", 0};
                else if (kind == "silent")
                    a.kind = Action::Silent;
                else if (kind == "reset")
                    a.kind = Action::Reset;
                return a;
            },
            options);
        QSignalSpy wentDown(m_quotes.get(), &UpstreamQuotes::sourceWentDown);
        const UpstreamQuotes::Answer a = answer("AAA");
        QCOMPARE(int(a.status), status);
        QVERIFY2(a.line.startsWith(line), a.line.constData());
        // Qt's HTTP client sends again by itself, once, when a connection it
        // had just opened is reset; a reset may cost up to twice the attempts.
        // A silent source lets the client go after its first time-out; the
        // retries go on behind it.
        if (kind == "reset")
            QTRY_VERIFY(m_source->requests.size() >= requests && m_source->requests.size() <= 2 * requests);
        else
            QTRY_COMPARE(m_source->requests.size(), requests);
        QTRY_COMPARE(wentDown.count(), down ? 1 : 0);
        // While down, a second uncached symbol is turned away without
        // asking; after one batch's fault only that batch's symbols are.
        if (status == int(Status::Unavailable)) {
            QCOMPARE(m_quotes->lookUp("BBB").status, down ? Status::Unavailable : Status::Waiting);
            QCOMPARE(m_quotes->lookUp("AAA").status, Status::Unavailable);
        }
    }

    // A cached quote is served, old as it is, while the source is down or
    // answers without naming it.
    void servesTheCacheWhileDown_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("stopped") << true;
        QTest::newRow("answers with the header only") << false;
    }

    void servesTheCacheWhileDown()
    {
        QFETCH(bool, stopped);
        start([](const QList<QByteArray> &symbols, int) { return FakeUpstream::table(symbols); });
        const QByteArray fresh = answer("AAA").line;
        QVERIFY(fresh.startsWith("\"AAA\",1"));
        if (stopped)
            m_source->stop();
        else
            m_source->setScript([](const QList<QByteArray> &, int) {
                return Action{Action::Reply, 200, "text/csv", FakeUpstream::header()};
            });
        QSignalSpy wentDown(m_quotes.get(), &UpstreamQuotes::sourceWentDown);
        m_now = m_now.addSecs(600);
        QCOMPARE(m_quotes->lookUp("AAA").status, Status::Waiting); // due now: asked again
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
    // closes file from one run to the next, and only from a price seen after
    // that day's close; without one it is N/A.
    void changeFromTheLastClose_data()
    {
        QTest::addColumn<QString>("fridaySeen");
        QTest::addColumn<QByteArray>("mondayChange");
        QTest::newRow("after Friday's close") << QStringLiteral("2026-12-04T16:30-05:00") << QByteArray("+1.00");
        QTest::newRow("during Friday's session") << QStringLiteral("2026-12-04T15:00-05:00") << QByteArray("N/A");
    }

    void changeFromTheLastClose()
    {
        QFETCH(QString, fridaySeen);
        QFETCH(QByteArray, mondayChange);
        QByteArray date = "2026-12-04";
        double close = 10;
        const auto script = [&date, &close](const QList<QByteArray> &symbols, int) {
            return Action{Action::Reply, 200, "text/csv",
                          FakeUpstream::header() + FakeUpstream::row(symbols[0], close, date)};
        };
        m_now = at(fridaySeen);
        start(script);
        QVERIFY(answer("AAA").line.contains("\"4:00pm\",N/A,"));
        m_quotes.reset(); // closes written at the end of a run
        m_now = kMondayMorning;
        date = "2026-12-07";
        close = 11;
        start(script);
        QVERIFY(answer("AAA").line.contains("\"4:00pm\"," + mondayChange + ','));
    }

    // Kept symbols are asked for only when the market can have changed, the
    // source showing it a quarter of an hour late: every refresh time in the
    // session, once after the close, a day not yet published at widening
    // intervals, an unknown symbol once a trading day.
    void asksOnlyWhenTheMarketCanHaveChanged_data()
    {
        QTest::addColumn<QByteArray>("date"); // of the source's quote; empty: not known
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("requests"); // so far, after each step
        QTest::newRow("the session and the close")
            << QByteArray("2026-12-07")
            << QStringList{"2026-12-07T10:00-05:00", "2026-12-07T10:07-05:00", "2026-12-07T10:08-05:00",
                           "2026-12-07T16:10-05:00", "2026-12-07T16:14-05:00", "2026-12-07T16:16-05:00",
                           "2026-12-07T23:00-05:00", "2026-12-08T09:00-05:00"}
            << QList<int>{1, 1, 2, 3, 3, 4, 4, 4};
        QTest::newRow("the day not published yet")
            << QByteArray("2026-12-04")
            << QStringList{"2026-12-07T16:20-05:00", "2026-12-07T16:34-05:00", "2026-12-07T16:36-05:00",
                           "2026-12-07T16:56-05:00", "2026-12-07T16:58-05:00"}
            << QList<int>{1, 1, 2, 2, 3};
        QTest::newRow("unknown to the source")
            << QByteArray()
            << QStringList{"2026-12-07T10:00-05:00", "2026-12-07T15:00-05:00", "2026-12-07T16:16-05:00",
                           "2026-12-08T12:00-05:00", "2026-12-08T16:16-05:00"}
            << QList<int>{1, 1, 2, 2, 3};
    }

    void asksOnlyWhenTheMarketCanHaveChanged()
    {
        QFETCH(QByteArray, date);
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, requests);
        start([date](const QList<QByteArray> &symbols, int) {
            if (date.isEmpty())
                return Action{Action::Reply, 200, "text/csv",
                              FakeUpstream::header() + "AAA.US,N/D,N/D,N/D,N/D,N/D,N/D,N/D\r\n"};
            return FakeUpstream::table(symbols, date);
        });
        for (qsizetype i = 0; i < steps.size(); ++i) {
            m_now = at(steps[i]);
            if (i == 0)
                m_quotes->setKeptSymbols({"AAA"});
            else
                m_quotes->fetchDue();
            QTRY_COMPARE(m_quotes->pendingCount(), 0);
            QVERIFY2(m_source->requests.size() == requests[i], qPrintable(steps[i]));
        }
    }

    // How a refusal is told, and when it lets the source be asked again.
    void tellsARefusal_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("retryAfter");
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<QDateTime>("retryAt");
        const QByteArray none;
        QTest::newRow("401") << 401 << none << none << QByteArray("unauthorized") << QDateTime();
        QTest::newRow("403 with a page") << 403 << QByteArray("<html>No</html>") << none << QByteArray("refused")
                                         << QDateTime();
        QTest::newRow("429, seconds") << 429 << none << QByteArray(" 120") << QByteArray("limited")
                                      << kMondayMorning.addSecs(120);
        QTest::newRow("503, an HTTP date") << 503 << none << QByteArray("Mon, 07 Dec 2026 18:30:00 GMT")
                                           << QByteArray("limited") << at(QStringLiteral("2026-12-07T18:30:00Z"));
        QTest::newRow("the daily limit: until midnight in Warsaw")
            << 200 << QByteArray("Exceeded the daily hits limit\n") << none << QByteArray("limited")
            << at(QStringLiteral("2026-12-07T23:00:00Z"));
        QTest::newRow("a browser check") << 200 << QByteArray("\r\n<!DOCTYPE html><html><script>pow()</script>") << none
                                         << QByteArray("refused") << QDateTime();
    }

    void tellsARefusal()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, retryAfter);
        QFETCH(QByteArray, state);
        QFETCH(QDateTime, retryAt);
        const std::optional<SourceRefusal> refusal =
            sourceRefusal(status, body, retryAfter, kMondayMorning, QTimeZone("Europe/Warsaw"));
        QVERIFY(refusal);
        QCOMPARE(SourceStatus::stateName(refusal->state), state);
        QCOMPARE(refusal->retryAt, retryAt);
    }

    // A refusing source is left alone until the time it named, or else a
    // quarter of an hour; the cache is served meanwhile and the refusal is
    // told once.
    void backsOffWhenRefused_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<QDateTime>("retryAt");
        QTest::newRow("429 with Retry-After")
            << QByteArray("429") << QByteArray("limited") << at(QStringLiteral("2026-12-07T11:12:00-05:00"));
        QTest::newRow("a browser check") << QByteArray("challenge") << QByteArray("refused")
                                         << at(QStringLiteral("2026-12-07T11:25:00-05:00"));
    }

    void backsOffWhenRefused()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, state);
        QFETCH(QDateTime, retryAt);
        start([kind](const QList<QByteArray> &symbols, int request) {
            if (request != 2)
                return FakeUpstream::table(symbols);
            if (kind == "429")
                return Action{Action::Reply, 429, "text/plain", "Slow down", 0, "Retry-After: 120\r\n"};
            return Action{Action::Reply, 200, "text/html", "<!DOCTYPE html><html>Checking your browser</html>"};
        });
        const QByteArray cached = answer("AAA").line;
        QSignalSpy refused(m_quotes.get(), &UpstreamQuotes::sourceRefused);
        QSignalSpy cameBack(m_quotes.get(), &UpstreamQuotes::sourceCameBack);
        m_now = m_now.addSecs(600); // due again
        QCOMPARE(answer("AAA").line, cached);
        QCOMPARE(m_source->requests.size(), 2);
        QCOMPARE(refused.count(), 1);
        QCOMPARE(refused.first().at(1).toDateTime(), retryAt);
        SourceStatus status = m_quotes->status();
        QCOMPARE(SourceStatus::stateName(status.state), state);
        QCOMPARE(status.retryAt, retryAt);

        m_now = retryAt.addSecs(-1);
        QCOMPARE(m_quotes->lookUp("BBB").status, Status::Unavailable);
        QCOMPARE(answer("AAA").line, cached);
        QCOMPARE(m_source->requests.size(), 2);
        m_now = retryAt;
        QCOMPARE(answer("BBB").status, Status::Ready);
        QCOMPARE(m_source->requests.size(), 3);
        status = m_quotes->status();
        QCOMPARE(status.state, SourceStatus::State::Ok);
        QCOMPARE(status.lastSuccess, retryAt);
        QCOMPARE(status.retryAt, QDateTime());
        QCOMPARE(cameBack.count(), 1);
        QCOMPARE(refused.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestUpstream)
#include "tst_upstream.moc"
