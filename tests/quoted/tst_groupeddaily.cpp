#include "common/FakeUpstream.h"

#include "history/HistoryStore.h"
#include "quoted/GroupedDaily.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTest>

using Action = FakeUpstream::Action;
using State = SourceStatus::State;

namespace {

// A grouped daily answer: every symbol at base plus its index.
QByteArray answer(const QList<QByteArray> &symbols, double base)
{
    QByteArray results;
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        const QByteArray c = QByteArray::number(base + double(i), 'f', 2);
        results += QByteArray(i ? "," : "") + "{\"T\":\"" + symbols[i] + "\",\"o\":" + c + ",\"h\":" + c + ",\"l\":" + c
                   + ",\"c\":" + c + ",\"v\":1.5e6,\"vw\":1,\"t\":1,\"n\":9}";
    }
    return "{\"status\":\"OK\",\"resultsCount\":" + QByteArray::number(symbols.size()) + ",\"results\":[" + results
           + "]}";
}

QByteArray dayOf(const QByteArray &head)
{
    const qsizetype at = head.indexOf("/stocks/") + 8;
    return head.mid(at, 10);
}

} // namespace

// The keyed whole-market source: its answer, and when and how it asks,
// against a scripted stand-in on loopback with the clock held.
class TestGroupedDaily : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeUpstream> m_source;
    std::unique_ptr<GroupedDailySource> m_daily;
    QDateTime m_now;

    void start(FakeUpstream::Script script, const QString &key = QStringLiteral("k3y"), int perMinute = 5,
               HistoryStore *history = nullptr, int backfillDays = 0)
    {
        m_source = std::make_unique<FakeUpstream>(std::move(script));
        GroupedDailySource::Options options;
        options.base = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_source->port()));
        options.apiKey = key;
        options.perMinute = perMinute;
        options.now = [this] { return m_now; };
        options.history = history;
        options.backfillDays = backfillDays;
        m_daily.reset(); // a source of the same store ends before the next begins
        m_daily = std::make_unique<GroupedDailySource>(options);
    }
    // Asked for by the days the requests named, in order.
    QList<QByteArray> days() const
    {
        QList<QByteArray> out;
        for (const QByteArray &head : m_source->heads)
            out.append(dayOf(head));
        return out;
    }

