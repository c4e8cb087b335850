#include "app/TechnicalsPanel.h"

#include "base/Text.h"
#include "quotes/ServiceGet.h"
#include "widgets/NumericFilter.h"
#include "widgets/Prompter.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const QString kTitle = QStringLiteral("Technical");

QString named(const char *prefix, const TechnicalMeasure &m, const char *suffix = "")
{
    return latin(prefix) + latin(m.name) + latin(suffix);
}

} // namespace

TechnicalsPanel::TechnicalsPanel(Prompter &prompter, QWidget *parent)
    : QGroupBox(kTitle, parent)
    , m_prompter(prompter)
    , m_get(new ServiceGet(this))
{
    setObjectName(QStringLiteral("frmTechnical"));
    // Ten ranges side by side, each "[x] caption [start] to [end]", are wider
    // than the window: they scroll, and a box reached by Tab is scrolled into
    // view. One line high, they leave the grid its room.
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    auto *ranges = new QWidget(scroll);
    auto *row = new QHBoxLayout(ranges);
    row->setContentsMargins(0, 0, 0, 0);
    // Created range by range, so Tab goes tick, start, end, then the next range.
    for (const TechnicalMeasure &m : kTechnicalMeasures) {
        auto *check = new QCheckBox(latin(m.caption), ranges);
        check->setObjectName(named("chk", m));
        check->setAccessibleName(latin(m.caption));
        row->addSpacing(row->count() ? 12 : 0);
        row->addWidget(check);
        for (const char *role : {"S", "E"}) {
            auto *box = new QLineEdit(ranges);
            box->setObjectName(named("txt", m, role));
            box->setAccessibleName(latin(m.caption)
                                   + (*role == 'S' ? QStringLiteral(" start") : QStringLiteral(" end")));
            box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("-000.00")) + 12);
            attachNumericFilter(box, AmountSign::Signed);
            if (*role == 'E')
                row->addWidget(new QLabel(QStringLiteral("to"), ranges));
            row->addWidget(box);
        }
    }
    row->addStretch(1);
    scroll->setWidget(ranges);
    scroll->setFixedHeight(ranges->sizeHint().height() + scroll->horizontalScrollBar()->sizeHint().height());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(scroll);

    connect(m_get, &ServiceGet::finished, this, &TechnicalsPanel::fetched);
}

TechnicalsPanel::~TechnicalsPanel() = default;

void TechnicalsPanel::readBoxes(CriteriaBoxes &boxes) const
{
    for (size_t i = 0; i < kTechnicalMeasures.size(); ++i) {
        const TechnicalMeasure &m = kTechnicalMeasures[i];
        boxes[technicalBox(i)] = {findChild<QCheckBox *>(named("chk", m))->isChecked(),
                                  findChild<QLineEdit *>(named("txt", m, "S"))->text(),
                                  findChild<QLineEdit *>(named("txt", m, "E"))->text()};
    }
}

void TechnicalsPanel::writeBoxes(const CriteriaBoxes &boxes)
{
    for (size_t i = 0; i < kTechnicalMeasures.size(); ++i) {
        const TechnicalMeasure &m = kTechnicalMeasures[i];
        const CriterionBoxes &b = boxes[technicalBox(i)];
        findChild<QCheckBox *>(named("chk", m))->setChecked(b.ticked);
        findChild<QLineEdit *>(named("txt", m, "S"))->setText(b.start);
        findChild<QLineEdit *>(named("txt", m, "E"))->setText(b.end);
    }
}

bool TechnicalsPanel::anyTicked() const
{
    const QList<QCheckBox *> checks = findChildren<QCheckBox *>();
    return std::any_of(checks.begin(), checks.end(), [](const QCheckBox *c) { return c->isChecked(); });
}

QList<QLineEdit *> TechnicalsPanel::boundBoxes() const
{
    return findChildren<QLineEdit *>();
}

void TechnicalsPanel::loadSettings(QSettings &settings)
{
    for (const TechnicalMeasure &m : kTechnicalMeasures) {
        for (const auto &[role, fallback] : {std::pair{"S", m.defaultStart}, std::pair{"E", m.defaultEnd}}) {
            const QVariant value = settings.value(named("", m, role), latin(fallback));
            findChild<QLineEdit *>(named("txt", m, role))
                ->setText(value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                                   : value.toString());
        }
    }
}

void TechnicalsPanel::saveSettings(QSettings &settings) const
{
    for (const TechnicalMeasure &m : kTechnicalMeasures) {
        for (const char *role : {"S", "E"})
            settings.setValue(named("", m, role), findChild<QLineEdit *>(named("txt", m, role))->text());
    }
}

void TechnicalsPanel::withTable(std::function<void(const TechnicalTable *)> then)
{
    if (const TechnicalTable *kept = m_kept.table()) {
        then(kept);
        return;
    }
    if (m_then) { // one fetch serves every screen that waits for it
        m_then = [first = std::move(m_then), then = std::move(then)](const TechnicalTable *table) {
            first(table);
            then(table);
        };
        return;
    }
    setFetching(std::move(then));
    if (!m_get->get(quoteHostSetting(), QStringLiteral("/technicals.csv"))) {
        ServiceGet::Reply none;
        none.failure = QStringLiteral("The request could not be sent.");
        fetched(none);
    }
}

std::optional<TechnicalTable> TechnicalsPanel::tableOf(const ServiceGet::Reply &reply, QString *why)
{
    *why = reply.refusal();
    if (!why->isEmpty())
        return std::nullopt;
    std::optional<TechnicalTable> table = TechnicalTable::fromCsv(reply.body);
    if (!table)
        *why = QStringLiteral("The quote service sent technical indicators that could not be read.");
    return table;
}

void TechnicalsPanel::fetched(const ServiceGet::Reply &reply)
{
    QString why;
    std::optional<TechnicalTable> table = tableOf(reply, &why);
    const auto then = std::exchange(m_then, {});
    setFetching({});
    if (!table) {
        QString text = QStringLiteral("The technical indicators could not be fetched.");
        if (!why.isEmpty())
            text += QStringLiteral("\n\n") + why;
        m_prompter.message(text, Prompter::Icon::Exclamation);
        then(nullptr);
        return;
    }
    m_kept.keep(std::move(*table));
    then(m_kept.table());
}

void TechnicalsPanel::forgetTable()
{
    m_kept.forget();
    if (m_then) {
        m_get->cancel();
        setFetching({});
    }
}

void TechnicalsPanel::setFetching(std::function<void(const TechnicalTable *)> then)
{
    m_then = std::move(then);
    // The frame's title tells sighted users and screen readers alike.
    setTitle(m_then ? kTitle + QStringLiteral(" (fetching indicators...)") : kTitle);
    emit fetchingChanged(bool(m_then));
}
