#pragma once

#include <QMainWindow>

class QTextBrowser;
class QUrl;

// The help program's window: the user guide in a browser that follows only
// links within the guide. A main window, so that it is announced as a window
// with its title rather than as a bare text area.
class HelpWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit HelpWindow(const QUrl &guide, QWidget *parent = nullptr);

    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
};
