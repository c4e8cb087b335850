#include "common/MainWindowTest.h"
#include "common/QuoteAnswers.h"
#include "common/TestFiles.h"
#include "quotes/UpdateDatabase.h"

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

namespace {

StockRecord listed(const QString &symbol)
{
    return {.Reserved = {}, .Symbol = symbol, .Last = 1, .Volume = 7};
}

} // namespace

// The program updating through the real tarnvale-quoted, which fetches from a
// scripted live source on loopback.
class TestQuoteBridge : public MainWindowTest
{
    Q_OBJECT

    std::unique_ptr<LoopbackServer> m_source;
    std::unique_ptr<QProcess> m_service;
    MarketDatabase m_initial;
    QByteArray m_log; // what the service printed on stderr

    const QList<ScriptedPrompter::Shown> &messages() const { return m_prompter->messages; }

    void writeMarket(const QStringList &symbols)
    {
        m_initial = MarketDatabase{};
        m_initial.LastUpdate = 38142;
        m_initial.Stocks.clear();
        for (const QString &symbol : symbols)
            m_initial.Stocks.append(listed(symbol));
        m_initial.Stocks.append(StockRecord{});
        QVERIFY(setUpMarket(m_initial));
    }

    // The service, then the main window pointed at it with the market open.
    void startAll(const QStringList &extra = {})
    {
        m_service = std::make_unique<QProcess>();
        connect(m_service.get(), &QProcess::readyReadStandardError, this,
                [this] { m_log += m_service->readAllStandardError(); });
        m_service->start(QStringLiteral(TARNVALE_BIN_DIR "/tarnvale-quoted"),
                         QStringList{"--listen", "127.0.0.1:0", "--upstream",
                                     m_source->url(QStringLiteral("/q/l/")).toString(), "--market", marketPath(),
                                     "--state", m_dir->filePath(QStringLiteral("closes.csv"))}
                             + extra);
        QTRY_VERIFY(m_service->canReadLine());
        const QString banner = QString::fromLocal8Bit(m_service->readLine());
        const QRegularExpressionMatch port = QRegularExpression(QStringLiteral(R"(:(\d+),)")).match(banner);
        QVERIFY2(port.hasMatch(), qPrintable(banner));

        pointQuotesAt(quint16(port.captured(1).toUInt()));
        QVERIFY(showWindow());
    }

    void update(int timeoutMs = 10'000)
    {
        const qsizetype before = messages().size();
        find("mnuMarket_Update")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(messages().size(), before + 1, timeoutMs);
    }

    // The record as the source's line for it stores it.
    static StockRecord refreshed(const StockRecord &record)
    {
        const double close = SourceAnswer::priceOf(record.Symbol.toLatin1().toLower() + ".us");
        const auto d = [](double v) { return QByteArray::number(v, 'f', 2).toDouble(); }; // as the line writes it
        const auto f = [&d](double v) { return float(d(v)); };
        return {record.Reserved, record.Symbol, f(close),     float(d(close + 1) - d(close - 1)),
                123456,          f(close + 1),  f(close - 1), 0,
                f(close - 0.5)};
    }

private slots:
    void init()
    {
        m_log.clear();
        m_source = std::make_unique<LoopbackServer>([](QTcpSocket *socket, const QByteArray &request) {
            QByteArray body = SourceAnswer::header();
            for (const QByteArray &s : SourceAnswer::symbolsOf(request))
                body += s.startsWith("nope") ? s.toUpper() + ",N/D,N/D,N/D,N/D,N/D,N/D,N/D\r\n"
                                             : SourceAnswer::row(s, SourceAnswer::priceOf(s));
            LoopbackServer::send(socket, {LoopbackServer::http(200, "text/csv", body)});
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

    // A quote from the source reaches the market file; a service stopped as
    // a service manager stops it (SIGTERM) right after a fetch still writes
    // the closes it has not saved yet.
    void stoppedServiceKeepsTheCloses()
    {
        writeMarket({QStringLiteral("AAA")});
        startAll();
        update();
        QCOMPARE(messages().last().icon, Prompter::Icon::Information);
        QCOMPARE(onDisk().Stocks[0], refreshed(m_initial.Stocks[0]));
        m_service->terminate();
        QTRY_COMPARE(m_service->state(), QProcess::NotRunning);
        QCOMPARE(m_service->exitStatus(), QProcess::NormalExit);
        QVERIFY(fileBytes(m_dir->filePath(QStringLiteral("closes.csv"))).contains("\nAAA,2026-12-03,"));
    }

    // Source down, nothing cached: the program sees a dead service, says so
    // once and touches nothing.
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
        QCOMPARE(messages().first().text, QString::fromLatin1(ConnectionFailureMessage));
        QCOMPARE(onDisk(), m_initial);
        QTRY_VERIFY(m_log.contains("the quote source is down"));
    }
};

QTEST_MAIN(TestQuoteBridge)
#include "tst_quotebridge.moc"
