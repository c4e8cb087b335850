#include "app/ToolWindow.h"

#include "app/frmMain.h"

#include <QAccessibleWidget>
#include <QCloseEvent>

namespace {

// Assistive technology would otherwise meet a tool window as an unnamed
// client panel; it is a window of its own, named by its title.
QAccessibleInterface *toolWindowAccessible(const QString &, QObject *object)
{
    if (auto *window = qobject_cast<ToolWindow *>(object))
        return new QAccessibleWidget(window, QAccessible::Window);
    return nullptr;
}

} // namespace

ToolWindow::ToolWindow(frmMain *main) : QWidget(nullptr), m_main(main)
{
    static const bool accessibleAsWindow = (QAccessible::installFactory(toolWindowAccessible), true);
    Q_UNUSED(accessibleAsWindow);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(main, &QObject::destroyed, this, [this] { delete this; });
    main->setEnabled(false);
}

void ToolWindow::Form_Unload()
{
    if (m_main)
        m_main->setEnabled(true);
}

void ToolWindow::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

frmMain *ToolWindow::mainWindow() const
{
    return m_main;
}
