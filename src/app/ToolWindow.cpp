#include "app/ToolWindow.h"

#include "app/frmMain.h"

#include <QCloseEvent>

ToolWindow::ToolWindow(frmMain *main) : QWidget(nullptr), m_main(main)
{
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
