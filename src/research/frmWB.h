#pragma once

#include <QMainWindow>

class QLineEdit;
class QToolBar;
class QUrl;
class QWebEngineView;
class ResearchHost;
class ResearchPage;

// The research window: one embedded browser, WB, below a bar with Back,
// Forward, Reload and the read-only address of the page shown, and a menu
// bar whose "Research Tools" pops the Symbol Menu. Its caption follows
// the result grid's current cell, not the page. Pages cannot open other
// windows, leave the web for another scheme, or send a link or form into
// another frame.
class frmWB : public QMainWindow
{
    Q_OBJECT

public:
    // host gives the caption text and the Symbol Menu; it must outlive the window.
    explicit frmWB(ResearchHost *host, QWidget *parent = nullptr);

    ResearchHost *host() const { return m_host; }
    QWebEngineView *WB() const { return m_WB; }
    // Loads url in place of the current page.
    void Navigate(const QUrl &url);

    // Every navigation the browser is about to make, of the page or of a frame.
    void WB_BeforeNavigate2(const QUrl &url, bool &cancel);
    void WB_NewWindow2(bool &cancel);
    // The page held back a link or form to url that named another frame.
    void frameTargetHeldBack(const QUrl &url);

signals:
    // Observable outcomes of the two browser events.
    void navigationCancelled(const QUrl &url);
    void newWindowRefused();

public slots:
    void mnuTools_Click();
    // Loads the page shown again; a site that did not answer is asked again.
    void butReload_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Form_Resize();
    void setCaption();
    QToolBar *addNavigationBar();

    ResearchHost *m_host;
    QWebEngineView *m_WB;
    ResearchPage *m_page;
    QLineEdit *m_txtAddress = nullptr;
    bool m_centred = false;
};
