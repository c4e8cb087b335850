#include "research/frmMenu.h"

#include "base/InstallLayout.h"
#include "base/Text.h"
#include "widgets/Prompter.h"
#include "research/BrowserGraphics.h"
#include "research/LinkCatalogue.h"
#include "research/ResearchBrowser.h"
#include "screen/ResultGrid.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMetaMethod>
#include <QPluginLoader>
#include <QUrl>

namespace {

// Menu texts treat "&" as a mnemonic mark; the captions mean a plain "&".
QString menuText(QString caption)
{
    return caption.replace(u'&', QStringLiteral("&&"));
}

QMenu *addSubmenu(QMenu *parent, const char *name, const char *caption)
{
    QMenu *menu = parent->addMenu(menuText(latin(caption)));
    menu->setObjectName(latin(name));
    menu->menuAction()->setObjectName(latin(name));
    return menu;
}

} // namespace

// A top-level window of its own rather than the main window's child: the
// calculators and the about box disable the main window with every window it
// holds, and the research window's "Research Tools" must still pop a menu
// that works. It goes with the main window all the same.
frmMenu::frmMenu(QWidget *owner, ResultGrid &grid, Prompter &prompter,
                 std::function<void(const QString &)> removeSymbol, std::function<void(const QString &)> openChart)
    : QWidget(nullptr, Qt::Window)
    , m_grid(grid)
    , m_prompter(prompter)
    , m_removeSymbol(std::move(removeSymbol))
    , m_openChart(std::move(openChart))
    , m_browserDirectory(InstallLayout::privateDirectory(QCoreApplication::applicationDirPath()))
{
    setObjectName(QStringLiteral("frmMenu"));
    setWindowTitle(QStringLiteral("Symbol Menu"));
    loadOverrides();
    buildMenus();
    connect(owner, &QObject::destroyed, this, [this] { delete this; });
}

frmMenu::~frmMenu()
{
    // The research window asks this host for its caption and menu.
    if (m_browser)
        m_browser->discard();
}

// A file that cannot be used is reported here, once for the run, and the
// catalogue is shown as it stands.
void frmMenu::loadOverrides()
{
    const QString path = LinkCatalogue::overridesPath();
    QFile file(path);
    if (!file.exists())
        return;
    int line = 0;
    QString error;
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
    } else if (LinkCatalogue::parseOverrides(QString::fromUtf8(file.readAll()), &m_overrides, &line, &error)) {
        return;
    }
    const QString where = line > 0 ? QStringLiteral("%1, line %2").arg(QDir::toNativeSeparators(path)).arg(line)
                                   : QDir::toNativeSeparators(path);
    m_prompter.message(QStringLiteral("%1: %2.\nThe Symbol Menu shows its standard links.").arg(where, error),
                       Prompter::Icon::Exclamation);
}

void frmMenu::buildMenus()
{
    m_mnuSymb = new QMenu(QStringLiteral("Symbol Menu"), this);
    m_mnuSymb->setObjectName(QStringLiteral("mnuSymb"));
    m_mnuSymb->menuAction()->setObjectName(QStringLiteral("mnuSymb"));

    // Each page item reaches the handler named after it, control + "_Click".
    auto addPageItem = [this](QMenu *menu, const char *control, const char *caption) {
        QAction *action = menu->addAction(menuText(latin(caption)));
        action->setObjectName(latin(control));
        action->setVisible(!m_overrides.hidden.contains(action->objectName()));
        const QByteArray signature = QByteArray(control) + "_Click()";
        const int index = metaObject()->indexOfSlot(signature.constData());
        Q_ASSERT_X(index >= 0, "frmMenu", signature.constData());
        if (index < 0)
            return;
        const QMetaMethod handler = metaObject()->method(index);
        connect(action, &QAction::triggered, this, [this, handler] { handler.invoke(this, Qt::DirectConnection); });
    };

    m_mnuSymb_Charts = addSubmenu(m_mnuSymb, "mnuSymb_Charts", "Charts");
    for (const MenuGroup &g : kChartMenus) {
        QMenu *service = addSubmenu(m_mnuSymb_Charts, g.control, g.caption);
        for (const ChartPeriod &p : kChartPeriods) {
            if (qstrcmp(p.menu, g.control) == 0)
                addPageItem(service, p.control, p.caption);
        }
    }

    m_mnuSymb_Research = addSubmenu(m_mnuSymb, "mnuSymb_Research", "Research");
    for (const ResearchGroup &g : kResearchGroups) {
        QMenu *group = addSubmenu(m_mnuSymb_Research, g.control, g.caption);
        for (const ResearchLink &l : kResearchLinks) {
            if (qstrcmp(l.group, g.control) == 0)
                addPageItem(group, l.control, l.caption);
        }
        if (qstrcmp(g.control, kResearchSeparatorAfter) == 0)
            m_mnuSymb_Research->addSeparator()->setObjectName(QStringLiteral("Brk2"));
    }

    for (const LinkOverrides::Added &a : std::as_const(m_overrides.added)) {
        auto *group = m_mnuSymb->findChild<QMenu *>(a.menu);
        if (!group)
            continue;
        QAction *action = group->addAction(menuText(a.caption));
        const QString address = a.address;
        connect(action, &QAction::triggered, this, [this, address] { openAddress(address); });
    }

    m_mnuSymb->addSeparator()->setObjectName(QStringLiteral("Brk1"));
    QAction *remove = m_mnuSymb->addAction(QStringLiteral("Remove"));
    remove->setObjectName(QStringLiteral("mnuSymb_Remove"));
    connect(remove, &QAction::triggered, this, &frmMenu::mnuSymb_Remove_Click);

    m_mnuSymb->addSeparator()->setObjectName(QStringLiteral("Brk3"));
    QAction *chart = m_mnuSymb->addAction(QStringLiteral("Chart"));
    chart->setObjectName(QStringLiteral("mnuSymb_Chart"));
    connect(chart, &QAction::triggered, this, &frmMenu::mnuSymb_Chart_Click);
}

