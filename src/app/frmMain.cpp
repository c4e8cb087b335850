#include "app/frmMain.h"

#include "about/AboutInfo.h"
#include "about/frmAbout.h"
#include "calc/frmProfitCalc.h"
#include "calc/frmShareCalc.h"
#include "widgets/DialogPrompter.h"
#include "base/InstallLayout.h"
#include "widgets/NumericFilter.h"
#include "base/SettingsTable.h"
#include "base/Text.h"
#include "base/UserSettings.h"
#include "screen/Criteria.h"
#include "screen/GridFill.h"
#include "widgets/GridView.h"
#include "screen/ResultGrid.h"
#include "screen/ResultsExport.h"
#include "screen/Screening.h"
#include "quotes/LiveQuote.h"
#include "quotes/QuoteFetch.h"
#include "quotes/ServiceStatus.h"
#include "quotes/UpdateDatabase.h"
#include "app/ColumnsDialog.h"
#include "app/ImportHistory.h"
#include "app/QuoteSourceDialog.h"
#include "app/ScreensMenu.h"
#include "app/TechnicalsPanel.h"
#include "research/frmMenu.h"
#include "chart/frmChart.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

QLineEdit *makeBox(const char *name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(latin(name));
    return box;
}

QLabel *makeLabel(const QString &caption, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    buddy->setAccessibleName(caption.trimmed());
    return label;
}

QPushButton *makeButton(const char *name, const QString &caption, const QString &tip, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(latin(name));
    button->setToolTip(tip);
    button->setAccessibleDescription(tip);
    button->setAutoDefault(false);
    return button;
}

// A failure message, then what the quote service said of it, if anything.
QString withReason(const QString &message, const QString &reason)
{
    return reason.isEmpty() ? message : message + QStringLiteral("\n\n") + reason;
}

MarketStore marketStoreFor(const QString &programDir)
{
    const InstallLayout::MarketLocation where = InstallLayout::marketLocation(
        programDir, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), marketFileNames());
    return MarketStore(where.directory, where.seedDirectory);
}

} // namespace

frmMain::frmMain(const QString &programDir, Prompter *prompter, QWidget *parent)
    : QMainWindow(parent)
    , m_programDir(programDir)
    , m_market(marketStoreFor(programDir))
{
    setObjectName(QStringLiteral("frmMain"));
    if (!prompter) {
        m_ownPrompter = std::make_unique<DialogPrompter>(this);
        prompter = m_ownPrompter.get();
    }
    m_prompter = prompter;
    m_grid = new ResultGrid(this);
    buildWindow();
    buildMenus();
    Form_Load();
    buildResultsMenus();
    restoreWindowGeometry();
}

frmMain::~frmMain() = default;

QLineEdit *frmMain::box(const char *objectName) const
{
    return findChild<QLineEdit *>(latin(objectName));
}

