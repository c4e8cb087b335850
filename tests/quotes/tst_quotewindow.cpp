#include "common/MainWindowTest.h"
#include "common/QuoteAnswers.h"
#include "common/TestFiles.h"
#include "quotes/LiveQuote.h"
#include "quoted/QuoteLine.h"
#include "quotes/UpdateDatabase.h"
#include "research/frmMenu.h"
#include "screen/ResultGrid.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

using namespace ServiceAnswer;

namespace {

StockRecord listed(const QString &symbol)
{
    return {.Reserved = {}, .Symbol = symbol, .Last = 1, .Volume = 7};
}

StockRecord refreshed(const QString &symbol) // from the service's line
{
    return {{}, symbol, 27.5f, float(27.60 - 27.30), 1234567, 27.6f, 27.3f, 0.12f, 27.4f};
}

} // namespace

// "Live Quote" and "Update Database" through the main window: their flows,
// messages and saved files, and what each holds back while it runs; last,
// through the real tarnvale-quoted fetching from a scripted live source.
class TestQuoteWindow : public MainWindowTest
{
    Q_OBJECT

    std::unique_ptr<LoopbackServer> m_server; // the quote service, or the live source behind the real one
    std::unique_ptr<QProcess> m_service;
    QByteArray m_log; // what the real service printed on stderr
    MarketDatabase m_initial;
    bool on(const char *button) const { return find<QPushButton>(button)->isEnabled(); }
    bool menuOn(const char *menu) const { return find<QMenu>(menu)->menuAction()->isEnabled(); }
    QString caption() const { return find<QLabel>("lblDBInfo")->text(); }
    const QList<ScriptedPrompter::Shown> &messages() const { return m_prompter->messages; }

    // The market choice and the "Database" menu are locked; Exit is not.
    bool updating() const
    {
        return find<QPushButton>("butStop")->isVisible() && !menuOn("mnuMenu_Open") && !menuOn("mnuMenu_Market")
               && !find<QWidget>("frmADVS")->isVisible() && find("mnuMenu_Exit")->isEnabled();
    }
    bool idle() const
    {
        return !find<QPushButton>("butStop")->isVisible() && menuOn("mnuMenu_Open") && menuOn("mnuMenu_Market")
               && find<QWidget>("frmADVS")->isVisible() && on("butLiveQuote") && on("butQS");
    }

    int asked(const QByteArray &symbol) const { return m_server->asked("?s=" + symbol + '&'); }

    void liveQuote(const char *symbol)
    {
        m_window->box("txtQSSymbol")->setText(QString::fromLatin1(symbol));
        QTest::mouseClick(find<QPushButton>("butLiveQuote"), Qt::LeftButton);
    }

    // The real service fetching from a scripted source (the keyless one
    // unless source names another, "URL" standing for the stand-in's
    // address; one that is down when the script is empty), and the main
    // window pointed at it, over the market as it is.
    void startService(LoopbackServer::Script script, QStringList source = {},
                      const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        m_window.reset();
        m_server = std::make_unique<LoopbackServer>(script);
        if (!script)
            m_server->stop();
        if (source.isEmpty())
            source = {"--upstream", m_server->url(QStringLiteral("/q/l/")).toString(),
                      // A Monday morning: the source's quotes can change from second to second.
                      "--clock-start", "2026-12-07T11:00:00-05:00"};
        source.replaceInStrings(QStringLiteral("URL"), m_server->url(QString()).toString());
        m_log.clear();
        m_service = std::make_unique<QProcess>();
        m_service->setProcessEnvironment(environment);
        connect(m_service.get(), &QProcess::readyReadStandardError, this,
                [this] { m_log += m_service->readAllStandardError(); });
        m_service->start(QStringLiteral(TARNVALE_BIN_DIR "/tarnvale-quoted"),
                         QStringList{"--listen", "127.0.0.1:0", "--market", marketPath(), "--state",
                                     m_dir->filePath(QStringLiteral("closes.csv")), "--config",
                                     m_dir->filePath(QStringLiteral("quoted.conf"))}
                             + source);
        QTRY_VERIFY(m_service->canReadLine());
        const QString banner = QString::fromLocal8Bit(m_service->readLine());
        const QRegularExpressionMatch port = QRegularExpression(QStringLiteral(R"(:(\d+),)")).match(banner);
        QVERIFY2(port.hasMatch(), qPrintable(banner));

        pointQuotesAt(quint16(port.captured(1).toUInt()));
        QVERIFY(showWindow());
    }
    void startService(std::initializer_list<const char *> symbols, bool sourceUp = true)
    {
        m_window.reset();
        m_initial = marketOf(symbols, 38142);
        QVERIFY(setUpMarket(m_initial));
        startService(sourceUp ? LoopbackServer::Script([](QTcpSocket *socket, const QByteArray &request) {
            LoopbackServer::send(socket, {SourceAnswer::table(request)});
        })
                              : LoopbackServer::Script());
    }

