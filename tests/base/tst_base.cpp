#include "base/InstallLayout.h"
#include "base/NumericText.h"
#include "common/TestFiles.h"
#include "market/MarketStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

MarketDatabase listing(std::initializer_list<const char *> symbols)
{
    MarketDatabase db;
    for (const char *symbol : symbols) {
        db.Stocks.last().Symbol = QString::fromLatin1(symbol);
        db.Stocks.append(StockRecord{});
    }
    return db;
}

// Clears or restores the owner-write mark, which is what counts even for root.
void setWritable(const QString &path, bool writable)
{
    QFile::Permissions p = QFile::permissions(path);
    p.setFlag(QFile::WriteOwner, writable);
    p.setFlag(QFile::WriteUser, writable);
    QVERIFY(QFile::setPermissions(path, p));
}

} // namespace

// Where an installed program finds its files, in a tree laid out as the build
// installs it under a temporary prefix; and the amount boxes' text rule.
class TestBase : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_bin, m_private, m_seeds, m_user;

    void makeTree(bool withPrivate)
    {
        m_root = std::make_unique<QTemporaryDir>();
        const QDir root(m_root->path());
        m_bin = root.filePath(QStringLiteral(TARNVALE_INSTALL_BINDIR));
        m_private = root.filePath(QStringLiteral(TARNVALE_INSTALL_PRIVATEDIR));
        m_seeds = root.filePath(QStringLiteral(TARNVALE_INSTALL_DATADIR));
        m_user = root.filePath(QStringLiteral("home/.local/share/Tarnvale"));
        QVERIFY(QDir().mkpath(m_bin));
        QVERIFY(QDir().mkpath(m_seeds));
        if (withPrivate)
            QVERIFY(QDir().mkpath(m_private));
        QVERIFY(writeMarketFile(QDir(m_seeds).filePath(QStringLiteral("nasdaq.bin")), listing({"AAA", "BBB"})));
    }

