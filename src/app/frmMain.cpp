#include "app/frmMain.h"

#include "app/DialogPrompter.h"
#include "app/NumericFilter.h"
#include "app/SettingsTable.h"
#include "screen/Criteria.h"
#include "screen/GridView.h"
#include "screen/ResultGrid.h"
#include "market/SymbolList.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

QString latin(const char *text)
{
    return QString::fromLatin1(text);
}

// The status frame's logo, 170 x 14: a teal bar with the program's name.
QPixmap makeLogo()
{
    QPixmap pixmap(170, 14);
    QPainter p(&pixmap);
    QLinearGradient gradient(0, 0, 170, 0);
    gradient.setColorAt(0, QColor(0, 96, 96));
    gradient.setColorAt(1, QColor(0, 160, 160));
    p.fillRect(pixmap.rect(), gradient);
    p.setPen(QColor(255, 215, 0));
    p.drawLine(4, 11, 20, 3);
    p.drawLine(20, 3, 26, 8);
    p.drawLine(26, 8, 36, 2);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(42, 0, 126, 14), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("TARNVALE"));
    return pixmap;
}

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

} // namespace

frmMain::frmMain(const QString &programDir, Prompter *prompter, QWidget *parent)
    : QMainWindow(parent), m_programDir(programDir), m_market(programDir)
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
    image->setPixmap(makeLogo());
    image->setAccessibleName(QStringLiteral("Tarnvale"));
    m_lblDBInfo = new QLabel(frmDBInfo);
    m_lblDBInfo->setObjectName(QStringLiteral("lblDBInfo"));
    m_lblDBInfo->setFont(QFont(QStringLiteral("Times New Roman")));
    m_lblDBInfo->setMinimumWidth(170);
    m_lblDBInfo->setAccessibleName(QStringLiteral("Database"));
    dbLayout->addWidget(image);
    dbLayout->addWidget(m_lblDBInfo, 1);
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
    advs->addLayout(frames);

    m_gridView = new GridView(m_grid, m_frmADVS);
    advs->addWidget(m_gridView, 1);
    outer->addWidget(m_frmADVS, 1);
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
    connect(live, &QPushButton::clicked, this, &frmMain::butLiveQuote_Click);
    connect(findChild<QPushButton *>(QStringLiteral("butSymbResearch")), &QPushButton::clicked, this,
            &frmMain::butSymbResearch_Click);
    connect(findChild<QPushButton *>(QStringLiteral("butSymbCharts")), &QPushButton::clicked, this,
            &frmMain::butSymbCharts_Click);
    connect(m_gridView, &GridView::mouseReleased, this, &frmMain::Grid_MouseUp);
    connect(m_gridView, &GridView::cellDoubleClicked, this, &frmMain::Grid_DblClick);
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

    QMenu *market = menu(nullptr, "mnuMenu", QStringLiteral("Market"));
    QMenu *open = menu(market, "mnuMenu_Open", QStringLiteral("Open Market"));
    item(open, "mnuOpen_Nasdaq", QStringLiteral("NASDAQ"), &frmMain::mnuOpen_Nasdaq_Click);
    item(open, "mnuOpen_NYSE", QStringLiteral("NYSE"), &frmMain::mnuOpen_NYSE_Click);
    market->addSeparator();
    item(market, "mnuMenu_Exit", QStringLiteral("Exit"), &frmMain::mnuMenu_Exit_Click);

    m_mnuMenu_Market = menu(nullptr, "mnuMenu_Market", QStringLiteral("Database"));
    item(m_mnuMenu_Market, "mnuMarket_Update", QStringLiteral("Update Database"), &frmMain::mnuMarket_Update_Click);
    m_mnuMenu_Market->addSeparator();
    item(m_mnuMenu_Market, "mnuMarket_AddSymbol", QStringLiteral("Add Symbol"), &frmMain::mnuMarket_AddSymbol_Click);
    item(m_mnuMenu_Market, "mnuMarket_RemoveSymbol", QStringLiteral("Remove Symbol"),
         &frmMain::mnuMarket_RemoveSymbol_Click);

    QMenu *tools = menu(nullptr, "mnuTools", QStringLiteral("Tools"));
    QMenu *calcs = menu(tools, "mnuTools_Calcs", QStringLiteral("Calculators"));
    item(calcs, "mnuCalcs_Shares", QStringLiteral("Buy Power"), &frmMain::mnuCalcs_Shares_Click);
    item(calcs, "mnuCalcs_Profit", QStringLiteral("Possible Profit"), &frmMain::mnuCalcs_Profit_Click);

    QMenu *help = menu(nullptr, "mnuHelp", QStringLiteral("Help"));
    item(help, "mnuHelp_Topics", QStringLiteral("Help Topics"), &frmMain::mnuHelp_Topics_Click);
    help->addSeparator();
    item(help, "mnuHelp_About", QStringLiteral("About"), &frmMain::mnuHelp_About_Click);
}