    void updateThroughTheService(int timeoutMs = 10'000)
    {
        const qsizetype before = messages().size();
        find("mnuMarket_Update")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(messages().size(), before + 1, timeoutMs);
    }

    // The record as the source's line for it stores it.
    static StockRecord fromTheSource(const StockRecord &record)
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
        m_initial = MarketDatabase{};
        m_initial.LastUpdate = 38142; // 2004-06-04
        m_initial.Stocks = {listed("AAA"), listed("BBB"), listed("ccc"), listed("DUP"), listed("DUP"), StockRecord{}};
        QVERIFY(setUpMarket(m_initial));
        m_server = std::make_unique<LoopbackServer>(lineForEach);
        pointQuotesAt(m_server->port());
        QVERIFY(showWindow());
        QVERIFY(idle());
    }

    void cleanup()
    {
        m_window.reset();
        if (m_service) {
            m_service->terminate();
            m_service->waitForFinished(5000);
            m_service.reset();
        }
        m_server.reset();
    }

    // Found without regard to case (the later of two): refreshed, saved and
    // shown alone; the date and the caption stay; nothing is asked. Not
    // found: No leaves the file alone; Yes adds it through "Add Symbol" and
    // asks again; Cancel in the input box asks again after a new request.
    void liveQuote_data()
    {
        QTest::addColumn<QByteArray>("symbol");
        QTest::addColumn<int>("index"); // of the record refreshed, or -1
        QTest::addColumn<QList<bool>>("yesNo");
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<int>("attempts");
        QTest::newRow("listed in lower case") << QByteArray("CCC") << 2 << QList<bool>() << QStringList() << 1;
        QTest::newRow("listed twice") << QByteArray("DUP") << 4 << QList<bool>() << QStringList() << 1;
        QTest::newRow("not found, No") << QByteArray("NEW") << -1 << QList<bool>{false} << QStringList() << 1;
        QTest::newRow("not found, Yes") << QByteArray("NEW") << 5 << QList<bool>{true} << QStringList{"NEW"} << 2;
        QTest::newRow("not found, Yes, Cancel")
            << QByteArray("NEW") << -1 << QList<bool>{true, false} << QStringList() << 2;
    }

    void liveQuote()
    {
        QFETCH(QByteArray, symbol);
        QFETCH(int, index);
        QFETCH(QList<bool>, yesNo);
        QFETCH(QStringList, input);
        QFETCH(int, attempts);
        m_prompter->yesNoAnswers = yesNo;
        m_prompter->inputAnswers = input;
        const QString before = caption();
        MarketDatabase expected = m_initial;
        if (!input.isEmpty())
            expected.Stocks.insert(5, listed("NEW"));
        if (index >= 0)
            expected.Stocks[index] = refreshed(expected.Stocks[index].Symbol);
        liveQuote(symbol.constData());
        if (yesNo.isEmpty()) // found: the one asked for is stored, whatever the box says by then
            m_window->box("txtQSSymbol")->setText(QStringLiteral("AAA"));
        QVERIFY(!on("butLiveQuote") && !on("butQS") && !menuOn("mnuMenu_Market")); // held while it waits
        QTRY_COMPARE(asked(symbol), attempts);
        QTRY_COMPARE(onDisk(), expected);
        QTRY_VERIFY(idle());
        QCOMPARE(messages().size(), yesNo.size() + input.size());
        if (!yesNo.isEmpty()) {
            QCOMPARE(messages().first().text, "NEW was not found the the market database, would you like to add it?");
            QCOMPARE(messages().first().icon, Prompter::Icon::Question);
        }
        if (index >= 0) {
            QCOMPARE(m_window->grid()->rows(), 3);
            QCOMPARE(m_window->grid()->text(1, 1), QString::fromLatin1(symbol));
        }
        if (yesNo.isEmpty())
            QCOMPARE(caption(), before);
    }