void frmMain::buildWindow()
{
    setWindowTitle(QStringLiteral("Tarnvale"));
    auto *central = new QWidget(this);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(4);

    // Status frame: logo and the database caption. Never hidden.
    auto *top = new QHBoxLayout;
    auto *frmDBInfo = new QFrame(central);
    frmDBInfo->setObjectName(QStringLiteral("frmDBInfo"));
    frmDBInfo->setFrameShape(QFrame::Box);
    frmDBInfo->setFrameShadow(QFrame::Sunken);
    auto *dbLayout = new QVBoxLayout(frmDBInfo);
    auto *image = new QLabel(frmDBInfo);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(QPixmap(QStringLiteral(":/app/logo.png"))); // 170 x 14
    image->setAccessibleName(QStringLiteral("Tarnvale"));
    m_lblDBInfo = new QLabel(frmDBInfo);
    m_lblDBInfo->setObjectName(QStringLiteral("lblDBInfo"));
    m_lblDBInfo->setFont(QFont(QStringLiteral("Times New Roman")));
    m_lblDBInfo->setMinimumWidth(170);
    // No accessible name of its own: a screen reader reads the caption itself
    // and hears each change of it, the update's progress included.
    dbLayout->addWidget(image);
    // The update's Stop button sits beside the caption that shows its progress.
    auto *captionRow = new QHBoxLayout;
    captionRow->addWidget(m_lblDBInfo, 1);
    m_butStop = makeButton("butStop", QStringLiteral("Stop"),
                           QStringLiteral("Stop the database update or the live quote (Esc)"), frmDBInfo);
    // Escape anywhere in the window works as the button, while it is shown.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, m_butStop, [this] {
        if (m_butStop->isVisible())
            m_butStop->click();
    });
    m_butStop->hide();
    captionRow->addWidget(m_butStop, 0, Qt::AlignBottom);
    dbLayout->addLayout(captionRow, 1);
    connect(m_butStop, &QPushButton::clicked, this, [this] {
        if (m_update) {
            m_update->cancel();
        } else if (m_liveQuote) {
            // A live quote stopped while it waits stores nothing and says nothing.
            m_liveQuote->cancel();
            m_liveQuote->deleteLater();
            m_liveQuote = nullptr;
            holdForLiveQuote(false);
        }
    });
    frmDBInfo->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    top->addWidget(frmDBInfo, 3);

    m_frmPersonal = new QGroupBox(QStringLiteral("Personal Information"), central);
    m_frmPersonal->setObjectName(QStringLiteral("frmPersonal"));
    auto *personal = new QFormLayout(m_frmPersonal);
    QLineEdit *capital = makeBox("txtCapital", m_frmPersonal);
    QLineEdit *comm = makeBox("txtComm", m_frmPersonal);
    personal->addRow(makeLabel(QStringLiteral("Capital: $"), capital, m_frmPersonal), capital);
    personal->addRow(makeLabel(QStringLiteral("Comm: $"), comm, m_frmPersonal), comm);
    top->addWidget(m_frmPersonal, 2);

    m_frmQS = new QGroupBox(QStringLiteral("Quick search"), central);
    m_frmQS->setObjectName(QStringLiteral("frmQS"));
    auto *qs = new QGridLayout(m_frmQS);
    QLineEdit *symbol = makeBox("txtQSSymbol", m_frmQS);
    qs->addWidget(makeLabel(QStringLiteral("Symbol:"), symbol, m_frmQS), 0, 0);
    qs->addWidget(symbol, 0, 1);
    QPushButton *search = makeButton("butQS", QStringLiteral("Search"), QStringLiteral("List current data"), m_frmQS);
    QPushButton *live = makeButton("butLiveQuote", QStringLiteral("Live Quote"),
                                   QStringLiteral("Get an up-to-date quote from today"), m_frmQS);
    auto *qsButtons = new QHBoxLayout;
    qsButtons->addWidget(search);
    qsButtons->addWidget(live);
    qs->addLayout(qsButtons, 1, 0, 1, 2);
    top->addWidget(m_frmQS, 2);
    outer->addLayout(top);

    // Screening panel: two rows of small frames, then the result grid.
    m_frmADVS = new QFrame(central);
    m_frmADVS->setObjectName(QStringLiteral("frmADVS"));
    auto *advs = new QVBoxLayout(m_frmADVS);
    advs->setContentsMargins(0, 0, 0, 0);
    auto *frames = new QGridLayout;
    frames->setSpacing(4);
    auto criterionFrame = [&](const Criterion &c) {
        auto *frame = new QGroupBox(latin(c.caption), m_frmADVS);
        frame->setObjectName(latin(c.frame));
        auto *layout = new QGridLayout(frame);
        layout->setContentsMargins(4, 2, 4, 2);
        layout->setVerticalSpacing(2);
        auto *check = new QCheckBox(frame);
        check->setObjectName(latin(c.check));
        check->setAccessibleName(latin(c.caption));
        QLineEdit *start = makeBox(c.startBox, frame);
        QLineEdit *end = makeBox(c.endBox, frame);
        const QString unit = c.dollar ? QStringLiteral(" $") : QString();
        QLabel *startLabel = makeLabel(QStringLiteral("Start:") + unit, start, frame);
        QLabel *endLabel = makeLabel(QStringLiteral("  End:") + unit, end, frame);
        start->setAccessibleName(latin(c.caption) + QStringLiteral(" start"));
        end->setAccessibleName(latin(c.caption) + QStringLiteral(" end"));
        layout->addWidget(check, 0, 0, 2, 1);
        layout->addWidget(startLabel, 0, 1);
        layout->addWidget(start, 0, 2);
        layout->addWidget(endLabel, 1, 1);
        layout->addWidget(end, 1, 2);
        return frame;
    };
    auto criterion = [](const char *frame) -> const Criterion & {
        for (const Criterion &c : kCriteria) {
            if (qstrcmp(c.frame, frame) == 0)
                return c;
        }
        Q_UNREACHABLE();
    };
    frames->addWidget(criterionFrame(criterion("Frame5")), 0, 0);
    frames->addWidget(criterionFrame(criterion("Frame6")), 0, 1);
    frames->addWidget(criterionFrame(criterion("Frame8")), 0, 2);
    frames->addWidget(criterionFrame(criterion("Frame9")), 0, 3);
    auto *filter = new QGroupBox(QStringLiteral("Filter Options"), m_frmADVS);
    filter->setObjectName(QStringLiteral("Frame1"));
    auto *filterLayout = new QVBoxLayout(filter);
    filterLayout->addWidget(makeButton("butListall", QStringLiteral("List All"),
                                       QStringLiteral("List all stocks in the database"), filter));
    filterLayout->addWidget(makeButton("butDS", QStringLiteral("Match Stocks"),
                                       QStringLiteral("List all stocks that meet the specified criteria"), filter));
    frames->addWidget(filter, 0, 4);
    frames->addWidget(criterionFrame(criterion("Frame7")), 1, 0);
    frames->addWidget(criterionFrame(criterion("Frame10")), 1, 1);
    frames->addWidget(criterionFrame(criterion("Frame11")), 1, 2);
    auto *symbolOptions = new QGroupBox(QStringLiteral("Symbol Options"), m_frmADVS);
    symbolOptions->setObjectName(QStringLiteral("Frame2"));
    auto *symbolLayout = new QHBoxLayout(symbolOptions);
    symbolLayout->addWidget(makeButton("butSymbResearch", QStringLiteral("Research Resources"),
                                       QStringLiteral("Resources to research this stock symbol"), symbolOptions));
    symbolLayout->addWidget(makeButton("butSymbCharts", QStringLiteral("View Charts"),
                                       QStringLiteral("View charts for this stock symbol"), symbolOptions));
    frames->addWidget(symbolOptions, 1, 3, 1, 2);
    m_technical = new TechnicalsPanel(*m_prompter, m_frmADVS);
    frames->addWidget(m_technical, 2, 0, 1, 5);
    advs->addLayout(frames);

    m_gridView = new GridView(m_grid, m_frmADVS);
    advs->addWidget(m_gridView, 1);
    outer->addWidget(m_frmADVS, 1);
    // Keeps the status frame at its own height while the panels are hidden.
    outer->addStretch(0);
    setCentralWidget(central);

    for (const SettingKey &k : kSettingKeys) {
        QLineEdit *b = box(k.box);
        if (qstrcmp(k.box, "txtQSSymbol") != 0)
            attachNumericFilter(b);
    }
    connect(symbol, &QLineEdit::textChanged, this, &frmMain::txtQSSymbol_Change);
    connect(findChild<QPushButton *>(QStringLiteral("butDS")), &QPushButton::clicked, this, &frmMain::butDS_Click);
    connect(findChild<QPushButton *>(QStringLiteral("butListall")), &QPushButton::clicked, this,
            &frmMain::butListall_Click);
    connect(search, &QPushButton::clicked, this, &frmMain::butQS_Click);
    // Enter runs the box's own command, unless its button is held.
    connect(symbol, &QLineEdit::returnPressed, search, &QPushButton::click);
    auto *matchStocks = findChild<QPushButton *>(QStringLiteral("butDS"));
    for (const Criterion &c : kCriteria) {
        for (const char *name : {c.startBox, c.endBox})
            connect(box(name), &QLineEdit::returnPressed, matchStocks, &QPushButton::click);
    }
    for (QLineEdit *b : m_technical->boundBoxes())
        connect(b, &QLineEdit::returnPressed, matchStocks, &QPushButton::click);
    // One fetch of the technicals at a time; the screens wait for it.
    connect(m_technical, &TechnicalsPanel::fetchingChanged, this, [this, matchStocks](bool fetching) {
        matchStocks->setEnabled(!fetching);
        findChild<QPushButton *>(QStringLiteral("butListall"))->setEnabled(!fetching);
    });
    connect(live, &QPushButton::clicked, this, &frmMain::butLiveQuote_Click);
    connect(findChild<QPushButton *>(QStringLiteral("butSymbResearch")), &QPushButton::clicked, this,
            &frmMain::butSymbResearch_Click);
    connect(findChild<QPushButton *>(QStringLiteral("butSymbCharts")), &QPushButton::clicked, this,
            &frmMain::butSymbCharts_Click);
    connect(m_gridView, &GridView::mouseReleased, this, &frmMain::Grid_MouseUp);
    connect(m_gridView, &GridView::cellDoubleClicked, this, [this](Qt::KeyboardModifiers modifiers) {
        modifiers &Qt::ControlModifier ? openChartOfCurrentRow() : Grid_DblClick();
    });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this), &QShortcut::activated, this,
            &frmMain::openChartOfCurrentRow);
    connect(m_gridView, &GridView::menuKeyPressed, this, &frmMain::Grid_MenuKey);
}