private slots:
    void cleanup()
    {
        if (m_root)
            setWritable(m_bin, true);
        m_root.reset();
    }

    void installedFoldersAreFoundFromTheProgram()
    {
        makeTree(true);
        QCOMPARE(InstallLayout::privateDirectory(m_bin), QDir::cleanPath(m_private));
        QCOMPARE(InstallLayout::dataDirectory(m_bin), QDir::cleanPath(m_seeds));
        // A build folder keeps everything beside the program.
        QTemporaryDir build;
        QCOMPARE(InstallLayout::privateDirectory(build.path()), build.path());
        QCOMPARE(InstallLayout::dataDirectory(build.path()), build.path());
    }

    void whereTheMarketFilesLive_data()
    {
        QTest::addColumn<bool>("installedTree");
        QTest::addColumn<bool>("marketBesideProgram");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("installed");
        QTest::newRow("build folder") << false << true << false << false;
        QTest::newRow("read-only build folder") << false << true << true << true;
        QTest::newRow("read-only installed tree") << true << false << true << true;
        QTest::newRow("writable installed tree") << true << false << false << true;
        QTest::newRow("installed tree kept portable") << true << true << false << false;
    }

    void whereTheMarketFilesLive()
    {
        QFETCH(bool, installedTree);
        QFETCH(bool, marketBesideProgram);
        QFETCH(bool, readOnly);
        QFETCH(bool, installed);
        makeTree(true);
        if (!installedTree)
            QVERIFY(QDir(m_seeds).removeRecursively());
        if (marketBesideProgram)
            QVERIFY(writeMarketFile(QDir(m_bin).filePath(QStringLiteral("nyse.bin")), listing({})));
        setWritable(m_bin, !readOnly);
        QCOMPARE(InstallLayout::folderWritable(m_bin), !readOnly);

        const InstallLayout::MarketLocation where = InstallLayout::marketLocation(m_bin, m_user, marketFileNames());
        QCOMPARE(where.installed, installed);
        QCOMPARE(where.directory, installed ? m_user : m_bin);
        QCOMPARE(where.seedDirectory, installedTree ? QDir::cleanPath(m_seeds) : QString());
    }

    void firstUseCopiesTheSeedAndTheUsersCopyWins()
    {
        makeTree(true);
        setWritable(m_bin, false);
        const InstallLayout::MarketLocation where = InstallLayout::marketLocation(m_bin, m_user, marketFileNames());
        const QString seed = QDir(m_seeds).filePath(QStringLiteral("nasdaq.bin"));
        const QByteArray seedBytes = fileBytes(seed);

        MarketStore store(where.directory, where.seedDirectory);
        store.selectMarket(kNasdaq);
        QVERIFY(store.LoadDatabase());
        QCOMPARE(store.filePath(), QDir(m_user).filePath(QStringLiteral("nasdaq.bin")));
        QCOMPARE(fileBytes(store.filePath()), seedBytes);
        QCOMPARE(QDir(m_user).entryList(QDir::Files), QStringList{QStringLiteral("nasdaq.bin")});

        // Saves go to the user's copy only.
        store.database() = listing({"AAA", "BBB", "CCC"});
        QVERIFY(store.SaveDatabase());
        QCOMPARE(fileBytes(seed), seedBytes);

        // An upgrade brings a different seed; the user's market stays theirs.
        QVERIFY(writeMarketFile(seed, listing({"ZZZ"})));
        MarketStore reopened(where.directory, where.seedDirectory);
        reopened.selectMarket(kNasdaq);
        QVERIFY(reopened.LoadDatabase());
        QCOMPARE(reopened.database(), listing({"AAA", "BBB", "CCC"}));
    }

    void seedCopyNeverReplacesAFile()
    {
        makeTree(false);
        const QString seed = QDir(m_seeds).filePath(QStringLiteral("nasdaq.bin"));
        const QString target = QDir(m_user).filePath(QStringLiteral("nasdaq.bin"));
        QVERIFY(copySeedFile(seed, target));
        QVERIFY(writeMarketFile(target, listing({"MINE"})));
        QVERIFY(copySeedFile(seed, target)); // there already: kept
        MarketDatabase db;
        QVERIFY(readMarketFile(target, &db));
        QCOMPARE(db, listing({"MINE"}));
        QCOMPARE(QDir(m_user).entryList(QDir::Files), QStringList{QStringLiteral("nasdaq.bin")});

        // A user folder that cannot be made is a failed load that says why.
        QVERIFY(writeFile(m_root->filePath(QStringLiteral("blocked")), {}));
        MarketStore store(m_root->filePath(QStringLiteral("blocked/Tarnvale")), m_seeds);
        store.selectMarket(kNasdaq);
        QString error;
        QVERIFY(!store.LoadDatabase(&error));
        QVERIFY2(error.contains(QStringLiteral("cannot be created")), qPrintable(error));
        QVERIFY(!store.isOpen());

        // Without a data folder (no home) nothing is read from or written to
        // the working directory.
        MarketStore homeless(QString(), m_seeds);
        homeless.selectMarket(kNasdaq);
        QVERIFY(!homeless.LoadDatabase(&error));
        QVERIFY(!QFile::exists(QStringLiteral("nasdaq.bin")));
    }

    // Digits and points stay, in their order; nothing else does.
    void numericText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *text, const char *expected) {
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(expected);
        };
        row("12a3", "123"); // letters, a group comma, a sign and blanks go
        row("1,000", "1000");
        row(" -5.5 ", "5.5");
        row("1.2.3", "1.2.3"); // every point stays
        row(".", ".");
        row("\u0661\uFF127", "7"); // only these ten digits
        row("abc", "");
    }

    void numericText()
    {
        QFETCH(QString, text);
        QTEST(::numericText(text), "expected");
    }

    // The boxes of signed amounts keep one minus, and only in front.
    void signedNumericText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        for (const auto &[text, expected] : {std::pair{"-5.5", "-5.5"},
                                             {" -1a2", "-12"},
                                             {"--5", "-5"},
                                             {"5-3", "53"},
                                             {"1-", "1"},
                                             {"-", "-"},
                                             {"+-2", "-2"},
                                             {"1,5", "15"}})
            QTest::newRow(text) << QString::fromLatin1(text) << QString::fromLatin1(expected);
    }

    void signedNumericText()
    {
        QFETCH(QString, text);
        QTEST(::signedNumericText(text), "expected");
    }
};

QTEST_GUILESS_MAIN(TestBase)
#include "tst_base.moc"