    // One message each, not one per symbol, with the exclamation icon;
    // nothing saved, the caption reloaded.
    void failures_data()
    {
        QTest::addColumn<bool>("update");
        QTest::addColumn<QByteArray>("answer"); // the service's body for CCC; none: no service
        QTest::addColumn<QString>("message");
        const QString unreachable = QString::fromLatin1(ConnectionFailureMessage);
        QTest::newRow("Update, no service") << true << QByteArray() << unreachable;
        QTest::newRow("Live Quote, no service") << false << QByteArray() << unreachable;
        QTest::newRow("Live Quote, no usable reply") << false << QByteArray("<html>") << liveQuoteFailedMessage("CCC");
        QTest::newRow("Live Quote, unknown to the service") << false << QuoteLine::unknown("CCC") + "\r\n"
                                                            << liveQuoteUnknownMessage("CCC");
    }

    void failures()
    {
        QFETCH(bool, update);
        QFETCH(QByteArray, answer);
        QFETCH(QString, message);
        const bool serviceThere = !answer.isEmpty();
        if (serviceThere)
            m_server->setScript(
                [answer](QTcpSocket *s, const QByteArray &) { LoopbackServer::send(s, {reply(answer)}); });
        else
            pointQuotesAt(LoopbackServer::freePort());
        if (update)
            find("mnuMarket_Update")->trigger();
        else
            liveQuote("CCC");
        QTRY_COMPARE(messages().size(), 1);
        QTRY_VERIFY(idle());
        QCOMPARE(messages().first().text, message);
        QCOMPARE(messages().first().icon, Prompter::Icon::Exclamation);
        QCOMPARE(asked("CCC"), serviceThere ? 1 : 0); // nor asked for again
        QCOMPARE(onDisk(), m_initial);
        QVERIFY(caption().startsWith(QStringLiteral("Database: ")));
    }

