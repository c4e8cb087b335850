#include "screen/Screening.h"

#include <QTest>

#include <limits>

namespace {

enum Crit { Last, Spread, Open, Change, Volume, High, Low };

StockRecord stock(const char *symbol, float last = 0, double volume = 0, float high = 0)
{
    StockRecord s;
    s.Symbol = QString::fromLatin1(symbol);
    s.Last = last;
    s.Volume = volume;
    s.High = high;
    return s;
}

MarketDatabase market(const QList<StockRecord> &stocks)
{
    MarketDatabase db;
    db.Stocks = stocks;
    db.Stocks.append(StockRecord{});
    return db;
}

CriteriaBoxes tick(Crit c, const char *start, const char *end, CriteriaBoxes boxes = {})
{
    boxes[size_t(c)] = {true, QString::fromLatin1(start), QString::fromLatin1(end)};
    return boxes;
}

QList<int> screen(const MarketDatabase &db, const CriteriaBoxes &boxes)
{
    const std::optional<ScreenBounds> bounds = readScreenBounds(boxes);
    return bounds ? matchStocks(db, *bounds) : QList<int>{-1};
}

} // namespace

class TestScreening : public QObject
{
    Q_OBJECT

private slots:
    void criteriaTableOrderAndBoxes()
    {
        QStringList captions;
        for (const Criterion &c : kCriteria)
            captions << QString::fromLatin1(c.caption);
        QCOMPARE(captions, (QStringList{"Last", "Spread", "Open", "Change", "Volume", "High", "Low"}));
        QCOMPARE(QString::fromLatin1(kCriteria[Volume].startBox), QStringLiteral("txtVolumeS"));
        QVERIFY(kCriteria[Volume].doubleBounds);
        QVERIFY(!kCriteria[Change].doubleBounds);
        StockRecord s;
        s.Last = 1, s.Spread = 2, s.Open = 3, s.Change = 4, s.Volume = 5, s.High = 6, s.Low = 7;
        for (size_t i = 0; i < kCriteria.size(); ++i)
            QCOMPARE(kCriteria[i].field(s), double(i + 1));
    }

    // Bounds typed as the stored single-precision value compare equal to it.
    void boundsAreInclusive()
    {
        const MarketDatabase db = market({stock("AT_START", 0.10f), stock("AT_END", 0.50f), stock("BELOW", 0.09f),
                                          stock("ABOVE", 0.51f), stock("INSIDE", 0.3f),
                                          stock("JUST_ABOVE", std::nextafter(0.50f, 1.0f))});
        QCOMPARE(screen(db, tick(Last, "0.10", "0.50")), (QList<int>{0, 1, 4}));
    }

    void volumeIsComparedInDoublePrecision()
    {
        const MarketDatabase db = market({stock("TOP", 0, 1000000), stock("OVER", 0, 1000001),
                                          stock("BOTTOM", 0, 50000), stock("UNDER", 0, 49999),
                                          stock("BIG_OVER", 0, 16777217)});
        QCOMPARE(screen(db, tick(Volume, "50000", "1000000")), (QList<int>{0, 2}));
        // 16777217 is not a float: a single-precision bound would let it in.
        QCOMPARE(screen(db, tick(Volume, "16777218", "16777218")), QList<int>{});
        QCOMPARE(screen(db, tick(Volume, "16777217", "16777217")), QList<int>{4});
    }

    void onlyTickedCriteriaCount()
    {
        // "High" alone: the volume and last price do not matter.
        const MarketDatabase db =
            market({stock("A", 9, 0, 0.2f), stock("B", 0, 9e9, 0.5f), stock("C", 0.3f, 60000, 0.6f)});
        QCOMPARE(screen(db, tick(High, "0.10", "0.50")), (QList<int>{0, 1}));
    }

    void everyTickedCriterionMustPass()
    {
        const MarketDatabase db =
            market({stock("BOTH", 0.2f, 60000), stock("LAST_ONLY", 0.2f, 10), stock("VOL_ONLY", 5, 60000)});
        const CriteriaBoxes boxes = tick(Volume, "50000", "1000000", tick(Last, "0.10", "0.50"));
        QCOMPARE(screen(db, boxes), QList<int>{0});
    }

    void nothingTickedListsNothing()
    {
        const MarketDatabase db = market({stock("A", 0.2f), stock("B")});
        QCOMPARE(screen(db, CriteriaBoxes{}), QList<int>{});
        QCOMPARE(allStocks(db), (QList<int>{0, 1}));
    }

    void invertedRangeListsNothing()
    {
        const MarketDatabase db = market({stock("A", 3), stock("B", 5), stock("C", 1)});
        QCOMPARE(screen(db, tick(Last, "5", "1")), QList<int>{});
    }

    void notANumberNeverPasses()
    {
        const MarketDatabase db = market({stock("NAN", std::numeric_limits<float>::quiet_NaN()), stock("OK", 1)});
        QCOMPARE(screen(db, tick(Last, "0", "1000")), QList<int>{1});
    }

    void emptyMarket()
    {
        const MarketDatabase db;
        QCOMPARE(allStocks(db), QList<int>{});
        QCOMPARE(screen(db, tick(Last, "0", "1")), QList<int>{});
        QCOMPARE(quickSearch(db, QStringLiteral("MSFT")), QList<int>{});
    }

