#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class frmMain;

// "Buy Power": how many shares a capital buys at a price after one
// commission. It starts from the main window's capital and commission and
// keeps the main window disabled while it is open.
class frmShareCalc : public QWidget
{
    Q_OBJECT

public:
    explicit frmShareCalc(frmMain *main);
    ~frmShareCalc() override;

public slots:
    void butDS_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void Form_Unload();

    QPointer<frmMain> m_main;
    QLineEdit *m_txtCapital = nullptr;
    QLineEdit *m_txtPrice = nullptr;
    QLineEdit *m_txtComm = nullptr;
    QLabel *m_lblShares = nullptr;
};
