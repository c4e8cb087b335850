#pragma once

#include <QMainWindow>

class QUrl;
class QWebEngineView;
class ResearchHost;

// The research window: one embedded browser, WB, filling the client area, and
// a menu bar whose "Research Tools" pops the Symbol Menu. Its caption follows
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

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Form_Resize();
    void setCaption();

    ResearchHost *m_host;
    QWebEngineView *m_WB;
    bool m_centred = false;
};
