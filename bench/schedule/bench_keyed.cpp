// Source requests of the keyed whole-market source over simulated trading
// weeks, for 6,500 symbols: the loopback stand-in answers each day's grouped
// bars, publishing a day an hour after its close (an empty answer before).
// Target: at most 2 requests a trading day, beside the 2 at start.
#include "common/BenchFixtures.h"
#include "common/FakeUpstream.h"

#include "quoted/GroupedDaily.h"
#include "quoted/TradingCalendar.h"

#include <QCoreApplication>
#include <QMap>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

constexpr int kSymbols = 6500;
QTextStream out(stdout);

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

// One simulated week from Monday 00:00 New York time, the service started
// then; counts requests by day.
class WeekRun : public QObject
{
public:
    WeekRun(QDate monday, std::function<void()> done)
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
        connect(m_daily.get(), &GroupedDailySource::requestEnded, this, &WeekRun::step, Qt::QueuedConnection);
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
            QTimer::singleShot(0, this, &WeekRun::moveOn);
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

void report(const QString &name, const QMap<QDate, int> &perDay)
{
    int week = 0;
    out << name << ":";
    for (auto it = perDay.cbegin(); it != perDay.cend(); ++it) {
        out << ' ' << it.key().toString(QStringLiteral("ddd")) << ' ' << it.value();
        week += it.value();
    }
    out << "; per week: " << week << " requests (target: at most 2 a trading day beside the 2 at start)\n";
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    out << "bench_keyed: the keyed source for " << kSymbols << " symbols, started at Monday 00:00 New York time\n";
    const QList<std::pair<QString, QDate>> weeks{{QStringLiteral("an ordinary week"), QDate(2026, 11, 30)},
                                                 {QStringLiteral("Thanksgiving week"), QDate(2026, 11, 23)}};
    std::unique_ptr<WeekRun> run;
    qsizetype current = 0;
    std::function<void()> startNext = [&] {
        run = std::make_unique<WeekRun>(weeks[current].second, [&] {
            report(weeks[current].first, run->perDay);
            if (++current < weeks.size())
                QTimer::singleShot(0, &app, startNext);
            else
                app.quit();
        });
    };
    startNext();
    return app.exec();
}