void frmMain::Form_Load()
{
    LoadSettings();
    Setup_Grid();
    FrameControl(false);
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
    // Grid layout arrives with the result grid; for now an empty table.
    m_grid->beginUpdate();
    m_grid->clear();
    m_grid->setRows(2);
    m_grid->endUpdate();
}

bool frmMain::LoadDatabase()
{
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
    Setup_Grid();
    return true;
}

bool frmMain::SaveDatabase()
{
    QString error;
    if (m_market.SaveDatabase(&error))
        return true;
    m_prompter->message(QStringLiteral("The market file \"%1\" could not be saved. %2")
                            .arg(QDir::toNativeSeparators(m_market.filePath()), error),
                        Prompter::Icon::Exclamation);
    return false;
}

void frmMain::LoadSettings()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, latin(kSettingsApplication),
                       latin(kSettingsApplication));
    settings.beginGroup(latin(kSettingsSection));
    for (const SettingKey &k : kSettingKeys)
        box(k.box)->setText(settings.value(latin(k.key), latin(k.defaultValue)).toString());
}

void frmMain::SaveSettings()
{
    // A store that cannot be written is ignored: it must never keep the
    // program from ending.
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, latin(kSettingsApplication),
                       latin(kSettingsApplication));
    settings.beginGroup(latin(kSettingsSection));
    for (const SettingKey &k : kSettingKeys)
        settings.setValue(latin(k.key), box(k.box)->text());
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
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    SaveSettings();
    // Every other window goes with the main window, without prompts.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w != this && w->isWindow())
            w->close();
    }
    QCoreApplication::quit();
}

namespace {

QString quoted(const QString &symbol)
{
    return u'"' + symbol + u'"';
}

} // namespace

void frmMain::mnuMarket_AddSymbol_Click()
{
    const QString typed = m_prompter->input(QStringLiteral("Enter stock symbol"), QStringLiteral("Add symbol"));
    if (typed.trimmed().isEmpty() || !m_market.isOpen())
        return;
    MarketDatabase &db = m_market.database();
    if (findSymbol(db, typed) >= 0) {
        m_prompter->message(quoted(typed) + QStringLiteral(" is already listed!"), Prompter::Icon::Exclamation);
        return;
    }
    addSymbol(db, typed);
    if (!SaveDatabase()) {
        // Keep the list equal to the file: the symbol is not listed after all.
        db.Stocks.removeLast();
        db.Stocks.last() = StockRecord{};
        return;
    }
    m_prompter->message(quoted(typed) + QStringLiteral(" has been added!"), Prompter::Icon::Information);
}

void frmMain::mnuMarket_RemoveSymbol_Click()
{
    const QString typed = m_prompter->input(QStringLiteral("Enter stock symbol"), QStringLiteral("Remove symbol"));
    if (typed.trimmed().isEmpty())
        return;
    bool saveFailed = false;
    const bool removed = RemoveSymbol(typed, &saveFailed);
    if (saveFailed)
        return;
    if (removed)
        m_prompter->message(quoted(typed.toUpper()) + QStringLiteral(" has been removed!"), Prompter::Icon::Information);
    else
        m_prompter->message(quoted(typed.toUpper()) + QStringLiteral(" is not listed!"), Prompter::Icon::Exclamation);
}

bool frmMain::RemoveSymbol(const QString &symbol, bool *saveFailed)
{
    if (saveFailed)
        *saveFailed = false;
    if (!m_market.isOpen())
        return false;
    const MarketDatabase before = m_market.database();
    if (removeSymbol(m_market.database(), symbol) == 0)
        return false;
    if (!SaveDatabase()) {
        m_market.database() = before;
        if (saveFailed)
            *saveFailed = true;
        return false;
    }
    return true;
}

void frmMain::txtQSSymbol_Change()
{
    QLineEdit *symbol = box("txtQSSymbol");
    const QString upper = symbol->text().toUpper();
    if (upper != symbol->text())
        symbol->setText(upper);
    symbol->setCursorPosition(int(upper.size()));
}

// Handlers built with their subsystems.
void frmMain::mnuMarket_Update_Click() {}
void frmMain::mnuCalcs_Shares_Click() {}
void frmMain::mnuCalcs_Profit_Click() {}
void frmMain::mnuHelp_Topics_Click() {}
void frmMain::mnuHelp_About_Click() {}
void frmMain::butDS_Click() {}
void frmMain::butListall_Click() {}
void frmMain::butQS_Click() {}
void frmMain::butLiveQuote_Click() {}
void frmMain::butSymbResearch_Click() {}
void frmMain::butSymbCharts_Click() {}
void frmMain::Grid_MouseUp(int) {}
void frmMain::Grid_DblClick() {}
