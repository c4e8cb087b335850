// Source requests of the quote service's live cache over simulated trading
// weeks: 6,500 watched symbols in batches of 50, the service's own check
// every quarter of the refresh time, a clock moved by the benchmark. The
// source is the loopback stand-in of the CSV source; it dates its quotes by
// the simulated clock, as the real one would. Target: at most a quarter of
// the 38,000 requests a day of a service that asked every 300 s around the
// clock.
#include "common/BenchFixtures.h"
#include "common/FakeUpstream.h"

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
class WeekRun : public QObject
{
public:
    WeekRun(QDate monday, std::function<void()> done)
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
        connect(m_quotes.get(), &UpstreamQuotes::resolved, this, &WeekRun::settleLater);
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
            QTimer::singleShot(0, this, &WeekRun::settled);
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

void report(const QString &name, const QMap<QDate, int> &perDay)
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
        << "; busiest day: " << busiest << " (target: at most " << kTargetPerDay << " a day)\n";
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    out << "bench_schedule: " << kSymbols << " watched symbols, batches of " << kBatch
        << ", the service started at Monday 00:00 New York time\n";
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