void frmMenu::popup(QMenu *menu)
{
    popup(menu, QCursor::pos());
}

void frmMenu::popup(QMenu *menu, const QPoint &at)
{
    m_lastPopup = menu;
    menu->popup(at);
}

void frmMenu::popSymbolMenu()
{
    popup(m_mnuSymb);
}

QString frmMenu::currentCellText() const
{
    return m_grid.text();
}

bool frmMenu::currentSymbol(QString *symbol) const
{
    *symbol = m_grid.text();
    return m_grid.row() >= 1 && !symbol->isEmpty();
}

void frmMenu::OpenChart(qint16 templateIndex, const QString &time, const QString &extra)
{
    QString symbol;
    if (!currentSymbol(&symbol))
        return;
    openPage(LinkCatalogue::chartUrl(templateIndex, symbol, time, extra));
}

void frmMenu::OpenResearchPage(const QString &site, const QString &prefix, const QString &suffix)
{
    QString symbol;
    if (!currentSymbol(&symbol))
        return;
    openPage(LinkCatalogue::researchUrl(site, prefix, symbol, suffix));
}

void frmMenu::openItem(QStringView control)
{
    const auto own = m_overrides.addresses.constFind(control.toString());
    if (own != m_overrides.addresses.cend()) {
        openAddress(*own);
        return;
    }
    if (const ChartPeriod *p = LinkCatalogue::findChartPeriod(control)) {
        OpenChart(p->templateIndex, latin(p->time), latin(p->extra));
        return;
    }
    if (const ResearchLink *l = LinkCatalogue::findResearchLink(control))
        OpenResearchPage(latin(l->host), latin(l->prefix), latin(l->suffix));
}

void frmMenu::openAddress(const QString &address)
{
    QString symbol;
    if (!currentSymbol(&symbol))
        return;
    const QUrl url = LinkCatalogue::overrideUrl(address, symbol);
    if (url.isValid())
        openPage(url);
}

void frmMenu::openPage(const QUrl &url)
{
    QString error;
    ResearchBrowser *browser = researchBrowser(&error);
    if (!browser) {
        m_prompter.message(QStringLiteral("The research window could not be opened. %1").arg(error),
                           Prompter::Icon::Exclamation);
        return;
    }
    browser->open(this, url);
}

void frmMenu::setResearchBrowser(ResearchBrowser *browser)
{
    if (m_browser && m_browser != browser)
        m_browser->discard();
    m_browser = browser;
}

ResearchBrowser *frmMenu::researchBrowser(QString *error)
{
    if (m_browser)
        return m_browser;
    // The library stays loaded for the rest of the run; its root object is
    // the one research browser.
    prepareBrowserGraphics();
    QPluginLoader loader(QDir(m_browserDirectory).filePath(QStringLiteral("tarnvale_browser")));
    QObject *instance = loader.instance();
    m_browser = qobject_cast<ResearchBrowser *>(instance);
    if (!m_browser && error)
        *error = instance ? QStringLiteral("The browser library is not the expected one.") : loader.errorString();
    return m_browser;
}