void frmMain::buildMenus()
{
    auto menu = [this](QMenu *parent, const char *name, const QString &caption) {
        QMenu *m = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
        m->setObjectName(latin(name));
        m->menuAction()->setObjectName(latin(name));
        return m;
    };
    auto item = [this](QMenu *parent, const char *name, const QString &caption, void (frmMain::*slot)()) {
        QAction *a = parent->addAction(caption);
        a->setObjectName(latin(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };

    QMenu *market = menu(nullptr, "mnuMenu", QStringLiteral("&Market"));
    QMenu *open = menu(market, "mnuMenu_Open", QStringLiteral("&Open Market"));
    item(open, "mnuOpen_Nasdaq", QStringLiteral("&NASDAQ"), &frmMain::mnuOpen_Nasdaq_Click);
    item(open, "mnuOpen_NYSE", QStringLiteral("N&YSE"), &frmMain::mnuOpen_NYSE_Click);
    market->addSeparator();
    item(market, "mnuMenu_Exit", QStringLiteral("E&xit"), &frmMain::mnuMenu_Exit_Click);

    m_mnuMenu_Market = menu(nullptr, "mnuMenu_Market", QStringLiteral("&Database"));
    item(m_mnuMenu_Market, "mnuMarket_Update", QStringLiteral("&Update Database"), &frmMain::mnuMarket_Update_Click);
    m_mnuMenu_Market->addSeparator();
    item(m_mnuMenu_Market, "mnuMarket_AddSymbol", QStringLiteral("&Add Symbol"), &frmMain::mnuMarket_AddSymbol_Click);
    item(m_mnuMenu_Market, "mnuMarket_RemoveSymbol", QStringLiteral("&Remove Symbol"),
         &frmMain::mnuMarket_RemoveSymbol_Click);
    m_mnuMenu_Market->addSeparator();
    item(m_mnuMenu_Market, "mnuMarket_ImportHistory", QStringLiteral("Import &History..."),
         &frmMain::mnuMarket_ImportHistory_Click);

    QMenu *tools = menu(nullptr, "mnuTools", QStringLiteral("&Tools"));
    QMenu *calcs = menu(tools, "mnuTools_Calcs", QStringLiteral("&Calculators"));
    item(calcs, "mnuCalcs_Shares", QStringLiteral("&Buy Power"), &frmMain::mnuCalcs_Shares_Click);
    item(calcs, "mnuCalcs_Profit", QStringLiteral("&Possible Profit"), &frmMain::mnuCalcs_Profit_Click);
    tools->addSeparator();
    item(tools, "mnuTools_QuoteSource", QStringLiteral("&Quote Source..."), &frmMain::mnuTools_QuoteSource_Click);

    QMenu *help = menu(nullptr, "mnuHelp", QStringLiteral("&Help"));
    item(help, "mnuHelp_Topics", QStringLiteral("Help &Topics"), &frmMain::mnuHelp_Topics_Click);
    help->addSeparator();
    item(help, "mnuHelp_About", QStringLiteral("&About"), &frmMain::mnuHelp_About_Click);
}

void frmMain::Form_Load()
{
    LoadSettings();
    Setup_Grid();
    FrameControl(false);
    // The one thing to do first, until a market is opened.
    m_lblDBInfo->setText(QStringLiteral("Open a market: Market > Open Market"));
    // 712 x 450 client pixels at 96 DPI, scaled with the screen's font DPI.
    const double scale = logicalDpiX() / 96.0;
    resize(qRound(712 * scale), qRound(450 * scale) + menuBar()->sizeHint().height());
}

void frmMain::FrameControl(bool blnOnOff)
{
    for (QWidget *panel : {static_cast<QWidget *>(m_frmPersonal), static_cast<QWidget *>(m_frmQS), m_frmADVS})
        panel->setEnabled(blnOnOff);
    for (QWidget *panel : {static_cast<QWidget *>(m_frmPersonal), static_cast<QWidget *>(m_frmQS), m_frmADVS})
        panel->setVisible(blnOnOff);
    m_mnuMenu_Market->menuAction()->setEnabled(blnOnOff);
}

void frmMain::Setup_Grid()
{
    m_grid->beginUpdate();
    setupGrid(*m_grid, m_technicalColumns);
    m_grid->endUpdate();
}

void frmMain::AddResultRow(int index)
{
    const MarketDatabase &db = m_market.database();
    if (index < 0 || index >= db.listedCount())
        return;
    addResultRow(*m_grid, db.Stocks[index], readPersonalAmounts(box("txtCapital")->text(), box("txtComm")->text()),
                 NumberFormat::Symbols(), {m_technicalColumns, m_technical->table()});
}

bool frmMain::LoadDatabase()
{
    // The service's technicals may have changed with the market's quotes.
    m_technical->forgetTable();
    QString error;
    if (!m_market.LoadDatabase(&error)) {
        FrameControl(false);
        m_lblDBInfo->setText(QStringLiteral("Database: %1 could not be opened").arg(m_market.MarketName));
        Setup_Grid();
        m_prompter->message(QStringLiteral("The market file \"%1\" could not be opened. %2")
                                .arg(QDir::toNativeSeparators(m_market.filePath()), error),
                            Prompter::Icon::Exclamation);
        return false;
    }
    const MarketDatabase &db = m_market.database();
    m_lblDBInfo->setText(QStringLiteral("Database: %1 (%2 listed)\nLast update: %3")
                             .arg(m_market.MarketName)
                             .arg(db.listedCount())
                             .arg(marketDateText(db.LastUpdate, QLocale())));
    // The file in use: beside the program, or the user's own copy when the
    // program is installed.
    m_lblDBInfo->setToolTip(QDir::toNativeSeparators(m_market.filePath()));
    Setup_Grid();
    return true;
}

bool frmMain::SaveDatabase(const MarketStore::Change &change)
{
    QString error;
    if (m_market.saveChange(change, &error))
        return true;
    m_prompter->message(m_market.saveFailureMessage(error), Prompter::Icon::Exclamation);
    return false;
}

void frmMain::LoadSettings()
{
    QSettings settings = userSettings();
    settings.beginGroup(latin(kSettingsSection));
    for (const SettingKey &k : kSettingKeys) {
        const QVariant value = settings.value(latin(k.key), latin(k.defaultValue));
        // A hand-edited value with a comma and no quotes (Capital=1,000.50)
        // is read back as a list; the user wrote one text, so it is put back
        // together and left to the box's filter.
        box(k.box)->setText(value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                                     : value.toString());
    }
    settings.endGroup();
    // The technical bounds have a section of their own: "Settings" keeps its 17 keys.
    settings.beginGroup(QStringLiteral("Technical"));
    m_technical->loadSettings(settings);
    settings.endGroup();
    m_technicalColumns = ColumnsDialog::load(settings);
}

void frmMain::SaveSettings()
{
    // A store that cannot be written is ignored: it must never keep the
    // program from ending.
    QSettings settings = userSettings();
    settings.beginGroup(latin(kSettingsSection));
    for (const SettingKey &k : kSettingKeys)
        settings.setValue(latin(k.key), box(k.box)->text());
    settings.endGroup();
    settings.beginGroup(QStringLiteral("Technical"));
    m_technical->saveSettings(settings);
    settings.endGroup();
    settings.sync();
}

void frmMain::openMarket(const MarketInfo &market)
{
    m_market.selectMarket(market);
    FrameControl(true);
    LoadDatabase();
}

void frmMain::mnuOpen_Nasdaq_Click()
{
    openMarket(kNasdaq);
}

void frmMain::mnuOpen_NYSE_Click()
{
    openMarket(kNyse);
}

void frmMain::mnuMenu_Exit_Click()
{
    close();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    saveWindowGeometry();
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // An update under way stops here and saves what it has refreshed.
    if (m_update)
        m_update->cancel();
    SaveSettings();
    // Every other window goes with the main window, without prompts.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w != this && w->isWindow())
            w->close();
    }
    QCoreApplication::quit();
}

bool frmMain::refuseListChange()
{
    if (!m_update && !m_liveQuote)
        return false;
    m_prompter->message(QStringLiteral("Symbols cannot be added or removed while quotes are being fetched."),
                        Prompter::Icon::Exclamation);
    return true;
}

void frmMain::mnuMarket_AddSymbol_Click()
{
    if (refuseListChange())
        return;
    const QString typed = m_prompter->input(QStringLiteral("Enter stock symbol"), QStringLiteral("Add symbol"));
    if (typed.trimmed().isEmpty())
        return;
    showSymbolChange(m_market.addSymbol(typed));
}

void frmMain::mnuMarket_RemoveSymbol_Click()
{
    if (refuseListChange())
        return;
    const QString typed = m_prompter->input(QStringLiteral("Enter stock symbol"), QStringLiteral("Remove symbol"));
    if (typed.trimmed().isEmpty())
        return;
    removeListedSymbol(typed);
}

void frmMain::removeListedSymbol(const QString &symbol)
{
    if (refuseListChange())
        return;
    showSymbolChange(m_market.removeSymbol(symbol));
}

void frmMain::showSymbolChange(const MarketStore::SymbolChange &change)
{
    if (!change.message.isEmpty())
        m_prompter->message(change.message, change.changed ? Prompter::Icon::Information : Prompter::Icon::Exclamation);
}

void frmMain::txtQSSymbol_Change()
{
    QLineEdit *symbol = box("txtQSSymbol");
    const QString upper = symbol->text().toUpper();
    if (upper != symbol->text())
        symbol->setText(upper);
    symbol->setCursorPosition(int(upper.size()));
}

void frmMain::mnuMarket_Update_Click()
{
    if (m_update || m_liveQuote || !m_market.isOpen())
        return;
    FrameControl(false);
    // The update walks and saves this market: no other may be opened meanwhile.
    QAction *openMarket = findChild<QMenu *>(QStringLiteral("mnuMenu_Open"))->menuAction();
    openMarket->setEnabled(false);
    m_butStop->show();
    m_update = new UpdateDatabase(m_market, quoteHostSetting(), this);
    m_update->setSaver([this](const MarketStore::Change &change) { return SaveDatabase(change); });
    connect(m_update, &UpdateDatabase::progress, this, [this](int percent, const QString &symbol) {
        m_lblDBInfo->setText(UpdateDatabase::progressCaption(percent, symbol));
    });
    connect(m_update, &UpdateDatabase::finished, this, [this, openMarket](const UpdateDatabase::Result &result) {
        m_update->deleteLater();
        m_update = nullptr;
        m_butStop->hide();
        openMarket->setEnabled(true);
        if (m_unloaded)
            return;
        if (result.ending == UpdateDatabase::Ending::Unreachable)
            m_prompter->message(withReason(QString::fromLatin1(ConnectionFailureMessage), result.sourceReason),
                                Prompter::Icon::Exclamation);
        else if (result.ending == UpdateDatabase::Ending::Completed && result.saved)
            m_prompter->message(UpdateDatabase::completionMessage(result),
                                result.refreshed == 0 && !result.skipped.isEmpty() ? Prompter::Icon::Exclamation
                                                                                   : Prompter::Icon::Information);
        FrameControl(true);
        // A failed save keeps the refreshed records in memory for the next save.
        if (result.saved)
            LoadDatabase();
    });
    m_update->start();
}
void frmMain::mnuCalcs_Shares_Click()
{
    if (!m_shareCalc || !m_shareCalc->isVisible()) // a closed one is already on its way out
        m_shareCalc = new frmShareCalc(this, box("txtCapital")->text(), box("txtComm")->text());
    m_shareCalc->show();
}

void frmMain::mnuCalcs_Profit_Click()
{
    if (!m_profitCalc || !m_profitCalc->isVisible()) // a closed one is already on its way out
        m_profitCalc = new frmProfitCalc(this, box("txtCapital")->text(), box("txtComm")->text());
    m_profitCalc->show();
}

void frmMain::mnuTools_QuoteSource_Click()
{
    auto *dialog = new QuoteSourceDialog(*m_prompter, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void frmMain::mnuMarket_ImportHistory_Click()
{
    if (!m_importHistory)
        m_importHistory = new ImportHistory(this, *m_prompter, m_market.directory(), m_market.seedDirectory());
    m_importHistory->ask();
}

void frmMain::mnuHelp_Topics_Click()
{
    // Every choice starts another copy; the main window keeps no link to it.
    QString error;
    if (!AboutInfo::startHelpProgram(m_programDir, &error))
        m_prompter->message(error, Prompter::Icon::Exclamation);
}

void frmMain::mnuHelp_About_Click()
{
    if (!m_about || !m_about->isVisible()) // a closed one is already on its way out
        m_about = new frmAbout(this);
    m_about->show();
}

// Resets the grid and writes the rows in one model reset. The walk processes
// no events, so the capital and commission read once hold for every row.
void frmMain::showStocks(const QList<int> &indexes, const TechnicalTable *table)
{
    m_grid->beginUpdate();
    Setup_Grid();
    addResultRows(*m_grid, m_market.database(), indexes,
                  readPersonalAmounts(box("txtCapital")->text(), box("txtComm")->text()), NumberFormat::Symbols(),
                  {m_technicalColumns, table});
    m_grid->endUpdate();
}

CriteriaBoxes frmMain::criteriaBoxes() const
{
    CriteriaBoxes boxes;
    for (size_t i = 0; i < kCriteria.size(); ++i) {
        const Criterion &c = kCriteria[i];
        boxes[i] = {findChild<QCheckBox *>(latin(c.check))->isChecked(), box(c.startBox)->text(),
                    box(c.endBox)->text()};
    }
    m_technical->readBoxes(boxes);
    return boxes;
}

void frmMain::butDS_Click()
{
    const CriteriaBoxes boxes = criteriaBoxes();
    // All bounds are read before the walk, so a box without a number stops
    // the screen before the grid loses what it shows.
    int bad = 0;
    const std::optional<ScreenBounds> bounds = readScreenBounds(boxes, &bad);
    if (!bounds) {
        m_prompter->message(badBoundsMessage(kCriteria[size_t(bad)]), Prompter::Icon::Exclamation);
        return;
    }
    if (!m_technical->anyTicked() && m_technicalColumns.isEmpty()) {
        showStocks(matchStocks(m_market.database(), *bounds), nullptr);
        return;
    }
    const std::optional<TechnicalRanges> ranges = readTechnicalRanges(boxes, &bad);
    if (!ranges) {
        m_prompter->message(badBoundsMessage(kTechnicalMeasures[size_t(bad)]), Prompter::Icon::Exclamation);
        return;
    }
    // Without the table a technical range cannot be told, and the grid keeps
    // what it shows; columns alone can wait for a later fetch.
    m_technical->withTable([this, bounds = *bounds, ranges = *ranges](const TechnicalTable *table) {
        if (table || !anyTicked(ranges))
            showStocks(matchStocks(m_market.database(), bounds, ranges, table ? *table : TechnicalTable()), table);
    });
}

void frmMain::butListall_Click()
{
    if (m_technicalColumns.isEmpty()) {
        showStocks(allStocks(m_market.database()), nullptr);
        return;
    }
    m_technical->withTable([this](const TechnicalTable *table) { showStocks(allStocks(m_market.database()), table); });
}

void frmMain::butQS_Click()
{
    showStocks(quickSearch(m_market.database(), box("txtQSSymbol")->text()), m_technical->table());
}

void frmMain::butLiveQuote_Click()
{
    const QString symbol = box("txtQSSymbol")->text();
    if (symbol.isEmpty() || m_liveQuote || m_update)
        return;
    holdForLiveQuote(true);
    auto *fetch = new QuoteFetch(this);
    m_liveQuote = fetch;
    fetch->setPause(LiveQuotePauseSeconds);
    connect(fetch, &QuoteFetch::finished, this, [this, fetch](const QuoteFetch::Result &result) {
        fetch->deleteLater();
        m_liveQuote = nullptr;
        holdForLiveQuote(false);
        if (!result.quote) {
            if (result.fault == ReplyFault::UnknownSymbol) {
                m_prompter->message(liveQuoteUnknownMessage(result.symbol), Prompter::Icon::Exclamation);
                return;
            }
            // A local service that cannot get quotes says why, and the
            // message waits for that answer, a short one at most.
            const QString why =
                result.answered ? liveQuoteFailedMessage(result.symbol) : QString::fromLatin1(ConnectionFailureMessage);
            auto *status = new ServiceStatusQuery(this);
            connect(status, &ServiceStatusQuery::finished, this,
                    [this, status, why](const std::optional<ServiceStatus> &answer) {
                        status->deleteLater();
                        m_prompter->message(withReason(why, answer ? statusExplanation(*answer) : QString()),
                                            Prompter::Icon::Exclamation);
                    });
            status->ask(quoteHostSetting());
            return;
        }
        // The symbol asked for, not whatever the box holds by now.
        const MarketDatabase &db = m_market.database();
        const qsizetype index = m_market.isOpen() ? findLiveQuoteIndex(db, result.symbol) : -1;
        if (index >= 0) {
            SaveDatabase([&result](MarketDatabase &saved) {
                const qsizetype at = findLiveQuoteIndex(saved, result.symbol);
                if (at >= 0)
                    storeQuote(*result.quote, saved.Stocks[at]);
            });
            // Where the stock is now, should the save have read the file again.
            Setup_Grid();
            AddResultRow(int(findLiveQuoteIndex(m_market.database(), result.symbol)));
            return;
        }
        if (!m_prompter->askYesNo(liveQuoteQuestion(result.symbol)))
            return;
        mnuMarket_AddSymbol_Click();
        butLiveQuote_Click(); // starts over with a new request
    });
    fetch->fetch(quoteHostSetting(), symbol);
}

void frmMain::holdForLiveQuote(bool on)
{
    // One request at a time: nothing else may start one while this one
    // waits, and Stop (or Escape) ends the wait.
    findChild<QPushButton *>(QStringLiteral("butLiveQuote"))->setEnabled(!on);
    findChild<QPushButton *>(QStringLiteral("butQS"))->setEnabled(!on);
    m_butStop->setVisible(on);
    // The "Database" menu goes back to whatever the panels are now.
    m_mnuMenu_Market->menuAction()->setEnabled(!on && m_frmQS->isEnabled());
}

frmMenu *frmMain::symbolMenu()
{
    if (!m_frmMenu)
        m_frmMenu = new frmMenu(
            this, *m_grid, *m_prompter, [this](const QString &symbol) { removeListedSymbol(symbol); },
            [this](const QString &symbol) { frmChart::showFor(symbol, *m_prompter, this); });
    return m_frmMenu;
}

// The two symbol buttons pop their submenu for whatever cell is current.
void frmMain::butSymbResearch_Click()
{
    symbolMenu()->popup(symbolMenu()->mnuSymb_Research());
}

void frmMain::butSymbCharts_Click()
{
    symbolMenu()->popup(symbolMenu()->mnuSymb_Charts());
}

// button: 1 left, 2 right, 4 middle. Acts on the current row, which the
// grid has moved to the listed row under the pointer on the press.
void frmMain::Grid_MouseUp(int button)
{
    if (m_grid->row() > 0 && button > 1) {
        m_grid->setCol(1);
        symbolMenu()->popup(symbolMenu()->mnuSymb());
    }
}

void frmMain::Grid_MenuKey()
{
    if (m_grid->row() <= 0)
        return;
    m_grid->setCol(1);
    const QRect cell = m_gridView->visualRect(m_gridView->currentIndex());
    symbolMenu()->popup(symbolMenu()->mnuSymb(), m_gridView->viewport()->mapToGlobal(cell.bottomLeft()));
}

void frmMain::Grid_DblClick()
{
    // Like a right-click, the SYMBOL cell becomes current first, so a double
    // click on a price never hands the price to the menu as a symbol.
    if (m_grid->row() > 0)
        m_grid->setCol(1);
    symbolMenu()->popup(symbolMenu()->mnuSymb());
}

void frmMain::openChartOfCurrentRow()
{
    // The row's SYMBOL cell, whichever cell of the row is current.
    const QString symbol = m_grid->row() >= 1 ? m_grid->text(m_grid->row(), 1) : QString();
    if (!symbol.trimmed().isEmpty())
        frmChart::showFor(symbol, *m_prompter, this);
}

namespace {

const QString kGeometryKey = QStringLiteral("Window/Geometry");

} // namespace

void frmMain::buildResultsMenus()
{
    // "Export Results..." sits above the separator before "Exit".
    QMenu *market = menuBar()->findChild<QMenu *>(QStringLiteral("mnuMenu"));
    QAction *separator = nullptr;
    for (QAction *a : market->actions()) {
        if (a->isSeparator()) {
            separator = a;
            break;
        }
    }
    m_mnuMenu_Export = new QAction(QStringLiteral("&Export Results..."), market);
    m_mnuMenu_Export->setObjectName(QStringLiteral("mnuMenu_Export"));
    m_mnuMenu_Export->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_mnuMenu_Export->setEnabled(false);
    market->insertAction(separator, m_mnuMenu_Export);
    connect(m_mnuMenu_Export, &QAction::triggered, this, &frmMain::mnuMenu_Export_Click);
    // Sorts by the current cell's column; again, the other way round.
    m_mnuMenu_Sort = new QAction(QStringLiteral("&Sort by Current Column"), market);
    m_mnuMenu_Sort->setObjectName(QStringLiteral("mnuMenu_Sort"));
    m_mnuMenu_Sort->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_mnuMenu_Sort->setEnabled(false);
    market->insertAction(separator, m_mnuMenu_Sort);
    connect(m_mnuMenu_Sort, &QAction::triggered, this, [this] { m_gridView->sortByHeader(m_grid->col()); });
    // Every load of a market resets the grid, whether it opened or not.
    connect(m_grid, &QAbstractItemModel::modelReset, this, [this] {
        m_mnuMenu_Export->setEnabled(m_market.isOpen());
        m_mnuMenu_Sort->setEnabled(m_market.isOpen());
    });

    // "Screens" comes after "Tools".
    QAction *help = menuBar()->findChild<QMenu *>(QStringLiteral("mnuHelp"))->menuAction();
    auto *screens = new ScreensMenu(
        *m_prompter, m_frmADVS, [this] { return criteriaBoxes(); }, menuBar());
    menuBar()->insertMenu(help, screens);
    connect(screens, &ScreensMenu::screenChosen, this, &frmMain::runScreen);

    // "View" comes after "Database".
    auto *view = new QMenu(QStringLiteral("&View"), menuBar());
    view->setObjectName(QStringLiteral("mnuView"));
    view->menuAction()->setObjectName(QStringLiteral("mnuView"));
    menuBar()->insertMenu(menuBar()->findChild<QMenu *>(QStringLiteral("mnuTools"))->menuAction(), view);
    QAction *columns = view->addAction(QStringLiteral("&Columns..."));
    columns->setObjectName(QStringLiteral("mnuView_Columns"));
    connect(columns, &QAction::triggered, this, &frmMain::mnuView_Columns_Click);
}

void frmMain::mnuView_Columns_Click()
{
    auto *dialog = new ColumnsDialog(m_technicalColumns, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        if (dialog->chosen() == m_technicalColumns)
            return;
        m_technicalColumns = dialog->chosen();
        QSettings settings = userSettings();
        ColumnsDialog::save(settings, m_technicalColumns);
        // The rows shown were written for the old columns; the next screen fills the new ones.
        Setup_Grid();
    });
    dialog->open();
}

void frmMain::runScreen(const CriteriaBoxes &boxes)
{
    // The bounds go in as stored; the boxes' filter applies as to any text.
    for (size_t i = 0; i < kCriteria.size(); ++i) {
        const Criterion &c = kCriteria[i];
        findChild<QCheckBox *>(latin(c.check))->setChecked(boxes[i].ticked);
        box(c.startBox)->setText(boxes[i].start);
        box(c.endBox)->setText(boxes[i].end);
    }
    m_technical->writeBoxes(boxes);
    butDS_Click();
}

void frmMain::mnuMenu_Export_Click()
{
    if (!m_market.isOpen())
        return;
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    const QString suggested =
        documents.filePath(ResultsExport::defaultFileName(m_market.MarketName, QDate::currentDate()));
    const QString path =
        m_prompter->saveFileName(QStringLiteral("Export Results"), suggested, QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!ResultsExport::write(*m_grid, path, &error))
        m_prompter->message(QStringLiteral("The results could not be exported to \"%1\". %2")
                                .arg(QDir::toNativeSeparators(path), error),
                            Prompter::Icon::Exclamation);
}

void frmMain::restoreWindowGeometry()
{
    // Without a stored geometry the window keeps the size Form_Load gave it.
    // restoreGeometry brings a window back onto a screen that still exists.
    QSettings settings = userSettings();
    const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
    const QSize fallback = size();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        resize(fallback);
        return;
    }
    // A stored size larger than the screen, or smaller than the window can
    // be used at (a damaged or hand-edited value), gives way to the first
    // start's size, on the screen.
    if (isMaximized() || isFullScreen())
        return;
    const QScreen *on = QGuiApplication::screenAt(frameGeometry().center());
    const QRect screen = (on ? on : QGuiApplication::primaryScreen())->availableGeometry();
    const QSize least = minimumSizeHint();
    if (width() > screen.width() || height() > screen.height() || width() < least.width()
        || height() < least.height()) {
        resize(fallback);
        move(screen.center() - rect().center());
    }
}

void frmMain::saveWindowGeometry()
{
    QSettings settings = userSettings();
    settings.setValue(kGeometryKey, saveGeometry());
    settings.sync();
}
