// Source requests of the quote service over simulated trading weeks, for
// 6,500 symbols, a clock moved by the benchmark:
//  - stooq's cache, the symbols watched, in batches of 50, the service's own
//    check every quarter of the refresh time; the loopback stand-in dates its
//    quotes by the simulated clock, as the real source would. Target: at most
//    a quarter of the 38,000 requests a day of a service that asked every
//    300 s around the clock.
//  - the keyed whole-market source, looking when it plans to; the stand-in
//    publishes each day an hour after its close (an empty answer before).
//    Target: at most 2 requests a trading day, beside the 2 at start.
#include "common/BenchFixtures.h"
#include "common/FakeUpstream.h"

#include "quoted/GroupedDaily.h"
#include "quoted/TradingCalendar.h"
#include "quoted/UpstreamQuotes.h"

#include <QCoreApplication>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

constexpr int kSymbols = 6500;
constexpr int kBatch = 50;
constexpr int kTargetPerDay = 38'000 / 4;

QTextStream out(stdout);

// What the source shows at an instant: today's trades during the session,
// else the latest completed day.
QByteArray shownDate(const QDateTime &now, std::chrono::milliseconds delay)
{
    const QDateTime shown = now.addMSecs(-delay.count());
    const QDate date = TradingCalendar::inSession(shown) ? shown.toTimeZone(TradingCalendar::exchangeZone()).date()
                                                         : TradingCalendar::latestCompletedDay(shown);
    return date.toString(Qt::ISODate).toLatin1();
}

// One simulated week from Monday 00:00 New York time, the service started
// then; counts the requests of each day, by the day in New York.
class StooqWeek : public QObject
{
public:
    StooqWeek(QDate monday, std::function<void()> done)
        : m_now(monday, QTime(0, 0), TradingCalendar::exchangeZone())
        , m_end(m_now.addDays(7))
        , m_done(std::move(done))
    {
        UpstreamQuotes::Options options;
        m_source =
            std::make_unique<FakeUpstream>([this, delay = options.sourceDelay](const QList<QByteArray> &symbols, int) {
                return FakeUpstream::table(symbols, shownDate(m_now, delay));
            });
        options.url = m_source->url();
        options.batch = kBatch;
        options.statePath = m_dir.filePath(QStringLiteral("closes.csv"));
        options.clock = [this] { return m_now.toUTC(); };
        m_step = options.refresh / 4; // as often as the service looks
        m_quotes = std::make_unique<UpstreamQuotes>(options);
        connect(m_quotes.get(), &UpstreamQuotes::resolved, this, &StooqWeek::settleLater);
        QList<QByteArray> symbols;
        for (int i = 0; i < kSymbols; ++i)
            symbols.append(symbolAt(i));
        m_quotes->setKeptSymbols(symbols);
        settleLater();
    }

    QMap<QDate, int> perDay;

private:
    void settleLater()
    {
        if (m_quotes->pendingCount() == 0 && !m_settling) {
            m_settling = true;
            QTimer::singleShot(0, this, &StooqWeek::settled);
        }
    }

    void settled()
    {
        m_settling = false;
        perDay[m_now.toTimeZone(TradingCalendar::exchangeZone()).date()] += int(m_source->requests.size() - m_counted);
        m_counted = m_source->requests.size();
        m_now = m_now.addMSecs(m_step.count());
        if (m_now >= m_end) {
            m_done();
            return;
        }
        m_quotes->fetchDue();
        settleLater();
    }

    QTemporaryDir m_dir;
    QDateTime m_now;
    QDateTime m_end;
    std::function<void()> m_done;
    std::chrono::milliseconds m_step{};
    std::unique_ptr<FakeUpstream> m_source;
    std::unique_ptr<UpstreamQuotes> m_quotes;
    qsizetype m_counted = 0;
    bool m_settling = false;
};

QByteArray bars(QDate day, const QDateTime &now)
{
    if (now < TradingCalendar::sessionClose(day).addSecs(3600))
        return R"({"status":"OK","resultsCount":0})";
    QByteArray results;
    for (int i = 0; i < kSymbols; ++i)
        results +=
            QByteArray(i ? "," : "") + "{\"T\":\"" + symbolAt(i) + "\",\"o\":1,\"h\":2,\"l\":1,\"c\":1.5,\"v\":100}";
    return "{\"status\":\"OK\",\"results\":[" + results + "]}";
}