void frmMenu::mnuSymb_Remove_Click()
{
    if (m_grid.row() < 1)
        return;
    // A blank cell (the empty row of an empty grid, or the "*" row) names no
    // stock, just as a blank answer to "Remove Symbol" does not.
    const QString symbol = m_grid.text();
    if (symbol.trimmed().isEmpty())
        return;
    m_removeSymbol(symbol);
}

void frmMenu::mnuSymb_Chart_Click()
{
    QString symbol;
    if (currentSymbol(&symbol) && m_openChart)
        m_openChart(symbol);
}

// One handler per page item, each opening its own row of the catalogue.
#define PAGE_HANDLER(control)                                                                                          \
    void frmMenu::control##_Click()                                                                                    \
    {                                                                                                                  \
        openItem(u"" #control);                                                                                        \
    }

PAGE_HANDLER(mnuYahoo_1D)
PAGE_HANDLER(mnuYahoo_5D)
PAGE_HANDLER(mnuYahoo_3M)
PAGE_HANDLER(mnuYahoo_6M)
PAGE_HANDLER(mnuYahoo_1Y)
PAGE_HANDLER(mnuYahoo_2Y)
PAGE_HANDLER(mnuYahoo_5Y)
PAGE_HANDLER(mnuBC_1D)
PAGE_HANDLER(mnuBC_2D)
PAGE_HANDLER(mnuBC_5D)
PAGE_HANDLER(mnuBC_10D)
PAGE_HANDLER(mnuBC_1M)
PAGE_HANDLER(mnuBC_2M)
PAGE_HANDLER(mnuBC_3M)
PAGE_HANDLER(mnuBC_6M)
PAGE_HANDLER(mnuBC_YTD)
PAGE_HANDLER(mnuBC_1Y)
PAGE_HANDLER(mnuBC_2Y)
PAGE_HANDLER(mnuBC_3Y)
PAGE_HANDLER(mnuBC_4Y)
PAGE_HANDLER(mnuBC_5Y)
PAGE_HANDLER(mnuBC_1DE)

PAGE_HANDLER(mnuE_SmartMoney)
PAGE_HANDLER(mnuE_Edgar)
PAGE_HANDLER(mnuE_EarningsWhispers)
PAGE_HANDLER(mnuE_ConferenceCalls)
PAGE_HANDLER(mnuF_BusinessWeek)
PAGE_HANDLER(mnuF_CNBC)
PAGE_HANDLER(mnuF_Morningstar)
PAGE_HANDLER(mnuF_YahooFinance)
PAGE_HANDLER(mnuSI_ViWes)
PAGE_HANDLER(mnuSI_Barchart)
PAGE_HANDLER(mnuTT_InvestorTech)
PAGE_HANDLER(mnuTT_HarrisDirect)
PAGE_HANDLER(mnuTT_StockCharts)
PAGE_HANDLER(mnuTT_ClearStation)
PAGE_HANDLER(mnuIT_YahooFinance)
PAGE_HANDLER(mnuIT_Quote)
PAGE_HANDLER(mnuIT_MSN)
PAGE_HANDLER(mnuIH_MSN)
PAGE_HANDLER(mnuIH_Morningstar)
PAGE_HANDLER(mnuIH_Quote)
PAGE_HANDLER(mnuNA_CBSMarketwatch)
PAGE_HANDLER(mnuNA_GoogleNews)
PAGE_HANDLER(mnuNA_MerrillLynch)
PAGE_HANDLER(mnuPR_Lycos)
PAGE_HANDLER(mnuPR_Forbes)
PAGE_HANDLER(mnuPR_Reuters)
PAGE_HANDLER(mnuPR_10KWizard)
PAGE_HANDLER(mnuPR_PCQuote)
PAGE_HANDLER(mnuCE_CompanyBoardRoom)
PAGE_HANDLER(mnuCE_Yahoo)
PAGE_HANDLER(mnuCE_BusinessWeek)
PAGE_HANDLER(mnuCE_Forbes)
PAGE_HANDLER(mnuSEC_10KWizard)
PAGE_HANDLER(mnuSEC_AOL)
PAGE_HANDLER(mnuSEC_CBSMarketWatch)
PAGE_HANDLER(mnuSEC_EdgarOnline)
PAGE_HANDLER(mnuDS_BigCharts)

#undef PAGE_HANDLER
