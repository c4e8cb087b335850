#include "common/TestFiles.h"
#include "history/HistoryStore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using Mode = HistoryStore::Mode;

namespace {

// count weekday sessions from start, the close rising by a quarter a day.
BarSeries series(QDate start, int count, float base = 10)
{
    BarSeries bars;
    for (QDate d = start; int(bars.size()) < count; d = d.addDays(1)) {
        const float c = base + float(bars.size()) / 4;
        if (d.dayOfWeek() <= 5)
            bars.push_back({d, c - 0.125f, c + 0.5f, c - 0.5f, c, 1000 + qint64(bars.size())});
    }
    return bars;
}

// Statements run on a connection of its own, as another program would.
void runSql(const QString &path, const QStringList &statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (const QString &s : statements)
            QVERIFY2(q.exec(s), qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

void compareRows(const TechnicalRow &stored, const TechnicalRow &expected)
{
    QCOMPARE(stored.symbol, expected.symbol);
    QCOMPARE(stored.date, expected.date);
    QCOMPARE(stored.sessions, expected.sessions);
    for (int i = 0; i < kTechnicalCount; ++i)
        QCOMPARE(stored.values[size_t(i)], expected.values[size_t(i)]);
}

} // namespace

class TestHistoryStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    std::unique_ptr<HistoryStore> store(Mode mode = Mode::ReadWrite)
    {
        QString error;
        auto s = HistoryStore::open(m_path, mode, &error);
        [&] { QVERIFY2(s, qPrintable(error)); }();
        return s;
    }

private slots:
    void init()
    {
        const QString dir = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u'-'
                                           + QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(dir));
        m_path = historyStorePath(dir);
    }

