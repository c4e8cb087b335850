#include "quotes/QuoteReply.h"

#include <QLocale>
#include <QTest>

#include <limits>

Q_DECLARE_METATYPE(ReplyFault)

namespace {

const QByteArray kHeaders = "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\n\r\n";

QByteArray body(const QList<QByteArray> &fields)
{
    QByteArray b;
    for (qsizetype i = 0; i < fields.size(); ++i)
        b += (i ? "," : "") + fields[i];
    return b + "\r\n";
}

// The classic line with some fields replaced.
QByteArray classic(QHash<int, QByteArray> replaced = {})
{
    QList<QByteArray> f{"\"MSFT\"", "27.50", "\"6/4/2004\"", "\"4:00pm\"", "+0.12",
                        "27.40",    "27.60", "27.30",        "1234567"};
    for (auto it = replaced.cbegin(); it != replaced.cend(); ++it)
        f[it.key()] = it.value();
    return kHeaders + body(f);
}

} // namespace

// Taking a quote reply apart, rule by rule.
class TestQuoteReply : public QObject
{
    Q_OBJECT

private slots:
    void findTextNoCase_data()
    {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<QString>("haystack");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("position");
        const QString at40 = QString(39, u'x') + QStringLiteral("Proxy Error here");
        QTest::newRow("any case, 1-based") << QStringLiteral("proxy error") << at40 << 1 << 40;
        QTest::newRow("start at the match") << QStringLiteral("PROXY ERROR") << at40 << 40 << 40;
        QTest::newRow("start past the match") << QStringLiteral("proxy error") << at40 << 41 << 0;
        QTest::newRow("absent") << QStringLiteral("proxy error") << QStringLiteral("all fine") << 1 << 0;
        QTest::newRow("cut off at the end") << QStringLiteral("abc") << QStringLiteral("xxab") << 1 << 0;
        QTest::newRow("at the very end") << QStringLiteral("ab") << QStringLiteral("xxAB") << 1 << 3;
        QTest::newRow("empty needle") << QString() << QStringLiteral("abc") << 2 << 2;
        QTest::newRow("empty needle at the length") << QString() << QStringLiteral("abc") << 3 << 3;
        QTest::newRow("empty needle past the end") << QString() << QStringLiteral("abc") << 4 << 0;
        QTest::newRow("start below 1") << QStringLiteral("a") << QStringLiteral("abc") << 0 << 1;
        QTest::newRow("header end") << QStringLiteral("\r\n\r\n") << QStringLiteral("HTTP/1.0 200\r\n\r\nx") << 1
                                    << 13;
        // Positions beyond 32,767 are reported, not lost.
        QTest::newRow("far match") << QStringLiteral("end") << QString(40000, u'-') + QStringLiteral("END") << 1
                                   << 40001;
    }

    void findTextNoCase()
    {
        QFETCH(QString, needle);
        QFETCH(QString, haystack);
        QFETCH(int, start);
        QFETCH(int, position);
        QCOMPARE(FindTextNoCase(needle, haystack, start), qsizetype(position));
    }

    void fields_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<ReplyFault>("fault");
        QTest::addColumn<float>("last");
        QTest::addColumn<float>("spread");
        QTest::addColumn<double>("volume");
        QTest::addColumn<float>("change");
        QTest::addColumn<float>("open");
        QTest::addColumn<float>("high");
        QTest::addColumn<float>("low");
        const auto ok = ReplyFault::None;
        const auto bad = ReplyFault::BadField;
        const float spread = float(27.60 - 27.30);

        QTest::newRow("classic line, quoted texts, +0.12")
            << classic() << ok << 27.5f << spread << 1234567.0 << 0.12f << 27.4f << 27.6f << 27.3f;
        QTest::newRow("N/A in 4 to 8") << classic({{1, "1.5"}, {4, "N/A"}, {5, "N/A"}, {6, "N/A"}, {7, "N/A"},
                                                   {8, "N/A"}})
                                       << ok << 1.5f << 0.f << 0.0 << 0.f << 0.f << 0.f << 0.f;
        QTest::newRow("volume of blanks") << classic({{8, "   "}}) << ok << 27.5f << spread << 0.0 << 0.12f << 27.4f
                                          << 27.6f << 27.3f;
        QTest::newRow("empty change and open") << classic({{4, ""}, {5, " "}}) << ok << 27.5f << spread
                                               << 1234567.0 << 0.f << 0.f << 27.6f << 27.3f;
        QTest::newRow("blanks around numbers") << classic({{1, "  27.50 "}, {4, " -0.12"}, {8, " 99 "}}) << ok
                                               << 27.5f << spread << 99.0 << -0.12f << 27.4f << 27.6f << 27.3f;
        QTest::newRow("high N/A: spread 0") << classic({{6, "N/A"}}) << ok << 27.5f << 0.f << 1234567.0 << 0.12f
                                            << 27.4f << 0.f << 27.3f;
        QTest::newRow("low N/A: spread 0") << classic({{7, "N/A"}}) << ok << 27.5f << 0.f << 1234567.0 << 0.12f
                                           << 27.4f << 27.6f << 0.f;
        QTest::newRow("exponent, no leading digit") << classic({{1, ".5"}, {8, "1.5e6"}}) << ok << 0.5f << spread
                                                    << 1.5e6 << 0.12f << 27.4f << 27.6f << 27.3f;
        QTest::newRow("extra fields ignored") << classic({{8, "1234567,extra,more"}}) << ok << 27.5f << spread
                                              << 1234567.0 << 0.12f << 27.4f << 27.6f << 27.3f;
        QTest::newRow("line breaks inside removed") << classic({{1, "2\r\n7.5"}}) << ok << 27.5f << spread
                                                    << 1234567.0 << 0.12f << 27.4f << 27.6f << 27.3f;
        QTest::newRow("volume beyond a float") << classic({{8, "1e300"}}) << ok << 27.5f << spread << 1e300 << 0.12f
                                               << 27.4f << 27.6f << 27.3f;

