#pragma once

#include "quotes/ServiceGet.h"
#include "screen/Screening.h"

#include <QGroupBox>
#include <QList>

#include <functional>
#include <optional>

class Prompter;
class QLineEdit;
class QSettings;

// The "Technical" frame of the screening panel: a check box and a start and
// an end box for each technical measure, in the order of kTechnicalMeasures.
// It also keeps the quote service's technicals table that its ranges and the
// grid's technical columns are read from, fetching it when a screen needs it.
class TechnicalsPanel : public QGroupBox
{
    Q_OBJECT

public:
    TechnicalsPanel(Prompter &prompter, QWidget *parent = nullptr);
    ~TechnicalsPanel() override;

    // The ticks and bound texts, in their places of the screening panel's boxes.
    void readBoxes(CriteriaBoxes &boxes) const;
    void writeBoxes(const CriteriaBoxes &boxes);
    bool anyTicked() const;
    QList<QLineEdit *> boundBoxes() const;

    // The last bounds, keys "<name>S" and "<name>E" of the group settings is
    // in (section "Technical"), written as the texts shown like the main
    // window's own; an absent key gives the measure's default.
    void loadSettings(QSettings &settings);
    void saveSettings(QSettings &settings) const;

    // Runs then with the kept table while it is fresh, at once; otherwise
    // fetches the table first (once, however often it is asked meanwhile) and
    // runs then when it has come, or with nullptr after telling the user why
    // it could not be had.
    void withTable(std::function<void(const TechnicalTable *)> then);
    // The kept table while it is fresh; nullptr otherwise.
    const TechnicalTable *table() const { return m_kept.table(); }
    // Drops the kept table and a fetch under way (the market was opened or
    // updated, so the service's table may have changed).
    void forgetTable();
    bool fetching() const { return bool(m_then); }

    // The table a GET of "/technicals.csv" brought; nullopt and why (the
    // service's own sentence when it refused) when it brought none.
    static std::optional<TechnicalTable> tableOf(const ServiceGet::Reply &reply, QString *why);

signals:
    void fetchingChanged(bool fetching);

private:
    void setFetching(std::function<void(const TechnicalTable *)> then);
    void fetched(const ServiceGet::Reply &reply);

    Prompter &m_prompter;
    KeptTechnicals m_kept;
    ServiceGet *m_get;
    std::function<void(const TechnicalTable *)> m_then;
};