    void refusesForeignFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("why");
        QTest::newRow("garbage") << "garbage" << Mode::ReadWrite << "damaged";
        QTest::newRow("other program") << "other" << Mode::ReadWrite << "another program";
        QTest::newRow("newer, writing") << "newer" << Mode::ReadWrite << "newer";
        QTest::newRow("newer, reading") << "newer" << Mode::ReadOnly << "newer";
        QTest::newRow("missing") << "missing" << Mode::ReadOnly << "no history store";
    }
    void refusesForeignFiles()
    {
        QFETCH(QString, file);
        QFETCH(Mode, mode);
        QFETCH(QString, why);
        if (file == u"garbage")
            QVERIFY(writeFile(m_path, QByteArray(4096, 'x')));
        if (file == u"other")
            runSql(m_path, {QStringLiteral("CREATE TABLE t(x)")});
        if (file == u"newer") {
            store().reset();
            runSql(m_path, {QStringLiteral("UPDATE meta SET value = '2' WHERE key = 'version'")});
        }
        const QByteArray before = fileBytes(m_path);
        QString error;
        QVERIFY(!HistoryStore::open(m_path, mode, &error));
        QVERIFY2(error.contains(m_path) && error.contains(why), qPrintable(error));
        QCOMPARE(fileBytes(m_path), before);
        QCOMPARE(QFile::exists(m_path), file != u"missing");
    }

    void mergesAndCounts_data()
    {
        QTest::addColumn<BarSeries>("first");
        QTest::addColumn<BarSeries>("second");
        QTest::addColumn<QDate>("from");
        const QDate jan2(2024, 1, 2);
        BarSeries bad = series(jan2, 3, 99);
        bad[0].close = std::numeric_limits<float>::quiet_NaN();
        bad[1].date = QDate();
        bad[2].open = 0;
        QTest::newRow("a date replaced") << series(jan2, 5) << BarSeries{series(jan2.addDays(2), 1, 50)} << QDate();
        BarSeries late = series(QDate(2023, 12, 27), 4, 60);
        std::reverse(late.begin(), late.end());
        QTest::newRow("across a new year") << series(QDate(2023, 12, 20), 10) << late << QDate();
        QTest::newRow("from a date") << series(QDate(2022, 12, 1), 60) << BarSeries() << QDate(2023, 1, 5);
        QTest::newRow("invalid bars") << series(jan2.addDays(7), 2) << bad << QDate();
        QTest::newRow("long history") << series(QDate(2020, 1, 1), 700) << series(QDate(2022, 9, 1), 3, 70) << QDate();
    }
    void mergesAndCounts()
    {
        QFETCH(BarSeries, first);
        QFETCH(BarSeries, second);
        QFETCH(QDate, from);
        std::map<QDate, DailyBar> model;
        for (const BarSeries *given : {&first, &second}) {
            for (const DailyBar &b : *given) {
                if (b.date.isValid() && b.open > 0 && b.close > 0)
                    model[b.date] = b;
            }
        }
        BarSeries all, fromDate;
        for (const auto &[date, bar] : model) {
            all.push_back(bar);
            if (!from.isValid() || date >= from)
                fromDate.push_back(bar);
        }
        auto s = store();
        const QString sym = QStringLiteral("ABC");
        QVERIFY(s->addBars({{sym, first}}));
        QVERIFY(
            s->addBars({{sym, second}, {QStringLiteral("ZZZ"), series(from.isValid() ? from : all.back().date, 1)}}));
        QCOMPARE(s->bars(sym, from), fromDate);
        QCOMPARE(s->barCount(), qint64(all.size()) + 1);
        QCOMPARE(s->oldestDate(), all.front().date);
        QCOMPARE(s->symbols(), (QStringList{sym, QStringLiteral("ZZZ")}));
        TechnicalRow expected = computeTechnicals(
            sym, BarSeries(all.end() - std::min<qsizetype>(all.size(), kTechnicalSessions), all.end()));
        expected.sessions = int(all.size());
        compareRows(s->technicals(sym).value_or(TechnicalRow()), expected);
    }

    void failureLeavesStoreAsItWas_data()
    {
        QTest::addColumn<QString>("refused");
        QTest::newRow("a stored symbol") << QStringLiteral("AAA");
        QTest::newRow("a new symbol") << QStringLiteral("CCC");
    }
    void failureLeavesStoreAsItWas()
    {
        QFETCH(QString, refused);
        auto s = store();
        const QDate day(2024, 3, 1);
        QVERIFY(s->addBars({{QStringLiteral("AAA"), series(day, 30)}, {QStringLiteral("BBB"), series(day, 40)}}));
        const auto technicals = s->technicals();
        runSql(m_path, {QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON technicals WHEN NEW.symbol = '%1'"
                                       " BEGIN SELECT RAISE(ABORT, 'refused'); END")
                            .arg(refused)});
        QString error;
        QVERIFY(!s->addBars({{QStringLiteral("AAA"), series(day.addDays(60), 1)},
                             {QStringLiteral("BBB"), series(day.addDays(60), 1)},
                             {QStringLiteral("CCC"), series(day, 5)}},
                            &error));
        QVERIFY2(error.contains(m_path) && error.contains(u"refused"), qPrintable(error));
        QCOMPARE(s->bars(QStringLiteral("AAA")), series(day, 30));
        QCOMPARE(s->barCount(), 70);
        QCOMPARE(s->symbols(), (QStringList{QStringLiteral("AAA"), QStringLiteral("BBB")}));
        QCOMPARE(s->technicals().size(), technicals.size());
        compareRows(s->technicals().back(), technicals.back());
    }

    void readerSeesWriter()
    {
        auto writer = store();
        auto reader = store(Mode::ReadOnly);
        QVERIFY(reader->bars(QStringLiteral("AAA")).empty());
        QVERIFY(writer->addBars({{QStringLiteral("AAA"), series(QDate(2024, 5, 6), 3)}}));
        QVERIFY(writer->setState(QStringLiteral("backfill"), QStringLiteral("2024-05-08")));
        QVERIFY(QFile::exists(m_path + QStringLiteral("-wal")));
        QCOMPARE(reader->bars(QStringLiteral("AAA")), series(QDate(2024, 5, 6), 3));
        QCOMPARE(reader->newestDate(), QDate(2024, 5, 8));
        QCOMPARE(reader->state(QStringLiteral("backfill")), QStringLiteral("2024-05-08"));
        QVERIFY(!reader->addBars({{QStringLiteral("AAA"), series(QDate(2024, 5, 9), 1)}}));
    }
};

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_historystore.moc"
