#include "app/ScreensMenu.h"

#include "base/UserSettings.h"
#include "screen/SavedScreens.h"
#include "widgets/Prompter.h"

#include <QEvent>
#include <QSettings>

ScreensMenu::ScreensMenu(Prompter &prompter, QWidget *panel, std::function<CriteriaBoxes()> currentBoxes,
                         QWidget *parent)
    : QMenu(QStringLiteral("&Screens"), parent)
    , m_prompter(prompter)
    , m_panel(panel)
    , m_currentBoxes(std::move(currentBoxes))
{
    setObjectName(QStringLiteral("mnuScreens"));
    menuAction()->setObjectName(QStringLiteral("mnuScreens"));
    fill();
    m_panel->installEventFilter(this);
}

bool ScreensMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_panel && event->type() == QEvent::EnabledChange)
        fill();
    return QMenu::eventFilter(watched, event);
}

void ScreensMenu::fill()
{
    clear();
    // Screens fill and run the screening panel: only while it can be used.
    const bool usable = m_panel->isEnabled();
    QAction *save = addAction(QStringLiteral("&Save Screen As..."));
    save->setObjectName(QStringLiteral("mnuScreens_Save"));
    save->setEnabled(usable);
    connect(save, &QAction::triggered, this, &ScreensMenu::mnuScreens_Save_Click);
    QAction *remove = addAction(QStringLiteral("&Delete Screen..."));
    remove->setObjectName(QStringLiteral("mnuScreens_Delete"));
    connect(remove, &QAction::triggered, this, &ScreensMenu::mnuScreens_Delete_Click);

    QSettings settings = userSettings();
    const QStringList names = SavedScreens(settings).names();
    remove->setEnabled(!names.isEmpty());
    QAction *notify = addAction(QStringLiteral("&Notify Me"));
    notify->setObjectName(QStringLiteral("mnuScreens_Notify"));
    notify->setCheckable(true);
    connect(notify, &QAction::triggered, this, &ScreensMenu::mnuScreens_Notify_Click);
    showNotify();
    if (names.isEmpty())
        return;
    addSeparator()->setObjectName(QStringLiteral("mnuScreens_Brk"));
    for (const QString &name : names.first(qMin(names.size(), kListedScreens))) {
        QAction *item = addAction(QString(name).replace(u'&', QStringLiteral("&&")));
        item->setObjectName(QStringLiteral("mnuScreens_Item"));
        item->setData(name);
        item->setEnabled(usable);
        connect(item, &QAction::triggered, this, [this, name] { loadScreen(name); });
    }
    if (names.size() <= kListedScreens)
        return;
    // The rest are found by typing in a list, rather than in a menu taller
    // than the screen.
    QAction *more = addAction(QStringLiteral("&More Screens..."));
    more->setObjectName(QStringLiteral("mnuScreens_More"));
    more->setEnabled(usable);
    connect(more, &QAction::triggered, this, &ScreensMenu::mnuScreens_More_Click);
}

void ScreensMenu::mnuScreens_More_Click()
{
    QSettings settings = userSettings();
    const QString chosen = m_prompter.chooseItem(QStringLiteral("Choose the screen to run"),
                                                 QStringLiteral("More Screens"), SavedScreens(settings).names());
    if (!chosen.isEmpty())
        loadScreen(chosen);
}

void ScreensMenu::mnuScreens_Save_Click()
{
    if (!m_panel->isEnabled())
        return;
    const QString typed =
        m_prompter.input(QStringLiteral("Enter a name for this screen"), QStringLiteral("Save Screen As"));
    if (typed.trimmed().isEmpty())
        return;
    QString error;
    const std::optional<QString> name = SavedScreens::checkName(typed, &error);
    if (!name) {
        m_prompter.message(error, Prompter::Icon::Exclamation);
        return;
    }
    QSettings settings = userSettings();
    SavedScreens screens(settings);
    const QString existing = screens.find(*name);
    if (!existing.isEmpty()
        && !m_prompter.askYesNo(
            QStringLiteral("A screen named \"%1\" already exists. Do you want to replace it?").arg(existing)))
        return;
    const CriteriaBoxes boxes = m_currentBoxes();
    if (!screens.save(*name, boxes, &error))
        m_prompter.message(QStringLiteral("The screen \"%1\" could not be saved. %2").arg(*name, error),
                           Prompter::Icon::Exclamation);
    else
        m_current = *name;
    fill();
}

void ScreensMenu::mnuScreens_Delete_Click()
{
    QSettings settings = userSettings();
    SavedScreens screens(settings);
    const QStringList names = screens.names();
    if (names.isEmpty())
        return;
    const QString chosen =
        m_prompter.chooseItem(QStringLiteral("Choose the screen to delete"), QStringLiteral("Delete Screen"), names);
    if (chosen.isEmpty())
        return;
    QString error;
    if (!screens.remove(chosen, &error))
        m_prompter.message(QStringLiteral("The screen \"%1\" could not be deleted. %2").arg(chosen, error),
                           Prompter::Icon::Exclamation);
    fill();
}

void ScreensMenu::loadScreen(const QString &name)
{
    if (!m_panel->isEnabled())
        return;
    QSettings settings = userSettings();
    const std::optional<CriteriaBoxes> boxes = SavedScreens(settings).load(name);
    if (!boxes) {
        m_prompter.message(QStringLiteral("There is no screen named \"%1\".").arg(name), Prompter::Icon::Exclamation);
        fill();
        return;
    }
    m_current = name;
    showNotify();
    emit screenChosen(*boxes);
}

void ScreensMenu::showNotify()
{
    QAction *notify = findChild<QAction *>(QStringLiteral("mnuScreens_Notify"));
    QSettings settings = userSettings();
    const SavedScreens saved(settings);
    m_current = saved.find(m_current);
    notify->setEnabled(!m_current.isEmpty());
    notify->setChecked(!m_current.isEmpty() && saved.isNotified(m_current));
    notify->setStatusTip(m_current.isEmpty()
                             ? QString()
                             : QStringLiteral("Tell me when stocks enter \"%1\" on a trading day").arg(m_current));
}

void ScreensMenu::mnuScreens_Notify_Click(bool checked)
{
    if (m_current.isEmpty())
        return;
    QSettings settings = userSettings();
    QString error;
    if (!SavedScreens(settings).setNotified(m_current, checked, &error))
        m_prompter.message(QStringLiteral("The screen \"%1\" could not be changed. %2").arg(m_current, error),
                           Prompter::Icon::Exclamation);
    showNotify();
}