    // Completed, or ended by Stop or Exit while BBB's reply is awaited: then
    // what was refreshed is saved undated, nothing said, and no further
    // symbol asked for.
    void update_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("completed") << QString();
        QTest::newRow("Stop") << QStringLiteral("butStop");
        QTest::newRow("Exit") << QStringLiteral("mnuMenu_Exit");
    }

    void update()
    {
        QFETCH(QString, ending);
        const QByteArray bad = ending.isEmpty() ? QByteArray() : QByteArray("BBB");
        m_server->setScript([bad](QTcpSocket *s, const QByteArray &request) {
            if (symbolOf(request) != bad) // never answered
                lineForEach(s, request);
        });
        find("mnuMarket_Update")->trigger();
        QVERIFY(updating());
        MarketDatabase expected = m_initial;
        if (ending.isEmpty()) {
            QTRY_COMPARE(messages().size(), 1);
            QCOMPARE(messages().first().icon, Prompter::Icon::Information);
            expected.LastUpdate = dateToMarketDate(QDate::currentDate());
            for (StockRecord &r : expected.Stocks)
                if (!r.Symbol.isEmpty() && r.Symbol.toLatin1() != bad)
                    r = refreshed(r.Symbol);
        } else {
            QTRY_COMPARE(asked(bad), 1);
            if (ending == "butStop")
                QTest::mouseClick(find<QPushButton>("butStop"), Qt::LeftButton);
            else
                find("mnuMenu_Exit")->trigger();
            QCOMPARE(m_window->isVisible(), ending == "butStop");
            expected.Stocks[0] = refreshed("AAA");
        }
        QCOMPARE(messages().size(), ending.isEmpty() ? 1 : 0);
        QCOMPARE(onDisk(), expected);
        if (m_window->isVisible()) {
            QVERIFY(idle());
            QCOMPARE(m_window->market().database(), expected);
            QVERIFY(caption().contains(marketDateText(expected.LastUpdate, QLocale()))); // reloaded
        }
        // Once the update is gone nothing is left that could ask for the rest.
        QTRY_VERIFY(!m_window || !m_window->findChild<UpdateDatabase *>());
        QCOMPARE(asked("ccc"), ending.isEmpty() ? 1 : 0);
    }

    // AAA is the grid's current stock and BBB's reply is on its way: every
    // way of changing the list is refused (the menus that lead there are
    // disabled too), and each record ends with its own quote or untouched.
    void listChangesRefusedWhileQuoting_data()
    {
        QTest::addColumn<bool>("update"); // else a live quote of BBB
        QTest::newRow("Update Database") << true;
        QTest::newRow("Live Quote") << false;
    }

    void listChangesRefusedWhileQuoting()
    {
        QFETCH(bool, update);
        QPointer<QTcpSocket> waiting; // BBB's, answered below
        m_server->setScript([&waiting](QTcpSocket *s, const QByteArray &request) {
            if (symbolOf(request) == "BBB")
                waiting = s;
            else
                lineForEach(s, request);
        });
        click("butListall");
        m_window->grid()->setCurrentCell(1, 1);
        QCOMPARE(m_window->grid()->text(), QStringLiteral("AAA"));
        frmMenu *symbolMenu = m_window->symbolMenu();

        if (update)
            find("mnuMarket_Update")->trigger();
        else
            liveQuote("BBB");
        QTRY_COMPARE(asked("BBB"), 1);
        QVERIFY(!menuOn("mnuMenu_Market"));
        m_prompter->inputAnswers = {QStringLiteral("AAA")};
        // The grid's popup and the research window's "Research Tools" pop the
        // same Symbol Menu; then the "Database" menu's two commands.
        symbolMenu->popSymbolMenu();
        symbolMenu->findChild<QAction *>(QStringLiteral("mnuSymb_Remove"))->trigger();
        symbolMenu->mnuSymb()->close();
        find("mnuMarket_RemoveSymbol")->trigger();
        find("mnuMarket_AddSymbol")->trigger();
        QCOMPARE(messages().size(), 3);
        for (const ScriptedPrompter::Shown &shown : messages()) {
            QCOMPARE(shown.text, "Symbols cannot be added or removed while quotes are being fetched.");
            QCOMPARE(shown.icon, Prompter::Icon::Exclamation);
        }
        QVERIFY(m_prompter->inputPrompts.isEmpty());
        QCOMPARE(m_window->market().database().listedCount(), m_initial.listedCount());
        QCOMPARE(m_window->market().database().Stocks.first().Symbol, QStringLiteral("AAA"));

        QVERIFY(waiting); // now BBB's reply arrives
        LoopbackServer::send(waiting, {reply(line("BBB"))});
        QTRY_VERIFY(idle());
        QTRY_COMPARE(onDisk().Stocks[1], refreshed("BBB"));
        QCOMPARE(onDisk().listedCount(), m_initial.listedCount());
        QCOMPARE(m_window->market().database(), onDisk());
    }

    // A live quote waiting on a service that accepts and never answers ends
    // at Stop or Escape: nothing stored or said, the buttons back, and the
    // next live quote works.
    void liveQuoteStopped_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Stop") << false;
        QTest::newRow("Escape") << true;
    }

    void liveQuoteStopped()
    {
        QFETCH(bool, escape);
        m_server->setScript([](QTcpSocket *, const QByteArray &) {});
        liveQuote("CCC");
        QTRY_COMPARE(asked("CCC"), 1);
        auto *stop = find<QPushButton>("butStop");
        QVERIFY(stop->isVisible() && !on("butLiveQuote") && !on("butQS"));
        if (escape) {
            m_window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
            QTest::keyClick(m_window.get(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(stop, Qt::LeftButton);
        }
        QVERIFY(idle());
        // The connection is dropped, so nothing can come in later.
        QTRY_VERIFY(m_server->findChildren<QTcpSocket *>().isEmpty());
        QVERIFY(messages().isEmpty());
        QCOMPARE(onDisk(), m_initial);
        QCOMPARE(m_window->market().database(), m_initial);

        m_server->setScript(lineForEach);
        liveQuote("CCC");
        QTRY_COMPARE(m_window->market().database().Stocks[2], refreshed("ccc"));
        QTRY_VERIFY(idle());
    }

    // A quote from the source reaches the market file; a service stopped as
    // a service manager stops it (SIGTERM) right after a fetch still writes
    // the closes it has not saved yet.
    void stoppedServiceKeepsTheCloses()
    {
        startService({"AAA"});
        updateThroughTheService();
        QCOMPARE(messages().last().icon, Prompter::Icon::Information);
        QCOMPARE(onDisk().Stocks[0], fromTheSource(m_initial.Stocks[0]));
        m_service->terminate();
        QTRY_COMPARE(m_service->state(), QProcess::NotRunning);
        QCOMPARE(m_service->exitStatus(), QProcess::NormalExit);
        QVERIFY(fileBytes(m_dir->filePath(QStringLiteral("closes.csv"))).contains("\nAAA,2026-12-03,"));
    }

    // Source down, nothing cached: the program sees a dead service, says so
    // once and touches nothing.
    void sourceDownNothingCached()
    {
        startService({"AAA", "BBB"}, false);
        QElapsedTimer clock;
        clock.start();
        updateThroughTheService(15'000);
        qInfo("the update ended after %lld ms", clock.elapsed());
        QCOMPARE(messages().size(), 1);
        // The service is there: it says why it has no quotes.
        const QString text = messages().first().text;
        QVERIFY2(text.startsWith(QString::fromLatin1(ConnectionFailureMessage)
                                 + QStringLiteral("\n\nThe quote source cannot be reached")),
                 qPrintable(text));
        QCOMPARE(onDisk(), m_initial);
        QTRY_VERIFY(m_log.contains("the quote source is down"));
    }

    // The keyed source through the real program: the whole market in two
    // source requests, with the true change the day after Thanksgiving, or
    // the source's refusal told in the update's message. The key never
    // reaches the log. No backfill here: only the update's own requests count.
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
        m_window.reset();
        m_initial = MarketDatabase{};
        for (int i = 0; i < count; ++i)
            m_initial.Stocks.insert(i, listed(QStringLiteral("K%1").arg(i)));
        QVERIFY(setUpMarket(m_initial));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TARNVALE_API_KEY"), QStringLiteral("s3cret-k3y"));
        startService(
            [&](QTcpSocket *socket, const QByteArray &request) {
                // Wednesday's closes are 2 above Tuesday's, which is asked second.
                const int base = m_server->requests.size() == 1 ? 12 : 10;
                QByteArray results;
                for (int i = 0; i < count; ++i)
                    results += QByteArray(i ? "," : "") + "{\"T\":\"K" + QByteArray::number(i)
                               + "\",\"o\":1,\"h\":30,\"l\":1,\"c\":" + QByteArray::number(base + i % 7)
                               + ",\"v\":5000}";
                Q_UNUSED(request)
                LoopbackServer::send(
                    socket, {LoopbackServer::http(status, "application/json",
                                                  status == 200 ? "{\"status\":\"OK\",\"results\":[" + results + "]}"
                                                                : "{\"status\":\"ERROR\"}")});
            },
            {"--source", "massive", "--source-url", "URL", "--clock-start", "2026-11-27T10:00:00-05:00",
             "--backfill-days", "0"},
            environment);
        QTRY_VERIFY2_WITH_TIMEOUT(
            m_log.contains(status == 200 ? "serving 6500 quotes of 2026-11-25" : "Asking again at"), m_log.constData(),
            10'000);
        updateThroughTheService(120'000);
        if (status == 200) {
            QCOMPARE(m_server->requests.size(), 2);
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
        QVERIFY(m_server->requests.first().contains("Authorization: Bearer s3cret-k3y"));
        QVERIFY(!m_log.contains("s3cret"));
    }
};

QTEST_MAIN(TestQuoteWindow)
#include "tst_quotewindow.moc"
