// links.ini: the user's changes to the link catalogue, read as text.
#include "research/LinkOverrides.h"

#include <QTest>

namespace {

// The overrides in one line: addresses and hidden entries sorted by name,
// then the added pages in file order.
QString summary(const LinkOverrides &o)
{
    QStringList parts;
    for (auto it = o.addresses.cbegin(); it != o.addresses.cend(); ++it)
        parts.append(it.key() + u'=' + it.value());
    QStringList hidden(o.hidden.cbegin(), o.hidden.cend());
    for (const QString &h : hidden)
        parts.append(QStringLiteral("-") + h);
    parts.sort();
    for (const LinkOverrides::Added &a : o.added)
        parts.append(QStringLiteral("+%1/%2=%3").arg(a.menu, a.caption, a.address));
    return parts.join(QStringLiteral(" | "));
}

} // namespace

class TestLinkOverrides : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line"); // the fault's line; 0 when the file is taken
        QTest::addColumn<QString>("result");
        const auto row = [](const char *tag, const char *text, int line, const char *result) {
            QTest::newRow(tag) << QString::fromUtf8(text) << line << QString::fromUtf8(result);
        };
        row("url and hidden", "[mnuBC_YTD]\nUrl=https://finance.yahoo.com/chart/[SYMBOL]\n[mnuE_Edgar]\nHidden=TRUE\n",
            0, "-mnuE_Edgar | mnuBC_YTD=https://finance.yahoo.com/chart/[SYMBOL]");
        row("byte order mark, comments, blanks and CRLF",
            "\xEF\xBB\xBF; mine\r\n\r\n# too\r\n [mnuCE_Yahoo] \r\n url = http://h.example/q?s=[SYMBOL] \r\n", 0,
            "mnuCE_Yahoo=http://h.example/q?s=[SYMBOL]");
        row("hidden undone", "[mnuIT_MSN]\nHidden=true\nHidden=false\n", 0, "");
        row("added in order",
            "[Add]\nYahoo!/Interactive=https://y.example/i/[SYMBOL]\nDividends & Splits/Nasdaq = "
            "http://n.example/d?s=[SYMBOL]&t=1\n",
            0,
            "+mnuCharts_Yahoo/Interactive=https://y.example/i/[SYMBOL] | "
            "+mnuResearch_DividendsSplits/Nasdaq=http://n.example/d?s=[SYMBOL]&t=1");
        row("unknown entry", "[mnuBC_XTD]\nHidden=true\n", 1, "");
        row("ftp address", "[mnuBC_1D]\nUrl=ftp://h.example/[SYMBOL]\n", 2, "");
        row("no host", "[mnuBC_1D]\nUrl=https:///[SYMBOL]\n", 2, "");
        row("key before any section", "Url=http://h.example/\n", 1, "");
        row("neither section nor key", "[mnuBC_1D]\nHidden=true\njunk\n", 3, "");
        row("hidden neither true nor false", "[mnuBC_1D]\nHidden=yes\n", 2, "");
        row("unknown key", "[mnuBC_1D]\nAddress=http://h.example/\n", 2, "");
        row("unknown group", "[Add]\nYahoo/Daily=http://h.example/[SYMBOL]\n", 2, "");
        row("added without a caption", "[Add]\nEarnings/=http://h.example/[SYMBOL]\n", 2, "");
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(int, line);
        LinkOverrides overrides;
        overrides.hidden.insert(QStringLiteral("stale"));
        int at = 0;
        QString error;
        QCOMPARE(LinkCatalogue::parseOverrides(text, &overrides, &at, &error), line == 0);
        QCOMPARE(at, line);
        QCOMPARE(error.isEmpty(), line == 0);
        QTEST(summary(overrides), "result");
    }

    void overrideUrl_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("url");
        QTest::newRow("every placeholder") << QStringLiteral("https://h.example/[SYMBOL]?s=[SYMBOL]")
                                           << QStringLiteral("AT&T") << QStringLiteral("https://h.example/AT&T?s=AT&T");
        QTest::newRow("kept in the address")
            << QStringLiteral("http://h.example/q?s=[SYMBOL]") << QStringLiteral("A#B %")
            << QStringLiteral("http://h.example/q?s=A%23B%20%25");
        QTest::newRow("symbol cannot change the scheme")
            << QStringLiteral("[SYMBOL]://h.example/") << QStringLiteral("file") << QString();
    }

    void overrideUrl()
    {
        QFETCH(QString, address);
        QFETCH(QString, symbol);
        QTEST(LinkCatalogue::overrideUrl(address, symbol).toString(QUrl::FullyEncoded), "url");
    }
};

QTEST_GUILESS_MAIN(TestLinkOverrides)
#include "tst_linkoverrides.moc"