    // The spare record after the listed stocks is never looked at.
    void walksStopBeforeTheSpare()
    {
        MarketDatabase db = market({stock("A", 1)});
        db.Stocks.last().Last = 1;
        db.Stocks.last().Symbol = QStringLiteral("A");
        QCOMPARE(screen(db, tick(Last, "0", "2")), QList<int>{0});
        QCOMPARE(quickSearch(db, QStringLiteral("A")), QList<int>{0});
        QCOMPARE(allStocks(db), QList<int>{0});
    }

    void boxesThatHoldNoNumber_data()
    {
        QTest::addColumn<int>("criterion");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("empty start") << int(Last) << QString() << QStringLiteral("0.50");
        QTest::newRow("empty end") << int(Spread) << QStringLiteral("0.01") << QString();
        QTest::newRow("lone point") << int(Open) << QStringLiteral(".") << QStringLiteral("1");
        QTest::newRow("two points") << int(Change) << QStringLiteral("1.2.3") << QStringLiteral("5");
        QTest::newRow("beyond single precision") << int(High) << QStringLiteral("0")
                                                 << QStringLiteral("1") + QString(39, u'0');
        QTest::newRow("beyond double precision") << int(Volume) << QStringLiteral("0") << QString(400, u'9');
        QTest::newRow("low") << int(Low) << QStringLiteral("x") << QStringLiteral("1");
    }

    void boxesThatHoldNoNumber()
    {
        QFETCH(int, criterion);
        QFETCH(QString, start);
        QFETCH(QString, end);
        CriteriaBoxes boxes = tick(Last, "0.10", "0.50");
        if (criterion != Last)
            boxes = tick(Crit(criterion), "0", "1", boxes);
        boxes[size_t(criterion)].start = start;
        boxes[size_t(criterion)].end = end;
        int bad = -1;
        QVERIFY(!readScreenBounds(boxes, &bad));
        QCOMPARE(bad, criterion);
        const QString message = badBoundsMessage(kCriteria[size_t(bad)]);
        QVERIFY(message.contains(u'"' + QString::fromLatin1(kCriteria[size_t(criterion)].caption) + u'"'));
        QVERIFY(message.contains(QStringLiteral("number")));
    }

    void firstBadCriterionIsNamedAndUntickedBoxesAreIgnored()
    {
        CriteriaBoxes boxes;
        boxes[Spread] = {false, QStringLiteral("."), QString()}; // not ticked: never read
        boxes[Volume] = {true, QString(), QStringLiteral("1")};
        boxes[Low] = {true, QStringLiteral("."), QStringLiteral("1")};
        int bad = -1;
        QVERIFY(!readScreenBounds(boxes, &bad));
        QCOMPARE(bad, int(Volume));
        boxes[Volume].start = QStringLiteral("0");
        boxes[Low].start = QStringLiteral("0");
        QVERIFY(readScreenBounds(boxes));
    }

    void singleBoundsAreRoundedToSinglePrecision()
    {
        const std::optional<ScreenBounds> b = readScreenBounds(tick(Volume, "0.1", "0.2", tick(Last, "0.1", "0.2")));
        QVERIFY(b);
        QCOMPARE((*b)[Last].start, double(0.1f));
        QCOMPARE((*b)[Volume].start, 0.1);
        QVERIFY(!(*b)[Open].ticked);
    }

    // With a comma locale the boxes still read "." as the decimal point.
    void boxesReadTheSameInACommaLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const MarketDatabase db = market({stock("TENTH", 0.1f), stock("TEN", 10)});
        const QList<int> rows = screen(db, tick(Last, "0.10", "0.50"));
        QLocale::setDefault(before);
        QCOMPARE(rows, QList<int>{0});
    }

    void quickSearchComparesLowerCaseExactly_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("capitals") << QStringLiteral("MSFT") << QList<int>{0, 1, 4};
        QTest::newRow("lower case") << QStringLiteral("msft") << QList<int>{0, 1, 4};
        QTest::newRow("no prefix match") << QStringLiteral("MSF") << QList<int>{};
        QTest::newRow("longer symbol") << QStringLiteral("MSFTX") << QList<int>{2};
        QTest::newRow("no trimming") << QStringLiteral(" MSFT") << QList<int>{3};
        QTest::newRow("nothing typed") << QString() << QList<int>{};
    }

    void quickSearchComparesLowerCaseExactly()
    {
        QFETCH(QString, typed);
        QFETCH(QList<int>, expected);
        const MarketDatabase db =
            market({stock("MSFT"), stock("msft"), stock("MSFTX"), stock(" MSFT"), stock("MsFt"), stock("IBM")});
        QCOMPARE(quickSearch(db, typed), expected);
        QVERIFY(quickSearchMatches(QStringLiteral("MsFt"), QStringLiteral("mSfT")));
        QVERIFY(!quickSearchMatches(QStringLiteral("MSFT "), QStringLiteral("MSFT")));
    }
};

QTEST_GUILESS_MAIN(TestScreening)
#include "tst_screening.moc"
