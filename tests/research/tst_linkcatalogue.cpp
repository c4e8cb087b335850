// The chart and research link catalogue: the tables and the URLs built from them.
#include "research/LinkCatalogue.h"

#include <QSet>
#include <QTest>

namespace {

QString latin(const char *text)
{
    return QString::fromLatin1(text);
}

QUrl researchUrlOf(const char *control, const QString &symbol)
{
    const ResearchLink *l = LinkCatalogue::findResearchLink(latin(control));
    return l ? LinkCatalogue::researchUrl(latin(l->host), latin(l->prefix), symbol, latin(l->suffix)) : QUrl();
}

QUrl chartUrlOf(const char *control, const QString &symbol)
{
    const ChartPeriod *p = LinkCatalogue::findChartPeriod(latin(control));
    return p ? LinkCatalogue::chartUrl(p->templateIndex, symbol, latin(p->time), latin(p->extra)) : QUrl();
}

} // namespace

class TestLinkCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void chartUrls_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("url");
        const QString yahoo = QStringLiteral("http://chart.finance.yahoo.com/z?s=MSFT&t=%1&q=&l=off&z=l&p=s");
        const QString bc = QStringLiteral("http://bigcharts.marketwatch.com/charts/big.chart?state=8&mocktick=1&size=3"
                                          "&nosettings=1&symb=MSFT&time=%1&freq=%2&style=340");
        QTest::newRow("Yahoo 1 Day") << QStringLiteral("mnuYahoo_1D") << yahoo.arg(QLatin1String("1d"));
        QTest::newRow("Yahoo 6 Month") << QStringLiteral("mnuYahoo_6M") << yahoo.arg(QLatin1String("6m"));
        QTest::newRow("Yahoo 5 Year") << QStringLiteral("mnuYahoo_5Y") << yahoo.arg(QLatin1String("5y"));
        QTest::newRow("BC 1 Day") << QStringLiteral("mnuBC_1D") << bc.arg(QLatin1String("1"), QLatin1String("9"));
        QTest::newRow("BC 2 Day") << QStringLiteral("mnuBC_2D") << bc.arg(QLatin1String("2"), QLatin1String("6"));
        QTest::newRow("BC 10 Day") << QStringLiteral("mnuBC_10D") << bc.arg(QLatin1String("18"), QLatin1String("7"));
        QTest::newRow("BC YTD") << QStringLiteral("mnuBC_YTD") << bc.arg(QLatin1String("19"), QLatin1String("1"));
        QTest::newRow("BC 3 Year") << QStringLiteral("mnuBC_3Y") << bc.arg(QLatin1String("10"), QLatin1String("2"));
        QTest::newRow("BC 1 Decade") << QStringLiteral("mnuBC_1DE") << bc.arg(QLatin1String("13"), QLatin1String("2"));
    }

    void chartUrls()
    {
        QFETCH(QString, control);
        QFETCH(QString, url);
        const ChartPeriod *p = LinkCatalogue::findChartPeriod(control);
        QVERIFY(p);
        const QUrl built = LinkCatalogue::chartUrl(p->templateIndex, QStringLiteral("MSFT"), latin(p->time), latin(p->extra));
        QCOMPARE(built.toString(QUrl::FullyEncoded), url);
        QVERIFY(built.isValid());
    }

    void bigChartsYtdForMsft()
    {
        const QUrl url = chartUrlOf("mnuBC_YTD", QStringLiteral("MSFT"));
        QCOMPARE(url.host(), QStringLiteral("bigcharts.marketwatch.com"));
        QCOMPARE(url.query(), QStringLiteral("state=8&mocktick=1&size=3&nosettings=1&symb=MSFT&time=19&freq=1&style=340"));
    }

    void yahooTemplateSendsAnEmptyQ()
    {
        const QString url = chartUrlOf("mnuYahoo_1Y", QStringLiteral("IBM")).toString(QUrl::FullyEncoded);
        QVERIFY(url.contains(QLatin1String("&t=1y&q=&l=off&z=l&p=s")));
        QVERIFY(url.endsWith(QLatin1String("&q=&l=off&z=l&p=s")));
    }

    void placeholdersReplacedInOrder()
    {
        // Each replacement works on the result of the one before, so a symbol
        // that holds a later placeholder gets that placeholder's value.
        QCOMPARE(LinkCatalogue::expandChartTemplate(1, QStringLiteral("A[TIME]B[EXTRA]"), QStringLiteral("19"),
                                                   QStringLiteral("1")),
                 QStringLiteral("/charts/big.chart?state=8&mocktick=1&size=3&nosettings=1&symb=A19B1&time=19&freq=1"
                                "&style=340"));
        // "[SYMBOL]" in the time code is not replaced: the symbol went first.
        QCOMPARE(LinkCatalogue::expandChartTemplate(0, QStringLiteral("X"), QStringLiteral("[SYMBOL]"), QString()),
                 QStringLiteral("/z?s=X&t=[SYMBOL]&q=&l=off&z=l&p=s"));
        // Matching is case-sensitive.
        QCOMPARE(LinkCatalogue::expandChartTemplate(0, QStringLiteral("[symbol]"), QStringLiteral("1d"), QString()),
                 QStringLiteral("/z?s=[symbol]&t=1d&q=&l=off&z=l&p=s"));
    }

    void chartIndexOutsideTheTable()
    {
        QVERIFY(LinkCatalogue::chartUrl(2, QStringLiteral("MSFT"), QStringLiteral("1"), QString()).isEmpty());
        QVERIFY(LinkCatalogue::chartUrl(-1, QStringLiteral("MSFT"), QStringLiteral("1"), QString()).isEmpty());
    }

    void researchUrls_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("url");
        // A sample from every group, including both suffix kinds.
        QTest::newRow("Earnings") << QStringLiteral("mnuE_EarningsWhispers") << QStringLiteral("http://www.earningswhispers.com/stocks.asp?symbol=MSFT");
        QTest::newRow("Financials") << QStringLiteral("mnuF_YahooFinance") << QStringLiteral("http://finance.yahoo.com/q/bs?s=MSFT");
        QTest::newRow("Short Interest") << QStringLiteral("mnuSI_Barchart") << QStringLiteral("http://www.barchart.com/texpert.asp?sym=MSFT");
        QTest::newRow("Technical Tools") << QStringLiteral("mnuTT_HarrisDirect")
                                         << QStringLiteral("http://www.harrisdirect.com/servlet/inet/qndigest.trn?symbollist=MSFT"
                                            "&selection=technical_chart");
        QTest::newRow("Insider Trading") << QStringLiteral("mnuIT_YahooFinance") << QStringLiteral("http://finance.yahoo.com/q/it?s=MSFT");
        QTest::newRow("Institutional Holdings") << QStringLiteral("mnuIH_Quote")
                                                << QStringLiteral("http://finance.lycos.com/home/research/topholders.asp?symbols=MSFT");
        QTest::newRow("News Articles") << QStringLiteral("mnuNA_MerrillLynch")
                                       << QStringLiteral("http://www.ml.com/markets_cur_news/1,2258,,00.html?q=MSFT");
        QTest::newRow("Press Releases") << QStringLiteral("mnuPR_10KWizard")
                                        << QStringLiteral("http://www.10kwizard.com/qmedia/main.php?g=&sym=MSFT&type=3");
        QTest::newRow("Corporate Events") << QStringLiteral("mnuCE_CompanyBoardRoom")
                                          << QStringLiteral("http://www.fulldisclosure.com/company.asp?client=cb&ticker=MSFT");
        QTest::newRow("SEC Filings") << QStringLiteral("mnuSEC_CBSMarketWatch")
                                     << QStringLiteral("http://cbs.marketwatch.com/tools/quotes/secfilings.asp?symb=MSFT"
                                        "&sid=3140&siteid=mktw");
        QTest::newRow("Dividends & Splits") << QStringLiteral("mnuDS_BigCharts")
                                            << QStringLiteral("http://bigcharts.marketwatch.com/custom/tradingday-com/tradingday.asp"
                                               "?sid=0&o_symb=MSFT&symb=DIMEZ&time=8&uf=1024");
        QTest::newRow("BusinessWeek events") << QStringLiteral("mnuCE_BusinessWeek")
                                             << QStringLiteral("http://www.businessweek.com/company.asp?Symbol=DIMEZ&ticker=MSFT"
                                                "&client=bweek");
        QTest::newRow("Stock Charts") << QStringLiteral("mnuTT_StockCharts") << QStringLiteral("http://stockcharts.com/gallery?MSFT");
    }

    void researchUrls()
    {
        QFETCH(QString, control);
        QFETCH(QString, url);
        const ResearchLink *l = LinkCatalogue::findResearchLink(control);
        QVERIFY(l);
        const QUrl built = LinkCatalogue::researchUrl(latin(l->host), latin(l->prefix), QStringLiteral("MSFT"),
                                                      latin(l->suffix));
        QVERIFY(built.isValid());
        QCOMPARE(built.toString(QUrl::FullyEncoded), url);
    }

    void yahooInsiderTradingForMsft()
    {
        const QUrl url = researchUrlOf("mnuIT_YahooFinance", QStringLiteral("MSFT"));
        QCOMPARE(url.host(), QStringLiteral("finance.yahoo.com"));
        QCOMPARE(url.path(), QStringLiteral("/q/it"));
        QCOMPARE(url.query(), QStringLiteral("s=MSFT"));
    }

    void dimezStaysFixed()
    {
        // The picked symbol goes only where the row puts it, never over DIMEZ.
        const QUrl events = researchUrlOf("mnuCE_BusinessWeek", QStringLiteral("IBM"));
        QCOMPARE(events.query(), QStringLiteral("Symbol=DIMEZ&ticker=IBM&client=bweek"));
        const QUrl splits = researchUrlOf("mnuDS_BigCharts", QStringLiteral("IBM"));
        QCOMPARE(splits.query(), QStringLiteral("sid=0&o_symb=IBM&symb=DIMEZ&time=8&uf=1024"));
    }

    void stockChartsSymbolIsTheWholeQuery()
    {
        const QUrl url = researchUrlOf("mnuTT_StockCharts", QStringLiteral("INTC"));
        QCOMPARE(url.path(), QStringLiteral("/gallery"));
        QCOMPARE(url.query(), QStringLiteral("INTC"));
    }

    void edgarAndEdgarOnlineAgree()
    {
        const QUrl edgar = researchUrlOf("mnuE_Edgar", QStringLiteral("MSFT"));
        QVERIFY(!edgar.isEmpty());
        QCOMPARE(edgar, researchUrlOf("mnuSEC_EdgarOnline", QStringLiteral("MSFT")));
    }

    void symbolGoesInAsItStands_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("query");
        QTest::newRow("lower case") << QStringLiteral("msft") << QStringLiteral("s=msft");
        QTest::newRow("ampersand") << QStringLiteral("AT&T") << QStringLiteral("s=AT&T");
        QTest::newRow("question mark") << QStringLiteral("A?B") << QStringLiteral("s=A?B");
        QTest::newRow("blanks") << QStringLiteral(" BRK A ") << QStringLiteral("s= BRK A ");
        QTest::newRow("a price") << QStringLiteral("27.5") << QStringLiteral("s=27.5");
    }

    void symbolGoesInAsItStands()
    {
        QFETCH(QString, symbol);
        QFETCH(QString, query);
        const QUrl url = researchUrlOf("mnuCE_Yahoo", symbol);
        QCOMPARE(url.host(), QStringLiteral("finance.yahoo.com"));
        QCOMPARE(url.path(), QStringLiteral("/q/ce"));
        QCOMPARE(url.query(QUrl::PrettyDecoded), query);
    }

    void symbolCannotLeaveTheQuery()
    {
        // A "#" would start a fragment in a pasted-together address; here it
        // stays part of the query, and the host never changes.
        const QUrl url = researchUrlOf("mnuCE_Yahoo", QStringLiteral("A#B/@evil"));
        QCOMPARE(url.host(), QStringLiteral("finance.yahoo.com"));
        QCOMPARE(url.path(), QStringLiteral("/q/ce"));
        QVERIFY(!url.hasFragment());
        QCOMPARE(url.query(QUrl::FullyDecoded), QStringLiteral("s=A#B/@evil"));
    }

    void tablesAreComplete()
    {
        QCOMPARE(int(kChartPeriods.size()), 22);
        QCOMPARE(int(kResearchLinks.size()), 37);
        QSet<QString> controls;
        int yahoo = 0;
        for (const ChartPeriod &p : kChartPeriods) {
            controls.insert(latin(p.control));
            yahoo += p.templateIndex == kYahooChart ? 1 : 0;
            QCOMPARE(p.templateIndex == kYahooChart, qstrcmp(p.menu, "mnuCharts_Yahoo") == 0);
            if (p.templateIndex == kYahooChart)
                QCOMPARE(p.extra, "");
        }
        QCOMPARE(yahoo, 7);
        QSet<QString> groups;
        for (const ResearchGroup &g : kResearchGroups)
            groups.insert(latin(g.control));
        QCOMPARE(groups.size(), 11);
        for (const ResearchLink &l : kResearchLinks) {
            controls.insert(latin(l.control));
            QVERIFY2(groups.contains(latin(l.group)), l.control);
            QVERIFY2(latin(l.host).contains(u'.'), l.control);
            QVERIFY2(latin(l.prefix).startsWith(u'/'), l.control);
            QVERIFY2(latin(l.prefix).contains(u'?'), l.control);
        }
        QCOMPARE(controls.size(), 22 + 37); // every control name is unique
    }
};

QTEST_GUILESS_MAIN(TestLinkCatalogue)
#include "tst_linkcatalogue.moc"
