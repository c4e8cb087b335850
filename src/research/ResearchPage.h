#pragma once

#include <QWebEnginePage>

class QWebEngineLoadingInfo;
class frmWB;

// The research window's page: hands every navigation and every request for
// a new window to the window's handlers, lets no other scheme than the web's
// out of the page, and holds back links and forms aimed at another frame. A
// page whose site cannot be reached is replaced by one in the program's own
// words.
class ResearchPage : public QWebEnginePage
{
    Q_OBJECT

public:
    ResearchPage(frmWB *window, QObject *parent = nullptr);

    // The page shown is the program's own about a site that did not answer;
    // url() still names the page asked for.
    bool showsUnreachable() const { return m_showingUnreachable; }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    void loadingChanged(const QWebEngineLoadingInfo &info);

    frmWB *m_window;
    bool m_showingUnreachable = false;
    // Between setHtml() of that page and its navigation.
    bool m_unreachablePending = false;
};
