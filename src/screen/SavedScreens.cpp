#include "screen/SavedScreens.h"

#include "base/ErrorReturn.h"

#include <QSettings>

#include <algorithm>

namespace {

const QString kSection = QStringLiteral("Screens");
const QString kNotifyKey = QStringLiteral("Screens/Notify");

// Box i of CriteriaBoxes: a criterion's caption ("LastS") or a technical
// measure's name ("Rsi14S"). Screens saved before the technical ranges have
// no keys for them and load with those ranges unticked and empty.
QString key(size_t i, const char *suffix)
{
    const char *stem = i < kCriteria.size() ? kCriteria[i].caption : kTechnicalMeasures[i - kCriteria.size()].name;
    return QString::fromLatin1(stem) + QLatin1String(suffix);
}

} // namespace

SavedScreens::SavedScreens(QSettings &settings)
    : m_settings(settings)
{}

QStringList SavedScreens::names() const
{
    m_settings.beginGroup(kSection);
    QStringList names = m_settings.childGroups();
    m_settings.endGroup();
    // A name the save rules would never allow (a hand edit, say) is passed over.
    names.removeIf([](const QString &name) { return checkName(name) != name; });
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

QString SavedScreens::find(const QString &name) const
{
    const QStringList all = names();
    const auto it = std::find_if(all.begin(), all.end(),
                                 [&name](const QString &n) { return n.compare(name, Qt::CaseInsensitive) == 0; });
    return it == all.end() ? QString() : *it;
}

std::optional<CriteriaBoxes> SavedScreens::load(const QString &name) const
{
    const QString stored = find(name);
    if (stored.isEmpty())
        return std::nullopt;
    CriteriaBoxes boxes;
    m_settings.beginGroup(kSection + u'/' + stored);
    for (size_t i = 0; i < boxes.size(); ++i) {
        // A bound the store reads as a list (an unquoted comma) comes back as written.
        auto text = [this](const QString &k) {
            const QVariant v = m_settings.value(k);
            return v.typeId() == QMetaType::QStringList ? v.toStringList().join(u',') : v.toString();
        };
        boxes[i] = {m_settings.value(key(i, "Ticked")).toBool(), text(key(i, "S")), text(key(i, "E"))};
    }
    m_settings.endGroup();
    return boxes;
}

bool SavedScreens::save(const QString &name, const CriteriaBoxes &boxes, QString *error)
{
    const std::optional<QString> checked = checkName(name, error);
    if (!checked)
        return false;
    const QString old = find(*checked);
    m_settings.beginGroup(kSection);
    if (!old.isEmpty())
        m_settings.remove(old);
    m_settings.beginGroup(*checked);
    for (size_t i = 0; i < boxes.size(); ++i) {
        m_settings.setValue(key(i, "Ticked"), boxes[i].ticked);
        m_settings.setValue(key(i, "S"), boxes[i].start);
        m_settings.setValue(key(i, "E"), boxes[i].end);
    }
    m_settings.endGroup();
    m_settings.endGroup();
    return sync(error);
}

bool SavedScreens::remove(const QString &name, QString *error)
{
    const QString stored = find(name);
    if (stored.isEmpty())
        return fail(error, QStringLiteral("There is no screen named \"%1\".").arg(name));
    QStringList notify = m_settings.value(kNotifyKey).toStringList();
    notify.removeIf([&stored](const QString &n) { return n.compare(stored, Qt::CaseInsensitive) == 0; });
    m_settings.setValue(kNotifyKey, notify);
    m_settings.beginGroup(kSection);
    m_settings.remove(stored);
    m_settings.endGroup();
    return sync(error);
}

QStringList SavedScreens::notified() const
{
    QStringList out;
    for (const QString &name : m_settings.value(kNotifyKey).toStringList()) {
        const QString stored = find(name);
        if (!stored.isEmpty() && !out.contains(stored))
            out.append(stored);
    }
    return out;
}

bool SavedScreens::setNotified(const QString &name, bool on, QString *error)
{
    const QString stored = find(name);
    if (stored.isEmpty())
        return fail(error, QStringLiteral("There is no screen named \"%1\".").arg(name));
    QStringList notify = notified();
    notify.removeAll(stored);
    if (on)
        notify.append(stored);
    m_settings.setValue(kNotifyKey, notify);
    return sync(error);
}

std::optional<QString> SavedScreens::checkName(const QString &typed, QString *error)
{
    const QString name = typed.trimmed();
    if (name.isEmpty()) {
        fail(error, QStringLiteral("A screen needs a name."));
        return std::nullopt;
    }
    if (name.size() > MaxNameLength) {
        fail(error, QStringLiteral("A screen's name can have at most %1 characters.").arg(MaxNameLength));
        return std::nullopt;
    }
    if (name.contains(u'/') || name.contains(u'\\')) {
        fail(error, QStringLiteral("A screen's name cannot contain \"/\" or \"\\\"."));
        return std::nullopt;
    }
    return name;
}

bool SavedScreens::sync(QString *error)
{
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        return fail(error, QStringLiteral("The settings could not be written."));
    return true;
}
