#pragma once

#include "history/DailyBar.h"
#include "history/Technicals.h"

#include <QMainWindow>

class ChartView;
class Prompter;
class QButtonGroup;
class QLabel;
class QPushButton;
class ServiceGet;
struct QuoteHost;

// The chart of one symbol, titled "<SYMBOL> Chart": its price history from
// the quote service, painted by a ChartView with range buttons, candles or a
// line, the crosshair's reading and "Save Image...". It says "Loading…"
// while the service answers and shows any failure in place of the chart.
// A main window of its own, so that it is announced as a window with its
// title; it goes with its owner.
class frmChart : public QMainWindow
{
    Q_OBJECT

public:
    frmChart(const QString &symbol, Prompter &prompter, QWidget *owner);

    // Shows the symbol's chart, raising the one already open, and asks the
    // service for its history when it is new.
    static frmChart *showFor(const QString &symbol, Prompter &prompter, QWidget *owner);

    QString symbol() const { return m_symbol; }
    ChartView *view() const { return m_view; }
    // Asks the service at host for the history.
    void load(const QuoteHost &host);
    // Shows bars as the chart, on the range it opens with.
    void showBars(BarSeries bars);

private:
    void showFailure(const QString &text);
    void showRange(int months);
    void describe();
    void markRange(int index);
    void butSaveImage_Click();

    QString m_symbol;
    Prompter &m_prompter;
    ServiceGet *m_get = nullptr;
    ChartView *m_view;
    QLabel *m_lblStatus;
    QLabel *m_lblReading;
    QWidget *m_controls;
    QButtonGroup *m_ranges; // down: the range shown, until a zoom or a drag leaves it
    bool m_choosingRange = false;
    TechnicalRow m_technicals;
};
