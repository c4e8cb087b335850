#include "quotes/QuoteLine.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QuoteLine msft()
{
    QuoteLine q;
    q.symbol = "MSFT";
    q.last = 27.5;
    q.date = QDate(2004, 6, 4);
    q.time = QTime(16, 0);
    q.change = 0.12;
    q.open = 27.4;
    q.high = 27.6;
    q.low = 27.3;
    q.volume = 1234567;
    return q;
}

const QByteArray kHeader = "symbol,last,date,time,change,open,high,low,volume\n";

} // namespace

Q_DECLARE_METATYPE(QuoteLine)

char *toString(const QuoteLine &quote)
{
    return QTest::toString(quote.format());
}

class TestQuoteLine : public QObject
{
    Q_OBJECT

private slots:
    void formatsTheClassicLine_data()
    {
        QTest::addColumn<QuoteLine>("quote");
        QTest::addColumn<QByteArray>("line");

        QTest::newRow("complete") << msft() << QByteArray(R"("MSFT",27.50,"6/4/2004","4:00pm",+0.12,27.40,27.60,27.30,1234567)");

        QuoteLine q = msft();
        q.change = -1.5;
        q.time = QTime(9, 5);
        q.date = QDate(2024, 12, 31);
        QTest::newRow("fall, morning, two-digit month")
            << q << QByteArray(R"("MSFT",27.50,"12/31/2024","9:05am",-1.50,27.40,27.60,27.30,1234567)");

        q = msft();
        q.change = 0.0;
        q.time = QTime(0, 0);
        QTest::newRow("no change, midnight") << q << QByteArray(R"("MSFT",27.50,"6/4/2004","12:00am",0.00,27.40,27.60,27.30,1234567)");

        q = msft();
        q.change = -0.00001; // rounds to nothing: no sign
        q.time = QTime(12, 30);
        QTest::newRow("tiny change, noon") << q << QByteArray(R"("MSFT",27.50,"6/4/2004","12:30pm",0.00,27.40,27.60,27.30,1234567)");

        q = msft();
        q.last = 0.0123;
        q.open = 0.015;
        q.high = 1234.5;
        q.low = 0.12346; // beyond four decimals: rounded to four
        q.change = -0.001;
        QTest::newRow("penny prices") << q << QByteArray(R"("MSFT",0.0123,"6/4/2004","4:00pm",-0.001,0.015,1234.50,0.1235,1234567)");

        q = msft();
        q.date = QDate();
        q.time = QTime();
        q.change.reset();
        q.open.reset();
        q.high.reset();
        q.low.reset();
        q.volume.reset();
        QTest::newRow("only the last trade") << q << QByteArray(R"("MSFT",27.50,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");

        q = msft();
        q.volume = 0;
        q.symbol = "BRK.B";
        QTest::newRow("dotted symbol, no volume yet") << q << QByteArray(R"("BRK.B",27.50,"6/4/2004","4:00pm",+0.12,27.40,27.60,27.30,0)");
    }

    void formatsTheClassicLine()
    {
        QFETCH(QuoteLine, quote);
        QFETCH(QByteArray, line);
        QCOMPARE(quote.format(), line);
    }

