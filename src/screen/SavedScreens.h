#pragma once

#include "screen/Screening.h"

#include <QStringList>

#include <optional>

class QSettings;

// Named screens: the check boxes and bound texts of the screening panel under
// a name, kept in the settings store in section "Screens", one group per name
// (keys "<Frame>Ticked", "<Frame>S", "<Frame>E", as "LastTicked", "LastS",
// "LastE"; a technical range by its measure's name, as "Rsi14Ticked"). Nothing
// outside that section is read or written. Names are compared ignoring case.
class SavedScreens
{
public:
    static constexpr int MaxNameLength = 40;

    explicit SavedScreens(QSettings &settings);

    // The stored names the save rules allow, sorted ignoring case.
    QStringList names() const;
    // The stored name equal to name ignoring case; empty when there is none.
    QString find(const QString &name) const;
    // The boxes as stored: bounds come back as the texts they were saved as,
    // numbers or not. nullopt when no screen has that name.
    std::optional<CriteriaBoxes> load(const QString &name) const;
    // Stores the boxes under name, replacing a screen of that name in any
    // letter case. False (and why) when the name is refused or the store
    // cannot be written.
    bool save(const QString &name, const CriteriaBoxes &boxes, QString *error = nullptr);
    // Also takes the screen off the list to notify.
    bool remove(const QString &name, QString *error = nullptr);

    // The screens a run with --notify watches without --screen: key "Notify"
    // of the section, a list of names. Only names still saved count, as
    // stored.
    QStringList notified() const;
    bool isNotified(const QString &name) const { return notified().contains(find(name)); }
    bool setNotified(const QString &name, bool on, QString *error = nullptr);

    // A typed name trimmed of outer spaces, or nullopt and why: empty, longer
    // than MaxNameLength, or holding "/" or "\" (which the store reads as
    // nested groups).
    static std::optional<QString> checkName(const QString &typed, QString *error = nullptr);

private:
    bool sync(QString *error);

    QSettings &m_settings;
};
