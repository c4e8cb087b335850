#pragma once

#include "research/ResearchBrowser.h"

#include <QObject>
#include <QPointer>

class frmWB;

// The browser library's entry point: keeps the single research window,
// creating it on demand and again after the user has closed it.
class ResearchBrowserPlugin : public QObject, public ResearchBrowser
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ResearchBrowser_iid)
    Q_INTERFACES(ResearchBrowser)

public:
    explicit ResearchBrowserPlugin(QObject *parent = nullptr);
    ~ResearchBrowserPlugin() override;

    void open(ResearchHost *host, const QUrl &url) override;
    QWidget *window() const override;
    void discard() override;

private:
    QPointer<frmWB> m_window;
};
