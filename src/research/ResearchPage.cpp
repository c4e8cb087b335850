#include "research/ResearchPage.h"

#include "research/frmWB.h"

ResearchPage::ResearchPage(frmWB *window, QObject *parent) : QWebEnginePage(parent), m_window(window) {}

bool ResearchPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    bool cancel = false;
    m_window->WB_BeforeNavigate2(url, type, isMainFrame, cancel);
    return !cancel;
}

QWebEnginePage *ResearchPage::createWindow(WebWindowType)
{
    bool cancel = true;
    m_window->WB_NewWindow2(cancel);
    // There is never a second research window to hand out.
    return nullptr;
}
