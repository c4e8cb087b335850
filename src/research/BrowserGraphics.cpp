#include "research/BrowserGraphics.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>

// Exported by QtGui but declared only in its private headers: the process's
// shared context, the one Qt::AA_ShareOpenGLContexts makes at start-up.
QOpenGLContext *qt_gl_global_share_context();
void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace {

QOpenGLContext *s_context = nullptr;

// Runs as the application object goes, after the browser engine has shut
// down and before the windowing system is let go, as Qt does with its own.
void deleteSharedContext()
{
    if (qt_gl_global_share_context() == s_context)
        qt_gl_set_global_share_context(nullptr);
    delete s_context;
    s_context = nullptr;
}

} // namespace

void prepareBrowserGraphics()
{
    if (qt_gl_global_share_context())
        return;
    s_context = new QOpenGLContext;
    s_context->setFormat(QSurfaceFormat::defaultFormat());
    // Where there is no GL at all this fails, and the browser draws in
    // software, as it would with the context made at start-up.
    s_context->create();
    qt_gl_set_global_share_context(s_context);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qAddPostRoutine(deleteSharedContext);
}