        QTest::newRow("lower-case n/a is no marker") << classic({{4, "n/a"}}) << bad;
        QTest::newRow("lower-case n/a in high") << classic({{6, "n/a"}}) << bad;
        QTest::newRow("N/A with a blank is no marker") << classic({{5, " N/A"}}) << bad;
        QTest::newRow("last N/A") << classic({{1, "N/A"}}) << bad;
        QTest::newRow("last blank") << classic({{1, " "}}) << bad;
        QTest::newRow("last quoted") << classic({{1, "\"27.50\""}}) << bad;
        QTest::newRow("high of blanks breaks the spread") << classic({{6, "  "}}) << bad;
        QTest::newRow("low empty breaks the spread") << classic({{7, ""}}) << bad;
        QTest::newRow("stray character") << classic({{8, "12;5"}}) << bad;
        QTest::newRow("two points") << classic({{5, "1.2.3"}}) << bad;
        QTest::newRow("hex") << classic({{5, "0x1A"}}) << bad;
        QTest::newRow("inf") << classic({{4, "inf"}}) << bad;
        QTest::newRow("nan") << classic({{8, "nan"}}) << bad;
        QTest::newRow("sign alone") << classic({{4, "+"}}) << bad;
        QTest::newRow("last too large for a float") << classic({{1, "1e39"}}) << bad;
        QTest::newRow("spread too large for a float") << classic({{6, "3e38"}, {7, "-3e38"}}) << bad;
        QTest::newRow("double overflow") << classic({{8, "1e999"}}) << bad;

        QTest::newRow("no header end") << QByteArray("HTTP/1.0 200 OK\r\n\"MSFT\",1,2,3,4,5,6,7,8")
                                       << ReplyFault::NoHeaderEnd;
        QTest::newRow("headers only") << kHeaders << ReplyFault::TooFewFields;
        QTest::newRow("eight fields") << kHeaders + QByteArray("\"MSFT\",27.50,\"6/4/2004\",\"4:00pm\",+0.12,1,2,3")
                                      << ReplyFault::TooFewFields;
        QTest::newRow("garbage") << kHeaders + QByteArray("<html>no such page</html>") << ReplyFault::TooFewFields;
        QTest::newRow("Proxy Error in the headers")
            << QByteArray("HTTP/1.0 502 Proxy Error\r\n\r\n") + classic().mid(kHeaders.size())
            << ReplyFault::ProxyError;
        QTest::newRow("proxy error in the body, any case") << classic({{0, "\"PROXY eRRor\""}})
                                                           << ReplyFault::ProxyError;
        QTest::newRow("shorter than its Content-Length")
            << QByteArray("HTTP/1.0 200 OK\r\ncontent-length: 99\r\n\r\n") + classic().mid(kHeaders.size())
            << ReplyFault::Truncated;
    }

    void fields()
    {
        QFETCH(QByteArray, reply);
        QFETCH(ReplyFault, fault);
        const QuoteReply parsed = parseQuoteReply(reply);
        QCOMPARE(parsed.fault, fault);
        QCOMPARE(parsed.quote.has_value(), fault == ReplyFault::None);
        if (fault != ReplyFault::None)
            return;
        QFETCH(float, last);
        QFETCH(float, spread);
        QFETCH(double, volume);
        QFETCH(float, change);
        QFETCH(float, open);
        QFETCH(float, high);
        QFETCH(float, low);
        // Exact: every value is the nearest float (double for volume) of its text.
        QCOMPARE(parsed.quote->Last, last);
        QCOMPARE(parsed.quote->Spread, spread);
        QCOMPARE(parsed.quote->Volume, volume);
        QCOMPARE(parsed.quote->Change, change);
        QCOMPARE(parsed.quote->Open, open);
        QCOMPARE(parsed.quote->High, high);
        QCOMPARE(parsed.quote->Low, low);
    }

    void exactContentLengthIsWhole()
    {
        const QByteArray b = classic().mid(kHeaders.size());
        const QByteArray reply = "HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(b.size()) + "\r\n\r\n" + b;
        QVERIFY(parseQuoteReply(reply).quote);
        QCOMPARE(parseQuoteReply(reply.chopped(1)).fault, ReplyFault::Truncated);
    }

    // The service writes "." whatever the user's locale says.
    void localeDoesNotMatter()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QuoteReply parsed = parseQuoteReply(classic());
        QLocale::setDefault(before);
        QVERIFY(parsed.quote);
        QCOMPARE(parsed.quote->Last, 27.5f);
    }

    void storeKeepsSymbolAndReserved()
    {
        StockRecord record;
        record.Reserved = QStringLiteral("r");
        record.Symbol = QStringLiteral("msft");
        record.Last = 1;
        record.Volume = 5;
        const ParsedQuote quote{27.5f, 0.3f, 1234567.0, 0.12f, 27.4f, 27.6f, 27.3f};
        storeQuote(quote, record);
        StockRecord expected;
        expected.Reserved = QStringLiteral("r");
        expected.Symbol = QStringLiteral("msft");
        expected.Last = 27.5f;
        expected.Spread = 0.3f;
        expected.Volume = 1234567.0;
        expected.Change = 0.12f;
        expected.Open = 27.4f;
        expected.High = 27.6f;
        expected.Low = 27.3f;
        QCOMPARE(record, expected);
    }
};

QTEST_GUILESS_MAIN(TestQuoteReply)
#include "tst_quotereply.moc"