private slots:
    void init()
    {
        m_now =
            QDateTime(QDate(2026, 11, 27), QTime(15, 0), QTimeZone::utc()); // the Friday after Thanksgiving, 10:00 ET
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("bars"); // -1: refused
        QTest::newRow("two bars") << answer({"AAPL", "BRK.B"}, 10) << 2;
        QTest::newRow("a day without bars") << QByteArray(R"({"status":"OK","resultsCount":0})") << 0;
        QTest::newRow("an error status") << QByteArray(R"({"status":"ERROR","error":"bad key"})") << -1;
        QTest::newRow("a web page") << QByteArray("<html>check</html>") << -1;
        QTest::newRow("bars without ticker or close left out")
            << QByteArray(R"({"status":"OK","results":[{"c":1},{"T":"X"},{"T":"Y","c":"2"},{"T":"Z","c":3}]})") << 1;
    }
    void parse()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, bars);
        const std::optional<QList<GroupedBar>> parsed = parseGroupedDaily(json);
        QCOMPARE(parsed ? int(parsed->size()) : -1, bars);
        if (bars == 2)
            QCOMPARE(parsed->at(1).volume, 1'500'000);
    }

    // The Friday after Thanksgiving: the quotes are Wednesday's, with the
    // change against Tuesday, in two requests that carry the key.
    void firstQuotesAcrossAHoliday()
    {
        start([](const QList<QByteArray> &, int request) {
            return Action{Action::Reply, 200, "application/json", answer({"AAA", "BBB"}, request == 1 ? 12 : 10)};
        });
        QSignalSpy ready(m_daily.get(), &GroupedDailySource::quotesReady);
        m_daily->start();
        QVERIFY(ready.wait());
        QCOMPARE(days(), (QList<QByteArray>{"2026-11-25", "2026-11-24"}));
        QVERIFY(m_source->heads.first().contains("\r\nAuthorization: Bearer k3y"));
        QVERIFY(m_source->heads.first().contains("?adjusted=true&include_otc=false"));
        const QuoteSnapshot quotes = ready.first().at(0).value<QuoteSnapshot>();
        QCOMPARE(quotes.value("BBB").last, 13.0);
        QCOMPARE(quotes.value("BBB").change, 2.0);
        QCOMPARE(m_daily->status().quotesDate, QDate(2026, 11, 25));
        QCOMPARE(m_daily->status().state, State::Ok);
    }

    // A closed day not yet published: the day before is served, and the
    // day asked again only after the wait, not at every look.
    void unpublishedDayServesTheOneBefore()
    {
        m_now = QDateTime(QDate(2026, 12, 4), QTime(21, 30), QTimeZone::utc()); // Friday 16:30 ET
        start([](const QList<QByteArray> &, int request) {
            return Action{Action::Reply, 200, "application/json",
                          request == 1 ? QByteArray(R"({"status":"OK","resultsCount":0})") : answer({"AAA"}, 20)};
        });
        QSignalSpy ready(m_daily.get(), &GroupedDailySource::quotesReady);
        m_daily->start();
        QVERIFY(ready.wait());
        QCOMPARE(ready.first().at(1).toDate(), QDate(2026, 12, 3));
        QCOMPARE(days(), (QList<QByteArray>{"2026-12-04", "2026-12-03", "2026-12-02"}));
        m_now = m_now.addSecs(10 * 60);
        m_daily->start();
        QCOMPARE(m_source->heads.size(), 3);
        m_now = m_now.addSecs(6 * 60);
        m_daily->start();
        QVERIFY(ready.wait());
        QCOMPARE(ready.last().at(1).toDate(), QDate(2026, 12, 4));
        QCOMPARE(m_source->heads.size(), 4);
    }

    // Every day's answer goes into the history; the backfill then asks the
    // past days newest first, one each 60/perMinute seconds, and after a
    // restart only the days still missing.
    void keepsAndBackfillsTheHistory_data()
    {
        QTest::addColumn<int>("backfillDays");
        QTest::addColumn<QList<QByteArray>>("asked"); // before the restart, then after it
        QTest::addColumn<int>("beforeRestart");
        QTest::addColumn<QByteArray>("backfill"); // /status's figures at the end
        QTest::newRow("a week") << 7 << QList<QByteArray>{"2026-12-04", "2026-12-03", "2026-12-02", "2026-12-04",
                                                          "2026-12-03", "2026-12-01", "2026-11-30"}
                                << 3
                                << QByteArray(
                                       R"("backfill":{"days":5,"done":5,"from":"2026-11-30","to":"2026-12-04"})");
        QTest::newRow("off") << 0 << QList<QByteArray>{"2026-12-04", "2026-12-03", "2026-12-04", "2026-12-03"} << 2
                             << QByteArray();
    }
    void keepsAndBackfillsTheHistory()
    {
        QFETCH(int, backfillDays);
        QFETCH(QList<QByteArray>, asked);
        QFETCH(int, beforeRestart);
        QFETCH(QByteArray, backfill);
        m_now = QDateTime(QDate(2026, 12, 7), QTime(15, 0), QTimeZone::utc()); // Monday 10:00 ET
        const QTemporaryDir dir;
        const auto store =
            HistoryStore::open(dir.filePath(QStringLiteral("history.sqlite")), HistoryStore::Mode::ReadWrite);
        const auto script = [this](const QList<QByteArray> &, int) {
            return Action{Action::Reply, 200, "application/json",
                          answer({"AAA", "BBB"}, dayOf(m_source->heads.last()).right(2).toInt())};
        };
        for (const auto &[from, requests] :
             {std::pair{0, beforeRestart}, {beforeRestart, int(asked.size()) - beforeRestart}}) {
            start(script, QStringLiteral("k"), 5, store.get(), backfillDays);
            QSignalSpy ended(m_daily.get(), &GroupedDailySource::requestEnded);
            m_daily->start(); // the two days of the quotes at once, then a day each 12 s
            for (int i = 2; i <= requests; ++i) {
                QTRY_COMPARE(ended.size(), i);
                QTest::qWait(100);
                QCOMPARE(m_source->heads.size(), i);
                m_now = m_now.addSecs(i < requests ? 12 : 0);
                m_daily->start();
            }
            QCOMPARE(days(), asked.mid(from, requests));
        }
        QCOMPARE(m_daily->status().toJson().contains(backfill), true);
        QCOMPARE(m_daily->status().toJson().contains("backfill"), !backfill.isEmpty());
        const BarSeries bars = store->bars(QStringLiteral("BBB"));
        QCOMPARE(qsizetype(bars.size()), backfillDays ? 5 : 2);
        QCOMPARE(bars.front().close, float(bars.front().date.day() + 1)); // BBB is the second, at base plus one
    }

    void refusals_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("waitSeconds");
        QTest::newRow("bad key") << 401 << QByteArray() << int(State::Unauthorized) << 3600;
        QTest::newRow("limit with Retry-After")
            << 429 << QByteArray("Retry-After: 120\r\n") << int(State::Limited) << 120;
    }
    // A refusal is said once, with the time of the next try, and nothing is
    // asked before then.
    void refusals()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, headers);
        QFETCH(int, state);
        QFETCH(int, waitSeconds);
        start([&](const QList<QByteArray> &, int) {
            Action a{Action::Reply, status, "application/json", "{}"};
            a.headers = headers;
            return a;
        });
        QSignalSpy refused(m_daily.get(), &GroupedDailySource::sourceRefused);
        m_daily->start();
        QVERIFY(refused.wait());
        QCOMPARE(int(m_daily->status().state), state);
        QCOMPARE(m_daily->status().retryAt, m_now.addSecs(waitSeconds));
        QCOMPARE(refused.first().at(1).toDateTime(), m_now.addSecs(waitSeconds));
        m_daily->start();
        QCOMPARE(m_source->heads.size(), 1);
        QCOMPARE(refused.size(), 1);
    }

    // No key: nothing is asked, and the status says why; requests keep to
    // the number allowed a minute.
    void noKeyAndPacing()
    {
        start([](const QList<QByteArray> &, int) { return FakeUpstream::Action{}; }, QString());
        m_daily->start();
        QCOMPARE(m_daily->status().state, State::NoKey);
        QCOMPARE(m_daily->requestsSent(), 0);

        start(
            [](const QList<QByteArray> &, int) {
                return Action{Action::Reply, 200, "application/json", answer({"AAA"}, 5)};
            },
            QStringLiteral("k"), 1);
        m_daily->start();
        QTRY_COMPARE(m_daily->status().lastSuccess, m_now);
        QCOMPARE(m_daily->requestsSent(), 1); // the second waits for the next minute
        m_now = m_now.addSecs(60);
        QSignalSpy ready(m_daily.get(), &GroupedDailySource::quotesReady);
        m_daily->start();
        QVERIFY(ready.wait());
        QCOMPARE(m_daily->requestsSent(), 2);
    }
};

QTEST_GUILESS_MAIN(TestGroupedDaily)
#include "tst_groupeddaily.moc"