    void unknownSymbolGetsNotAvailable_data()
    {
        QTest::addColumn<QByteArray>("symbol");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << QByteArray("ZZZZ") << QByteArray(R"("ZZZZ",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
        QTest::newRow("keeps case") << QByteArray("zzZ") << QByteArray(R"("zzZ",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
        // Whatever a request asked for, the line keeps its nine fields and stays one line.
        QTest::newRow("line break") << QByteArray("X\r\nY") << QByteArray(R"("X%0D%0AY",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
        QTest::newRow("comma and quote") << QByteArray("A,\"B") << QByteArray(R"("A%2C%22B",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
        QTest::newRow("blank, percent, non-ASCII") << QByteArray("A %\xC3\xA9") << QByteArray(R"("A%20%25%C3%A9",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
        QTest::newRow("punctuation kept") << QByteArray("^DJI=X&-_~") << QByteArray(R"("^DJI=X&-_~",0.00,"N/A","N/A",N/A,N/A,N/A,N/A,N/A)");
    }

    void unknownSymbolGetsNotAvailable()
    {
        QFETCH(QByteArray, symbol);
        QFETCH(QByteArray, line);
        QCOMPARE(QuoteLine::unknown(symbol), line);
        QCOMPARE(QuoteLine::unknown(symbol).split(',').size(), 9);
    }

    void readsASnapshot()
    {
        const QByteArray text = "\xEF\xBB\xBF# sample data\r\n"
                                "\r\n"
                                "  Symbol , Last,DATE,time,change,open,high,low,volume\r\n"
                                "MSFT,27.50,2004-06-04,16:00,+0.12,27.40,27.60,27.30,1234567\r\n"
                                "   # an indented comment\n"
                                "\"ibm\", \"88.1\" ,N/A,,-0.5,n/a,,N/A,\n"
                                "GE,5,2024-01-02,09:30,0,5,5,5,0"; // no line end at the end
        QStringList warnings;
        QString error;
        const std::optional<QuoteSnapshot> snapshot = parseQuoteSnapshot(text, &warnings, &error);
        QVERIFY2(snapshot, qPrintable(error));
        QCOMPARE(warnings, QStringList());
        QCOMPARE(snapshot->size(), 3);
        QCOMPARE(snapshot->value("MSFT"), msft());

        const QuoteLine ibm = snapshot->value("IBM");
        QCOMPARE(ibm.symbol, QByteArray("ibm"));
        QCOMPARE(ibm.format(), QByteArray(R"("ibm",88.10,"N/A","N/A",-0.50,N/A,N/A,N/A,N/A)"));
        QCOMPARE(snapshot->value("GE").format(), QByteArray(R"("GE",5.00,"1/2/2024","9:30am",0.00,5.00,5.00,5.00,0)"));
    }

    void badRowsAreLeftOutWithTheirLine_data()
    {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QString>("warning");
        QTest::newRow("too few fields") << QByteArray("MSFT,1,N/A,N/A,N/A,N/A,N/A,N/A") << "line 3: 8 fields instead of 9";
        QTest::newRow("too many fields") << QByteArray("MSFT,1,N/A,N/A,N/A,N/A,N/A,N/A,1,2") << "line 3: 10 fields instead of 9";
        QTest::newRow("no symbol") << QByteArray(",1,N/A,N/A,N/A,N/A,N/A,N/A,N/A") << "line 3: the symbol is empty";
        QTest::newRow("blank in symbol") << QByteArray("MS FT,1,N/A,N/A,N/A,N/A,N/A,N/A,N/A")
                                         << "line 3: the symbol may hold printable ASCII characters only, no blanks";
        QTest::newRow("long symbol") << QByteArray(QByteArray(33, 'A') + ",1,N/A,N/A,N/A,N/A,N/A,N/A,N/A")
                                     << "line 3: the symbol is longer than 32 characters";
        QTest::newRow("last missing") << QByteArray("MSFT,N/A,N/A,N/A,N/A,N/A,N/A,N/A,N/A") << "line 3: last: a value is required";
        QTest::newRow("last not a number") << QByteArray("MSFT,1x,N/A,N/A,N/A,N/A,N/A,N/A,N/A") << "line 3: last: \"1x\" is not a number";
        QTest::newRow("last in exponent form") << QByteArray("MSFT,1e3,N/A,N/A,N/A,N/A,N/A,N/A,N/A") << "line 3: last: \"1e3\" is not a number";
        QTest::newRow("last negative") << QByteArray("MSFT,-1,N/A,N/A,N/A,N/A,N/A,N/A,N/A") << "line 3: last: -1 is negative";
        QTest::newRow("last too large") << QByteArray("MSFT,1000000000,N/A,N/A,N/A,N/A,N/A,N/A,N/A")
                                        << "line 3: last: 1000000000 is too large";
        QTest::newRow("decimal comma") << QByteArray("MSFT,1,N/A,N/A,N/A,\"2,5\",N/A,N/A,N/A") << "line 3: 10 fields instead of 9";
        QTest::newRow("bad date") << QByteArray("MSFT,1,6/4/2004,N/A,N/A,N/A,N/A,N/A,N/A") << "line 3: date: \"6/4/2004\" is not yyyy-MM-dd";
        QTest::newRow("bad time") << QByteArray("MSFT,1,N/A,4:00pm,N/A,N/A,N/A,N/A,N/A") << "line 3: time: \"4:00pm\" is not HH:mm";
        QTest::newRow("change not a number") << QByteArray("MSFT,1,N/A,N/A,up,N/A,N/A,N/A,N/A") << "line 3: change: \"up\" is not a number";
        QTest::newRow("negative low") << QByteArray("MSFT,1,N/A,N/A,N/A,N/A,N/A,-2,N/A") << "line 3: low: -2 is negative";
        QTest::newRow("fractional volume") << QByteArray("MSFT,1,N/A,N/A,N/A,N/A,N/A,N/A,1.5")
                                           << "line 3: volume: \"1.5\" is not a whole number from 0 to 10^15";
        QTest::newRow("negative volume") << QByteArray("MSFT,1,N/A,N/A,N/A,N/A,N/A,N/A,-5")
                                         << "line 3: volume: \"-5\" is not a whole number from 0 to 10^15";
    }

    void badRowsAreLeftOutWithTheirLine()
    {
        QFETCH(QByteArray, row);
        QFETCH(QString, warning);
        const QByteArray text = "# comment\n" + kHeader + row + "\nGOOD,2,N/A,N/A,N/A,N/A,N/A,N/A,N/A\n";
        QStringList warnings;
        const std::optional<QuoteSnapshot> snapshot = parseQuoteSnapshot(text, &warnings);
        QVERIFY(snapshot);
        QCOMPARE(warnings, QStringList{warning});
        QCOMPARE(snapshot->keys(), QList<QByteArray>{"GOOD"});
    }

    void laterRowForASymbolWins()
    {
        const QByteArray text = kHeader + "MSFT,1,N/A,N/A,N/A,N/A,N/A,N/A,N/A\nmsft,2,N/A,N/A,N/A,N/A,N/A,N/A,N/A\n";
        QStringList warnings;
        const std::optional<QuoteSnapshot> snapshot = parseQuoteSnapshot(text, &warnings);
        QVERIFY(snapshot);
        QCOMPARE(snapshot->size(), 1);
        QCOMPARE(snapshot->value("MSFT").last, 2.0);
        QCOMPARE(warnings, QStringList{QStringLiteral("line 3: msft is listed again; this row counts")});
    }

    void snapshotWithoutHeaderIsRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray() << R"(the header "symbol,last,date,time,change,open,high,low,volume" is missing)";
        QTest::newRow("comments only") << QByteArray("# nothing\n\n") << R"(the header "symbol,last,date,time,change,open,high,low,volume" is missing)";
        // A symbol list or a classic reply line is not a snapshot.
        QTest::newRow("symbol list") << QByteArray("# NASDAQ\nAAPL\nMSFT\n")
                                     << R"(line 2: the header "symbol,last,date,time,change,open,high,low,volume" is missing)";
        QTest::newRow("columns reordered") << QByteArray("symbol,date,last,time,change,open,high,low,volume\n")
                                           << R"(line 1: the header "symbol,last,date,time,change,open,high,low,volume" is missing)";
    }

    void snapshotWithoutHeaderIsRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QString why;
        QVERIFY(!parseQuoteSnapshot(text, nullptr, &why));
        QCOMPARE(why, error);
    }

    void rowsReadBackAsWritten()
    {
        QuoteLine partial = msft();
        partial.symbol = "X-Y";
        partial.last = 0.0123;
        partial.change = -0.0042;
        partial.date = {};
        partial.high.reset();
        partial.volume.reset();
        QuoteLine flat = msft();
        flat.symbol = "FLAT";
        flat.change = 0.0;

        const QByteArray text = quoteSnapshotHeader() + '\n' + quoteSnapshotRow(msft()) + '\n'
                                + quoteSnapshotRow(partial) + '\n' + quoteSnapshotRow(flat) + '\n';
        QCOMPARE(quoteSnapshotRow(msft()), QByteArray("MSFT,27.50,2004-06-04,16:00,+0.12,27.40,27.60,27.30,1234567"));
        QStringList warnings;
        const std::optional<QuoteSnapshot> snapshot = parseQuoteSnapshot(text, &warnings);
        QVERIFY(snapshot);
        QCOMPARE(warnings, QStringList());
        QCOMPARE(snapshot->value("MSFT"), msft());
        QCOMPARE(snapshot->value("X-Y"), partial);
        QCOMPARE(snapshot->value("FLAT"), flat);
    }

    void readsASnapshotFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("quotes.csv"));
        QString error;
        QVERIFY(!readQuoteSnapshot(path, nullptr, &error));
        QVERIFY(!error.isEmpty());

        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kHeader + "MSFT,27.50,2004-06-04,16:00,+0.12,27.40,27.60,27.30,1234567\n");
        file.close();
        const std::optional<QuoteSnapshot> snapshot = readQuoteSnapshot(path, nullptr, &error);
        QVERIFY2(snapshot, qPrintable(error));
        QCOMPARE(snapshot->value("MSFT"), msft());
    }

    void lookupKeyIgnoresCase()
    {
        QCOMPARE(quoteSymbolKey("brk.b"), QByteArray("BRK.B"));
        QCOMPARE(quoteSymbolKey("MsFt"), quoteSymbolKey("msft"));
        QVERIFY(quoteSymbolKey("MSFT") != quoteSymbolKey("MSFT "));
    }
};

QTEST_GUILESS_MAIN(TestQuoteLine)
#include "tst_quoteline.moc"
