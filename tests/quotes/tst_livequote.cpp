#include "QuoteFaultServer.h"

#include "app/SettingsTable.h"
#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "quotes/LiveQuote.h"
#include "quotes/UpdateDatabase.h"
#include "screen/ResultGrid.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using Action = QuoteFaultServer::Action;

namespace {

const double kOldDate = 38142;

StockRecord listed(const char *symbol)
{
    StockRecord r;
    r.Symbol = QString::fromLatin1(symbol);
    r.Last = 1;
    r.Volume = 7;
    return r;
}

StockRecord refreshed(const char *symbol)
{
    StockRecord r = listed(symbol);
    r.Last = 27.5f;
    r.Spread = float(27.60 - 27.30);
    r.Volume = 1234567;
    r.High = 27.6f;
    r.Low = 27.3f;
    r.Change = 0.12f;
    r.Open = 27.4f;
    return r;
}

void pointQuotesAt(quint16 port)
{
    const QString app = QString::fromLatin1(kSettingsApplication);
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, app, app);
    store.setValue(QStringLiteral("Service/QuoteHost"), QStringLiteral("127.0.0.1:%1").arg(port));
}

} // namespace

// "Live Quote" through the main window: found, not found with No or Yes,
// and what it holds back while it waits.
class TestLiveQuote : public QObject
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

    QPushButton *button(const char *name) const
    {
        return m_window->findChild<QPushButton *>(QString::fromLatin1(name));
    }

    QAction *action(const char *name) const { return m_window->findChild<QAction *>(QString::fromLatin1(name)); }

    bool held() const
    {
        return !button("butLiveQuote")->isEnabled() && !button("butQS")->isEnabled()
               && !m_window->findChild<QMenu *>(QStringLiteral("mnuMenu_Market"))->menuAction()->isEnabled();
    }

    void liveQuote(const char *symbol)
    {
        m_window->box("txtQSSymbol")->setText(QString::fromLatin1(symbol));
        QTest::mouseClick(button("butLiveQuote"), Qt::LeftButton);
    }

