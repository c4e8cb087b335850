// The chart window on ten years of generated daily bars (2,520 sessions):
// time from asking for a chart to its first paint, fetched from a history
// server on 127.0.0.1 and fed directly; milliseconds per zoom step, each
// repainted at once; and the program's peak memory with five charts open,
// beside what the main window alone costs.
#include "common/BenchHttp.h"
#include "common/BenchStats.h"
#include "common/BenchWindow.h"

#include "chart/ChartView.h"
#include "chart/frmChart.h"
#include "history/HistoryCsv.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

constexpr int kSessions = 2520;

// A random walk from 50, the same on every run.
BarSeries tenYears()
{
    QRandomGenerator random(2520);
    BarSeries bars;
    double close = 50;
    for (QDate d(2016, 1, 4); bars.size() < size_t(kSessions); d = d.addDays(1)) {
        if (d.dayOfWeek() > 5)
            continue;
        const double open = close;
        close = std::max(1.0, close * (1 + (random.generateDouble() - 0.49) * 0.04));
        const double spread = close * random.generateDouble() * 0.02;
        bars.push_back({d, float(open), float(std::max(open, close) + spread), float(std::min(open, close) - spread),
                        float(close), qint64(1'000'000 + random.bounded(4'000'000))});
    }
    return bars;
}

// Milliseconds from its making until the widget's first paint has been done.
class PaintProbe : public QObject
{
public:
    explicit PaintProbe(QWidget *widget)
    {
        widget->installEventFilter(this);
        m_clock.start();
    }
    bool waitMs(double *ms)
    {
        return QTest::qWaitFor([this] { return m_ms >= 0; }, 30000) && (*ms = m_ms, true);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_ms < 0 && !m_pending) {
            m_pending = true;
            QTimer::singleShot(0, this, [this] { m_ms = double(m_clock.nsecsElapsed()) / 1e6; });
        }
        return false;
    }

private:
    QElapsedTimer m_clock;
    double m_ms = -1;
    bool m_pending = false;
};

double mib(long kb)
{
    return double(kb) / 1024.0;
}

int run(QWidget &owner, const BarSeries &bars)
{
    SilentPrompter prompter;
    std::printf("chart window, %d sessions (%s platform)\n", kSessions, qPrintable(QGuiApplication::platformName()));
    std::printf("  main window alone:        program %6.1f MiB, peak %6.1f MiB\n", mib(statusKb("VmRSS:")),
                mib(statusKb("VmHWM:")));

    // Fetched: the request, the service's table parsed, the first paint.
    std::vector<double> fetched;
    ChartView *view = nullptr;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        frmChart *chart = frmChart::showFor(QString::fromLatin1(symbolAt(i)), prompter, &owner);
        view = chart->view();
        PaintProbe probe(view); // the view stays hidden until the bars have come
        double ms = 0;
        if (!probe.waitMs(&ms))
            return 1;
        fetched.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("  open, fetch, first paint: first %6.1f ms, median of 5 %6.1f ms  [target <= 150 ms]\n",
                fetched.front(), median(fetched));
    std::printf("  five charts open:         program %6.1f MiB, peak %6.1f MiB  [target <= 80 MiB]\n",
                mib(statusKb("VmRSS:")), mib(statusKb("VmHWM:")));

    // Fed: the bars handed over, so the figure is the chart's own.
    frmChart fed(QStringLiteral("FEED"), prompter, &owner);
    fed.show();
    if (!QTest::qWaitForWindowExposed(&fed))
        return 2;
    PaintProbe probe(fed.view());
    fed.showBars(bars);
    double ms = 0;
    if (!probe.waitMs(&ms))
        return 3;
    std::printf("  bars fed, first paint:    %6.1f ms (1Y shown, the averages of all 10 years computed)\n", ms);

    // Zoom from one year out to all ten and in to the fewest bars, a step a key.
    const auto step = [&](Qt::Key key) {
        return timeMs([&] {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(view, &press);
            view->repaint();
        });
    };
    std::vector<double> frames;
    for (int i = 0; i < 12; ++i)
        frames.push_back(step(Qt::Key_Minus));
    const qsizetype widest = view->lastShown() - view->firstShown() + 1;
    for (int i = 0; i < 30; ++i)
        frames.push_back(step(Qt::Key_Plus));
    std::printf("  zoom, %zu steps %lld to %lld bars: median %5.2f ms, max %5.2f ms per frame  [target <= 16 ms]\n",
                frames.size(), qlonglong(widest), qlonglong(view->lastShown() - view->firstShown() + 1), median(frames),
                *std::max_element(frames.begin(), frames.end()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    preferOffscreen();
    QApplication app(argc, argv);
    MainWindowBench bench;
    bench.window().show();
    if (!QTest::qWaitForWindowExposed(&bench.window()))
        return 4;
    const BarSeries bars = tenYears();
    OneReplyServer server("text/csv", historyCsv(bars)); // the history table, to every request
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnvale"), QStringLiteral("Tarnvale"))
        .setValue(QStringLiteral("Service/QuoteHost"), QStringLiteral("127.0.0.1:%1").arg(server.serverPort()));
    int result = 0;
    QTimer::singleShot(0, &app, [&] {
        result = run(bench.window(), bars);
        QCoreApplication::quit();
    });
    app.exec();
    return result;
}
