#include "common/MainWindowTest.h"
#include "common/StooqArchive.h"
#include "common/TestFiles.h"

#include "history/HistoryStore.h"

class TestImportHistory : public MainWindowTest
{
    Q_OBJECT

private slots:
    void import_data()
    {
        QTest::addColumn<QStringList>("choices");    // answers to "from what", then the file question
        QTest::addColumn<QByteArray>("storeBefore"); // empty: no store yet
        QTest::addColumn<QString>("told");           // empty: nothing
        QTest::addColumn<QStringList>("stored");
        const QString file = QStringLiteral("The downloaded archive (.zip) or one of its files (.txt)");
        QTest::newRow("imported") << QStringList{file, "d_us_txt.zip"} << QByteArray()
                                  << "The history was imported: 1 symbol with 300 rows from 2 files. Left out, not in "
                                     "the market files: 1 symbol."
                                  << QStringList{"AAPL"};
        QTest::newRow("foreign store") << QStringList{file, "d_us_txt.zip"} << QByteArray("not a history store\n")
                                       << "history.sqlite" << QStringList{};
        QTest::newRow("question cancelled") << QStringList{file} << QByteArray() << "" << QStringList{};
    }

    void import()
    {
        QFETCH(QStringList, choices);
        QFETCH(QByteArray, storeBefore);
        QFETCH(QString, told);
        QFETCH(QStringList, stored);
        QVERIFY(setUpMarket(marketOf({"MSFT", "AAPL"})));
        const QString storePath = m_dir->filePath(QStringLiteral("history.sqlite"));
        QVERIFY(storeBefore.isEmpty() || writeFile(storePath, storeBefore));
        QVERIFY(writeZip(m_dir->filePath(QStringLiteral("d_us_txt.zip")),
                         {{QStringLiteral("aapl.us.txt"), stooqFile("AAPL.US", 300)},
                          {QStringLiteral("zzzz.us.txt"), stooqFile("ZZZZ.US", 20)}}));
        QVERIFY(showWindow());
        m_prompter->chooseAnswers = choices.mid(0, 1);
        m_prompter->openAnswers = choices.mid(1).replaceInStrings(QRegularExpression("^"), m_dir->path() + u'/');
        trigger("mnuMarket_ImportHistory");
        if (told.isEmpty()) {
            QVERIFY(m_prompter->messages.isEmpty());
            QVERIFY(!QFileInfo::exists(storePath));
            return;
        }
        QTRY_COMPARE(m_prompter->messages.size(), 1);
        QVERIFY2(m_prompter->lastText().contains(told), qPrintable(m_prompter->lastText()));
        if (!storeBefore.isEmpty())
            QCOMPARE(fileBytes(storePath), storeBefore);
        else
            QCOMPARE(HistoryStore::open(storePath, HistoryStore::Mode::ReadOnly)->symbols(), stored);
    }
};

QTEST_MAIN(TestImportHistory)
#include "tst_importhistory.moc"