private slots:
    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        MarketDatabase db;
        db.LastUpdate = kOldDate;
        for (const char *s : {"MSFT", "xyz", "DUP", "DUP"}) {
            db.Stocks.last() = listed(s);
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
    }

    void cleanup()
    {
        m_window.reset();
        m_server.reset();
    }

    // Found (listed in lower case): refreshed, shown alone, saved; the date
    // and the caption stay; nothing is asked.
    void found()
    {
        const QString caption = m_window->findChild<QLabel *>(QStringLiteral("lblDBInfo"))->text();
        liveQuote("XYZ");
        QVERIFY(held());
        QTRY_COMPARE(onDisk().Stocks[1], refreshed("xyz"));
        QVERIFY(!held());
        QCOMPARE(m_window->market().database().Stocks[1], refreshed("xyz"));
        QCOMPARE(m_server->attemptsFor("XYZ"), 1);
        QCOMPARE(onDisk().LastUpdate, kOldDate);
        QCOMPARE(onDisk().Stocks[0], listed("MSFT"));
        ResultGrid *grid = m_window->grid();
        QCOMPARE(grid->rows(), 3);
        QCOMPARE(grid->text(1, 1), QStringLiteral("XYZ"));
        QCOMPARE(grid->text(1, 2), QStringLiteral("27.5"));
        QCOMPARE(grid->text(2, 0), QStringLiteral("*"));
        QCOMPARE(m_window->findChild<QLabel *>(QStringLiteral("lblDBInfo"))->text(), caption);
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void listedTwiceRefreshesTheLater()
    {
        liveQuote("DUP");
        QTRY_COMPARE(onDisk().Stocks[3], refreshed("DUP"));
        QCOMPARE(onDisk().Stocks[2], listed("DUP"));
    }

    void notFoundAndNo()
    {
        const QByteArray before = fileBytes();
        m_prompter->yesNoAnswers = {false};
        liveQuote("NEW");
        QTRY_COMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages.first().text,
                 QStringLiteral("NEW was not found the the market database, would you like to add it?"));
        QCOMPARE(m_prompter->messages.first().icon, Prompter::Icon::Question);
        QVERIFY(m_prompter->inputPrompts.isEmpty());
        QVERIFY(!held());
        QCOMPARE(fileBytes(), before);
        QCOMPARE(m_server->attemptsFor("NEW"), 1);
    }

    // Yes adds the symbol through "Add Symbol", then asks the service again.
    void notFoundAndYes()
    {
        m_prompter->yesNoAnswers = {true};
        m_prompter->inputAnswers = {QStringLiteral("NEW")};
        liveQuote("NEW");
        QTRY_COMPARE(m_server->attemptsFor("NEW"), 2);
        QTRY_COMPARE(onDisk().listedCount(), 5);
        QTRY_COMPARE(onDisk().Stocks[4], refreshed("NEW"));
        QCOMPARE(m_prompter->inputTitles, QStringList{QStringLiteral("Add symbol")});
        QCOMPARE(m_prompter->messages.size(), 2);
        QCOMPARE(m_prompter->messages[1].text, QStringLiteral("\"NEW\" has been added!"));
        QTRY_COMPARE(m_window->grid()->text(1, 1), QStringLiteral("NEW"));
        QTRY_VERIFY(!held());
    }

    // Cancelling the input box brings the question back after a new request.
    void yesThenCancelAsksAgain()
    {
        m_prompter->yesNoAnswers = {true, false};
        liveQuote("NEW");
        QTRY_COMPARE(m_prompter->messages.size(), 2);
        QCOMPARE(m_server->attemptsFor("NEW"), 2);
        QCOMPARE(m_prompter->messages[1].icon, Prompter::Icon::Question);
        QCOMPARE(onDisk().listedCount(), 4);
        QTRY_VERIFY(!held());
    }

    void emptyBoxDoesNothing()
    {
        liveQuote("");
        QVERIFY(!held());
        QVERIFY(m_prompter->messages.isEmpty());
    }

    // The symbol asked for is the one stored, whatever the box says by then.
    void boxChangedWhileWaiting()
    {
        m_server->setScript([](const QByteArray &symbol, int) {
            const QByteArray whole = QuoteFaultServer::reply(QuoteFaultServer::line(symbol));
            return Action{Action::Reply, {whole.left(20), whole.mid(20)}};
        });
        liveQuote("XYZ");
        m_window->box("txtQSSymbol")->setText(QStringLiteral("MSFT"));
        QTRY_COMPARE(onDisk().Stocks[1], refreshed("xyz"));
        QCOMPARE(onDisk().Stocks[0], listed("MSFT"));
    }

    void noUsableReply()
    {
        m_server->setScript([](const QByteArray &, int) { return QuoteFaultServer::answer("<html>busy</html>"); });
        const QByteArray before = fileBytes();
        liveQuote("XYZ");
        QTRY_COMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages.first().text, liveQuoteFailedMessage(QStringLiteral("XYZ")));
        QVERIFY(m_prompter->messages.first().text.contains(QStringLiteral("\"XYZ\"")));
        QCOMPARE(m_prompter->messages.first().icon, Prompter::Icon::Exclamation);
        QCOMPARE(m_server->attemptsFor("XYZ"), 4);
        QCOMPARE(fileBytes(), before);
        QVERIFY(!held());
    }

    void serviceNotThere()
    {
        pointQuotesAt(refusedPort());
        liveQuote("XYZ");
        QTRY_COMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages.first().text, QString::fromLatin1(ConnectionFailureMessage));
        QCOMPARE(m_prompter->messages.first().icon, Prompter::Icon::Exclamation);
        QVERIFY(!held());
    }
};

QTEST_MAIN(TestLiveQuote)
#include "tst_livequote.moc"
