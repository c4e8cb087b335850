#pragma once

#include <QString>
#include <QUrl>

#include <array>

// The chart and research pages of the Symbol Menu. Every page is a plain
// HTTP address on the named site's host; the picked symbol goes into it
// exactly as the grid's cell holds it.

// A chart URL template. "[SYMBOL]", "[TIME]" and "[EXTRA]" are replaced in
// that order, each on the result of the one before.
struct ChartTemplate
{
    const char *service;
    const char *host;
    const char *pathAndQuery;
};

inline constexpr std::array<ChartTemplate, 2> kChartTemplates{{
    // The empty "q=" is deliberate: the chart service expects the key.
    {"Yahoo Finance chart service", "chart.finance.yahoo.com", "/z?s=[SYMBOL]&t=[TIME]&q=&l=off&z=l&p=s"},
    {"BigCharts chart page", "bigcharts.marketwatch.com",
     "/charts/big.chart?state=8&mocktick=1&size=3&nosettings=1&symb=[SYMBOL]&time=[TIME]&freq=[EXTRA]&style=340"},
}};

inline constexpr int kYahooChart = 0;
inline constexpr int kBigChartsChart = 1;

// One period item under "Charts" > "Yahoo!" or "Charts" > "Big Charts".
struct ChartPeriod
{
    const char *menu; // objectName of the submenu that holds the item
    const char *caption;
    const char *control; // objectName; its handler is control + "_Click"
    qint16 templateIndex;
    const char *time;
    const char *extra;
};

// The BigCharts time codes are the site's own and not in period order.
inline constexpr std::array<ChartPeriod, 22> kChartPeriods{{
    {"mnuCharts_Yahoo", "1 Day", "mnuYahoo_1D", kYahooChart, "1d", ""},
    {"mnuCharts_Yahoo", "5 Day", "mnuYahoo_5D", kYahooChart, "5d", ""},
    {"mnuCharts_Yahoo", "3 Month", "mnuYahoo_3M", kYahooChart, "3m", ""},
    {"mnuCharts_Yahoo", "6 Month", "mnuYahoo_6M", kYahooChart, "6m", ""},
    {"mnuCharts_Yahoo", "1 Year", "mnuYahoo_1Y", kYahooChart, "1y", ""},
    {"mnuCharts_Yahoo", "2 Year", "mnuYahoo_2Y", kYahooChart, "2y", ""},
    {"mnuCharts_Yahoo", "5 Year", "mnuYahoo_5Y", kYahooChart, "5y", ""},
    {"mnuCharts_BigCharts", "1 Day", "mnuBC_1D", kBigChartsChart, "1", "9"},
    {"mnuCharts_BigCharts", "2 Day", "mnuBC_2D", kBigChartsChart, "2", "6"},
    {"mnuCharts_BigCharts", "5 Day", "mnuBC_5D", kBigChartsChart, "3", "7"},
    {"mnuCharts_BigCharts", "10 Day", "mnuBC_10D", kBigChartsChart, "18", "7"},
    {"mnuCharts_BigCharts", "1 Month", "mnuBC_1M", kBigChartsChart, "4", "1"},
    {"mnuCharts_BigCharts", "2 Month", "mnuBC_2M", kBigChartsChart, "5", "1"},
    {"mnuCharts_BigCharts", "3 Month", "mnuBC_3M", kBigChartsChart, "6", "1"},
    {"mnuCharts_BigCharts", "6 Month", "mnuBC_6M", kBigChartsChart, "7", "1"},
    {"mnuCharts_BigCharts", "YTD", "mnuBC_YTD", kBigChartsChart, "19", "1"},
    {"mnuCharts_BigCharts", "1 Year", "mnuBC_1Y", kBigChartsChart, "8", "1"},
    {"mnuCharts_BigCharts", "2 Year", "mnuBC_2Y", kBigChartsChart, "9", "1"},
    {"mnuCharts_BigCharts", "3 Year", "mnuBC_3Y", kBigChartsChart, "10", "2"},
    {"mnuCharts_BigCharts", "4 Year", "mnuBC_4Y", kBigChartsChart, "11", "2"},
    {"mnuCharts_BigCharts", "5 Year", "mnuBC_5Y", kBigChartsChart, "12", "2"},
    {"mnuCharts_BigCharts", "1 Decade", "mnuBC_1DE", kBigChartsChart, "13", "2"},
}};

// A submenu that holds pages: a chart service under "Charts" or a group
// under "Research".
struct MenuGroup
{
    const char *control;
    const char *caption;
};
using ResearchGroup = MenuGroup;

