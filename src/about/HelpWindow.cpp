#include "about/HelpWindow.h"

#include <QTextBrowser>
#include <QUrl>

HelpWindow::HelpWindow(const QUrl &guide, QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Tarnvale Help"));
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("guide"));
    m_browser->setAccessibleName(QStringLiteral("User guide"));
    // Links to web sites open nowhere: the guide only links within itself.
    m_browser->setOpenExternalLinks(false);
    m_browser->setOpenLinks(true);
    m_browser->setSource(guide);
    setCentralWidget(m_browser);
    resize(760, 600);
}
