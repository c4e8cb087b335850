#include "app/QuoteSourceDialog.h"

#include "quotes/QuoteHost.h"
#include "quotes/ServiceStatus.h"
#include "widgets/Prompter.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>

QuoteSourceDialog::QuoteSourceDialog(Prompter &prompter, QWidget *parent)
    : QDialog(parent)
    , m_prompter(prompter)
    , m_path(quoteSourceConfigPath())
{
    setObjectName(QStringLiteral("frmQuoteSource"));
    setWindowTitle(QStringLiteral("Quote Source"));
    QString error;
    if (const std::optional<QuoteSourceConfig> config = readQuoteSourceConfig(m_path, &error))
        m_config = *config;

    auto *layout = new QVBoxLayout(this);
    auto *sources = new QGroupBox(QStringLiteral("Source"), this);
    auto *sourceLayout = new QVBoxLayout(sources);
    m_sources = new QButtonGroup(this);
    // In the order of kQuoteSourceNames.
    const std::array<std::pair<const char *, QString>, 3> options{{
        {"optMassive", QStringLiteral("&Massive, with a free API key (end-of-day quotes)")},
        {"optStooq", QStringLiteral("&stooq, without a key (it may refuse programs)")},
        {"optSample", QStringLiteral("S&ample quotes, made up (no internet needed)")},
    }};
    for (int id = 0; id < int(options.size()); ++id) {
        auto *button = new QRadioButton(options[id].second, sources);
        button->setObjectName(QString::fromLatin1(options[id].first));
        sourceLayout->addWidget(button);
        m_sources->addButton(button, id);
    }
    layout->addWidget(sources);

    auto *form = new QFormLayout;
    m_txtApiKey = new QLineEdit(m_config.apiKey, this);
    m_txtApiKey->setObjectName(QStringLiteral("txtApiKey"));
    m_txtApiKey->setEchoMode(QLineEdit::Password);
    m_txtApiKey->setAccessibleName(QStringLiteral("API key"));
    auto *keyLabel = new QLabel(QStringLiteral("API &key:"), this);
    keyLabel->setBuddy(m_txtApiKey);
    form->addRow(keyLabel, m_txtApiKey);
    auto *getKey = new QLabel(
        QStringLiteral("<a href=\"https://massive.com/\">Get a free key at massive.com</a> (for personal use, under "
                       "the provider's terms)"),
        this);
    getKey->setObjectName(QStringLiteral("lblGetKey"));
    getKey->setOpenExternalLinks(true);
    getKey->setTextInteractionFlags(Qt::TextBrowserInteraction);
    form->addRow(QString(), getKey);
    layout->addLayout(form);

    auto *test = new QPushButton(QStringLiteral("&Test"), this);
    test->setObjectName(QStringLiteral("butTest"));
    test->setToolTip(QStringLiteral("Ask the running quote service how its source answers"));
    test->setAutoDefault(false);
    m_lblStatus = new QLabel(this);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_lblStatus->setWordWrap(true);
    layout->addWidget(test, 0, Qt::AlignLeft);
    layout->addWidget(m_lblStatus);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QuoteSourceDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(test, &QPushButton::clicked, this, &QuoteSourceDialog::butTest_Click);

    // With a key and no choice made, the service takes the keyed source.
    const QString name = m_config.name.isEmpty()
                             ? (m_config.apiKey.isEmpty() ? QStringLiteral("stooq") : QStringLiteral("massive"))
                             : m_config.name;
    for (int id = 0; id < int(std::size(kQuoteSourceNames)); ++id) {
        if (name == QLatin1StringView(kQuoteSourceNames[id]))
            m_sources->button(id)->setChecked(true);
    }
    const auto keyWanted = [this] { m_txtApiKey->setEnabled(m_sources->checkedId() == 0); };
    keyWanted();
    connect(m_sources, &QButtonGroup::idToggled, this, keyWanted);
    if (!error.isEmpty())
        m_lblStatus->setText(QStringLiteral("The quote source settings could not be read: %1").arg(error));
}

QuoteSourceConfig QuoteSourceDialog::chosen() const
{
    QuoteSourceConfig config = m_config;
    config.name = QString::fromLatin1(kQuoteSourceNames[qMax(0, m_sources->checkedId())]);
    config.apiKey = m_txtApiKey->text().trimmed();
    return config;
}

void QuoteSourceDialog::butTest_Click()
{
    if (m_query)
        return;
    m_lblStatus->setText(QStringLiteral("Asking the quote service..."));
    m_query = new ServiceStatusQuery(this);
    connect(m_query, &ServiceStatusQuery::finished, this, [this](const std::optional<ServiceStatus> &status) {
        m_query->deleteLater();
        m_query = nullptr;
        m_lblStatus->setText(status ? statusSummary(*status)
                                    : QStringLiteral("The quote service on this computer does not answer."));
    });
    m_query->ask(quoteHostSetting());
}

void QuoteSourceDialog::accept()
{
    const QuoteSourceConfig config = chosen();
    if (config.name == u"massive" && config.apiKey.isEmpty()) {
        m_prompter.message(QStringLiteral("Massive needs an API key. Get a free one at massive.com and type it in."),
                           Prompter::Icon::Exclamation);
        return;
    }
    QString error;
    if (config != m_config && !writeQuoteSourceConfig(m_path, config, &error)) {
        m_prompter.message(QStringLiteral("The quote source settings could not be saved to \"%1\". %2")
                               .arg(QDir::toNativeSeparators(m_path), error),
                           Prompter::Icon::Exclamation);
        return;
    }
    QDialog::accept();
}
