#include "widgets/ToolWindow.h"

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

ToolWindow::ToolWindow(QWidget *owner)
    : QWidget(nullptr)
    , m_owner(owner)
{
    static const bool accessibleAsWindow = (QAccessible::installFactory(toolWindowAccessible), true);
    Q_UNUSED(accessibleAsWindow);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(owner, &QObject::destroyed, this, [this] { delete this; });
    owner->setEnabled(false);
}

void ToolWindow::Form_Unload()
{
    if (m_owner)
        m_owner->setEnabled(true);
}

void ToolWindow::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}
