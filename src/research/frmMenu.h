#pragma once

#include "research/LinkOverrides.h"
#include "research/ResearchHost.h"

#include <QMenu>
#include <QPointer>
#include <QStringView>
#include <QWidget>

#include <functional>

class Prompter;
class QUrl;
class ResearchBrowser;
class ResultGrid;

// The hidden window that hosts the Symbol Menu tree: "Charts" with the Yahoo!
// and Big Charts periods, "Research" with its eleven groups, and "Remove".
// It is never shown; the main window, its grid and the research window pop
// its menus. Every command reads the result grid's current cell when it runs.
// The user's links.ini, read once when the menu is built, changes, hides and
// adds pages.
// It goes with its owner, the main window.
class frmMenu : public QWidget, public ResearchHost
{
    Q_OBJECT

public:
    // removeSymbol drops a listed symbol and tells the user how that went;
    // openChart shows a symbol's chart window.
    frmMenu(QWidget *owner, ResultGrid &grid, Prompter &prompter, std::function<void(const QString &)> removeSymbol,
            std::function<void(const QString &)> openChart = {});
    ~frmMenu() override;

    QMenu *mnuSymb() const { return m_mnuSymb; }
    QMenu *mnuSymb_Charts() const { return m_mnuSymb_Charts; }
    QMenu *mnuSymb_Research() const { return m_mnuSymb_Research; }

    // Shows menu at the mouse position (or at a global position, for a key)
    // and returns at once; the chosen item's handler runs when the user picks it.
    void popup(QMenu *menu);
    void popup(QMenu *menu, const QPoint &at);
    // The menu popped last, while it exists.
    QMenu *lastPopup() const { return m_lastPopup; }

    // Opens a chart or research page for the current cell's text; does
    // nothing when that text is empty or the header row is current.
    void OpenChart(qint16 templateIndex, const QString &time, const QString &extra);
    void OpenResearchPage(const QString &site, const QString &prefix, const QString &suffix);

    // The research browser, loading its library on first use from the
    // program's own folder unless told otherwise; nullptr (and why) when the
    // library cannot be loaded. A browser set here is used instead.
    ResearchBrowser *researchBrowser(QString *error = nullptr);
    void setBrowserDirectory(const QString &directory) { m_browserDirectory = directory; }
    void setResearchBrowser(ResearchBrowser *browser);

    // ResearchHost
    QString currentCellText() const override;
    void popSymbolMenu() override;

public slots:
    // "Charts" > "Yahoo!" and "Charts" > "Big Charts".
    void mnuYahoo_1D_Click();
    void mnuYahoo_5D_Click();
    void mnuYahoo_3M_Click();
    void mnuYahoo_6M_Click();
    void mnuYahoo_1Y_Click();
    void mnuYahoo_2Y_Click();
    void mnuYahoo_5Y_Click();
    void mnuBC_1D_Click();
    void mnuBC_2D_Click();
    void mnuBC_5D_Click();
    void mnuBC_10D_Click();
    void mnuBC_1M_Click();
    void mnuBC_2M_Click();
    void mnuBC_3M_Click();
    void mnuBC_6M_Click();
    void mnuBC_YTD_Click();
    void mnuBC_1Y_Click();
    void mnuBC_2Y_Click();
    void mnuBC_3Y_Click();
    void mnuBC_4Y_Click();
    void mnuBC_5Y_Click();
    void mnuBC_1DE_Click();
    // "Research".
    void mnuE_SmartMoney_Click();
    void mnuE_Edgar_Click();
    void mnuE_EarningsWhispers_Click();
    void mnuE_ConferenceCalls_Click();
    void mnuF_BusinessWeek_Click();
    void mnuF_CNBC_Click();
    void mnuF_Morningstar_Click();
    void mnuF_YahooFinance_Click();
    void mnuSI_ViWes_Click();
    void mnuSI_Barchart_Click();
    void mnuTT_InvestorTech_Click();
    void mnuTT_HarrisDirect_Click();
    void mnuTT_StockCharts_Click();
    void mnuTT_ClearStation_Click();
    void mnuIT_YahooFinance_Click();
    void mnuIT_Quote_Click();
    void mnuIT_MSN_Click();
    void mnuIH_MSN_Click();
    void mnuIH_Morningstar_Click();
    void mnuIH_Quote_Click();
    void mnuNA_CBSMarketwatch_Click();
    void mnuNA_GoogleNews_Click();
    void mnuNA_MerrillLynch_Click();
    void mnuPR_Lycos_Click();
    void mnuPR_Forbes_Click();
    void mnuPR_Reuters_Click();
    void mnuPR_10KWizard_Click();
    void mnuPR_PCQuote_Click();
    void mnuCE_CompanyBoardRoom_Click();
    void mnuCE_Yahoo_Click();
    void mnuCE_BusinessWeek_Click();
    void mnuCE_Forbes_Click();
    void mnuSEC_10KWizard_Click();
    void mnuSEC_AOL_Click();
    void mnuSEC_CBSMarketWatch_Click();
    void mnuSEC_EdgarOnline_Click();
    void mnuDS_BigCharts_Click();
    void mnuSymb_Remove_Click();
    void mnuSymb_Chart_Click();

private:
    void loadOverrides();
    void buildMenus();
    void openItem(QStringView control);
    void openAddress(const QString &address);
    bool currentSymbol(QString *symbol) const;
    void openPage(const QUrl &url);

    ResultGrid &m_grid;
    Prompter &m_prompter;
    std::function<void(const QString &)> m_removeSymbol;
    std::function<void(const QString &)> m_openChart;
    QMenu *m_mnuSymb = nullptr;
    QMenu *m_mnuSymb_Charts = nullptr;
    QMenu *m_mnuSymb_Research = nullptr;
    QPointer<QMenu> m_lastPopup;
    ResearchBrowser *m_browser = nullptr;
    QString m_browserDirectory;
    LinkOverrides m_overrides;
};