inline constexpr std::array<MenuGroup, 2> kChartMenus{{
    {"mnuCharts_Yahoo", "Yahoo!"},
    {"mnuCharts_BigCharts", "Big Charts"},
}};

// The groups under "Research", in menu order. A separator (Brk2) follows
// "Institutional Holdings".

inline constexpr std::array<ResearchGroup, 11> kResearchGroups{{
    {"mnuResearch_E", "Earnings"},
    {"mnuResearch_F", "Financials"},
    {"mnuResearch_SI", "Short Interest"},
    {"mnuResearch_TT", "Technical Tools"},
    {"mnuResearch_IT", "Insider Trading"},
    {"mnuResearch_IH", "Institutional Holdings"},
    {"mnuResearch_NewsArticles", "News Articles"},
    {"mnuResearch_PressReleases", "Press Releases"},
    {"mnuResearch_CorporateEvents", "Corporate Events"},
    {"mnuResearch_SECFilings", "SEC Filings"},
    {"mnuResearch_DividendsSplits", "Dividends & Splits"},
}};

inline constexpr const char *kResearchSeparatorAfter = "mnuResearch_IH";

// One research page: http://host + prefix + symbol + suffix. Captions keep
// their trailing blanks; "DIMEZ" in two rows is a fixed part of the address.
struct ResearchLink
{
    const char *group; // objectName of the group submenu
    const char *caption;
    const char *control; // objectName; its handler is control + "_Click"
    const char *host;
    const char *prefix;
    const char *suffix;
};

