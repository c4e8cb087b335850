#include "QuoteFaultServer.h"

#include "app/SettingsTable.h"
#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "quotes/UpdateDatabase.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using Action = QuoteFaultServer::Action;

namespace {

const double kOldDate = 38142;

void pointQuotesAt(quint16 port)
{
    const QString app = QString::fromLatin1(kSettingsApplication);
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, app);
    store.setValue(QStringLiteral("Service/QuoteHost"), QStringLiteral("127.0.0.1:%1").arg(port));
}

} // namespace

// "Update Database" through the main window: what it locks, its caption, the
// Stop button, its messages, and Exit in the middle of it.
class TestUpdateWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QuoteFaultServer> m_server;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<frmMain> m_window;

    QString filePath() const { return m_dir->filePath(QStringLiteral("nasdaq.bin")); }

    QByteArray fileBytes() const
    {
        QFile f(filePath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

    MarketDatabase onDisk() const
    {
        MarketDatabase db;
        readMarketFile(filePath(), &db);
        return db;
    }

    QAction *action(const char *name) const { return m_window->findChild<QAction *>(QString::fromLatin1(name)); }
    QAction *menu(const char *name) const
    {
        return m_window->findChild<QMenu *>(QString::fromLatin1(name))->menuAction();
    }
    QPushButton *stop() const { return m_window->findChild<QPushButton *>(QStringLiteral("butStop")); }
    QString caption() const { return m_window->findChild<QLabel *>(QStringLiteral("lblDBInfo"))->text(); }

    bool updating() const
    {
        return stop()->isVisible() && !menu("mnuMenu_Open")->isEnabled() && !menu("mnuMenu_Market")->isEnabled()
               && !m_window->findChild<QWidget *>(QStringLiteral("frmADVS"))->isVisible()
               && menu("mnuMenu")->isEnabled() && action("mnuMenu_Exit")->isEnabled();
    }

    bool idle() const
    {
        return !stop()->isVisible() && menu("mnuMenu_Open")->isEnabled() && menu("mnuMenu_Market")->isEnabled()
               && m_window->findChild<QWidget *>(QStringLiteral("frmADVS"))->isVisible();
    }

    void setScript(QuoteFaultServer::Script script) { m_server->setScript(std::move(script)); }

private slots:
    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        MarketDatabase db;
        db.LastUpdate = kOldDate;
        for (const char *s : {"AAA", "BBB", "CCC"}) {
            db.Stocks.last().Symbol = QString::fromLatin1(s);
            db.Stocks.last().Last = 1;
            db.Stocks.append(StockRecord{});
        }
        QVERIFY(writeMarketFile(filePath(), db));
        m_server = std::make_unique<QuoteFaultServer>([](const QByteArray &symbol, int) {
            return QuoteFaultServer::answer(QuoteFaultServer::line(symbol));
        });
        pointQuotesAt(m_server->port());
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_window = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        m_window->show();
        action("mnuOpen_Nasdaq")->trigger();
        QVERIFY(m_window->market().isOpen());
        QVERIFY(!stop()->isVisible());
    }

    void cleanup()
    {
        m_window.reset();
        m_server.reset();
    }

    void completes()
    {
        // The second symbol answers slowly, so the first caption can be seen.
        setScript([](const QByteArray &symbol, int) {
            const QByteArray whole = QuoteFaultServer::reply(QuoteFaultServer::line(symbol));
            if (symbol != "BBB")
                return Action{Action::Reply, {whole}};
            return Action{Action::Reply, {whole.left(10), whole.mid(10, 10), whole.mid(20, 10), whole.mid(30)}};
        });
        action("mnuMarket_Update")->trigger();
        QVERIFY(updating());
        QTRY_COMPARE(caption(), QStringLiteral("Updating: 33%\r\nUpdating: AAA"));
        QVERIFY(updating());
        QTRY_COMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages.first().text, QStringLiteral("The update has been completed!"));
        QCOMPARE(m_prompter->messages.first().icon, Prompter::Icon::Information);
        QVERIFY(idle());
        const MarketDatabase disk = onDisk();
        QCOMPARE(disk.LastUpdate, dateToMarketDate(QDate::currentDate()));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(disk.Stocks[i].Last, 27.5f);
        // Reloaded: the caption names the market and today's date again.
        QVERIFY(caption().contains(QStringLiteral("Nasdaq")));
        QVERIFY(caption().contains(marketDateText(disk.LastUpdate, QLocale())));
        QCOMPARE(m_window->market().database(), disk);
    }

    void skippedSymbolsAreNamed()
    {
        setScript([](const QByteArray &symbol, int) {
            return QuoteFaultServer::answer(symbol == "BBB" ? QByteArray("N/A") : QuoteFaultServer::line(symbol));
        });
        action("mnuMarket_Update")->trigger();
        QTRY_COMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages.first().text,
                 QStringLiteral("The update has been completed!\n\n1 symbol could not be updated: \"BBB\"."));
        QCOMPARE(onDisk().Stocks[1].Last, 1.0f);
        QCOMPARE(onDisk().Stocks[2].Last, 27.5f);
        QVERIFY(idle());
    }

    // One message, not one per symbol; the date is not stamped.
    void serviceNotThere()
    {
        pointQuotesAt(refusedPort());
        const QByteArray before = fileBytes();
        action("mnuMarket_Update")->trigger();
        QTRY_COMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages.first().text, QString::fromLatin1(ConnectionFailureMessage));
        QCOMPARE(m_prompter->messages.first().icon, Prompter::Icon::Exclamation);
        QVERIFY(idle());
        QCOMPARE(fileBytes(), before);
        QVERIFY(caption().startsWith(QStringLiteral("Database: ")));
    }

    void stopButton()
    {
        setScript([](const QByteArray &symbol, int) {
            return symbol == "AAA" ? QuoteFaultServer::answer(QuoteFaultServer::line(symbol))
                                   : Action{Action::Silent, {}};
        });
        action("mnuMarket_Update")->trigger();
        QTRY_COMPARE(m_server->attemptsFor("BBB"), 1);
        QVERIFY(updating());
        QTest::mouseClick(stop(), Qt::LeftButton);
        QVERIFY(idle());
        QVERIFY(m_prompter->messages.isEmpty());
        const MarketDatabase disk = onDisk();
        QCOMPARE(disk.LastUpdate, kOldDate);
        QCOMPARE(disk.Stocks[0].Last, 27.5f);
        QCOMPARE(disk.Stocks[1].Last, 1.0f);
        QVERIFY(caption().startsWith(QStringLiteral("Database: ")));
        QCOMPARE(m_server->attemptsFor("CCC"), 0);
    }

    void exitSavesWhatWasRefreshed()
    {
        setScript([](const QByteArray &symbol, int) {
            return symbol == "AAA" ? QuoteFaultServer::answer(QuoteFaultServer::line(symbol))
                                   : Action{Action::Silent, {}};
        });
        action("mnuMarket_Update")->trigger();
        QTRY_COMPARE(m_server->attemptsFor("BBB"), 1);
        action("mnuMenu_Exit")->trigger();
        QVERIFY(!m_window->isVisible());
        const MarketDatabase disk = onDisk();
        QCOMPARE(disk.LastUpdate, kOldDate);
        QCOMPARE(disk.Stocks[0].Last, 27.5f);
        QCOMPARE(disk.Stocks[1].Last, 1.0f);
        QVERIFY(m_prompter->messages.isEmpty());
    }
};

QTEST_MAIN(TestUpdateWindow)
#include "tst_updatewindow.moc"
