#include "common/StooqArchive.h"
#include "common/TestFiles.h"

#include "history/HistoryImport.h"
#include "history/HistoryStore.h"
#include "history/SampleHistory.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QList<QPair<QString, QByteArray>> kEntries{
    {QStringLiteral("data/daily/us/nasdaq stocks/aapl.us.txt"), stooqFile("AAPL.US", 300)},
    {QStringLiteral("data/daily/us/nyse stocks/brk-b.us.txt"), stooqFile("BRK-B.US", 200)},
    {QStringLiteral("data/daily/us/nyse stocks/zzzz.us.txt"), stooqFile("ZZZZ.US", 250)}};

// The import's source in form "zip", "cut" (the zip's first half), "folder",
// "file" (the second entry alone) or "foreign" (a file of another layout).
QString makeSource(const QTemporaryDir &dir, const QString &form)
{
    const QString zip = dir.filePath(QStringLiteral("d_us_txt.zip"));
    if (form == u"folder" || form == u"file") {
        for (const auto &[name, bytes] : kEntries) {
            QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
            writeFile(dir.filePath(name), bytes);
        }
        return form == u"file" ? dir.filePath(kEntries[1].first) : dir.filePath(QStringLiteral("data"));
    }
    if (form == u"foreign") {
        writeFile(dir.filePath(QStringLiteral("quotes.txt")),
                  "Date,Open,High,Low,Close,Volume\n2024-06-07,1,2,1,2,5\n");
        return dir.filePath(QStringLiteral("quotes.txt"));
    }
    writeZip(zip, kEntries);
    if (form == u"cut")
        writeFile(zip, fileBytes(zip).first(QFileInfo(zip).size() / 2));
    return zip;
}

} // namespace

