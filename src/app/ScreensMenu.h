#pragma once

#include "screen/Screening.h"

#include <QMenu>

#include <functional>

class Prompter;

// "Screens": save the screening panel under a name, delete a saved screen,
// or pick one to run. Its items follow the screening panel in and out of
// use, and the saved screens are listed below a separator. The screen last
// run or saved is the current one, which "Notify Me" puts on (or takes off)
// the list of screens a run from the timer tells of.
class ScreensMenu : public QMenu
{
    Q_OBJECT

public:
    // The menu lists at most this many saved screens.
    static constexpr qsizetype kListedScreens = 25;

    // panel is the screening panel; currentBoxes reads its ticks and bounds.
    ScreensMenu(Prompter &prompter, QWidget *panel, std::function<CriteriaBoxes()> currentBoxes,
                QWidget *parent = nullptr);

signals:
    // A saved screen was picked while the panel can be used.
    void screenChosen(const CriteriaBoxes &boxes);

public slots:
    void mnuScreens_Save_Click();
    void mnuScreens_Delete_Click();
    // The saved screens beyond those the menu lists, in a list to type in.
    void mnuScreens_More_Click();
    void loadScreen(const QString &name);
    void mnuScreens_Notify_Click(bool checked);

    // The saved screen last run or saved; empty when none is.
    QString currentScreen() const { return m_current; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fill();
    // "Notify Me" as the current screen stands in the settings.
    void showNotify();

    Prompter &m_prompter;
    QWidget *m_panel;
    std::function<CriteriaBoxes()> m_currentBoxes;
    QString m_current;
};
