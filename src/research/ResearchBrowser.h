#pragma once

#include <QtPlugin>

class QUrl;
class QWidget;
class ResearchHost;

// The research window as the program sees it. The browser library, the only
// part of the program that links QtWebEngine, implements it and is loaded on
// first use, so nothing of the browser costs anything at start-up.
class ResearchBrowser
{
public:
    virtual ~ResearchBrowser() = default;

    // Makes the one research window visible, creating it when there is none,
    // and loads url in place of its page.
    virtual void open(ResearchHost *host, const QUrl &url) = 0;
    // The research window while it is open, else nullptr.
    virtual QWidget *window() const = 0;
    // Closes and destroys the window at once; called before its host goes.
    virtual void discard() = 0;
};

#define ResearchBrowser_iid "org.tarnvale.ResearchBrowser/1.0"
Q_DECLARE_INTERFACE(ResearchBrowser, ResearchBrowser_iid)