class KeyedWeek : public QObject
{
public:
    KeyedWeek(QDate monday, std::function<void()> done)
        : m_now(monday, QTime(0, 0), TradingCalendar::exchangeZone())
        , m_end(m_now.addDays(7))
        , m_done(std::move(done))
    {
        m_source = std::make_unique<FakeUpstream>([this](const QList<QByteArray> &, int) {
            const QByteArray head = m_source->heads.last();
            const QDate day =
                QDate::fromString(QString::fromLatin1(head.mid(head.indexOf("/stocks/") + 8, 10)), Qt::ISODate);
            return FakeUpstream::Action{FakeUpstream::Action::Reply, 200, "application/json", bars(day, m_now)};
        });
        GroupedDailySource::Options options;
        options.base = m_source->url();
        options.apiKey = QStringLiteral("bench");
        options.now = [this] { return m_now.toUTC(); };
        m_daily = std::make_unique<GroupedDailySource>(options);
        // A second day may be asked once the first is in.
        connect(m_daily.get(), &GroupedDailySource::requestEnded, this, &KeyedWeek::step, Qt::QueuedConnection);
        step();
    }

    QMap<QDate, int> perDay;

private:
    // The source looks when it planned to, the clock moved there at once;
    // each look gets its answers in before the clock moves on.
    void step()
    {
        const int before = m_daily->requestsSent();
        m_daily->start();
        if (m_daily->requestsSent() == before)
            QTimer::singleShot(0, this, &KeyedWeek::moveOn);
    }

    void moveOn()
    {
        perDay[m_now.toTimeZone(TradingCalendar::exchangeZone()).date()] += m_daily->requestsSent() - m_counted;
        m_counted = m_daily->requestsSent();
        m_now = qMax(m_daily->nextLook(), m_now.addSecs(1));
        if (m_now >= m_end)
            return m_done();
        step();
    }

    QDateTime m_now;
    QDateTime m_end;
    std::function<void()> m_done;
    std::unique_ptr<FakeUpstream> m_source;
    std::unique_ptr<GroupedDailySource> m_daily;
    int m_counted = 0;
};

void report(const QString &name, const QMap<QDate, int> &perDay, const QString &target)
{
    int week = 0, tradingDays = 0, busiest = 0;
    out << name << ":\n";
    for (auto it = perDay.cbegin(); it != perDay.cend(); ++it) {
        out << "  " << it.key().toString(QStringLiteral("ddd yyyy-MM-dd")) << ": " << it.value() << " requests"
            << (TradingCalendar::isTradingDay(it.key()) ? "" : " (market closed)") << '\n';
        week += it.value();
        tradingDays += TradingCalendar::isTradingDay(it.key()) ? 1 : 0;
        busiest = qMax(busiest, it.value());
    }
    out << "  per week: " << week << "; per trading day: " << (tradingDays ? week / tradingDays : 0)
        << "; busiest day: " << busiest << " (target: " << target << ")\n";
    out.flush();
}

// Runs the weeks one after the other, each a fresh service.
template <typename Week> void runWeeks(const QString &source, const QString &target, std::function<void()> then)
{
    static const QList<std::pair<QString, QDate>> weeks{{QStringLiteral("an ordinary week"), QDate(2026, 11, 30)},
                                                        {QStringLiteral("Thanksgiving week"), QDate(2026, 11, 23)}};
    auto run = std::make_shared<std::unique_ptr<Week>>();
    auto current = std::make_shared<qsizetype>(0);
    auto next = std::make_shared<std::function<void()>>();
    *next = [=] {
        *run = std::make_unique<Week>(weeks[*current].second, [=] {
            report(source + QStringLiteral(", ") + weeks[*current].first, (*run)->perDay, target);
            if (++*current < weeks.size())
                QTimer::singleShot(0, *next);
            else
                QTimer::singleShot(0, then);
        });
    };
    (*next)();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    out << "bench_schedule: " << kSymbols << " symbols, the service started at Monday 00:00 New York time\n";
    runWeeks<StooqWeek>(QStringLiteral("stooq, batches of %1").arg(kBatch),
                        QStringLiteral("at most %1 a day").arg(kTargetPerDay), [&app] {
                            runWeeks<KeyedWeek>(QStringLiteral("Massive, the whole market"),
                                                QStringLiteral("at most 2 a trading day beside the 2 at start"),
                                                [&app] { app.quit(); });
                        });
    return app.exec();
}
