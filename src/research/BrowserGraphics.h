#pragma once

// Makes the GL context that QtWebEngine shares with the application, just
// before the browser library is loaded. Qt makes it in the application
// object's constructor when Qt::AA_ShareOpenGLContexts is set, which would
// load the whole GL stack at every start for a window that most runs never
// open. Nothing in the program uses GL before the browser, so made here it
// is shared with every GL context there will ever be, as Qt requires. Safe to
// call again; the context lasts until the application object goes.
void prepareBrowserGraphics();
