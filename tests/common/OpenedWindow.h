#pragma once

#include "app/frmMain.h"

#include <QAction>
#include <QApplication>

// The window a menu item opens, as the user sees it: a visible top-level
// window besides the main window.
inline QWidget *choose(frmMain &w, const QString &menuItem)
{
    if (QAction *action = w.findChild<QAction *>(menuItem))
        action->trigger();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != &w && window->isVisible())
            return window;
    }
    return nullptr;
}
