#pragma once

#include "market/MarketStore.h"

#include <QMainWindow>

#include <memory>

class GridView;
class Prompter;
class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class ResultGrid;

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

    // Shows or hides the three work panels and the "Database" menu together.
    void FrameControl(bool blnOnOff);
    void Setup_Grid();
    // Reads the open market's file, writes the status caption and resets the
    // grid. A failed load says why and leaves no market open.
    bool LoadDatabase();
    // Writes the open market; a failure is reported and the old file kept.
    bool SaveDatabase();
    // Drops every listed record of the symbol and saves. False when it is not
    // listed, or when the save failed (then nothing changed and *saveFailed
    // is set; the save failure has already been reported).
    bool RemoveSymbol(const QString &symbol, bool *saveFailed = nullptr);
    void LoadSettings();
    void SaveSettings();

public slots:
    void mnuOpen_Nasdaq_Click();
    void mnuOpen_NYSE_Click();
    void mnuMenu_Exit_Click();
    void mnuMarket_Update_Click();
    void mnuMarket_AddSymbol_Click();
    void mnuMarket_RemoveSymbol_Click();
    void mnuCalcs_Shares_Click();
    void mnuCalcs_Profit_Click();
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

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildWindow();
    void buildMenus();
    void Form_Load();
    void Form_Unload();
    void openMarket(const MarketInfo &market);

    QString m_programDir;
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter *m_prompter;
    MarketStore m_market;
    ResultGrid *m_grid = nullptr;
    GridView *m_gridView = nullptr;
    QLabel *m_lblDBInfo = nullptr;
    QGroupBox *m_frmPersonal = nullptr;
    QGroupBox *m_frmQS = nullptr;
    QWidget *m_frmADVS = nullptr;
    QMenu *m_mnuMenu_Market = nullptr;
    bool m_unloaded = false;
};