class TestHistoryImport : public QObject
{
    Q_OBJECT

private slots:
    void import_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("all");
        QTest::addColumn<bool>("cancel");        // after the first file
        QTest::addColumn<QStringList>("stored"); // symbol:bars
        QTest::addColumn<int>("skipped");
        QTest::addColumn<QString>("failedEntry");
        const QString brk = kEntries[1].first;
        QTest::newRow("zip, listed") << "zip" << false << false << QStringList{"AAPL:300", "BRK.B:200"} << 1 << "";
        QTest::newRow("zip, all") << "zip" << true << false << QStringList{"AAPL:300", "BRK.B:200", "ZZZZ:250"} << 0
                                  << "";
        QTest::newRow("folder") << "folder" << false << false << QStringList{"AAPL:300", "BRK.B:200"} << 1 << "";
        QTest::newRow("one file") << "file" << false << false << QStringList{"BRK.B:200"} << 0 << "";
        QTest::newRow("cut zip") << "cut" << true << false << QStringList{"AAPL:300"} << 0 << brk;
        QTest::newRow("foreign") << "foreign" << true << false << QStringList{} << 0 << "quotes.txt";
        QTest::newRow("cancelled") << "zip" << true << true << QStringList{"AAPL:300"} << 0 << "";
    }

    void import()
    {
        QFETCH(QString, form);
        QFETCH(bool, all);
        QFETCH(bool, cancel);
        QFETCH(QStringList, stored);
        QFETCH(int, skipped);
        QFETCH(QString, failedEntry);
        QTemporaryDir dir;
        const QString storePath = dir.filePath(QStringLiteral("history.sqlite"));
        HistoryImport job(makeSource(dir, form), storePath);
        if (!all)
            job.setWanted({QStringLiteral("AAPL"), QStringLiteral("BRK.B"), QStringLiteral("MSFT")});
        QList<int> done;
        job.setProgressHandler([&](const HistoryImport::Progress &p) {
            done.append(p.filesDone);
            if (cancel)
                job.cancel();
        });
        const HistoryImport::Result result = job.run();
        QCOMPARE(result.ok, failedEntry.isEmpty() && !cancel);
        QCOMPARE(result.cancelled, cancel);
        QCOMPARE(result.failedEntry, failedEntry);
        QCOMPARE(result.error.isEmpty(), failedEntry.isEmpty());
        QCOMPARE(result.skipped, skipped);
        QCOMPARE(result.symbols, stored.size());
        QCOMPARE(done.size(), result.files);

        const auto store = HistoryStore::open(storePath, HistoryStore::Mode::ReadOnly);
        QVERIFY(store);
        QStringList found;
        for (const QString &symbol : store->symbols())
            found << QStringLiteral("%1:%2").arg(symbol).arg(store->bars(symbol).size());
        QCOMPARE(found, stored);
        QCOMPARE(store->barCount(), result.rows);
        if (!stored.isEmpty()) { // the first row as written: 2020-01-06, close 100
            const DailyBar first = store->bars(stored[0].section(u':', 0, 0)).front();
            QCOMPARE(first, (DailyBar{QDate(2020, 1, 6), 99.5f, 101.25f, 98.25f, 100.0f, 1000}));
        }
    }

    void tool_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("form");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed"); // on standard output, or error when the exit code is not 0
        QTest::newRow("all") << QStringList{"import", "--all"} << "zip" << 0
                             << "3 symbols, 750 rows imported from 3 files";
        QTest::newRow("cut") << QStringList{"import", "--all"} << "cut" << 1 << kEntries[1].first + ": cut or damaged";
        QTest::newRow("foreign store") << QStringList{"import", "--all"} << "zip" << 1 << "history.sqlite";
        QTest::newRow("no path") << QStringList{"import"} << "" << 2 << "usage: tarnvale-history import";
        QTest::newRow("all is for import") << QStringList{"sample", "--all"} << "" << 2 << "usage:";
    }

    void tool()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, form);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        QTemporaryDir dir;
        const QString storePath = dir.filePath(QStringLiteral("history.sqlite"));
        const QByteArray foreign = "not a history store\n";
        if (QTest::currentDataTag() == QByteArray("foreign store"))
            writeFile(storePath, foreign);
        if (!form.isEmpty())
            args << makeSource(dir, form);
        QProcess tool;
        tool.start(QStringLiteral(TARNVALE_BIN_DIR "/tarnvale-history"), args << "--history" << storePath);
        QVERIFY(tool.waitForFinished(60'000));
        QCOMPARE(tool.exitCode(), exitCode);
        const QString text =
            QString::fromUtf8(exitCode == 0 ? tool.readAllStandardOutput() : tool.readAllStandardError());
        QVERIFY2(text.contains(printed), qPrintable(text));
        if (QTest::currentDataTag() == QByteArray("foreign store"))
            QCOMPARE(fileBytes(storePath), foreign);
    }

    void sample_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<double>("last");
        QTest::addColumn<QDate>("lastDate");
        QTest::addColumn<QDate>("endsOn");
        QTest::newRow("on a Friday") << "AAPL" << 310.97 << QDate(2024, 6, 7) << QDate(2024, 6, 7);
        QTest::newRow("on a Sunday") << "BRK.B" << 2.5 << QDate(2024, 6, 9) << QDate(2024, 6, 7);
    }

    void sample()
    {
        QFETCH(QString, symbol);
        QFETCH(double, last);
        QFETCH(QDate, lastDate);
        QFETCH(QDate, endsOn);
        const BarSeries bars = sampleHistory(symbol.toLatin1(), last, 50'000, lastDate, 252);
        QCOMPARE(bars.size(), size_t(252));
        QCOMPARE(bars.back().date, endsOn);
        QCOMPARE(bars.back().close, float(last));
        QCOMPARE(bars, sampleHistory(symbol.toLatin1(), last, 50'000, lastDate, 252));
        QVERIFY(bars != sampleHistory("OTHER", last, 50'000, lastDate, 252));
        for (size_t i = 0; i < bars.size(); ++i) {
            const DailyBar &b = bars[i];
            QVERIFY(b.date.dayOfWeek() <= 5 && (i == 0 || bars[i - 1].date < b.date));
            QVERIFY(b.low > 0 && b.low <= qMin(b.open, b.close) && b.high >= qMax(b.open, b.close));
            QVERIFY(b.volume > 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestHistoryImport)
#include "tst_historyimport.moc"
