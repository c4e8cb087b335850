#include "common/MainWindowTest.h"
#include "market/SymbolList.h"

#include <QFile>
#include <QLabel>

class TestSymbolMaintenance : public MainWindowTest
{
    Q_OBJECT

    QString path() const { return marketPath(); }

private slots:
    void init()
    {
        MarketDatabase db = marketOf({"MSFT", "AAPL"}, 38142);
        QVERIFY(setUpMarket(db));
        QVERIFY(showWindow());
    }

    void cleanup() { m_window.reset(); }

    void addingASymbolSavesItAtOnce()
    {
        const QString caption = m_window->findChild<QLabel *>(QStringLiteral("lblDBInfo"))->text();
        m_prompter->inputAnswers = {QStringLiteral(" ibm ")};
        trigger("mnuMarket_AddSymbol");
        QCOMPARE(m_prompter->inputPrompts, QStringList{QStringLiteral("Enter stock symbol")});
        QCOMPARE(m_prompter->inputTitles, QStringList{QStringLiteral("Add symbol")});
        QCOMPARE(m_prompter->lastText(), QStringLiteral("\" ibm \" has been added!"));
        QCOMPARE(m_prompter->messages.last().icon, Prompter::Icon::Information);
        const MarketDatabase db = onDisk();
        QCOMPARE(db.listedCount(), 3);
        QCOMPARE(db.Stocks[2].Symbol, QStringLiteral(" ibm "));
        QCOMPARE(db, m_window->market().database());
        // The caption keeps its count until the next load.
        QCOMPARE(m_window->findChild<QLabel *>(QStringLiteral("lblDBInfo"))->text(), caption);

        // Without blanks it is a different symbol.
        m_prompter->inputAnswers = {QStringLiteral("ibm")};
        trigger("mnuMarket_AddSymbol");
        QCOMPARE(m_prompter->lastText(), QStringLiteral("\"ibm\" has been added!"));
        QCOMPARE(onDisk().listedCount(), 4);
    }

    void addingAListedSymbolIsRefused()
    {
        m_prompter->inputAnswers = {QStringLiteral("msft")};
        trigger("mnuMarket_AddSymbol");
        QCOMPARE(m_prompter->lastText(), QStringLiteral("\"msft\" is already listed!"));
        QCOMPARE(m_prompter->messages.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(onDisk().listedCount(), 2);
    }

    void blankOrCancelledInputDoesNothing()
    {
        const QByteArray before = [this] {
            QFile f(path());
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        m_prompter->inputAnswers = {QStringLiteral("   "), QString(), QStringLiteral("  ")};
        trigger("mnuMarket_AddSymbol");
        trigger("mnuMarket_AddSymbol");
        trigger("mnuMarket_RemoveSymbol");
        QVERIFY(m_prompter->messages.isEmpty());
        QFile f(path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    void removingReportsTheUpperCasedSymbol()
    {
        m_prompter->inputAnswers = {QStringLiteral("msft"), QStringLiteral("msft")};
        trigger("mnuMarket_RemoveSymbol");
        QCOMPARE(m_prompter->inputTitles, QStringList{QStringLiteral("Remove symbol")});
        QCOMPARE(m_prompter->lastText(), QStringLiteral("\"MSFT\" has been removed!"));
        QCOMPARE(m_prompter->messages.last().icon, Prompter::Icon::Information);
        const MarketDatabase db = onDisk();
        QCOMPARE(db.listedCount(), 1);
        QCOMPARE(db.Stocks[0].Symbol, QStringLiteral("AAPL"));
        QCOMPARE(db.LastUpdate, 38142.0);

        trigger("mnuMarket_RemoveSymbol");
        QCOMPARE(m_prompter->lastText(), QStringLiteral("\"MSFT\" is not listed!"));
        QCOMPARE(m_prompter->messages.last().icon, Prompter::Icon::Exclamation);
    }

    void aFailedSaveChangesNothing()
    {
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner));
        m_prompter->inputAnswers = {QStringLiteral("IBM"), QStringLiteral("MSFT")};
        trigger("mnuMarket_AddSymbol");
        trigger("mnuMarket_RemoveSymbol");
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
        // Only the two save failures are shown: no "has been added/removed".
        QCOMPARE(m_prompter->messages.size(), 2);
        for (const auto &m : m_prompter->messages) {
            QCOMPARE(m.icon, Prompter::Icon::Exclamation);
            QVERIFY(m.text.contains(QStringLiteral("nasdaq.bin\" could not be saved. The file is read-only.")));
        }
        QCOMPARE(m_window->market().database(), onDisk());
        QCOMPARE(findSymbol(m_window->market().database(), QStringLiteral("IBM")), -1);
        QCOMPARE(findSymbol(m_window->market().database(), QStringLiteral("MSFT")), 0);
    }
};

QTEST_MAIN(TestSymbolMaintenance)
#include "tst_symbolmaintenance.moc"