inline constexpr std::array<ResearchLink, 37> kResearchLinks{{
    // clang-format off
    {"mnuResearch_E", "Smart Money", "mnuE_SmartMoney", "www.smartmoney.com", "/eqsnaps/index.cfm?symbol=", ""},
    {"mnuResearch_E", "Edgar", "mnuE_Edgar", "www.edgar-online.com", "/default.aspx?sym=", ""},
    {"mnuResearch_E", "Earnings Whispers", "mnuE_EarningsWhispers", "www.earningswhispers.com", "/stocks.asp?symbol=", ""},
    {"mnuResearch_E", "Conference Calls", "mnuE_ConferenceCalls", "www.bestcalls.com", "/page_search.cfm?q=", ""},
    {"mnuResearch_F", "BusinessWeek", "mnuF_BusinessWeek", "investing.businessweek.com", "/company_financials.asp?Symbol=", ""},
    {"mnuResearch_F", "CNBC", "mnuF_CNBC", "moneycentral.msn.com", "/investor/invsub/results/hilite.asp?Symbol=", ""},
    {"mnuResearch_F", "Morningstar", "mnuF_Morningstar", "quicktake.morningstar.com", "/Stock/cashflow10.asp?Symbol=", ""},
    {"mnuResearch_F", "Yahoo Finance ", "mnuF_YahooFinance", "finance.yahoo.com", "/q/bs?s=", ""},
    {"mnuResearch_SI", "ViWes", "mnuSI_ViWes", "www.viwes.com", "/Invest/shorts/query.cgi?q=", ""},
    {"mnuResearch_SI", "Barchart.com", "mnuSI_Barchart", "www.barchart.com", "/texpert.asp?sym=", ""},
    {"mnuResearch_TT", "Investor Tech", "mnuTT_InvestorTech", "www.easystock.com", "/tkchart/tkchart.asp?stkname=", ""},
    {"mnuResearch_TT", "Harris Direct", "mnuTT_HarrisDirect", "www.harrisdirect.com", "/servlet/inet/qndigest.trn?symbollist=", "&selection=technical_chart"},
    {"mnuResearch_TT", "Stock Charts", "mnuTT_StockCharts", "stockcharts.com", "/gallery?", ""},
    {"mnuResearch_TT", "Clear Station ", "mnuTT_ClearStation", "www.clearstation.com", "/cgi-bin/details?Symbol=", ""},
    {"mnuResearch_IT", "Yahoo Finance", "mnuIT_YahooFinance", "finance.yahoo.com", "/q/it?s=", ""},
    {"mnuResearch_IT", "Quote.com", "mnuIT_Quote", "finance.lycos.com", "/qc/research/insider.aspx?symbols=", ""},
    {"mnuResearch_IT", "MSN Money", "mnuIT_MSN", "moneycentral.msn.com", "/investor/invsub/insider/trans.asp?Symbol=", ""},
    {"mnuResearch_IH", "MSN Money ", "mnuIH_MSN", "moneycentral.msn.com", "/investor/invsub/ownership/ownership.asp?Symbol=", ""},
    {"mnuResearch_IH", "Morningstar", "mnuIH_Morningstar", "quicktake.morningstar.com", "/Stock/powerbrokers.asp?Symbol=", ""},
    {"mnuResearch_IH", "Quote.com ", "mnuIH_Quote", "finance.lycos.com", "/home/research/topholders.asp?symbols=", ""},
    {"mnuResearch_NewsArticles", "CBS Marketwatch", "mnuNA_CBSMarketwatch", "cbs.marketwatch.com", "/tools/quotes/news.asp?symb=", ""},
    {"mnuResearch_NewsArticles", "Google News", "mnuNA_GoogleNews", "news.google.com", "/news?q=", ""},
    {"mnuResearch_NewsArticles", "Merrill Lynch", "mnuNA_MerrillLynch", "www.ml.com", "/markets_cur_news/1,2258,,00.html?q=", ""},
    {"mnuResearch_PressReleases", "Lycos", "mnuPR_Lycos", "finance.lycos.com", "/qc/news/headlines.aspx?symbols=", ""},
    {"mnuResearch_PressReleases", "Forbes", "mnuPR_Forbes", "www.forbes.com", "/markets/company_news.jhtml?ticker=", ""},
    {"mnuResearch_PressReleases", "Reuters", "mnuPR_Reuters", "www.reuters.com", "/PressReleases.aspx?ticker=", ""},
    {"mnuResearch_PressReleases", "10K Wizard", "mnuPR_10KWizard", "www.10kwizard.com", "/qmedia/main.php?g=&sym=", "&type=3"},
    {"mnuResearch_PressReleases", "PCQuote", "mnuPR_PCQuote", "www.pcquote.com", "/stocks/news.php?symbol=", ""},
    {"mnuResearch_CorporateEvents", "CompanyBoardRoom", "mnuCE_CompanyBoardRoom", "www.fulldisclosure.com", "/company.asp?client=cb&ticker=", ""},
    {"mnuResearch_CorporateEvents", "Yahoo", "mnuCE_Yahoo", "finance.yahoo.com", "/q/ce?s=", ""},
    {"mnuResearch_CorporateEvents", "BusinessWeek", "mnuCE_BusinessWeek", "www.businessweek.com", "/company.asp?Symbol=DIMEZ&ticker=", "&client=bweek"},
    {"mnuResearch_CorporateEvents", "Forbes", "mnuCE_Forbes", "www.forbes.com", "/finance/eventcalendar/OneCompanyEvents.jhtml?symbol=", ""},
    {"mnuResearch_SECFilings", "10K Wizard", "mnuSEC_10KWizard", "www.10kwizard.com", "/files.php?sym=", ""},
    {"mnuResearch_SECFilings", "AOL", "mnuSEC_AOL", "money.aol.com", "/sec_filings.asp?ticker=", ""},
    {"mnuResearch_SECFilings", "CBS MarketWatch", "mnuSEC_CBSMarketWatch", "cbs.marketwatch.com", "/tools/quotes/secfilings.asp?symb=", "&sid=3140&siteid=mktw"},
    {"mnuResearch_SECFilings", "Edgar Online", "mnuSEC_EdgarOnline", "www.edgar-online.com", "/default.aspx?sym=", ""},
    {"mnuResearch_DividendsSplits", "Big Charts ", "mnuDS_BigCharts", "bigcharts.marketwatch.com", "/custom/tradingday-com/tradingday.asp?sid=0&o_symb=", "&symb=DIMEZ&time=8&uf=1024"},
    // clang-format on
}};

namespace LinkCatalogue {

// The template's path and query with its placeholders filled in.
QString expandChartTemplate(int templateIndex, const QString &symbol, const QString &time, const QString &extra);

// The chart page for a symbol; an empty URL for an index outside the table.
QUrl chartUrl(int templateIndex, const QString &symbol, const QString &time, const QString &extra);

// http://host + prefix + symbol + suffix, joined with nothing in between.
QUrl researchUrl(const QString &host, const QString &prefix, const QString &symbol, const QString &suffix);

// An HTTP URL from a host and a path followed by its query. Everything after
// the first "?" is the query, taken as it stands; the symbol is never escaped
// beyond what a URL cannot carry at all (a blank, "#", a stray "%").
QUrl pageUrl(const QString &host, const QString &pathAndQuery);

const ChartPeriod *findChartPeriod(QStringView control);
const ResearchLink *findResearchLink(QStringView control);

} // namespace LinkCatalogue
