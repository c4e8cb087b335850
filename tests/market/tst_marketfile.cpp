#include "common/TestFiles.h"
#include "market/MarketStore.h"
#include "market/SafeFile.h"
#include "market/SymbolList.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

MarketDatabase sampleDatabase()
{
    MarketDatabase db;
    db.LastUpdate = 38142; // 2004-06-04
    StockRecord msft{QString(), QStringLiteral("MSFT"), 27.5f, 0.3f, 1234567, 27.6f, 27.3f, 0.12f, 27.4f};
    StockRecord odd;
    odd.Reserved = QStringLiteral("kept");
    odd.Symbol = QStringLiteral(" ibm ");
    db.Stocks = {msft, odd, StockRecord{}};
    return db;
}

QStringList symbolsOf(const MarketDatabase &db)
{
    QStringList out;
    for (const StockRecord &s : db.Stocks)
        out << s.Symbol;
    return out;
}

// A header with the given fields followed by `tail` bytes of padding.
QByteArray header(qint16 dims, qint32 count, qint32 lower, qsizetype tail)
{
    QByteArray b(18, '\0');
    qToLittleEndian<qint16>(dims, b.data() + 8);
    qToLittleEndian<qint32>(count, b.data() + 10);
    qToLittleEndian<qint32>(lower, b.data() + 14);
    return b + QByteArray(tail, '\0');
}

} // namespace

class TestMarketFile : public QObject
{
    Q_OBJECT

private slots:
    // Every field at its own place: a record whose fields all differ, against
    // bytes written out by hand, both ways through a real file.
    void everyFieldHasItsPlaceOnDisk()
    {
        // clang-format off
        QCOMPARE(MarketFormat::encode(MarketDatabase()).toHex(),
                 QByteArray("0000000000000000" "0100" "01000000" "00000000") + QByteArray(72, '0'));
        const QByteArray expected = QByteArray::fromHex(
            "00000000c09fe240" "0100" "02000000" "00000000" // LastUpdate 38142, one dimension, 2 elements, from 0
            "0200" "5231" "0300" "49424d"                   // Reserved "R1", Symbol "IBM"
            "0000c03f" "0000803e" "0000000087d63241"        // Last 1.5, Spread 0.25, Volume 1234567
            "00003040" "0000a03f" "000000bf" "0000e03f")    // High 2.75, Low 1.25, Change -0.5, Open 1.75
            + QByteArray(36, '\0');                         // the spare record
        // clang-format on
        MarketDatabase db;
        db.LastUpdate = 38142;
        db.Stocks.first() = {
            QStringLiteral("R1"), QStringLiteral("IBM"), 1.5f, 0.25f, 1234567, 2.75f, 1.25f, -0.5f, 1.75f};
        db.Stocks.append(StockRecord{});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nasdaq.bin"));
        QVERIFY(writeMarketFile(path, db));
        QCOMPARE(fileBytes(path).toHex(), expected.toHex());
        QVERIFY(writeFile(path, expected));
        MarketDatabase read;
        QVERIFY(readMarketFile(path, &read));
        QCOMPARE(read, db);
    }

    // Blanks, case and Reserved survive; bytes after the records are ignored;
    // a text too long for its length field is cut so the file stays readable.
    void roundTrip()
    {
        const MarketDatabase db = sampleDatabase();
        const auto decoded = MarketFormat::decode(MarketFormat::encode(db) + QByteArray(500, '\x7f'));
        QVERIFY(decoded);
        QCOMPARE(*decoded, db);
        QCOMPARE(decoded->listedCount(), 2);
        MarketDatabase overlong;
        overlong.Stocks.first() = {.Reserved = {}, .Symbol = QString(70000, u'X'), .Last = 3.5f};
        overlong.Stocks.append(StockRecord{});
        const auto back = MarketFormat::decode(MarketFormat::encode(overlong));
        QVERIFY(back);
        QCOMPARE(back->Stocks.first().Symbol.size(), 65535);
        QCOMPARE(back->Stocks.first().Last, 3.5f);
    }

