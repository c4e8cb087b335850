#include "chart/frmChart.h"

#include "base/Text.h"
#include "chart/ChartData.h"
#include "chart/ChartSummary.h"
#include "chart/ChartView.h"
#include "market/SafeFile.h"
#include "quotes/QuoteHost.h"
#include "quotes/ServiceGet.h"
#include "widgets/Prompter.h"

#include <QApplication>
#include <QBuffer>
#include <QButtonGroup>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

// The service may fetch a history from its keyed source before it answers.
constexpr int kConnectMs = 10'000;
constexpr int kReplyMs = 90'000;

QPushButton *makeButton(const char *name, const QString &caption, const QString &description, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(latin(name));
    button->setToolTip(description);
    button->setAccessibleDescription(description);
    button->setAutoDefault(false);
    return button;
}

} // namespace

frmChart::frmChart(const QString &symbol, Prompter &prompter, QWidget *owner)
    : QMainWindow(nullptr)
    , m_symbol(symbol)
    , m_prompter(prompter)
{
    setObjectName(QStringLiteral("frmChart"));
    setWindowTitle(symbol + QStringLiteral(" Chart"));
    setAttribute(Qt::WA_DeleteOnClose);
    connect(owner, &QObject::destroyed, this, [this] { delete this; });

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    m_controls = new QWidget(central);
    auto *row = new QHBoxLayout(m_controls);
    row->setContentsMargins(0, 0, 0, 0);
    m_ranges = new QButtonGroup(this);
    for (const ChartRange &r : kChartRanges) {
        QPushButton *b = makeButton(r.control, latin(r.caption), latin(r.description), m_controls);
        b->setCheckable(true);
        m_ranges->addButton(b, int(&r - kChartRanges.data()));
        const int months = r.months;
        connect(b, &QPushButton::clicked, this, [this, months] { showRange(months); });
        row->addWidget(b);
    }
    row->addSpacing(12);
    // Candles or a line: one of the two is always down.
    auto *style = new QButtonGroup(this);
    QPushButton *candles =
        makeButton("butCandles", QStringLiteral("Candles"), QStringLiteral("Draw candles"), m_controls);
    QPushButton *line =
        makeButton("butLine", QStringLiteral("Line"), QStringLiteral("Draw a line of the closes"), m_controls);
    for (QPushButton *b : {candles, line}) {
        b->setCheckable(true);
        style->addButton(b);
        row->addWidget(b);
    }
    candles->setChecked(true);
    row->addStretch(1);
    QPushButton *save = makeButton("butSaveImage", QStringLiteral("&Save Image..."),
                                   QStringLiteral("Save the chart as a PNG image"), m_controls);
    row->addWidget(save);
    layout->addWidget(m_controls);

    m_lblStatus = new QLabel(QStringLiteral("Loading…"), central);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_lblStatus->setAlignment(Qt::AlignCenter);
    m_lblStatus->setWordWrap(true);
    m_lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(m_lblStatus, 1);

    m_view = new ChartView(central);
    m_view->setObjectName(QStringLiteral("picChart"));
    m_view->setAccessibleName(symbol + QStringLiteral(" price chart"));
    m_view->hide();
    layout->addWidget(m_view, 1);

    m_lblReading = new QLabel(central);
    m_lblReading->setObjectName(QStringLiteral("lblReading"));
    m_lblReading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_lblReading);
    m_controls->setEnabled(false);
    setCentralWidget(central);

    connect(candles, &QPushButton::toggled, this,
            [this](bool on) { m_view->setStyle(on ? ChartView::Style::Candles : ChartView::Style::Line); });
    connect(save, &QPushButton::clicked, this, &frmChart::butSaveImage_Click);
    connect(m_view, &ChartView::rangeChanged, this, [this] {
        if (!m_choosingRange)
            markRange(-1);
        describe();
    });
    connect(m_view, &ChartView::readBarChanged, this, [this] {
        const qsizetype bar = m_view->readBar();
        m_lblReading->setText(bar >= 0 ? barReading(m_view->bars()[size_t(bar)]) : QString());
    });
    resize(m_view->sizeHint() + QSize(24, 100));
}

frmChart *frmChart::showFor(const QString &symbol, Prompter &prompter, QWidget *owner)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        auto *chart = qobject_cast<frmChart *>(w);
        if (chart && chart->symbol() == symbol && chart->isVisible()) {
            chart->raise();
            chart->activateWindow();
            return chart;
        }
    }
    auto *chart = new frmChart(symbol, prompter, owner);
    chart->show();
    chart->load(quoteHostSetting());
    return chart;
}

void frmChart::load(const QuoteHost &host)
{
    if (!m_get) {
        m_get = new ServiceGet(this);
        m_get->setTimeouts(kConnectMs, kReplyMs);
        connect(m_get, &ServiceGet::finished, this, [this](const ServiceGet::Reply &reply) {
            QString failure;
            if (std::optional<BarSeries> bars = historyFromReply(reply, m_symbol, &failure))
                showBars(std::move(*bars));
            else
                showFailure(failure);
        });
    }
    m_get->cancel();
    m_lblStatus->setText(QStringLiteral("Loading…"));
    m_get->get(host, historyPath(m_symbol));
}

void frmChart::showBars(BarSeries bars)
{
    m_technicals = computeTechnicals(m_symbol, bars);
    const qsizetype count = qsizetype(bars.size()) - rangeStart(bars, kChartRanges[kDefaultChartRange].months);
    m_choosingRange = true;
    m_view->setBars(std::move(bars), count);
    m_choosingRange = false;
    markRange(kDefaultChartRange);
    m_lblStatus->hide();
    m_view->show();
    m_controls->setEnabled(true);
    m_view->setFocus();
}

void frmChart::showFailure(const QString &text)
{
    m_view->hide();
    m_lblStatus->setText(text);
    m_lblStatus->show();
    // Read out at once, like a message box would be.
    m_lblStatus->setFocus();
}

void frmChart::showRange(int months)
{
    const BarSeries &bars = m_view->bars();
    m_choosingRange = true;
    m_view->showRange(rangeStart(bars, months), qsizetype(bars.size()) - 1);
    m_choosingRange = false;
}

void frmChart::markRange(int index)
{
    // Exclusive buttons cannot all be up: the group lets go while one is raised.
    m_ranges->setExclusive(false);
    for (QAbstractButton *b : m_ranges->buttons())
        b->setChecked(m_ranges->id(b) == index);
    m_ranges->setExclusive(true);
}

void frmChart::describe()
{
    m_view->setAccessibleDescription(
        chartSummary(m_view->bars(), m_technicals, m_view->firstShown(), m_view->lastShown()));
}

void frmChart::butSaveImage_Click()
{
    const QDir pictures(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    const QString suggested = pictures.filePath(m_symbol + QStringLiteral(" chart.png"));
    const QString path =
        m_prompter.saveFileName(QStringLiteral("Save Image"), suggested, QStringLiteral("PNG images (*.png)"));
    if (path.isEmpty())
        return;
    QByteArray png;
    QBuffer buffer(&png);
    QString error;
    if (!buffer.open(QIODevice::WriteOnly) || !m_view->image().save(&buffer, "PNG"))
        error = QStringLiteral("The image could not be made.");
    else if (SafeFile::writeAtomically(path, png, &error))
        return;
    m_prompter.message(
        QStringLiteral("The chart could not be saved to \"%1\". %2").arg(QDir::toNativeSeparators(path), error),
        Prompter::Icon::Exclamation);
}
