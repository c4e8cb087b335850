#pragma once

#include <QPointer>
#include <QWidget>

class frmMain;

// The about box: the banner and the version line. The main window stays
// disabled while it is open; its close box is the only way out.
class frmAbout : public QWidget
{
    Q_OBJECT

public:
    explicit frmAbout(frmMain *main);
    ~frmAbout() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void Form_Unload();

    QPointer<frmMain> m_main;
};
