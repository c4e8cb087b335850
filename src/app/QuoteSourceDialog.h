#pragma once

#include "quotes/QuoteSourceConfig.h"

#include <QDialog>

class Prompter;
class QButtonGroup;
class QLabel;
class QLineEdit;
class ServiceStatusQuery;

// "Tools" > "Quote Source...": which source the bundled quote service asks
// (Massive with a free API key, stooq without one, or the made-up sample
// quotes), the key with its echo hidden, and "Test", which shows what the
// running service says of its source. OK writes the service's configuration
// file, which the service reads again when it changes.
class QuoteSourceDialog : public QDialog
{
    Q_OBJECT

public:
    QuoteSourceDialog(Prompter &prompter, QWidget *parent = nullptr);

public slots:
    void butTest_Click();
    void accept() override;

private:
    QuoteSourceConfig chosen() const;

    Prompter &m_prompter;
    QString m_path;
    QuoteSourceConfig m_config;        // as read, so that what the dialog does not show is kept
    QButtonGroup *m_sources = nullptr; // one button for each source, its index in kQuoteSourceNames its id
    QLineEdit *m_txtApiKey = nullptr;
    QLabel *m_lblStatus = nullptr;
    ServiceStatusQuery *m_query = nullptr;
};