    void damagedFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("too short") << QByteArray(10, '\0') << QStringLiteral("too short");
        QTest::newRow("two dimensions") << header(2, 1, 0, 36) << QStringLiteral("dimensions");
        QTest::newRow("lower bound 1") << header(1, 1, 1, 36) << QStringLiteral("lower bound");
        QTest::newRow("no elements") << header(1, 0, 0, 36) << QStringLiteral("at least 1");
        QTest::newRow("negative count") << header(1, -5, 0, 36) << QStringLiteral("at least 1");
        QTest::newRow("two billion records") << header(1, 2000000000, 0, 36) << QStringLiteral("more than the file");
        QByteArray longText = header(1, 1, 0, 36);
        qToLittleEndian<quint16>(60000, longText.data() + 18);
        QTest::newRow("text past end") << longText << QStringLiteral("past the end");
    }

    void damagedFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        // Refused without touching the list it would replace.
        MarketDatabase target = sampleDatabase();
        QString error;
        QVERIFY(!MarketFormat::decodeInto(bytes, target, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(target, sampleDatabase());
    }

    void storeLoadsAndSavesWholeFiles()
    {
        QTemporaryDir dir;
        QVERIFY(writeMarketFile(dir.filePath(QStringLiteral("nasdaq.bin")), sampleDatabase()));
        MarketStore store(dir.path());
        store.selectMarket(kNasdaq);
        QVERIFY(store.LoadDatabase());
        QCOMPARE(store.database(), sampleDatabase());
        // A shorter content replaces the whole file: no stale tail remains.
        store.database().Stocks.removeFirst();
        QVERIFY(store.SaveDatabase());
        QCOMPARE(fileBytes(store.filePath()), MarketFormat::encode(store.database()));
        // The replace is flushed through the folder; a missing folder says so.
        QVERIFY(SafeFile::syncDirectory(dir.path()));
        QVERIFY(!SafeFile::syncDirectory(dir.filePath(QStringLiteral("missing"))));
    }

    void openingRemovesStaleSaveCopies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("old");
        QTest::addColumn<bool>("removed");
        QTest::newRow("nasdaq copy") << QStringLiteral("nasdaq.bin.LHysjS") << true << true;
        QTest::newRow("copy being written now") << QStringLiteral("nasdaq.bin.UxLrWU") << false << false;
        QTest::newRow("digit in the suffix") << QStringLiteral("nasdaq.bin.UxLr0U") << true << false;
        QTest::newRow("five letters") << QStringLiteral("nasdaq.bin.UxLrW") << true << false;
        QTest::newRow("another file's copy") << QStringLiteral("notes.txt.UxLrWU") << true << false;
        QTest::newRow("other case") << QStringLiteral("NASDAQ.bin.UxLrWU") << true << false;
        QTest::newRow("no dot") << QStringLiteral("nasdaq.binxUxLrWU") << true << false;
        QTest::newRow("build's seed copy") << QStringLiteral("nasdaq.bin.seed-abcdefgh") << true << false;
    }

    void openingRemovesStaleSaveCopies()
    {
        QFETCH(QString, name);
        QFETCH(bool, old);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        QVERIFY(writeMarketFile(dir.filePath(QStringLiteral("nasdaq.bin")), sampleDatabase()));
        QFile copy(dir.filePath(name));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write("copy") && copy.flush()); // before the time is set
        if (old)
            QVERIFY(copy.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        copy.close();
        // A folder with such a name is never removed either.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("nyse.bin.AbCdEf")));

        MarketStore store(dir.path());
        store.selectMarket(kNasdaq);
        QVERIFY(store.LoadDatabase());
        QCOMPARE(QFile::exists(dir.filePath(name)), !removed);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("nyse.bin.AbCdEf"))).isDir());
        QCOMPARE(store.database(), sampleDatabase());
    }

    void failedLoadLeavesNothingOpen()
    {
        QTemporaryDir dir;
        QVERIFY(writeMarketFile(dir.filePath(QStringLiteral("nasdaq.bin")), sampleDatabase()));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("nyse.bin")), header(1, 2000000000, 0, 36)));
        MarketStore store(dir.path());
        store.selectMarket(kNasdaq);
        QVERIFY(store.LoadDatabase());
        store.selectMarket(kNyse);
        QString error;
        QVERIFY(!store.LoadDatabase(&error));
        QVERIFY(error.contains(QStringLiteral("damaged")));
        QVERIFY(!store.isOpen());
        QCOMPARE(store.database(), MarketDatabase());
        // Nothing of the Nasdaq list can now be written into the NYSE file.
        QVERIFY(!store.SaveDatabase(&error));
        QCOMPARE(fileBytes(store.filePath()), header(1, 2000000000, 0, 36));
        QFile::remove(store.filePath());
        QVERIFY(!store.LoadDatabase(&error));
        QVERIFY(error.contains(QStringLiteral("does not exist")));
    }

    // Every file the program writes goes through SafeFile: a read-only mark
    // is honoured even for root, and a refused save leaves the old file as it
    // was and no copy, whole or partial, beside it.
    void failedSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("reason"); // empty: whatever the system says
        QTest::newRow("read-only file") << 0 << "The file is read-only.";
        QTest::newRow("read-only folder") << 1 << "The folder is read-only.";
        QTest::newRow("missing folder") << 2 << "";
    }

    void failedSaveKeepsTheOldFile()
    {
        QFETCH(int, failure);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nasdaq.bin"));
        QVERIFY(writeMarketFile(path, sampleDatabase()));
        const QByteArray old = fileBytes(path);
        const QString target = failure == 0 ? path : dir.path();
        const QFile::Permissions before = QFile::permissions(target);
        if (failure < 2)
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner));
        const QString saveTo = failure == 2 ? dir.filePath(QStringLiteral("gone/nasdaq.bin")) : path;
        QString error;
        QVERIFY(!writeMarketFile(saveTo, MarketDatabase(), &error));
        QVERIFY(!error.isEmpty());
        if (!reason.isEmpty())
            QCOMPARE(error, reason);
        QFile::setPermissions(target, before);
        QCOMPARE(fileBytes(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("nasdaq.bin")});
    }

    // Adding or removing a symbol saves at once; a save that fails is undone
    // in memory, so the list stays what the file holds.
    void symbolChangesAreSavedOrUndone_data()
    {
        QTest::addColumn<bool>("add");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("message");
        const QString readOnly = QStringLiteral("\" could not be saved. The file is read-only.");
        QTest::newRow("added as typed") << true << " aapl " << true << "\" aapl \" has been added!";
        QTest::newRow("add: listed in other letters") << true << "msft" << true << "\"msft\" is already listed!";
        QTest::newRow("add: save fails") << true << "IBM" << false << readOnly;
        QTest::newRow("removed, named in capitals") << false << "msft" << true << "\"MSFT\" has been removed!";
        QTest::newRow("remove: not listed") << false << "ibm" << true << "\"IBM\" is not listed!";
        QTest::newRow("remove: save fails") << false << "MSFT" << false << readOnly;
    }

    void symbolChangesAreSavedOrUndone()
    {
        QFETCH(bool, add);
        QFETCH(QString, symbol);
        QFETCH(bool, writable);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(writeMarketFile(dir.filePath(QStringLiteral("nasdaq.bin")), sampleDatabase()));
        MarketStore store(dir.path());
        QVERIFY(!store.addSymbol(QStringLiteral("IBM")).changed); // nothing open yet
        store.selectMarket(kNasdaq);
        QVERIFY(store.LoadDatabase());
        if (!writable)
            QVERIFY(QFile::setPermissions(store.filePath(), QFile::ReadOwner));
        const MarketStore::SymbolChange change = add ? store.addSymbol(symbol) : store.removeSymbol(symbol);
        QFile::setPermissions(store.filePath(), QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY2(change.message.endsWith(message), qPrintable(change.message));
        MarketDatabase expected = sampleDatabase();
        if (change.changed && add)
            addSymbol(expected, symbol);
        else if (change.changed)
            removeSymbol(expected, symbol);
        QCOMPARE(change.changed, writable && message.contains(QStringLiteral("has been")));
        QCOMPARE(store.database(), expected);
        MarketDatabase disk;
        QVERIFY(readMarketFile(store.filePath(), &disk));
        QCOMPARE(disk, expected);
    }

    // The window and the timer's run, each with a store of one market: the
    // second to save lands on the other's file (a plain save refuses), and
    // one it cannot read again is refused rather than overwritten.
    void savesLandOnAnotherCopysSave_data()
    {
        QTest::addColumn<bool>("windowFirst");
        QTest::addColumn<bool>("damagedBetween");
        QTest::newRow("symbol added, then quotes saved") << true << false;
        QTest::newRow("quotes saved, then symbol added") << false << false;
        QTest::newRow("damaged in between") << true << true;
    }

    void savesLandOnAnotherCopysSave()
    {
        QFETCH(bool, windowFirst);
        QFETCH(bool, damagedBetween);
        QTemporaryDir dir;
        QVERIFY(writeMarketFile(dir.filePath(QStringLiteral("nasdaq.bin")), sampleDatabase()));
        MarketStore window(dir.path()), timer(dir.path());
        for (MarketStore *store : {&window, &timer}) {
            store->selectMarket(kNasdaq);
            QVERIFY(store->LoadDatabase());
        }
        const MarketStore::Change quotes = [](MarketDatabase &db) { db.Stocks[0].Last = 99, db.LastUpdate = 4e4; };
        const auto add = [&] { return window.addSymbol(QStringLiteral("AAPL")).changed; };
        QVERIFY(windowFirst ? add() : timer.saveChange(quotes));
        const QByteArray damaged = header(1, 2000000000, 0, 36);
        QVERIFY(!damagedBetween || writeFile(window.filePath(), damaged));
        QVERIFY(!(windowFirst ? timer : window).SaveDatabase());
        QCOMPARE(windowFirst ? timer.saveChange(quotes) : add(), !damagedBetween);
        MarketDatabase expected = sampleDatabase(), disk;
        addSymbol(expected, QStringLiteral("AAPL")), quotes(expected);
        QVERIFY(damagedBetween ? fileBytes(window.filePath()) == damaged
                               : readMarketFile(window.filePath(), &disk) && disk == expected);
    }

    void dateTexts()
    {
        const QLocale c = QLocale::c();
        QCOMPARE(dateToMarketDate(QDate(2004, 6, 4)), 38142.0);
        QCOMPARE(marketDateText(0, c), c.toString(QTime(0, 0), QLocale::ShortFormat)); // never updated: midnight
        QCOMPARE(marketDateText(38142, c), c.toString(QDate(2004, 6, 4), QLocale::ShortFormat));
        QCOMPARE(marketDateText(38142.5, c),
                 c.toString(QDateTime(QDate(2004, 6, 4), QTime(12, 0)), QLocale::ShortFormat));
    }

    // The symbol list: found ignoring case but not blanks; removal keeps the order.
    void comparisonIgnoresCaseButNotBlanks()
    {
        const MarketDatabase db = sampleDatabase(); // "MSFT" and " ibm "
        QCOMPARE(findSymbol(db, QStringLiteral("msft")), 0);
        QCOMPARE(findSymbol(db, QStringLiteral(" IBM ")), 1);
        QCOMPARE(findSymbol(db, QStringLiteral("IBM")), -1);
        QCOMPARE(findSymbol(db, QStringLiteral("MSFTX")), -1);
        QCOMPARE(findSymbol(db, QString()), -1); // the spare is never listed
    }

    void removalKeepsOrderAndLeavesOneSpare_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("middle") << QStringList{"AAPL", "MSFT", "INTC"} << QStringLiteral("msft")
                                << QStringList{"AAPL", "INTC", ""};
        QTest::newRow("only one") << QStringList{"IBM"} << QStringLiteral("IBM") << QStringList{""};
        QTest::newRow("listed twice") << QStringList{"MSFT", "AAPL", "msft", "INTC"} << QStringLiteral("MSFT")
                                      << QStringList{"AAPL", "INTC", ""};
        QTest::newRow("not listed") << QStringList{"AAPL"} << QStringLiteral("MSFT") << QStringList{"AAPL", ""};
    }

    void removalKeepsOrderAndLeavesOneSpare()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, removed);
        QFETCH(QStringList, after);
        MarketDatabase db;
        db.LastUpdate = 38142;
        for (const QString &s : before)
            addSymbol(db, s);
        db.Stocks[before.size() - 1].Last = 20.5f; // the last record's fields travel with it
        const qsizetype dropped = removeSymbol(db, removed);
        QCOMPARE(dropped, before.size() - (after.size() - 1));
        QCOMPARE(symbolsOf(db), after);
        QCOMPARE(db.Stocks.last(), StockRecord{});
        QCOMPARE(db.LastUpdate, 38142.0);
        if (after.size() > 1 && after[after.size() - 2] == before.last())
            QCOMPARE(db.Stocks[after.size() - 2].Last, 20.5f);
    }
};

QTEST_GUILESS_MAIN(TestMarketFile)
#include "tst_marketfile.moc"
