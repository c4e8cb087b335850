#include "research/ResearchBrowserPlugin.h"

#include "research/frmWB.h"

#include <QUrl>

ResearchBrowserPlugin::ResearchBrowserPlugin(QObject *parent)
    : QObject(parent)
{}

ResearchBrowserPlugin::~ResearchBrowserPlugin()
{
    discard();
}

void ResearchBrowserPlugin::open(ResearchHost *host, const QUrl &url)
{
    // A closed window is already on its way out (it deletes itself); one
    // made for another host cannot stay.
    if (m_window && (!m_window->isVisible() || m_window->host() != host)) {
        m_window->deleteLater();
        m_window.clear();
    }
    if (!m_window) {
        m_window = new frmWB(host);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (m_window->isMinimized())
        m_window->showNormal();
    else
        m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_window->Navigate(url);
}

QWidget *ResearchBrowserPlugin::window() const
{
    return m_window && m_window->isVisible() ? m_window.data() : nullptr;
}

void ResearchBrowserPlugin::discard()
{
    delete m_window.data();
    m_window.clear();
}
