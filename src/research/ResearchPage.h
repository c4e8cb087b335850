#pragma once

#include <QWebEnginePage>

class frmWB;

// The research window's page: hands every navigation and every request for
// a new window to the window's handlers, lets no other scheme than the web's
// out of the page, and holds back links and forms aimed at another frame.
class ResearchPage : public QWebEnginePage
{
    Q_OBJECT

public:
    ResearchPage(frmWB *window, QObject *parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    frmWB *m_window;
};
