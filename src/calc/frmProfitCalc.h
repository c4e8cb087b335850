#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class frmMain;

// "Possible Profit": the shares a capital buys at a buy price and what
// selling them all at a sell price earns after a commission on each trade.
// It starts from the main window's capital and commission and keeps the main
// window disabled while it is open.
class frmProfitCalc : public QWidget
{
    Q_OBJECT

public:
    explicit frmProfitCalc(frmMain *main);
    ~frmProfitCalc() override;

public slots:
    void butDS_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void Form_Unload();

    QPointer<frmMain> m_main;
    QLineEdit *m_txtCapital = nullptr;
    QLineEdit *m_txtBuy = nullptr;
    QLineEdit *m_txtSell = nullptr;
    QLineEdit *m_txtComm = nullptr;
    QLabel *m_lblProfit = nullptr;
};
