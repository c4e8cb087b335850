#pragma once

#include "market/MarketStore.h"
#include "screen/Screening.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class GridView;
class ImportHistory;
class Prompter;
class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QuoteFetch;
class ResultGrid;
class TechnicalsPanel;
class UpdateDatabase;
class frmAbout;
class frmMenu;
class frmProfitCalc;
class frmShareCalc;

// The main window: status caption, personal information, quick search, the
// screening panel with the result grid, and the menu bar. It owns the open
// market and the program's life.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    // programDir holds the market files; prompter answers every message and
    // input box (a dialog prompter when none is given).
    explicit frmMain(const QString &programDir, Prompter *prompter = nullptr, QWidget *parent = nullptr);
    ~frmMain() override;

    MarketStore &market() { return m_market; }
    ResultGrid *grid() const { return m_grid; }
    GridView *gridView() const { return m_gridView; }
    Prompter &prompter() const { return *m_prompter; }
    QString programDir() const { return m_programDir; }
    QLineEdit *box(const char *objectName) const;
    // The hidden host of the Symbol Menu, created on first use.
    frmMenu *symbolMenu();

    // Shows or hides the three work panels and the "Database" menu together.
    void FrameControl(bool blnOnOff);
    void Setup_Grid();
    // Appends the row of listed stock index, with SHARES and PROFIT from the
    // capital and commission boxes; an index outside the list is ignored.
    void AddResultRow(int index);
    // Reads the open market's file, writes the status caption and resets the
    // grid. A failed load says why and leaves no market open.
    bool LoadDatabase();
    // Writes the open market; a failure is reported and the old file kept.
    bool SaveDatabase(const MarketStore::Change &change);
    // Drops every listed record of the symbol, saves, and tells the user how
    // that went; refused while quotes are fetched.
    void removeListedSymbol(const QString &symbol);
    // True, after saying so, while an update or a live quote runs: the symbol
    // list must not change under them.
    bool refuseListChange();
    void LoadSettings();
    void SaveSettings();

public slots:
    void mnuOpen_Nasdaq_Click();
    void mnuOpen_NYSE_Click();
    void mnuMenu_Exit_Click();
    void mnuMarket_Update_Click();
    void mnuMarket_AddSymbol_Click();
    void mnuMarket_RemoveSymbol_Click();
    // "Database" > "Import History...": stooq's daily archive into the history store.
    void mnuMarket_ImportHistory_Click();
    void mnuCalcs_Shares_Click();
    void mnuCalcs_Profit_Click();
    // "Tools" > "Quote Source...": where the bundled quote service gets quotes.
    void mnuTools_QuoteSource_Click();
    void mnuHelp_Topics_Click();
    void mnuHelp_About_Click();
    void butDS_Click();
    void butListall_Click();
    void butQS_Click();
    void butLiveQuote_Click();
    void butSymbResearch_Click();
    void butSymbCharts_Click();
    void txtQSSymbol_Change();
    void Grid_MouseUp(int button);
    void Grid_DblClick();
    // Ctrl+G, or a double-click with Ctrl held: the chart of the current row's stock.
    void openChartOfCurrentRow();
    // The Menu key or Shift+F10: as a right-click, the menu popping at the cell.
    void Grid_MenuKey();
    // "Market" > "Export Results...": the grid's listed rows as a CSV file.
    void mnuMenu_Export_Click();
    // Fills the screening panel with a saved screen's ticks and bounds and
    // runs "Match Stocks".
    void runScreen(const CriteriaBoxes &boxes);
    // "View" > "Columns...": the technical columns the grid shows after SHARES.
    void mnuView_Columns_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildWindow();
    void buildMenus();
    void Form_Load();
    void Form_Unload();
    void openMarket(const MarketInfo &market);
    void showSymbolChange(const MarketStore::SymbolChange &change);
    // The ticks and bound texts of the screening panel.
    CriteriaBoxes criteriaBoxes() const;
    // Holds or frees what could start a second request while a live quote waits.
    void holdForLiveQuote(bool on);
    void buildResultsMenus();
    // Lists the stocks, with the technical columns' cells from table.
    void showStocks(const QList<int> &indexes, const TechnicalTable *table);
    void restoreWindowGeometry();
    void saveWindowGeometry();

    QString m_programDir;
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter *m_prompter;
    ImportHistory *m_importHistory = nullptr; // made on first use
    MarketStore m_market;
    ResultGrid *m_grid = nullptr;
    GridView *m_gridView = nullptr;
    QLabel *m_lblDBInfo = nullptr;
    QGroupBox *m_frmPersonal = nullptr;
    QGroupBox *m_frmQS = nullptr;
    QWidget *m_frmADVS = nullptr;
    QMenu *m_mnuMenu_Market = nullptr;
    TechnicalsPanel *m_technical = nullptr;
    QList<int> m_technicalColumns; // measures shown after SHARES
    QAction *m_mnuMenu_Export = nullptr;
    QAction *m_mnuMenu_Sort = nullptr;
    // The database update and the live quote while they run; never both.
    QPointer<UpdateDatabase> m_update;
    QPointer<QuoteFetch> m_liveQuote;
    QPushButton *m_butStop = nullptr; // beside the status caption, shown only while quotes are fetched
    bool m_unloaded = false;
    frmMenu *m_frmMenu = nullptr;
    // The calculators and the about box, while they are open.
    QPointer<frmShareCalc> m_shareCalc;
    QPointer<frmProfitCalc> m_profitCalc;
    QPointer<frmAbout> m_about;
};
