#include "common/FakeUpstream.h"

#include "base/SettingsTable.h"
#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "quotes/UpdateDatabase.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

StockRecord listed(const QString &symbol)
{
    return {.Reserved = {}, .Symbol = symbol, .Last = 1, .Volume = 7};
}

} // namespace

// The program updating through the real tarnvale-quoted, which fetches from a
// scripted live source on loopback.
class TestQuoteBridge : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeUpstream> m_source;
    std::unique_ptr<QProcess> m_service;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<frmMain> m_window;
    MarketDatabase m_initial;
    QByteArray m_date = "2026-12-03";
    double m_extra = 0; // added to every close
    QByteArray m_log;   // what the service printed on stderr

    QString marketPath() const { return m_dir->filePath(QStringLiteral("nasdaq.bin")); }
    MarketDatabase onDisk() const
    {
        MarketDatabase db;
        readMarketFile(marketPath(), &db);
        return db;
    }
    template <typename T = QAction> T *find(const char *name) const
    {
        return m_window->findChild<T *>(QString::fromLatin1(name));
    }
    const QList<ScriptedPrompter::Shown> &messages() const { return m_prompter->messages; }

    void writeMarket(const QStringList &symbols)
    {
        m_initial = MarketDatabase{};
        m_initial.LastUpdate = 38142;
        m_initial.Stocks.clear();
        for (const QString &symbol : symbols)
            m_initial.Stocks.append(listed(symbol));
        m_initial.Stocks.append(StockRecord{});
        QVERIFY(writeMarketFile(marketPath(), m_initial));
    }

    // The service, then the main window pointed at it with the market open.
    // The keyless source unless source names another.
    void startAll(const QStringList &extra = {}, QStringList source = {},
                  const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        if (source.isEmpty())
            source = {"--upstream", m_source->url().toString(),
                      // A Monday morning: the source's quotes can change from second to second.
                      "--clock-start", "2026-12-07T11:00:00-05:00"};
        m_service = std::make_unique<QProcess>();
        m_service->setProcessEnvironment(environment);
        connect(m_service.get(), &QProcess::readyReadStandardError, this,
                [this] { m_log += m_service->readAllStandardError(); });
        m_service->start(QStringLiteral(TARNVALE_BIN_DIR "/tarnvale-quoted"),
                         QStringList{"--listen", "127.0.0.1:0", "--market", marketPath(), "--state",
                                     m_dir->filePath(QStringLiteral("closes.csv")), "--config",
                                     m_dir->filePath(QStringLiteral("quoted.conf"))}
                             + source + extra);
        QTRY_VERIFY(m_service->canReadLine());
        const QString banner = QString::fromLocal8Bit(m_service->readLine());
        const QRegularExpressionMatch port = QRegularExpression(QStringLiteral(R"(:(\d+),)")).match(banner);
        QVERIFY2(port.hasMatch(), qPrintable(banner));

        const QString app = QString::fromLatin1(kSettingsApplication);
        QSettings(QSettings::NativeFormat, QSettings::UserScope, app, app)
            .setValue("Service/QuoteHost", "127.0.0.1:" + port.captured(1));
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_window = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        m_window->show();
        find("mnuOpen_Nasdaq")->trigger();
    }

    void update(int timeoutMs = 10'000)
    {
        const qsizetype before = messages().size();
        find("mnuMarket_Update")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(messages().size(), before + 1, timeoutMs);
    }

    // The record as the source's line for it stores it.
    StockRecord refreshed(const StockRecord &record, std::optional<float> change = std::nullopt) const
    {
        const double close = FakeUpstream::priceOf(record.Symbol.toLatin1().toLower() + ".us") + m_extra;
        const auto d = [](double v) { return QByteArray::number(v, 'f', 2).toDouble(); }; // as the line writes it
        const auto f = [&d](double v) { return float(d(v)); };
        return {.Reserved = record.Reserved,
                .Symbol = record.Symbol,
                .Last = f(close),
                .Spread = float(d(close + 1) - d(close - 1)),
                .Volume = 123456,
                .High = f(close + 1),
                .Low = f(close - 1),
                .Change = change.value_or(0),
                .Open = f(close - 0.5)};
    }

private slots:
    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        m_date = "2026-12-03";
        m_extra = 0;
        m_log.clear();
        m_source = std::make_unique<FakeUpstream>([this](const QList<QByteArray> &symbols, int) {
            QByteArray body = FakeUpstream::header();
            for (const QByteArray &s : symbols)
                body += s.startsWith("nope") ? s.toUpper() + ",N/D,N/D,N/D,N/D,N/D,N/D,N/D\r\n"
                                             : FakeUpstream::row(s, FakeUpstream::priceOf(s) + m_extra, m_date);
            return FakeUpstream::Action{FakeUpstream::Action::Reply, 200, "text/csv", body, 0};
        });
    }

    void cleanup()
    {
        m_window.reset();
        if (m_service) {
            m_service->terminate();
            m_service->waitForFinished(5000);
            m_service.reset();
        }
        m_source.reset();
    }

    // Every symbol of a 500-symbol market from the source, in about one
    // request per 50 symbols; a symbol the source does not know is asked
    // for once and answered as unknown.
    void updatesAWholeMarket()
    {
        QStringList symbols;
        for (int i = 0; i < 500; ++i)
            symbols.append(QStringLiteral("S%1").arg(i, 3, 10, QLatin1Char('0')));
        symbols[250] = QStringLiteral("NOPE");
        writeMarket(symbols);
        startAll();
        update(60'000);
        QCOMPARE(messages().last().icon, Prompter::Icon::Information);
        const MarketDatabase db = onDisk();
        QCOMPARE(db.LastUpdate, dateToMarketDate(QDate::currentDate()));
        for (qsizetype i = 0; i < db.listedCount(); ++i)
            QCOMPARE(db.Stocks[i], i == 250 ? m_initial.Stocks[i] : refreshed(m_initial.Stocks[i]));
        QVERIFY(messages().last().text.contains(QStringLiteral("NOPE"))); // named among the skipped
        QVERIFY2(m_source->requests.size() <= 10 + 3, QByteArray::number(m_source->requests.size()).constData());
        int askedForNope = 0;
        for (const QList<QByteArray> &request : std::as_const(m_source->requests))
            askedForNope += int(request.count("nope.us"));
        QCOMPARE(askedForNope, 1);
    }

    // A service stopped as a service manager stops it (SIGTERM) right after
    // a fetch still writes the closes it has not saved yet.
    void stoppedServiceKeepsTheCloses()
    {
        writeMarket({QStringLiteral("AAA")});
        startAll();
        update();
        m_service->terminate();
        QTRY_COMPARE(m_service->state(), QProcess::NotRunning);
        QCOMPARE(m_service->exitStatus(), QProcess::NormalExit);
        QFile closes(m_dir->filePath(QStringLiteral("closes.csv")));
        QVERIFY(closes.open(QIODevice::ReadOnly));
        QVERIFY(closes.readAll().contains("\nAAA,2026-12-03,"));
    }

    // The keyed source through the real program: the whole market in two
    // source requests, with the true change the day after Thanksgiving, or
    // the source's refusal told in the update's message. The key never
    // reaches the log.
    void keyedSource_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("count");
        QTest::newRow("whole market") << 200 << 6500;
        QTest::newRow("bad key") << 401 << 3;
    }
    void keyedSource()
    {
        QFETCH(int, status);
        QFETCH(int, count);
        QStringList symbols;
        for (int i = 0; i < count; ++i)
            symbols.append(QStringLiteral("K%1").arg(i));
        writeMarket(symbols);
        m_source->setScript([&](const QList<QByteArray> &, int request) {
            QByteArray results;
            for (int i = 0; i < count; ++i) // Wednesday's closes 2 above Tuesday's
                results += (i ? ",{\"T\":\"K" : "{\"T\":\"K") + QByteArray::number(i)
                           + "\",\"o\":1,\"h\":30,\"l\":1,\"c\":" + QByteArray::number((request == 1 ? 12 : 10) + i % 7)
                           + ",\"v\":5000}";
            return FakeUpstream::Action{FakeUpstream::Action::Reply, status, "application/json",
                                        status == 200 ? "{\"status\":\"OK\",\"results\":[" + results + "]}"
                                                      : QByteArray("{\"status\":\"ERROR\"}")};
        });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TARNVALE_API_KEY"), QStringLiteral("s3cret-k3y"));
        startAll({},
                 {"--source", "massive", "--source-url", m_source->url().toString(), "--clock-start",
                  "2026-11-27T10:00:00-05:00"},
                 environment);
        QTRY_VERIFY(m_log.contains(status == 200 ? "serving 6500 quotes of 2026-11-25" : "Asking again at"));
        update(120'000);
        if (status == 200) {
            QCOMPARE(m_source->heads.size(), 2);
            QCOMPARE(messages().last().text, QString::fromLatin1(UpdateCompletedMessage)
                                                 + QStringLiteral("\n\nThe quotes stored are of ")
                                                 + QLocale().toString(QDate(2026, 11, 25), QLocale::LongFormat) + '.');
            const MarketDatabase db = onDisk();
            QCOMPARE(db.Stocks[6499].Last, float(12 + 6499 % 7));
            QCOMPARE(db.Stocks[6499].Change, 2.0f);
        } else {
            QVERIFY2(messages().last().text.contains(
                         "the API key is missing or not valid. Set it in Tools > Quote Source..."),
                     qPrintable(messages().last().text));
        }
        QVERIFY(m_source->heads.first().contains("Authorization: Bearer s3cret-k3y"));
        QVERIFY(!m_log.contains("s3cret"));
    }

    // Source down, nothing cached: the program sees a dead service, says so
    // once, with the reason the service gives, and touches nothing.
    void sourceDownNothingCached()
    {
        writeMarket({QStringLiteral("AAA"), QStringLiteral("BBB")});
        m_source->stop();
        startAll();
        QElapsedTimer clock;
        clock.start();
        update(15'000);
        qInfo("the update ended after %lld ms", clock.elapsed());
        QCOMPARE(messages().size(), 1);
        const QString text = messages().first().text;
        QVERIFY2(text.startsWith(QString::fromLatin1(ConnectionFailureMessage)
                                 + QStringLiteral("\n\nThe quote source "
                                                  "cannot be reached")),
                 qPrintable(text));
        QCOMPARE(onDisk(), m_initial);
        QTRY_VERIFY(m_log.contains("the quote source is down"));
    }

    // Source down after everything was fetched: the update and the live
    // quote are served from the cache, and the service says the source is down.
    void sourceDownEverythingCached()
    {
        writeMarket({QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC")});
        startAll({"--refresh", "1"});
        update();
        MarketDatabase expected = onDisk();
        QCOMPARE(expected.Stocks[1], refreshed(m_initial.Stocks[1]));
        m_source->stop();
        QTRY_VERIFY_WITH_TIMEOUT(m_log.contains("the quote source is down"), 15'000);
        m_window->box("txtQSSymbol")->setText(QStringLiteral("BBB"));
        QTest::mouseClick(find<QPushButton>("butLiveQuote"), Qt::LeftButton);
        QTRY_VERIFY(find<QPushButton>("butLiveQuote")->isEnabled());
        update(20'000);
        QCOMPARE(messages().last().text, QString::fromLatin1(UpdateCompletedMessage)
                                             + QStringLiteral("\n\nThe quotes stored are of ")
                                             + QLocale().toString(QDate(2026, 12, 3), QLocale::LongFormat) + u'.');
        QCOMPARE(onDisk().Stocks, expected.Stocks);
    }

    // The second trading day's update knows the change from the first day's close.
    void changeOnTheSecondDay()
    {
        writeMarket({QStringLiteral("AAA"), QStringLiteral("BBB")});
        startAll({"--refresh", "1"});
        update();
        QCOMPARE(onDisk().Stocks[0], refreshed(m_initial.Stocks[0]));
        m_date = "2026-12-04";
        m_extra = 1.25;
        const qsizetype asked = m_source->requests.size();
        QTRY_VERIFY(m_source->requests.size() > asked);
        // The live quote first, for one stock; then the update for all.
        m_window->box("txtQSSymbol")->setText(QStringLiteral("BBB"));
        QTest::mouseClick(find<QPushButton>("butLiveQuote"), Qt::LeftButton);
        QTRY_COMPARE(onDisk().Stocks[1], refreshed(m_initial.Stocks[1], 1.25f));
        QCOMPARE(onDisk().Stocks[0].Change, 0.0f);
        QTRY_VERIFY(find<QPushButton>("butLiveQuote")->isEnabled());
        update();
        QCOMPARE(onDisk().Stocks[0], refreshed(m_initial.Stocks[0], 1.25f));
        QCOMPARE(onDisk().Stocks[1], refreshed(m_initial.Stocks[1], 1.25f));
    }
};

QTEST_MAIN(TestQuoteBridge)
#include "tst_quotebridge.moc"
