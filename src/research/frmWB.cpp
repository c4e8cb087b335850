#include "research/frmWB.h"

#include "research/ResearchHost.h"
#include "research/ResearchPage.h"
#include "research/WebPageUrl.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QToolBar>
#include <QWebEngineView>

frmWB::frmWB(ResearchHost *host, QWidget *parent)
    : QMainWindow(parent)
    , m_host(host)
{
    setObjectName(QStringLiteral("frmWB"));
    setWindowTitle(QStringLiteral("Research Window"));

    m_WB = new QWebEngineView(this);
    m_WB->setObjectName(QStringLiteral("WB"));
    m_page = new ResearchPage(this, m_WB);
    m_WB->setPage(m_page);
    setCentralWidget(m_WB);
    const QToolBar *navigation = addNavigationBar();
    m_WB->setFocus(); // the page, not the bar, takes the keys first

    QAction *tools = menuBar()->addAction(QStringLiteral("Research Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    connect(tools, &QAction::triggered, this, &frmWB::mnuTools_Click);

    // Client area 12900 x 6870 twips: 860 x 458 pixels at 96 DPI, scaled
    // like the main window with the screen's font DPI.
    const double scale = logicalDpiX() / 96.0;
    resize(qRound(860 * scale), qRound(458 * scale) + menuBar()->sizeHint().height() + navigation->sizeHint().height());
}

QToolBar *frmWB::addNavigationBar()
{
    QToolBar *bar = addToolBar(QStringLiteral("Navigation"));
    bar->setObjectName(QStringLiteral("tlbNavigation"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    setContextMenuPolicy(Qt::PreventContextMenu); // no menu that could hide the bar

    // Back and Forward are the browser's own, which follow its history.
    auto addButton = [bar](QAction *action, const char *name, const QString &text, QKeySequence::StandardKey key) {
        action->setObjectName(QLatin1String(name));
        action->setText(text);
        action->setShortcuts(key);
        action->setToolTip(QStringLiteral("%1 (%2)").arg(text, action->shortcut().toString(QKeySequence::NativeText)));
        bar->addAction(action);
        // Reached with Tab as well as by its key.
        bar->widgetForAction(action)->setFocusPolicy(Qt::TabFocus);
    };
    addButton(m_WB->pageAction(QWebEnginePage::Back), "butBack", QStringLiteral("Back"), QKeySequence::Back);
    addButton(m_WB->pageAction(QWebEnginePage::Forward), "butForward", QStringLiteral("Forward"),
              QKeySequence::Forward);
    auto *reload = new QAction(this);
    connect(reload, &QAction::triggered, this, &frmWB::butReload_Click);
    addButton(reload, "butReload", QStringLiteral("Reload"), QKeySequence::Refresh);

    auto *label = new QLabel(QStringLiteral("&Address:"), bar);
    label->setContentsMargins(8, 0, 4, 0);
    m_txtAddress = new QLineEdit(bar);
    m_txtAddress->setObjectName(QStringLiteral("txtAddress"));
    m_txtAddress->setReadOnly(true);
    m_txtAddress->setAccessibleName(QStringLiteral("Address"));
    label->setBuddy(m_txtAddress);
    bar->addWidget(label);
    bar->addWidget(m_txtAddress);
    connect(m_WB, &QWebEngineView::urlChanged, m_txtAddress,
            [this](const QUrl &url) { m_txtAddress->setText(url.toDisplayString()); });
    return bar;
}

void frmWB::butReload_Click()
{
    // The page about an unreachable site is the program's own: reloading it
    // would only show it again.
    if (m_page->showsUnreachable())
        m_WB->load(m_WB->url());
    else
        m_WB->reload();
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
