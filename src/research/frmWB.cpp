#include "research/frmWB.h"

#include "research/ResearchHost.h"
#include "research/ResearchPage.h"
#include "research/WebPageUrl.h"

#include <QAction>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QWebEngineView>

frmWB::frmWB(ResearchHost *host, QWidget *parent)
    : QMainWindow(parent)
    , m_host(host)
{
    setObjectName(QStringLiteral("frmWB"));
    setWindowTitle(QStringLiteral("Research Window"));

    m_WB = new QWebEngineView(this);
    m_WB->setObjectName(QStringLiteral("WB"));
    m_WB->setPage(new ResearchPage(this, m_WB));
    setCentralWidget(m_WB);

    QAction *tools = menuBar()->addAction(QStringLiteral("Research Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    connect(tools, &QAction::triggered, this, &frmWB::mnuTools_Click);

    // Client area 12900 x 6870 twips: 860 x 458 pixels at 96 DPI, scaled
    // like the main window with the screen's font DPI.
    const double scale = logicalDpiX() / 96.0;
    resize(qRound(860 * scale), qRound(458 * scale) + menuBar()->sizeHint().height());
}

void frmWB::Navigate(const QUrl &url)
{
    m_WB->load(url);
}

void frmWB::setCaption()
{
    setWindowTitle((m_host ? m_host->currentCellText() : QString()) + QStringLiteral(" Research"));
}

void frmWB::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmWB::Form_Resize()
{
    // The browser fills the client area through the window's layout; only
    // the caption is left to do.
    setCaption();
}

void frmWB::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (QScreen *s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

void frmWB::WB_BeforeNavigate2(const QUrl &url, bool &cancel)
{
    setCaption();
    // The target frame's name is not part of what the browser reports here;
    // the page's frame script applies that rule (see ResearchPage).
    if (!isWebPageUrl(url)) {
        cancel = true;
        emit navigationCancelled(url);
    }
}

void frmWB::frameTargetHeldBack(const QUrl &url)
{
    setCaption();
    emit navigationCancelled(url);
}

void frmWB::WB_NewWindow2(bool &cancel)
{
    cancel = true;
    emit newWindowRefused();
}

void frmWB::mnuTools_Click()
{
    if (m_host)
        m_host->popSymbolMenu();
}
