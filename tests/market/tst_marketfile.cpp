#include "market/MarketStore.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <limits>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

MarketDatabase sampleDatabase()
{
    MarketDatabase db;
    db.LastUpdate = 38142; // 2004-06-04
    StockRecord msft;
    msft.Symbol = QStringLiteral("MSFT");
    msft.Last = 27.5f;
    msft.Spread = 0.3f;
    msft.Volume = 1234567;
    msft.High = 27.6f;
    msft.Low = 27.3f;
    msft.Change = 0.12f;
    msft.Open = 27.4f;
    StockRecord odd;
    odd.Reserved = QStringLiteral("kept");
    odd.Symbol = QStringLiteral(" ibm ");
    db.Stocks = {msft, odd, StockRecord{}};
    return db;
}

// A header with the given fields followed by `tail` bytes of padding.
QByteArray header(qint16 dims, qint32 count, qint32 lower, qsizetype tail)
{
    QByteArray b(18, '\0');
    qToLittleEndian<double>(0, b.data());
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
    void emptyDatabaseIs54Bytes()
    {
        const QByteArray bytes = MarketFormat::encode(MarketDatabase());
        QCOMPARE(bytes.size(), 54);
        QCOMPARE(bytes.left(18).toHex(), QByteArray("0000000000000000" "0100" "01000000" "00000000"));
        QVERIFY(bytes.mid(18).count('\0') == 36);
    }

    void oneListedSymbolExactBytes()
    {
        MarketDatabase db;
        db.Stocks.first().Symbol = QStringLiteral("IBM");
        db.Stocks.first().Last = 1.5f;
        db.Stocks.first().Volume = 2.0;
        db.Stocks.append(StockRecord{});
        const QByteArray bytes = MarketFormat::encode(db);
        QCOMPARE(bytes.size(), 93);
        const QByteArray record = bytes.mid(18, 39);
        QCOMPARE(record.left(7).toHex(), QByteArray("0000" "0300" "49424d"));
        QCOMPARE(record.mid(7, 4).toHex(), QByteArray("0000c03f"));          // Last 1.5f
        QCOMPARE(record.mid(15, 8).toHex(), QByteArray("0000000000000040")); // Volume 2.0
        QCOMPARE(qFromLittleEndian<qint32>(bytes.constData() + 10), 2);
    }

    void roundTripKeepsEveryField()
    {
        const MarketDatabase db = sampleDatabase();
        const auto decoded = MarketFormat::decode(MarketFormat::encode(db));
        QVERIFY(decoded);
        QCOMPARE(*decoded, db);
        QCOMPARE(decoded->Stocks[1].Symbol, QStringLiteral(" ibm "));
        QCOMPARE(decoded->Stocks[1].Reserved, QStringLiteral("kept"));
        QCOMPARE(decoded->listedCount(), 2);
    }

    void trailingBytesAreIgnored()
    {
        const MarketDatabase db = sampleDatabase();
        const auto decoded = MarketFormat::decode(MarketFormat::encode(db) + QByteArray(500, '\x7f'));
        QVERIFY(decoded);
        QCOMPARE(*decoded, db);
    }

    void damagedHeadersAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("too short") << QByteArray(10, '\0') << QStringLiteral("too short");
        QTest::newRow("two dimensions") << header(2, 1, 0, 36) << QStringLiteral("dimensions");
        QTest::newRow("lower bound 1") << header(1, 1, 1, 36) << QStringLiteral("lower bound");
        QTest::newRow("no elements") << header(1, 0, 0, 36) << QStringLiteral("at least 1");
        QTest::newRow("negative count") << header(1, -5, 0, 36) << QStringLiteral("at least 1");
        QTest::newRow("two billion records") << header(1, 2000000000, 0, 36) << QStringLiteral("more than the file");
        QTest::newRow("count past end") << header(1, 2, 0, 36) << QStringLiteral("more than the file");
        QByteArray longText = header(1, 1, 0, 36);
        qToLittleEndian<quint16>(60000, longText.data() + 18);
        QTest::newRow("text past end") << longText << QStringLiteral("past the end");
    }

    void damagedHeadersAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(!MarketFormat::decode(bytes, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void readingIntoAnOpenListReplacesAllOrNothing()
    {
        MarketDatabase big = sampleDatabase();
        big.Stocks.insert(0, big.Stocks[0]);
        big.Stocks[0].Symbol = QStringLiteral("LONGERSYMBOL");
        MarketDatabase small;
        small.Stocks.first().Symbol = QStringLiteral("A");
        small.Stocks.append(StockRecord{});

        MarketDatabase target = big;
        QVERIFY(MarketFormat::decodeInto(MarketFormat::encode(small), target));
        QCOMPARE(target, small);

        target = big;
        QByteArray damaged = MarketFormat::encode(small);
        damaged.chop(1);
        QString error;
        QVERIFY(!MarketFormat::decodeInto(damaged, target, &error));
        QCOMPARE(target, big);
        QVERIFY(error.contains(QStringLiteral("Record 2")));
    }

    void overlongTextsKeepTheFileReadable()
    {
        MarketDatabase db;
        db.Stocks.first().Symbol = QString(70000, u'X');
        db.Stocks.first().Last = 3.5f;
        db.Stocks.append(StockRecord{});
        const auto back = MarketFormat::decode(MarketFormat::encode(db));
        QVERIFY(back);
        QCOMPARE(back->Stocks.first().Symbol.size(), 65535);
        QCOMPARE(back->Stocks.first().Last, 3.5f);
        QCOMPARE(back->listedCount(), 1);
    }

    void storeLoadsAndSavesThroughFiles()
    {
        QTemporaryDir dir;
        writeAll(dir.filePath(QStringLiteral("nasdaq.bin")), MarketFormat::encode(sampleDatabase()));
        MarketStore store(dir.path());
        store.selectMarket(kNasdaq);
        QCOMPARE(store.MarketFileName, QStringLiteral("nasdaq.bin"));
        QCOMPARE(store.MarketName, QStringLiteral("Nasdaq"));
        QVERIFY(store.LoadDatabase());
        QVERIFY(store.isOpen());
        QCOMPARE(store.database(), sampleDatabase());

        // A shorter content replaces the whole file: no stale tail remains.
        store.database().Stocks.removeFirst();
        QVERIFY(store.SaveDatabase());
        const QByteArray saved = readAll(store.filePath());
        QCOMPARE(saved, MarketFormat::encode(store.database()));
    }

    void olderFilesWithTailsStillLoad()
    {
        QTemporaryDir dir;
        writeAll(dir.filePath(QStringLiteral("nyse.bin")),
                 MarketFormat::encode(sampleDatabase()) + QByteArray("left over from a longer list"));
        MarketStore store(dir.path());
        store.selectMarket(kNyse);
        QVERIFY(store.LoadDatabase());
        QCOMPARE(store.database().listedCount(), 2);
    }

    void failedLoadLeavesNothingOpen()
    {
        QTemporaryDir dir;
        writeAll(dir.filePath(QStringLiteral("nasdaq.bin")), MarketFormat::encode(sampleDatabase()));
        writeAll(dir.filePath(QStringLiteral("nyse.bin")), header(1, 2000000000, 0, 36));
        MarketStore store(dir.path());
        store.selectMarket(kNasdaq);
        QVERIFY(store.LoadDatabase());
        store.selectMarket(kNyse);
        QString error;
        QVERIFY(!store.LoadDatabase(&error));
        QVERIFY(error.contains(QStringLiteral("damaged")));
        QVERIFY(!store.isOpen());
        QCOMPARE(store.database(), MarketDatabase());
        // Nothing can now be written into the NYSE file from the Nasdaq list.
        QVERIFY(!store.SaveDatabase(&error));
        QCOMPARE(readAll(store.filePath()), header(1, 2000000000, 0, 36));

        QFile::remove(store.filePath());
        QVERIFY(!store.LoadDatabase(&error));
        QVERIFY(error.contains(QStringLiteral("does not exist")));
    }

    void failedSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("read-only file") << false;
        QTest::newRow("read-only folder") << true;
    }

    void failedSaveKeepsTheOldFile()
    {
        QFETCH(bool, readOnlyFolder);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nasdaq.bin"));
        const QByteArray old = MarketFormat::encode(sampleDatabase()) + QByteArray("tail");
        writeAll(path, old);
        const QString target = readOnlyFolder ? dir.path() : path;
        const QFile::Permissions before = QFile::permissions(target);
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
                                                  | QFile::ExeGroup | QFile::ReadOther));
        QString error;
        QVERIFY(!writeMarketFile(path, MarketDatabase(), &error));
        QVERIFY(error.contains(QStringLiteral("read-only")));
        QFile::setPermissions(target, before);
        QCOMPARE(readAll(path), old);
    }

    void saveIntoMissingFolderFails()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!writeMarketFile(dir.filePath(QStringLiteral("gone/nasdaq.bin")), MarketDatabase(), &error));
        QVERIFY(!error.isEmpty());
    }

    void dateTexts()
    {
        const QLocale c = QLocale::c();
        QCOMPARE(marketDateText(0, c), c.toString(QTime(0, 0), QLocale::ShortFormat));
        QCOMPARE(marketDateText(dateToMarketDate(QDate(2004, 6, 4)), c),
                 c.toString(QDate(2004, 6, 4), QLocale::ShortFormat));
        QCOMPARE(dateToMarketDate(QDate(2004, 6, 4)), 38142.0);
        QCOMPARE(marketDateText(38142.5, c), c.toString(QDateTime(QDate(2004, 6, 4), QTime(12, 0)), QLocale::ShortFormat));
        QCOMPARE(marketDateText(0.75, c), c.toString(QTime(18, 0), QLocale::ShortFormat));
        QVERIFY(marketDateText(std::numeric_limits<double>::quiet_NaN(), c).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMarketFile)
#include "tst_marketfile.moc"
