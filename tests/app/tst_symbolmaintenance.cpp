#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "market/MarketStore.h"
#include "market/SymbolList.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

class TestSymbolMaintenance : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<frmMain> m_window;

    QString path() const { return m_dir->filePath(QStringLiteral("nasdaq.bin")); }

    MarketDatabase onDisk() const
    {
        MarketDatabase db;
        readMarketFile(path(), &db);
        return db;
    }

    void trigger(const char *name) { m_window->findChild<QAction *>(QString::fromLatin1(name))->trigger(); }

private slots:
    void init()
    {
        m_settings = std::make_unique<TestSettings>();
        m_dir = std::make_unique<QTemporaryDir>();
        MarketDatabase db;
        db.LastUpdate = 38142;
        addSymbol(db, QStringLiteral("MSFT"));
        addSymbol(db, QStringLiteral("AAPL"));
        QVERIFY(writeMarketFile(path(), db));
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_window = std::make_unique<frmMain>(m_dir->path(), m_prompter.get());
        trigger("mnuOpen_Nasdaq");
    }

    void cleanup()
    {
        m_window.reset();
    }

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
